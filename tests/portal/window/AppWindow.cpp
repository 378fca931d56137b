// A plain Wayland window of any application id, for the tests that watch a
// real compositor hand the focus between applications. The id is what the
// compositor reports as the window's class.
// Usage: tamsel_app_window APP_ID

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

namespace {

class AppWindow final : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(0, 0), size()), Qt::darkCyan);
    }
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        return 2;
    }
    // Qt gives the compositor the desktop file name as the window's app id.
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    AppWindow window;
    window.setTitle(QString::fromLocal8Bit(argv[1]));
    window.resize(320, 200);
    window.show();
    return QGuiApplication::exec();
}
