#pragma once

// Real processes for the X11 tests: a child process that is always ended, an
// Xvfb server on a display number of its own, and waiting on a condition.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tamsel::testing {

// Polls `condition` every 10 ms until it holds or the timeout passes.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class ChildProcess {
public:
    // `environment` adds to (or replaces in) this process's environment; an
    // empty value removes the variable. Output goes to `outputFile` if given.
    ChildProcess(std::vector<std::string> arguments,
                 const std::map<std::string, std::string>& environment = {},
                 const std::string& outputFile = {}, int keepOpenFD = -1) {
        std::map<std::string, std::string> merged;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            std::string text(*entry);
            const auto equals = text.find('=');
            if (equals != std::string::npos) {
                merged[text.substr(0, equals)] = text.substr(equals + 1);
            }
        }
        for (const auto& [name, value] : environment) {
            if (value.empty()) {
                merged.erase(name);
            } else {
                merged[name] = value;
            }
        }
        std::vector<std::string> envStrings;
        for (const auto& [name, value] : merged) {
            envStrings.push_back(name + "=" + value);
        }
        std::vector<char*> argv, envp;
        for (auto& a : arguments) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        for (auto& e : envStrings) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!outputFile.empty()) {
            posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        }
        (void)keepOpenFD; // inherited: spawned children keep descriptors without FD_CLOEXEC
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        // A group of its own, so that ending it ends what it started.
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        const int failed =
            posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (failed != 0) {
            throw std::runtime_error("cannot start " + arguments[0]);
        }
    }
    ~ChildProcess() { terminate(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The exit status once the process has ended, waiting up to `timeout`.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout) {
        if (exitStatus_) {
            return exitStatus_;
        }
        waitUntil(
            [this] {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                }
                return exitStatus_.has_value();
            },
            timeout);
        return exitStatus_;
    }

    void signal(int number) { ::kill(pid_, number); }

    void terminate() {
        if (exitStatus_ || pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGTERM);
        if (!waitForExit(std::chrono::seconds(5))) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
            waitForExit(std::chrono::seconds(5));
        }
    }

private:
    pid_t pid_ = -1;
    std::optional<int> exitStatus_;
};

// Xvfb on the first free display number, which it reports once it is ready.
class XServer {
public:
    XServer() {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::runtime_error("pipe failed");
        }
        server_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]),
                                                 "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                        std::map<std::string, std::string>{}, "/dev/null", fds[1]);
        ::close(fds[1]);
        std::string number;
        pollfd fd{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&fd, 1, 20000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        ::close(fds[0]);
        if (number.empty()) {
            throw std::runtime_error("Xvfb did not start");
        }
        display_ = ":" + number;
    }

    const std::string& display() const { return display_; }

    // Ends the server as a crash or a logout would, and waits until it is gone.
    void kill(int signalNumber = SIGKILL) {
        server_->signal(signalNumber);
        server_->waitForExit(std::chrono::seconds(10));
    }

private:
    std::optional<ChildProcess> server_;
    std::string display_;
};

} // namespace tamsel::testing
