#pragma once

// A headless sway the tests start themselves: no screen, no input devices,
// software rendering, run as the unprivileged user "nobody" (sway refuses
// root). Clients of the test connect to it as root through its sockets.

#include <sys/stat.h>
#include <unistd.h>

#include <pwd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "tests/support/TemporaryFolder.h"
#include "tests/support/XServer.h"

namespace tamsel::testing {

// Bytes no clipboard owner could convert or guess, the same for a seed.
inline std::string noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

class SwaySession {
public:
    SwaySession() {
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr) {
            throw std::runtime_error("no user called nobody");
        }
        ::chmod(folder_.path().c_str(), 0755);
        runtime_ = folder_.path() / "run";
        std::filesystem::create_directories(runtime_);
        ::chmod(runtime_.c_str(), 0700);
        if (::chown(runtime_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            throw std::runtime_error("cannot hand the runtime folder to nobody");
        }
        config_ = folder_.path() / "sway.config";
        writeFile(config_, "output HEADLESS-1 resolution 1280x800\n"
                           "default_border none\n"
                           "focus_follows_mouse no\n");
        ::chmod(config_.c_str(), 0644);
        sway_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"setpriv", "--reuid=nobody", "--regid=" +
                                                                       std::to_string(nobody->pw_gid),
                                     "--clear-groups", "sway", "-c", config_.string()},
            std::map<std::string, std::string>{{"HOME", folder_.path().string()},
                                               {"XDG_RUNTIME_DIR", runtime_.string()},
                                               {"WLR_BACKENDS", "headless"},
                                               {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                               {"WLR_RENDERER", "pixman"},
                                               {"WAYLAND_DISPLAY", ""},
                                               {"DISPLAY", ""},
                                               {"SWAYSOCK", ""}},
            (folder_.path() / "sway.log").string());
        const bool ready = waitUntil([this] {
            ipcSocket_ = findIpcSocket();
            return std::filesystem::exists(runtime_ / "wayland-1") && !ipcSocket_.empty();
        });
        if (!ready) {
            throw std::runtime_error("headless sway did not start: " +
                                     readFile(folder_.path() / "sway.log"));
        }
    }

    ~SwaySession() {
        if (sway_) {
            sway_->terminate();
        }
    }

    // What a client of this session needs in its environment.
    std::map<std::string, std::string> environment() const {
        return {{"XDG_RUNTIME_DIR", runtime_.string()},
                {"WAYLAND_DISPLAY", "wayland-1"},
                {"SWAYSOCK", ipcSocket_},
                {"DISPLAY", ""}};
    }
    // Sets this process's own environment to the session's.
    void enter() const {
        for (const auto& [name, value] : environment()) {
            if (value.empty()) {
                ::unsetenv(name.c_str());
            } else {
                ::setenv(name.c_str(), value.c_str(), 1);
            }
        }
    }
    const std::filesystem::path& folder() const { return folder_.path(); }

    // A foot window of application `appID` whose shell hands every key to
    // `cat > <folder>/<appID>.txt` at once (no line editing); returns once it
    // has the focus, or throws.
    std::unique_ptr<ChildProcess> startCatWindow(const std::string& appID) const {
        const auto file = folder_.path() / (appID + ".txt");
        auto window = std::make_unique<ChildProcess>(
            std::vector<std::string>{"foot", "--app-id", appID, "sh", "-c",
                                     "stty -icanon; cat > " + file.string()},
            environment(), "/dev/null");
        if (!waitForFocus(appID)) {
            throw std::runtime_error("the foot window " + appID + " never got the focus");
        }
        return window;
    }
    std::string typedInto(const std::string& appID) const {
        return readFile(folder_.path() / (appID + ".txt"));
    }

    // Waits until the focused window is one of `appID`'s, as sway's own tree says.
    bool waitForFocus(const std::string& appID) const {
        const std::filesystem::path tree = folder_.path() / "tree.json";
        return waitUntil([&] {
            ChildProcess query({"swaymsg", "-t", "get_tree"}, environment(), tree.string());
            query.waitForExit(std::chrono::seconds(5));
            const std::string json = readFile(tree);
            // The focused node says so a few lines before its app_id.
            const std::size_t focused = json.find("\"focused\": true");
            const std::size_t app = json.find("\"app_id\": \"" + appID + "\"", focused);
            return focused != std::string::npos && app != std::string::npos &&
                   app - focused < 1500;
        });
    }
    const std::string& ipcSocket() const { return ipcSocket_; }

private:
    std::string findIpcSocket() const {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(runtime_, error)) {
            if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) {
                return entry.path().string();
            }
        }
        return {};
    }

    TemporaryFolder folder_;
    std::filesystem::path runtime_;
    std::filesystem::path config_;
    std::string ipcSocket_;
    std::unique_ptr<ChildProcess> sway_;
};

} // namespace tamsel::testing
