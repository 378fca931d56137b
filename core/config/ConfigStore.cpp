#include "core/config/ConfigStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "core/config/ConfigCodec.h"
#include "core/toolkit/FileDescriptor.h"
#include "core/toolkit/HomeDirectory.h"
#include "core/toolkit/TextToolkit.h"

namespace tamsel {

namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path& path) {
    return "“" + path.string() + "”";
}

std::string systemError(const std::string& what, const fs::path& path, int error) {
    return what + " " + quoted(path) + ": " + std::strerror(error) + ".";
}

std::optional<std::timespec> modificationTime(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_mtim;
}

bool isLater(const std::timespec& a, const std::timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// A configuration kept by a dotfile manager is often a symbolic link; writes go
// to the file it points at, so the link itself survives.
fs::path followLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) {
            break;
        }
        fs::path target = fs::read_symlink(path, error);
        if (error) {
            break;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

struct ReadResult {
    std::optional<std::string> bytes;
    std::string error;
};

ReadResult readWholeFile(const fs::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return {std::nullopt, systemError("Could not open", path, errno)};
    }
    std::string bytes;
    char buffer[65536];
    while (true) {
        ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count == 0) {
            return {std::move(bytes), {}};
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {std::nullopt, systemError("Could not read", path, errno)};
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// Writes a sibling temporary file, flushes it to disk and renames it over the
// target: a reader sees the old file or the new one, never half of one, and a
// failure leaves the old file as it was. The target keeps its permission bits
// unless `mode` says otherwise.
std::optional<std::string> writeAtomically(const fs::path& path, std::string_view bytes,
                                           std::optional<mode_t> mode = std::nullopt) {
    const fs::path target = followLinks(path);
    const fs::path directory = target.parent_path();
    const fs::path temporary =
        directory / ("." + target.filename().string() + ".tmp-" + TextToolkit::makeUuid());

    struct stat existing {};
    if (!mode && ::stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    }

    FileDescriptor fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode ? 0600 : 0666));
    if (!fd) {
        return systemError("Could not create a file in", directory, errno);
    }
    auto fail = [&](const std::string& what) {
        int error = errno;
        fd.reset();
        ::unlink(temporary.c_str());
        return systemError(what, target, error);
    };
    if (!writeAll(fd.get(), bytes)) {
        return fail("Could not write");
    }
    if (mode && ::fchmod(fd.get(), *mode) != 0) {
        return fail("Could not keep the permissions of");
    }
    if (::fsync(fd.get()) != 0) {
        return fail("Could not flush");
    }
    if (!fd.close()) {
        int error = errno;
        ::unlink(temporary.c_str());
        return systemError("Could not write", target, error);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        return systemError("Could not replace", target, error);
    }
    // Make the rename itself durable; a failure here loses nothing already written.
    if (FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
        ::fsync(dir.get());
    }
    return std::nullopt;
}

} // namespace

fs::path ConfigStore::defaultFileURL() {
    return fileURL(homeDirectory());
}

fs::path ConfigStore::fileURL(const fs::path& home) {
    return home / ".config" / "tamsel" / "config.json";
}

fs::path ConfigStore::backupURL(const fs::path& fileURL) {
    return fileURL.parent_path() / (fileURL.filename().string() + ".invalid");
}

ConfigStore::ConfigStore(fs::path fileURL) : fileURL_(std::move(fileURL)) {}

ConfigStore::LoadResult ConfigStore::load(Language defaultLanguage) {
    std::error_code existsError;
    // A dangling link counts as no file: the first run writes through it.
    if (!fs::exists(fileURL_, existsError) && !existsError) {
        Config config = Config::makeDefault(defaultLanguage);
        auto error = write(config);
        return LoadResult{std::move(config), std::move(error), true};
    }

    ReadResult read = readWholeFile(fileURL_);
    std::string error = read.error;
    if (read.bytes) {
        auto decoded = ConfigCodec::decode(*read.bytes);
        if (decoded.config) {
            lastKnownModification_ = modificationTime(fileURL_);
            isDamaged_ = false;
            return LoadResult{std::move(*decoded.config), std::nullopt, false};
        }
        error = std::move(decoded.error);
    }
    // Damaged: run on defaults, touch nothing, and remember the file's date so
    // that only a later edit makes it worth reading again.
    isDamaged_ = true;
    lastKnownModification_ = modificationTime(fileURL_);
    return LoadResult{Config::makeDefault(defaultLanguage), std::move(error), false};
}

std::optional<std::string> ConfigStore::save(const Config& config) {
    if (isDamaged_) {
        if (auto error = backUpDamagedFile()) {
            return error;
        }
        isDamaged_ = false;
    }
    return write(config);
}

std::optional<std::string> ConfigStore::backUpDamagedFile() {
    std::error_code existsError;
    if (!fs::exists(fileURL_, existsError) && !existsError) {
        return std::nullopt; // gone meanwhile: nothing left to lose
    }
    const fs::path backup = backupURL(fileURL_);
    ReadResult read = readWholeFile(fileURL_);
    std::optional<std::string> error;
    if (!read.bytes) {
        error = read.error;
    } else {
        // The backup replaces an older one atomically, so a failure here keeps it.
        // It is a copy, permissions included: a private file stays private.
        struct stat info {};
        std::optional<mode_t> mode;
        if (::stat(fileURL_.c_str(), &info) == 0) {
            mode = info.st_mode & 07777;
        }
        error = writeAtomically(backup, *read.bytes, mode);
    }
    if (error) {
        return "The damaged file could not be backed up to " + quoted(backup) +
               ", so it was not replaced. " + *error;
    }
    return std::nullopt;
}

std::optional<std::string> ConfigStore::write(const Config& config) {
    const fs::path directory = followLinks(fileURL_).parent_path();
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) {
        return "Could not create the folder " + quoted(directory) + ": " + error.message() + ".";
    }
    if (auto failure = writeAtomically(fileURL_, ConfigCodec::encode(config))) {
        return failure;
    }
    lastKnownModification_ = modificationTime(fileURL_);
    return std::nullopt;
}

bool ConfigStore::hasExternalChange() const {
    auto current = modificationTime(fileURL_);
    if (!current) {
        return false;
    }
    if (!lastKnownModification_) {
        return true;
    }
    return isLater(*current, *lastKnownModification_);
}

} // namespace tamsel
