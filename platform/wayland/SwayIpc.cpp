#include "platform/wayland/SwayIpc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <QJsonArray>
#include <QJsonDocument>

namespace tamsel {

namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t headerSize = sizeof magic + 8;

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::send(fd, data, size, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool readAll(int fd, char* data, std::size_t size, std::chrono::steady_clock::time_point deadline) {
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        const ssize_t count = ::read(fd, data, size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

} // namespace

std::unique_ptr<SwayIpc> SwayIpc::connect(std::string& error) {
    const char* path = std::getenv("SWAYSOCK");
    if (!path || !*path) {
        error = "SWAYSOCK is not set: this is not a sway session";
        return nullptr;
    }
    return connect(path, error);
}

std::unique_ptr<SwayIpc> SwayIpc::connect(const std::string& path, std::string& error) {
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!socket || path.size() >= sizeof address.sun_path) {
        error = "cannot open a socket for sway's IPC";
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot reach sway's IPC at “" + path + "”: " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<SwayIpc>(new SwayIpc(std::move(socket)));
}

bool SwayIpc::send(std::uint32_t type, const std::string& payload) {
    char header[headerSize];
    std::memcpy(header, magic, sizeof magic);
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::memcpy(header + sizeof magic, &length, 4);
    std::memcpy(header + sizeof magic + 4, &type, 4);
    return writeAll(socket_.get(), header, sizeof header) &&
           writeAll(socket_.get(), payload.data(), payload.size());
}

std::optional<SwayIpc::Message> SwayIpc::read(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char header[headerSize];
    if (!readAll(socket_.get(), header, sizeof header, deadline) ||
        std::memcmp(header, magic, sizeof magic) != 0) {
        return std::nullopt;
    }
    std::uint32_t length = 0;
    Message message;
    std::memcpy(&length, header + sizeof magic, 4);
    std::memcpy(&message.type, header + sizeof magic + 4, 4);
    message.payload.resize(length);
    // Once the header is here, the rest follows at once.
    if (!readAll(socket_.get(), message.payload.data(), length,
                 std::chrono::steady_clock::now() + std::chrono::seconds(5))) {
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(message.payload));
    if (document.isObject()) {
        message.object = document.object();
    }
    return message;
}

std::optional<SwayIpc::Message> SwayIpc::request(MessageType type, const std::string& payload) {
    if (!send(type, payload)) {
        return std::nullopt;
    }
    // A socket used for requests is never subscribed, so the next message is the reply.
    auto reply = read(std::chrono::seconds(5));
    if (!reply || reply->type != type) {
        return std::nullopt;
    }
    return reply;
}

std::vector<std::string> SwayIpc::run(const std::string& commands) {
    if (!send(runCommand, commands)) {
        return {"sway's IPC connection is closed"};
    }
    auto reply = read(std::chrono::seconds(5));
    if (!reply) {
        return {"sway did not answer"};
    }
    std::vector<std::string> errors;
    const QJsonArray results =
        QJsonDocument::fromJson(QByteArray::fromStdString(reply->payload)).array();
    for (const QJsonValue& result : results) {
        if (!result.toObject().value("success").toBool()) {
            errors.push_back(result.toObject().value("error").toString().toStdString());
        }
    }
    return errors;
}

std::optional<std::string> SwayIpc::applicationOf(const QJsonObject& container) {
    const QString appID = container.value("app_id").toString();
    if (!appID.isEmpty()) {
        return appID.toStdString();
    }
    const QString windowClass = container.value("window_properties").toObject().value("class").toString();
    if (!windowClass.isEmpty()) {
        return windowClass.toStdString();
    }
    return std::nullopt;
}

std::optional<SwayIpc::Focused> SwayIpc::focused(const QJsonObject& tree) {
    if (tree.value("focused").toBool()) {
        const QString type = tree.value("type").toString();
        if (type != QLatin1String("con") && type != QLatin1String("floating_con")) {
            return std::nullopt; // a workspace or an output: no window in front
        }
        return Focused{static_cast<std::uint64_t>(tree.value("id").toDouble()), applicationOf(tree)};
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : tree.value(children).toArray()) {
            if (auto found = focused(child.toObject())) {
                return found;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> SwayIpc::focusedApplication(const QJsonObject& tree) {
    auto window = focused(tree);
    return window ? window->application : std::nullopt;
}

} // namespace tamsel
