#pragma once

// A prompt's two shortcuts as small chips: "Append & Send", then "Append Only".

#include "core/config/Config.h"
#include "core/config/Language.h"
#include "ui/ViewSupport.h"

class QBoxLayout;

namespace tamsel {

class ShortcutChip final : public QWidget {
    Q_OBJECT
public:
    ShortcutChip(TriggerKind kind, QWidget* parent);
    // Dimmed: the shortcut does nothing now (Tamsel or the prompt is off).
    void display(const std::string& hotkeyText, Language language, bool dimmed = false);
    QString labelText() const { return label_->text(); }
    // The width that shows the whole shortcut, at least `narrowest`.
    int naturalWidth() const;

    static constexpr int narrowest = 60;

private:
    TriggerKind kind_;
    QLabel* icon_;
    QLabel* label_;
};

class ShortcutColumn final : public QWidget {
    Q_OBJECT
public:
    static constexpr int standardWidth = 132;
    static constexpr int widestSideBySide = 150;
    static constexpr int sideBySideSpacing = 6;

    explicit ShortcutColumn(QWidget* parent);
    void display(const Rule& rule, Language language, bool dimmed = false);
    // The width this prompt's chips need, at least `standardWidth`.
    int wantedWidth() const { return wantedWidth_; }
    // The width every row's column takes, so that the names line up.
    void setSharedWidth(int width);
    ShortcutChip* sendChip() const { return send_; }
    ShortcutChip* insertChip() const { return insert_; }

private:
    QBoxLayout* row_;
    int wantedWidth_ = standardWidth;
    int sharedWidth_ = standardWidth;
    ShortcutChip* send_;
    ShortcutChip* insert_;
};

} // namespace tamsel
