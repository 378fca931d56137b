#include "ui/PromptLabWindows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "ui/PromptLabView.h"
#include "ui/ViewSupport.h"

namespace tamsel {

namespace {

// The top-level window; it tells the controller when the user closes it and
// then deletes itself.
class LabWindow final : public QWidget {
public:
    LabWindow(std::function<void()> onClose) : onClose_(std::move(onClose)) {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                       Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
        // Escape closes the window, as it closes the popover.
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        escape->setContext(Qt::WindowShortcut);
        connect(escape, &QShortcut::activated, this, &QWidget::close);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        QWidget::closeEvent(event);
        if (event->isAccepted() && onClose_) {
            auto onClose = std::move(onClose_);
            onClose_ = nullptr;
            onClose();
        }
    }

private:
    std::function<void()> onClose_;
};

class QtWindow final : public PromptLabWindowSystem::Window {
public:
    explicit QtWindow(QWidget* window) : window_(window) {}
    void bringToFront() override {
        if (window_) {
            window_->showNormal();
            window_->raise();
            window_->activateWindow();
        }
    }

private:
    QPointer<QWidget> window_;
};

QSize toQt(const WindowSize& size) {
    return {qRound(size.width), qRound(size.height)};
}

} // namespace

std::optional<WindowSize> QtPromptLabWindowSystem::mainScreenVisibleSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return std::nullopt;
    }
    const QRect area = screen->availableGeometry();
    return WindowSize{double(area.width()), double(area.height())};
}

std::unique_ptr<PromptLabWindowSystem::Window>
QtPromptLabWindowSystem::createWindow(const WindowSpec& spec, AppModel& appModel,
                                      PromptLabModel& labModel, std::function<void()> onClose) {
    auto* window = new LabWindow(std::move(onClose));
    window->setWindowTitle(qtText(spec.title));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    Tokens::applyAppearance(window, Tokens::systemAppearance());
    auto* view =
        new PromptLabView(appModel.shared_from_this(), labModel.shared_from_this(), window);
    layout->addWidget(view);
    window->setMinimumSize(toQt(spec.minimumContentSize));
    window->resize(toQt(spec.contentSize));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
    window->raise();
    window->activateWindow();
    return std::make_unique<QtWindow>(window);
}

void QtPromptLabWindowSystem::activateApplication() {
    // Qt has no application-wide activation; the window's own activation
    // (bringToFront, or showing it) asks the window manager for focus.
}

} // namespace tamsel
