#include "ui/ModelObserver.h"

#include <QMetaObject>

namespace tamsel {

ModelObserver::ModelObserver(Observable& model, std::function<void()> refresh, QObject* parent)
    : QObject(parent), refresh_(std::move(refresh)) {
    subscription_ = model.subscribe([this] {
        if (queued_) {
            return;
        }
        queued_ = true;
        QMetaObject::invokeMethod(this, &ModelObserver::deliver, Qt::QueuedConnection);
    });
}

void ModelObserver::flush() { deliver(); }

void ModelObserver::deliver() {
    if (!queued_) {
        return;
    }
    queued_ = false;
    refresh_();
}

} // namespace tamsel
