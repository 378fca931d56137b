// A previous owner of the clipboard for the end-to-end tests: an image and
// text in several formats, as a desktop application would copy them. Writes
// "ready" to standard output once it owns the clipboard, then serves it.

#include <iostream>
#include <random>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QMimeData>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Noise does not compress: the PNG is larger than one X request (INCR).
    QImage image(420, 320, QImage::Format_RGB32);
    std::mt19937 random(11);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, static_cast<QRgb>(random()) | 0xFF000000u);
        }
    }
    auto* data = new QMimeData();
    // The PNG bytes themselves, as image editors and browsers offer them: a
    // QImage would be converted on request to a dozen formats, and turning
    // this much noise into XPM can outlast a reader's patience.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    data->setData(QStringLiteral("image/png"), png);
    data->setText(QStringLiteral("copied text — コピー"));
    data->setHtml(QStringLiteral("<p><b>copied</b> html</p>"));
    QApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    std::cout << "ready" << std::endl;
    return application.exec();
}
