#include "ui/Tokens.h"

#include "ui/Icons.h"

#include <map>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStyle>
#include <QTemporaryDir>
#include <QVariant>
#include <QWidget>

namespace tamsel {

namespace {

const char* const appearanceProperty = "tamselAppearance";
const char* const toneProperty = "tone";

QString name(const QColor& color) {
    return color.name(QColor::HexArgb);
}

const char* toneName(Tone tone) {
    switch (tone) {
    case Tone::primary:
        return "primary";
    case Tone::secondary:
        return "secondary";
    case Tone::tertiary:
        return "tertiary";
    case Tone::accent:
        return "accent";
    case Tone::warning:
        return "warning";
    }
    return "primary";
}

// Sizes are in points of the popover, which are device-independent pixels.
QFont sized(QFont font, int points, QFont::Weight weight = QFont::Normal) {
    font.setPixelSize(points);
    font.setWeight(weight);
    return font;
}

QFont systemFont() {
    QFont font = QApplication::font();
    // Latin in the desktop's face; Japanese falls back to Noto CJK, which the
    // desktop may not list first.
    font.setFamilies({font.family(), QStringLiteral("Noto Sans CJK JP")});
    return font;
}

QFont monospaceFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({font.family(), QStringLiteral("DejaVu Sans Mono"),
                      QStringLiteral("Noto Sans Mono CJK JP")});
    font.setStyleHint(QFont::Monospace);
    return font;
}

// Style sheets take pictures only from files. They are drawn into the user's
// cache folder under names that say what they show, so that every run reuses
// the same few files instead of leaving new ones behind; a private temporary
// folder, removed at exit, serves when there is no cache folder.
QString pictureFolder() {
    static const QString folder = [] {
        const QString cache =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        if (!cache.isEmpty()) {
            const QString path = QDir(cache).filePath(QStringLiteral("tamsel/pictures"));
            if (QDir().mkpath(path)) {
                return path;
            }
        }
        static QTemporaryDir fallback(QDir::temp().filePath(QStringLiteral("tamsel-XXXXXX")));
        return fallback.path();
    }();
    return folder;
}

QString pictureFile(Symbol symbol, const QColor& color) {
    static std::map<std::pair<int, QRgb>, QString> files;
    const auto key = std::make_pair(static_cast<int>(symbol), color.rgba());
    if (auto found = files.find(key); found != files.end()) {
        return found->second;
    }
    const QString file = QDir(pictureFolder())
                             .filePath(QStringLiteral("%1-%2.png")
                                           .arg(static_cast<int>(symbol))
                                           .arg(color.rgba(), 8, 16, QLatin1Char('0')));
    if (!QFileInfo::exists(file)) {
        // Written whole or not at all, even with two instances starting at once.
        QSaveFile out(file);
        if (out.open(QIODevice::WriteOnly)) {
            Icons::pixmap(symbol, 16, color, 2).save(&out, "PNG");
            out.commit();
        }
    }
    files.emplace(key, file);
    return file;
}

QString styleSheet(const Palette& p) {
    QString sheet;
    for (Tone tone :
         {Tone::primary, Tone::secondary, Tone::tertiary, Tone::accent, Tone::warning}) {
        sheet += QStringLiteral("*[tone=\"%1\"] { color: %2; }\n")
                     .arg(QLatin1String(toneName(tone)), name(p.tone(tone)));
    }
    sheet +=
        QStringLiteral(
            "QFrame[divider=\"true\"] { background: %1; border: none; }\n"
            "QWidget[surface=\"control\"] { background: %2; }\n"
            "QWidget[surface=\"selected\"] { background: %3; }\n"
            "QWidget[surface=\"evidence\"] { background: %4; border-radius: 4px; }\n"
            "QPlainTextEdit[bordered=\"true\"] { background: %5; color: %6;"
            " border: 1px solid %1; border-radius: 5px; padding: 2px; }\n"
            "QLineEdit { background: %5; color: %6; border: 1px solid %1;"
            " border-radius: 5px; padding: 3px 5px; }\n"
            "QLineEdit:focus, QPlainTextEdit[bordered=\"true\"]:focus { border: 1px solid %7; }\n"
            "QToolButton[borderless=\"true\"] { border: none; background: transparent;"
            " padding: 2px; color: %6; }\n"
            "QToolButton[borderless=\"true\"]:pressed { background: %2; border-radius: 4px; }\n"
            "QToolButton[borderless=\"true\"]:focus { border: 2px solid %11; border-radius: 4px;"
            " padding: 0px; }\n"
            "QToolButton[modifier=\"true\"] { border: 1px solid %1; border-radius: 4px;"
            " padding: 1px 4px; background: %5; color: %6; }\n"
            "QToolButton[modifier=\"true\"]:checked { background: %7; color: white;"
            " border-color: %7; }\n"
            "QToolButton[modifier=\"true\"]:disabled { color: %8; }\n"
            "QToolButton[modifier=\"true\"]:focus { border: 2px solid %11; padding: 0px 3px; }\n"
            "QScrollArea, QScrollArea > QWidget > QWidget#scrollContent"
            " { background: transparent; border: none; }\n"
            "QScrollBar:vertical { background: transparent; width: 9px; margin: 2px 1px; }\n"
            "QScrollBar::handle:vertical { background: %9; border-radius: 3px;"
            " min-height: 24px; }\n"
            "QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }\n"
            "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }\n"
            "QCheckBox { color: %6; spacing: 6px; }\n"
            "QCheckBox::indicator { width: 13px; height: 13px; border: 1px solid %1;"
            " border-radius: 3px; background: %5; }\n"
            "QCheckBox::indicator:checked { background: %7; border-color: %7;"
            " image: url(%10); }\n"
            "QCheckBox::indicator:focus { border: 2px solid %11; width: 11px; height: 11px; }\n"
            "QToolButton[segment] { border: 1px solid %1; background: %5; color: %6;"
            " padding: 3px 8px; }\n"
            "QToolButton[segment=\"first\"] { border-top-left-radius: 5px;"
            " border-bottom-left-radius: 5px; }\n"
            "QToolButton[segment=\"last\"] { border-top-right-radius: 5px;"
            " border-bottom-right-radius: 5px; }\n"
            "QToolButton[segment=\"middle\"], QToolButton[segment=\"last\"]"
            " { border-left: none; }\n"
            "QToolButton[segment]:checked { background: %7; color: white; border-color: %7; }\n"
            "QToolButton[segment]:focus { border: 2px solid %11; padding: 2px 7px; }\n")
            .arg(name(p.separator), name(p.controlBackground), name(p.selection),
                 name(QColor(p.secondary.red(), p.secondary.green(), p.secondary.blue(), 20)),
                 name(p.textBackground), name(p.primary), name(p.accent), name(p.tertiary))
            .arg(name(p.tertiary), pictureFile(Symbol::checkmark, Qt::white), name(p.focusRing()));
    sheet +=
        QStringLiteral("QComboBox, QSpinBox { background: %1; color: %2; border: 1px solid %3;"
                       " border-radius: 5px; padding: 2px 6px; }\n"
                       "QComboBox:focus, QSpinBox:focus { border-color: %4; }\n"
                       "QComboBox::drop-down { border: none; width: 18px; }\n"
                       "QComboBox::down-arrow { image: url(%5); width: 9px; height: 9px; }\n"
                       "QSpinBox::up-button, QSpinBox::down-button { border: none; width: 16px; }\n"
                       "QSpinBox::up-arrow { image: url(%6); width: 8px; height: 8px; }\n"
                       "QSpinBox::down-arrow { image: url(%5); width: 8px; height: 8px; }\n"
                       "QPushButton { background: %7; color: %2; border: 1px solid %3;"
                       " border-radius: 5px; padding: 3px 12px; }\n"
                       "QPushButton:pressed { background: %3; }\n"
                       "QPushButton:default { background: %4; color: white; border-color: %4; }\n"
                       "QPushButton:disabled { color: %8; background: %7; border-color: %3; }\n"
                       "QPushButton:focus { border: 2px solid %9; padding: 2px 11px; }\n")
            .arg(name(p.textBackground), name(p.primary), name(p.separator), name(p.accent),
                 pictureFile(Symbol::chevronDown, p.secondary),
                 pictureFile(Symbol::chevronUp, p.secondary), name(p.button), name(p.tertiary))
            .arg(name(p.focusRing()));
    return sheet;
}

QPalette qtPalette(const Palette& p, Appearance appearance) {
    QPalette palette;
    const bool dark = appearance == Appearance::dark;
    const QColor button = p.button;
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, p.window);
        palette.setColor(group, QPalette::WindowText, p.primary);
        palette.setColor(group, QPalette::Base, p.textBackground);
        palette.setColor(group, QPalette::AlternateBase, p.controlBackground);
        palette.setColor(group, QPalette::Text, p.primary);
        palette.setColor(group, QPalette::Button, button);
        palette.setColor(group, QPalette::ButtonText, p.primary);
        palette.setColor(group, QPalette::Highlight, p.accent);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::PlaceholderText, p.tertiary);
        palette.setColor(group, QPalette::ToolTipBase, p.controlBackground);
        palette.setColor(group, QPalette::ToolTipText, p.primary);
        palette.setColor(group, QPalette::Light, dark ? button.lighter(130) : Qt::white);
        palette.setColor(group, QPalette::Midlight,
                         dark ? button.lighter(115) : QColor(0xe3, 0xe3, 0xe3));
        palette.setColor(group, QPalette::Mid, p.separator);
        palette.setColor(group, QPalette::Dark,
                         dark ? QColor(0x1c, 0x1c, 0x1e) : QColor(0xa0, 0xa0, 0xa0));
        palette.setColor(group, QPalette::Shadow, dark ? Qt::black : QColor(0x80, 0x80, 0x80));
        palette.setColor(group, QPalette::Link, p.accent);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, p.window);
    palette.setColor(QPalette::Disabled, QPalette::Base, p.textBackground);
    palette.setColor(QPalette::Disabled, QPalette::Button, button);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, p.tertiary);
    }
    return palette;
}

} // namespace

