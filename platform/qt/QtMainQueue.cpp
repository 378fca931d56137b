#include "platform/qt/QtMainQueue.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace tamsel {

void QtMainQueue::post(std::function<void()> task) {
    QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
}

ScheduledTask QtMainQueue::postAfter(std::int64_t milliseconds, std::function<void()> task) {
    ScheduledTask handle;
    auto start = [context = context_, milliseconds, handle, task = std::move(task)]() mutable {
        QTimer::singleShot(std::chrono::milliseconds(milliseconds), Qt::PreciseTimer, context,
                           [handle, task = std::move(task)] {
                               if (!handle.isCancelled()) {
                                   task();
                               }
                           });
    };
    // A timer belongs to the thread that starts it: start it on the main thread.
    if (QThread::currentThread() == context_->thread()) {
        start();
    } else {
        post(std::move(start));
    }
    return handle;
}

} // namespace tamsel
