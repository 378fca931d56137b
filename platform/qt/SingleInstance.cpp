#include "platform/qt/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <QLocalSocket>

namespace tamsel {

namespace {

constexpr char showCommand[] = "show\n";

// The user id of the process at the other end of a local socket.
std::optional<uid_t> peerUser(int socket) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (socket < 0 || ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        return std::nullopt;
    }
    return credentials.uid;
}

std::string describe(const std::filesystem::path& path, const std::string& problem) {
    return "The folder " + path.string() + " " + problem;
}

} // namespace

std::string SingleInstance::ensurePrivate(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return describe(folder, std::string("cannot be made: ") + std::strerror(errno) + ".");
    }
    struct stat status {};
    // Not followed: a link planted by someone else would lead anywhere.
    if (::lstat(folder.c_str(), &status) != 0) {
        return describe(folder, std::string("cannot be read: ") + std::strerror(errno) + ".");
    }
    if (!S_ISDIR(status.st_mode)) {
        return describe(folder, "is not a folder.");
    }
    if (status.st_uid != ::getuid()) {
        return describe(folder, "belongs to another user; remove it or set XDG_RUNTIME_DIR.");
    }
    if ((status.st_mode & 0077) != 0) {
        return describe(folder, "may be entered by other users; make it private with "
                                "\"chmod 700 " +
                                    folder.string() + "\".");
    }
    return {};
}

SingleInstance::Folder SingleInstance::privateFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && runtime[0] == '/') {
        // The session's own folder is made private by the system; a folder
        // that is not is passed over for ours.
        if (std::filesystem::path folder(runtime); ensurePrivate(folder).empty()) {
            return {folder, {}};
        }
    }
    const std::filesystem::path fallback =
        std::filesystem::temp_directory_path() / ("tamsel-" + std::to_string(::getuid()));
    if (std::string error = ensurePrivate(fallback); !error.empty()) {
        return {std::nullopt, error};
    }
    return {fallback, {}};
}

SingleInstance::SingleInstance(const std::filesystem::path& folder, const QString& display,
                               QObject* parent)
    : QObject(parent) {
    std::string safe;
    for (QChar c : display) {
        safe += c.isLetterOrNumber() && c.unicode() < 128 ? static_cast<char>(c.unicode()) : '_';
    }
    socketPath_ = folder / ("tamsel-" + safe + ".socket");
    lockPath_ = folder / ("tamsel-" + safe + ".lock");
    connect(&server_, &QLocalServer::newConnection, this, [this] { accept(); });
}

SingleInstance::~SingleInstance() {
    close();
}

std::optional<SingleInstance::Role> SingleInstance::claim(std::string& error) {
    lock_.reset(::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock_) {
        error = "Cannot open " + lockPath_.string() + ": " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    if (::flock(lock_.get(), LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        lock_.reset();
        if (reason == EWOULDBLOCK) {
            return Role::later;
        }
        error = "Cannot lock " + lockPath_.string() + ": " + std::strerror(reason) + ".";
        return std::nullopt;
    }
    // Holding the lock, any socket here is one a crashed instance left.
    const QString name = QString::fromStdString(socketPath_.string());
    QLocalServer::removeServer(name);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(name)) {
        // Still the first: the lock stays held, so a later start leaves.
        error = "Cannot listen on " + socketPath_.string() + ": " +
                server_.errorString().toStdString() + ".";
    }
    return Role::first;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The folder keeps others out; this keeps out those who may enter any
        // folder (root) and whatever reaches the socket some other way.
        if (peerUser(static_cast<int>(socket->socketDescriptor())) != ::getuid()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == showCommand) {
                    emit showRequested();
                }
            }
        });
    }
}

bool SingleInstance::notifyRunning(int timeoutMS) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMS);
    const QString name = QString::fromStdString(socketPath_.string());
    do {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(timeoutMS)) {
            // Only the same user's instance is told anything.
            if (peerUser(static_cast<int>(socket.socketDescriptor())) != ::getuid()) {
                return false;
            }
            socket.write(showCommand);
            const bool sent = socket.waitForBytesWritten(timeoutMS);
            socket.disconnectFromServer();
            return sent;
        }
        // The first start holds the lock before it listens.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

void SingleInstance::close() {
    if (server_.isListening()) {
        server_.close(); // removes the socket file
    }
}

} // namespace tamsel
