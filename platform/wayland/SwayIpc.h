#pragma once

// One connection to sway's IPC socket: commands and their replies, or a
// stream of subscribed events. The messages are sway's own: a magic string,
// the payload's length and type, then JSON.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QJsonObject>

#include "core/toolkit/FileDescriptor.h"

namespace tamsel {

class SwayIpc {
public:
    enum MessageType : std::uint32_t {
        runCommand = 0,
        subscribe = 2,
        getTree = 4,
        getVersion = 7,
    };
    // Event types have the high bit set.
    static constexpr std::uint32_t workspaceEvent = 0x80000000U;
    static constexpr std::uint32_t windowEvent = 0x80000003U;
    static constexpr std::uint32_t bindingEvent = 0x80000005U;
    static constexpr std::uint32_t shutdownEvent = 0x80000006U;

    struct Message {
        std::uint32_t type = 0;
        QJsonObject object; // the payload, when it is an object
        std::string payload;
    };

    // The socket named by SWAYSOCK; no value, and the reason in `error`, when
    // sway does not answer there.
    static std::unique_ptr<SwayIpc> connect(std::string& error);
    static std::unique_ptr<SwayIpc> connect(const std::string& path, std::string& error);

    int fd() const { return socket_.get(); }
    // Sends one message and waits for its reply (of the same type).
    std::optional<Message> request(MessageType type, const std::string& payload);
    // Runs sway commands; the error of each that failed, in order.
    std::vector<std::string> run(const std::string& commands);
    // Reads the next message, waiting at most `timeout`.
    std::optional<Message> read(std::chrono::milliseconds timeout);

    // The focused window: sway's id for it and its application, app_id for
    // native windows, the X11 class for XWayland ones. No value when no
    // window has the focus (an empty workspace).
    struct Focused {
        std::uint64_t id = 0;
        std::optional<std::string> application;
        bool operator==(const Focused&) const = default;
    };
    static std::optional<Focused> focused(const QJsonObject& tree);
    static std::optional<std::string> focusedApplication(const QJsonObject& tree);
    static std::optional<std::string> applicationOf(const QJsonObject& container);

private:
    explicit SwayIpc(FileDescriptor socket) : socket_(std::move(socket)) {}
    bool send(std::uint32_t type, const std::string& payload);

    FileDescriptor socket_;
};

} // namespace tamsel
