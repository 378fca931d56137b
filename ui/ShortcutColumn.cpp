#include "ui/ShortcutColumn.h"

#include <algorithm>

#include <QBoxLayout>
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
    row->addStretch();
}

int ShortcutChip::naturalWidth() const {
    // Room for the whole shortcut: the chip never cuts it short.
    return std::max(narrowest,
                    9 + 2 + QFontMetrics(label_->font()).horizontalAdvance(label_->text()) + 2);
}

void ShortcutChip::display(const std::string& hotkeyText, Language language, bool dimmed) {
    const auto hotkey = Hotkey::parse(hotkeyText);
    const StringKey name =
        kind_ == TriggerKind::send ? StringKey::triggerSend : StringKey::triggerInsert;
    const Tone tone = !hotkey || dimmed
                          ? Tone::tertiary
                          : (kind_ == TriggerKind::send ? Tone::accent : Tone::secondary);
    const QColor color = Palette::of(Tokens::appearanceOf(this)).tone(tone);
    icon_->setPixmap(Icons::pixmap(
        kind_ == TriggerKind::send ? Symbol::paperplane : Symbol::textBadgePlus, 9, color));
    const QString shown =
        hotkey ? qtText(hotkey->displayString(platformKeyNaming)) : QStringLiteral("—");
    label_->setText(shown);
    setFixedWidth(naturalWidth());
    Tokens::setTone(label_, tone);
    const QString title = qtText(name, language);
    setAccessibleName(title + QStringLiteral(": ") +
                      (hotkey ? shown : qtText(StringKey::notSet, language)));
    setToolTip(hotkey ? title + QStringLiteral(": ") + shown : title);
}

ShortcutColumn::ShortcutColumn(QWidget* parent) : QWidget(parent) {
    row_ = new QBoxLayout(QBoxLayout::LeftToRight, this);
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(sideBySideSpacing);
    send_ = new ShortcutChip(TriggerKind::send, this);
    insert_ = new ShortcutChip(TriggerKind::insert, this);
    row_->addWidget(send_);
    row_->addWidget(insert_);
    row_->addStretch();
    setFixedWidth(standardWidth);
}

void ShortcutColumn::display(const Rule& rule, Language language, bool dimmed) {
    send_->display(rule.hotkey, language, dimmed);
    insert_->display(rule.insertHotkey, language, dimmed);
    // Side by side while both fit a modest width; long PC key names (four
    // modifiers spelled out) go one above the other, send first, so that the
    // name beside them keeps its room.
    const int sideBySide = send_->naturalWidth() + sideBySideSpacing + insert_->naturalWidth();
    const int stacked = std::max(send_->naturalWidth(), insert_->naturalWidth());
    wantedWidth_ = std::max(standardWidth, sideBySide <= widestSideBySide ? sideBySide : stacked);
    // The list then gives every row the widest row's room.
    setSharedWidth(wantedWidth_);
}

void ShortcutColumn::setSharedWidth(int width) {
    sharedWidth_ = width;
    const int room = std::max(wantedWidth_, sharedWidth_);
    // Stacked only when side by side would not fit the room all rows share.
    const bool stacked = send_->naturalWidth() + sideBySideSpacing + insert_->naturalWidth() > room;
    row_->setDirection(stacked ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    row_->setSpacing(stacked ? 2 : sideBySideSpacing);
    setFixedWidth(room);
}

} // namespace tamsel