const Palette& Palette::of(Appearance appearance) {
    static const Palette light{
        QColor(0xec, 0xec, 0xec),     QColor(0xf6, 0xf6, 0xf6), QColor(0xff, 0xff, 0xff),
        QColor(0, 0, 0, 40),          QColor(0x1d, 0x1d, 0x1f), QColor(0x6e, 0x6e, 0x73),
        QColor(0xa8, 0xa8, 0xad),     QColor(0x00, 0x7a, 0xff), QColor(0xe8, 0x80, 0x00),
        QColor(0x00, 0x7a, 0xff, 38), QColor(0xff, 0xff, 0xff),
    };
    static const Palette dark{
        QColor(0x2a, 0x2a, 0x2c),     QColor(0x36, 0x36, 0x38), QColor(0x1e, 0x1e, 0x20),
        QColor(255, 255, 255, 38),    QColor(0xf2, 0xf2, 0xf4), QColor(0xa1, 0xa1, 0xa8),
        QColor(0x6c, 0x6c, 0x72),     QColor(0x0a, 0x84, 0xff), QColor(0xff, 0x9f, 0x0a),
        QColor(0x0a, 0x84, 0xff, 38), QColor(0x45, 0x45, 0x48),
    };
    return appearance == Appearance::dark ? dark : light;
}

