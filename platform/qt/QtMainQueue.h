#pragma once

// The main queue on Qt's event loop: tasks are queued calls on an object of
// the main thread, delayed tasks precise timers started there.

#include <QObject>

#include "platform/MainQueue.h"

namespace tamsel {

class QtMainQueue final : public MainQueue {
public:
    // `context` lives on the main thread; tasks still queued when it goes are dropped.
    explicit QtMainQueue(QObject* context) : context_(context) {}

    void post(std::function<void()> task) override;
    ScheduledTask postAfter(std::int64_t milliseconds, std::function<void()> task) override;

private:
    QObject* context_;
};

} // namespace tamsel
