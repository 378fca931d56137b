#pragma once

// The one bridge from the observable models to the widgets. A model tells its
// subscribers just before it changes; the observer answers by queueing one
// call on the event loop, so that the views re-read the model after the change
// is made, and a burst of changes costs one refresh.

#include <functional>
#include <memory>

#include <QObject>

#include "app/Observable.h"

namespace tamsel {

class ModelObserver final : public QObject {
    Q_OBJECT
public:
    // `refresh` runs on this object's thread (the main thread) after each burst.
    ModelObserver(Observable& model, std::function<void()> refresh, QObject* parent = nullptr);

    // Refreshes now if a change is waiting; tests and the snapshot mode use it
    // instead of spinning the event loop.
    void flush();

private:
    void deliver();

    Subscription subscription_;
    std::function<void()> refresh_;
    bool queued_ = false;
};

} // namespace tamsel
