#include "platform/portal/PortalRestoreToken.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "core/toolkit/FileDescriptor.h"

namespace tamsel::PortalRestoreToken {

namespace fs = std::filesystem;

namespace {

std::string failure(const char* what, const fs::path& path, int error) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(error);
}

} // namespace

fs::path fileFor(const fs::path& home) {
    return home / ".config" / "tamsel" / "portal-restore-token";
}

std::optional<std::string> read(const fs::path& file) {
    std::ifstream in(file);
    if (!in) {
        return std::nullopt;
    }
    std::string token;
    std::getline(in, token);
    // Tokens are printable ASCII; anything else is not one of ours.
    if (token.empty() || token.size() > 4096 ||
        std::any_of(token.begin(), token.end(), [](char c) { return c < 0x21 || c > 0x7E; })) {
        return std::nullopt;
    }
    return token;
}

std::optional<std::string> write(const fs::path& file, const std::string& token) {
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);
    std::random_device random;
    const fs::path temporary =
        file.parent_path() / ("." + file.filename().string() + ".tmp-" + std::to_string(random()));
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) {
        return failure("Could not create", temporary, errno);
    }
    const std::string bytes = token + "\n";
    const char* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd.get(), at, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int error = errno;
            fd.reset();
            ::unlink(temporary.c_str());
            return failure("Could not write", temporary, error);
        }
        at += written;
        left -= static_cast<std::size_t>(written);
    }
    // The umask may have narrowed the mode, never widened it; make it exact.
    if (::fchmod(fd.get(), 0600) != 0 || ::fsync(fd.get()) != 0 || !fd.close()) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failure("Could not write", temporary, error);
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failure("Could not replace", file, error);
    }
    return std::nullopt;
}

void remove(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

} // namespace tamsel::PortalRestoreToken
