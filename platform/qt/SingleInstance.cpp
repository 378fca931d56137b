#include "platform/qt/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <QLocalSocket>

namespace tamsel {

namespace {

constexpr char showCommand[] = "show\n";
// Requests are single short lines; anything longer is not a peer of ours.
constexpr qint64 maximumRequestBytes = 4096;

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

namespace {
std::string safeName(const QString& display) {
    std::string safe;
    for (QChar c : display) {
        safe += c.isLetterOrNumber() && c.unicode() < 128 ? static_cast<char>(c.unicode()) : '_';
    }
    return safe;
}
} // namespace

std::filesystem::path SingleInstance::socketPathFor(const std::filesystem::path& folder,
                                                    const QString& display) {
    return folder / ("tamsel-" + safeName(display) + ".socket");
}

SingleInstance::SingleInstance(const std::filesystem::path& folder, const QString& display,
                               QObject* parent)
    : QObject(parent) {
    socketPath_ = socketPathFor(folder, display);
    lockPath_ = folder / ("tamsel-" + safeName(display) + ".lock");
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
                const QByteArray line = socket->readLine(maximumRequestBytes + 1);
                if (!line.endsWith('\n')) {
                    socket->abort();
                    return;
                }
                if (line == showCommand) {
                    emit showRequested();
                    continue;
                }
                std::optional<std::string> reply;
                if (requestHandler_) {
                    reply = requestHandler_(line.chopped(1).toStdString());
                }
                if (!reply) {
                    socket->abort();
                    return;
                }
                socket->write(QByteArray::fromStdString(*reply + "\n"));
            }
            // A line that never ends would otherwise be buffered for ever.
            if (socket->bytesAvailable() > maximumRequestBytes) {
                socket->abort();
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

SingleInstance::Answer SingleInstance::ask(const std::filesystem::path& socketPath,
                                           const std::string& line, int timeoutMS) {
    Answer answer;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath.string();
    if (path.size() >= sizeof address.sun_path) {
        answer.error = "The socket path " + path + " is too long.";
        return answer;
    }
    std::copy(path.begin(), path.end(), address.sun_path);
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        answer.error = std::string("Cannot make a socket: ") + std::strerror(errno) + ".";
        return answer;
    }
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        answer.error = "Nothing listens at " + path + ": " + std::strerror(errno) + ".";
        return answer;
    }
    if (peerUser(socket.get()) != ::getuid()) {
        answer.error = "The socket " + path + " belongs to another user.";
        return answer;
    }
    answer.reached = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMS);
    // Waits until the socket is ready for `events`; false once the time is up.
    auto ready = [&](short events) {
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            pollfd entry{socket.get(), events, 0};
            const int result = ::poll(&entry, 1, static_cast<int>(left.count()));
            if (result > 0) {
                return true;
            }
            if (result < 0 && errno != EINTR) {
                return false;
            }
        }
    };
    const std::string request = line + "\n";
    std::size_t sent = 0;
    while (sent < request.size()) {
        if (!ready(POLLOUT)) {
            answer.error = "The running Tamsel did not take the request in time.";
            return answer;
        }
        const ssize_t written =
            ::send(socket.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (written < 0 && errno != EINTR && errno != EAGAIN) {
            answer.error = std::string("Cannot send the request: ") + std::strerror(errno) + ".";
            return answer;
        }
        sent += written > 0 ? static_cast<std::size_t>(written) : 0;
    }
    std::string reply;
    char buffer[512];
    while (reply.find('\n') == std::string::npos) {
        if (reply.size() > static_cast<std::size_t>(maximumRequestBytes) || !ready(POLLIN)) {
            answer.error = "The running Tamsel did not answer in time.";
            return answer;
        }
        const ssize_t received = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (received == 0) {
            answer.error = "The running Tamsel closed the connection without an answer.";
            return answer;
        }
        if (received < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            answer.error = std::string("Cannot read the answer: ") + std::strerror(errno) + ".";
            return answer;
        }
        reply.append(buffer, static_cast<std::size_t>(received));
    }
    answer.line = reply.substr(0, reply.find('\n'));
    return answer;
}

void SingleInstance::close() {
    if (server_.isListening()) {
        server_.close(); // removes the socket file
    }
}

} // namespace tamsel
