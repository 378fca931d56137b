#pragma once

// The look shared by every view: fonts, the two palettes (light and dark) and
// the few tones a text can take. Colours live here and nowhere else.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QPainter;
class QRectF;
class QWidget;

namespace tamsel {

enum class Appearance { light, dark };

// What a text or icon is coloured by.
enum class Tone { primary, secondary, tertiary, accent, warning };

struct Palette {
    QColor window;
    QColor controlBackground;
    QColor textBackground;
    QColor separator;
    QColor primary;
    QColor secondary;
    QColor tertiary;
    QColor accent;
    QColor warning;
    QColor selection;
    QColor button;

    // The keyboard-focus ring: opaque, lighter than the accent so that it
    // still shows around controls filled with the accent.
    QColor focusRing() const;

    static const Palette& of(Appearance appearance);
    QColor tone(Tone tone) const;
};

namespace Tokens {

QFont bodyFont();
QFont labelFont();
QFont titleFont();
QFont shortcutFont();
QFont promptFont();
QFont semibold(QFont font);

// The desktop's appearance, judged by its window colour.
Appearance systemAppearance();

// Gives a top-level view its appearance: a palette for the built-in controls
// and a style sheet for the tones, borders and banners below.
void applyAppearance(QWidget* root, Appearance appearance);
Appearance appearanceOf(const QWidget* widget);

// The focus ring of controls that paint themselves, inside `area`.
void paintFocusRing(QPainter& painter, const QRectF& area, const Palette& palette, double radius);

// Colours a label (or any widget with text) by tone; cheap when unchanged.
void setTone(QWidget* widget, Tone tone);

} // namespace Tokens
} // namespace tamsel
