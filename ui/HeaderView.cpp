#include "ui/HeaderView.h"

#include <QHBoxLayout>
#include <QPainter>

#include "ui/ElidedLabel.h"
#include "ui/SwitchButton.h"

namespace tamsel {

namespace {

QPixmap dot(const QColor& color) {
    constexpr qreal ratio = 2;
    QPixmap pixmap(int(7 * ratio), int(7 * ratio));
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, 7 * ratio, 7 * ratio));
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

Tone dotTone(AppModel::RunState state) {
    switch (state) {
    case AppModel::RunState::active:
        return Tone::accent;
    case AppModel::RunState::paused:
        return Tone::secondary;
    case AppModel::RunState::permissionDenied:
    case AppModel::RunState::notWatching:
        return Tone::warning;
    }
    return Tone::secondary;
}

} // namespace

HeaderView::HeaderView(std::shared_ptr<AppModel> model, QWidget* parent)
    : RefreshingView(parent), model_(std::move(model)) {
    auto* row = new QHBoxLayout(this);
    row->setSpacing(8);
    row->setContentsMargins(12, 9, 12, 9);
    dot_ = new QLabel(this);
    dot_->setFixedSize(7, 7);
    state_ = Views::label(this, Tokens::titleFont(), Tone::primary);
    state_->setObjectName("runState");
    lastFired_ = new ElidedLabel(Qt::ElideMiddle, this);
    lastFired_->setObjectName("lastFired");
    lastFired_->setFont(Tokens::labelFont());
    Tokens::setTone(lastFired_, Tone::secondary);
    enabled_ = new SwitchButton(this);
    enabled_->setObjectName("masterSwitch");
    row->addWidget(dot_);
    row->addWidget(state_);
    row->addWidget(lastFired_, 1);
    row->addStretch();
    row->addWidget(enabled_);
    connect(enabled_, &QAbstractButton::clicked, this,
            [this](bool checked) { model_->setEnabled(checked); });
}

void HeaderView::refresh() {
    const Language language = model_->language();
    const AppModel::RunState state = model_->runState();
    dot_->setPixmap(dot(Palette::of(Tokens::appearanceOf(this)).tone(dotTone(state))));
    state_->setText(qtText(model_->runStateLabel(), language));
    if (const auto& fired = model_->lastFired()) {
        const std::string name =
            fired->name.empty() ? std::string(Strings::string(StringKey::untitledPrompt, language))
                                : fired->name;
        lastFired_->setFullText(qtText(Strings::lastFired(name, fired->kind, language)));
        lastFired_->show();
    } else {
        lastFired_->hide();
    }
    enabled_->setChecked(model_->config().enabled);
    enabled_->setAccessibleName(qtText(StringKey::enableToggleLabel, language));
    enabled_->setToolTip(enabled_->accessibleName());
}

} // namespace tamsel
