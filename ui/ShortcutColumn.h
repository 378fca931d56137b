#pragma once

// A prompt's two shortcuts as small chips: "Append & Send", then "Append Only".

#include "core/config/Config.h"
#include "core/config/Language.h"
#include "ui/ViewSupport.h"

namespace tamsel {

class ShortcutChip final : public QWidget {
    Q_OBJECT
public:
    ShortcutChip(TriggerKind kind, QWidget* parent);
    void display(const std::string& hotkeyText, Language language);
    QString labelText() const { return label_->text(); }

private:
    TriggerKind kind_;
    QLabel* icon_;
    QLabel* label_;
};

class ShortcutColumn final : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutColumn(QWidget* parent);
    void display(const Rule& rule, Language language);

private:
    ShortcutChip* send_;
    ShortcutChip* insert_;
};

} // namespace tamsel
