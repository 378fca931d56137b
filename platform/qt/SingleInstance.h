#pragma once

// One Tamsel per user and display. A lock file held with flock decides which
// start is the first: it listens on a local socket beside the lock; a later
// start finds the lock taken, asks the first to open its popover through the
// socket and leaves. That is also how the popover opens on desktops without
// a tray. Both files live in a folder only this user can enter, and the
// socket answers only peers of this user.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <QLocalServer>
#include <QObject>
#include <QString>

#include "core/toolkit/FileDescriptor.h"

namespace tamsel {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    struct Folder {
        std::optional<std::filesystem::path> path;
        // Ready to show when path is empty.
        std::string error;
    };
    // $XDG_RUNTIME_DIR when it is this user's and private, otherwise
    // /tmp/tamsel-<uid>, made with mode 0700 if missing. A folder that another
    // user made, or that others may enter, is refused rather than used.
    static Folder privateFolder();
    // The same checks on `folder`, creating it when missing (only its last part).
    static std::string ensurePrivate(const std::filesystem::path& folder);

    // For this user and the display in `display` (the DISPLAY variable).
    SingleInstance(const std::filesystem::path& folder, const QString& display,
                   QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Role { first, later };
    // Takes the lock, or finds it held. As the first, listens (a socket that a
    // crashed instance left behind is replaced); `error` says so when it
    // cannot, and a later start then leaves without reaching this one. No
    // value, and `error` set, when the lock cannot be had.
    std::optional<Role> claim(std::string& error);

    // As a later start: asks the first one to show itself, retrying while it
    // may still be starting. False when it did not answer in time.
    bool notifyRunning(int timeoutMS = 3000);

    // Answers a request line other than "show" (without its line break) with
    // one reply line; no value drops the connection. Main thread.
    using RequestHandler = std::function<std::optional<std::string>(const std::string& line)>;
    void setRequestHandler(RequestHandler handler) { requestHandler_ = std::move(handler); }

    // The socket a start on `display` listens on in `folder`.
    static std::filesystem::path socketPathFor(const std::filesystem::path& folder,
                                               const QString& display);

    struct Answer {
        std::optional<std::string> line; // the reply, without its line break
        bool reached = false;            // whether anyone listened there
        std::string error;               // ready to show when there is no reply
    };
    // Sends `line` to the instance listening at `socket` and waits for its one
    // reply line; plain POSIX, so it needs no event loop or display. Only a
    // peer of this user is spoken to.
    static Answer ask(const std::filesystem::path& socket, const std::string& line,
                      int timeoutMS);

    // Stops listening and removes the socket; the lock goes with the object.
    void close();

    const std::filesystem::path& socketPath() const { return socketPath_; }
    const std::filesystem::path& lockPath() const { return lockPath_; }

signals:
    void showRequested();

private:
    void accept();

    std::filesystem::path socketPath_;
    std::filesystem::path lockPath_;
    FileDescriptor lock_;
    QLocalServer server_;
    RequestHandler requestHandler_;
};

} // namespace tamsel
