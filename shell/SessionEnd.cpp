#include "shell/SessionEnd.h"

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/x11/X11Handle.h"

namespace tamsel {

namespace {

std::atomic<SessionEnd*> armed{nullptr};
std::atomic<int> wakeMainThread{-1};
std::atomic<bool> finishing{false};
pthread_t mainThread;

bool onMainThread() {
    return pthread_equal(pthread_self(), mainThread) != 0;
}

void say(const char* text, std::size_t length) {
    [[maybe_unused]] ssize_t written = ::write(2, text, length);
}

} // namespace

SessionEnd::SessionEnd(std::function<void()> finish, QObject* parent)
    : QObject(parent), finish_(std::move(finish)) {
    mainThread = pthread_self();
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) == 0) {
        readEnd_.reset(fds[0]);
        writeEnd_.reset(fds[1]);
        wakeMainThread.store(fds[1]);
        notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [] { finishAndExit(); });
    }
    armed.store(this);
    // Registered last, so it runs before the exit handlers of everything that
    // was set up before it, Qt's among them.
    static const bool registered = std::atexit(exitCalled) == 0;
    (void)registered;
    onDisplayLost(displayLost);
}

SessionEnd::~SessionEnd() {
    armed.store(nullptr);
    wakeMainThread.store(-1);
}

void SessionEnd::displayLost() {
    if (armed.load() == nullptr) {
        static constexpr char message[] = "Tamsel: the X display went away.\n";
        say(message, sizeof message - 1);
        ::_exit(0);
    }
    if (onMainThread()) {
        finishAndExit();
    }
    waitForMainThread();
}

// Qt's event loop calls exit() when its connection breaks; the main thread
// is then still inside the loop, with every object alive.
void SessionEnd::exitCalled() {
    if (armed.load() == nullptr) {
        return;
    }
    if (onMainThread()) {
        finishAndExit();
    }
    waitForMainThread();
}

void SessionEnd::waitForMainThread() {
    const int fd = wakeMainThread.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t written = ::write(fd, &byte, 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(mainThreadGraceMS));
    static constexpr char message[] = "Tamsel: the X display went away; ending without saving.\n";
    say(message, sizeof message - 1);
    ::_exit(0);
}

void SessionEnd::finishAndExit() {
    // A second break noticed while finishing (another connection) ends here.
    if (!finishing.exchange(true)) {
        if (SessionEnd* session = armed.load(); session != nullptr && session->finish_) {
            session->finish_();
        }
        static constexpr char message[] = "Tamsel: the X display went away.\n";
        say(message, sizeof message - 1);
    }
    ::_exit(0);
}

} // namespace tamsel