QColor Palette::focusRing() const {
    const double share = 0.6;
    return QColor::fromRgbF(float(accent.redF() * share + window.redF() * (1 - share)),
                            float(accent.greenF() * share + window.greenF() * (1 - share)),
                            float(accent.blueF() * share + window.blueF() * (1 - share)));
}

QColor Palette::tone(Tone tone) const {
    switch (tone) {
    case Tone::primary:
        return primary;
    case Tone::secondary:
        return secondary;
    case Tone::tertiary:
        return tertiary;
    case Tone::accent:
        return accent;
    case Tone::warning:
        return warning;
    }
    return primary;
}

namespace Tokens {

QFont bodyFont() {
    return sized(systemFont(), 12);
}
QFont labelFont() {
    return sized(systemFont(), 11);
}
QFont titleFont() {
    return sized(systemFont(), 13, QFont::DemiBold);
}
QFont shortcutFont() {
    return sized(monospaceFont(), 11);
}
QFont promptFont() {
    return sized(monospaceFont(), 12);
}
QFont semibold(QFont font) {
    font.setWeight(QFont::DemiBold);
    return font;
}

Appearance systemAppearance() {
    return QApplication::palette().color(QPalette::Window).lightness() < 128 ? Appearance::dark
                                                                             : Appearance::light;
}

void applyAppearance(QWidget* root, Appearance appearance) {
    const Palette& palette = Palette::of(appearance);
    root->setProperty(appearanceProperty, static_cast<int>(appearance));
    root->setPalette(qtPalette(palette, appearance));
    root->setAutoFillBackground(true);
    root->setStyleSheet(styleSheet(palette));
}

Appearance appearanceOf(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        const QVariant value = w->property(appearanceProperty);
        if (value.isValid()) {
            return static_cast<Appearance>(value.toInt());
        }
    }
    return systemAppearance();
}

void paintFocusRing(QPainter& painter, const QRectF& area, const Palette& palette, double radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette.focusRing(), 2));
    painter.drawRoundedRect(area, radius, radius);
    painter.restore();
}

void setTone(QWidget* widget, Tone tone) {
    const QString wanted = QLatin1String(toneName(tone));
    if (widget->property(toneProperty).toString() == wanted) {
        return;
    }
    widget->setProperty(toneProperty, wanted);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

} // namespace Tokens
} // namespace tamsel
