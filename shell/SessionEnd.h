#pragma once

// The session ending under the running application: the X server goes away
// at logout or when the display server restarts. Every connection breaks at
// once; Xlib would end the process from whichever thread noticed first and Qt
// calls exit(1) from inside its event loop, both while other threads still
// run. Instead the main thread writes what is pending and the process ends
// with status 0 without running exit handlers, which is what a session's end
// is: no crash for a crash reporter to show at the next login.

#include <functional>
#include <memory>

#include <QObject>
#include <QSocketNotifier>

#include "core/toolkit/FileDescriptor.h"

namespace tamsel {

class SessionEnd final : public QObject {
    Q_OBJECT
public:
    // How long a thread that saw the display go waits for the main thread
    // before it ends the process itself.
    static constexpr int mainThreadGraceMS = 5000;

    // Main thread, after QApplication exists (it installs Xlib handlers of
    // its own). `finish` runs at most once, on the main thread; it must not
    // wait for other threads, which may be stopped inside Xlib.
    explicit SessionEnd(std::function<void()> finish, QObject* parent = nullptr);
    // From here on an exit is the process's own again.
    ~SessionEnd() override;
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

private:
    static void displayLost();
    static void exitCalled();
    static void waitForMainThread();
    [[noreturn]] static void finishAndExit();

    std::function<void()> finish_;
    FileDescriptor readEnd_;
    FileDescriptor writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tamsel
