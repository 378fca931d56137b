#pragma once

// SIGTERM, SIGINT and SIGHUP (the terminal or the session closing) as a Qt signal on the main
// thread: the handler only writes to a socket pair, whose other end the event loop watches.

#include <memory>

#include <QObject>
#include <QSocketNotifier>

#include "core/toolkit/FileDescriptor.h"

namespace tamsel {

class UnixSignals final : public QObject {
    Q_OBJECT
public:
    // One per process; installs the handlers for SIGTERM, SIGINT and SIGHUP.
    explicit UnixSignals(QObject* parent = nullptr);
    ~UnixSignals() override;

signals:
    void received(int signalNumber);

private:
    FileDescriptor readEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tamsel
