#include "ui/ShortcutColumn.h"

#include <QHBoxLayout>

#include "ui/Icons.h"

namespace tamsel {

ShortcutChip::ShortcutChip(TriggerKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    setObjectName(kind == TriggerKind::send ? "sendChip" : "insertChip");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    icon_ = new QLabel(this);
    label_ = new QLabel(this);
    label_->setFont(Tokens::shortcutFont());
    row->addWidget(icon_);
    row->addWidget(label_, 1);
    setFixedWidth(60);
}

void ShortcutChip::display(const std::string& hotkeyText, Language language) {
    const auto hotkey = Hotkey::parse(hotkeyText);
    const StringKey name = kind_ == TriggerKind::send ? StringKey::triggerSend
                                                      : StringKey::triggerInsert;
    const Tone tone = !hotkey ? Tone::tertiary
                              : (kind_ == TriggerKind::send ? Tone::accent : Tone::secondary);
    const QColor color = Palette::of(Tokens::appearanceOf(this)).tone(tone);
    icon_->setPixmap(Icons::pixmap(
        kind_ == TriggerKind::send ? Symbol::paperplane : Symbol::textBadgePlus, 9, color));
    const QString shown =
        hotkey ? qtText(hotkey->displayString(platformKeyNaming)) : QStringLiteral("—");
    // PC key names can be longer than the chip: the tooltip keeps the whole.
    label_->setText(QFontMetrics(label_->font()).elidedText(shown, Qt::ElideRight, 60 - 11));
    Tokens::setTone(label_, tone);
    const QString title = qtText(name, language);
    setAccessibleName(title + QStringLiteral(": ") +
                      (hotkey ? shown : qtText(StringKey::notSet, language)));
    setToolTip(hotkey ? title + QStringLiteral(": ") + shown : title);
}

ShortcutColumn::ShortcutColumn(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    send_ = new ShortcutChip(TriggerKind::send, this);
    insert_ = new ShortcutChip(TriggerKind::insert, this);
    row->addWidget(send_);
    row->addWidget(insert_);
    row->addStretch();
    setFixedWidth(132);
}

void ShortcutColumn::display(const Rule& rule, Language language) {
    send_->display(rule.hotkey, language);
    insert_->display(rule.insertHotkey, language);
}

} // namespace tamsel
