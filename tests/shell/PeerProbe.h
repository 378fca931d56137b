#pragma once

// What another local user can do with our socket: connect and ask for the
// popover. Run in a child process whose user id setpriv changed.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "core/toolkit/FileDescriptor.h"

namespace tamsel::testing {

constexpr char connectAsPeerOption[] = "--connect-as-peer";

enum PeerOutcome : int {
    peerUnreachable = 10, // connect refused: the folder keeps it out
    peerCutOff = 11,      // connected, then closed on without a word
    peerKeptOpen = 12,    // connected and still connected after a second
};

inline int connectAndAskToShow(const std::string& socketPath) {
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::cerr << "connect: " << std::strerror(errno) << "\n";
        return peerUnreachable;
    }
    [[maybe_unused]] ssize_t written = ::write(socket.get(), "show\n", 5);
    pollfd watch{socket.get(), POLLIN, 0};
    if (::poll(&watch, 1, 1000) == 1) {
        char byte = 0;
        if (::read(socket.get(), &byte, 1) <= 0) {
            return peerCutOff;
        }
    }
    return peerKeptOpen;
}

} // namespace tamsel::testing
