#include "core/toolkit/LineReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamsel {

LineReader::LineReader(std::size_t chunkSize, std::size_t maximumLineLength)
    : chunkSize(std::max<std::size_t>(chunkSize, 1)),
      maximumLineLength(std::max<std::size_t>(maximumLineLength, 1)) {}

LineReader::~LineReader() {
    close();
}

bool LineReader::open(const std::filesystem::path& path) {
    close();
    // Non-blocking, so that a FIFO named like a transcript cannot stall the scan.
    FileDescriptor opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!opened) {
        return false;
    }
    struct stat status {};
    if (::fstat(opened.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    fd = std::move(opened);
    reachedEnd = false;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    // Give back what one enormous line took; ordinary files never get here.
    if (capacity > 8 * chunkSize) {
        buffer.reset();
        capacity = 0;
    }
    return true;
}

void LineReader::close() {
    fd.reset(); // nothing useful to do with an error on a read-only file
    dropBuffer();
    reachedEnd = true;
    skippingLine = false;
    overlong = 0;
}

void LineReader::dropBuffer() {
    begin = end = searched = 0;
}

void LineReader::reserveForRead() {
    if (!buffer) {
        capacity = std::min(2 * chunkSize, maximumLineLength + chunkSize);
        buffer.reset(new char[capacity + padding]);
    }
    if (begin > 0) {
        std::memmove(buffer.get(), buffer.get() + begin, end - begin);
        end -= begin;
        searched -= begin;
        begin = 0;
    }
    if (capacity - end >= chunkSize) {
        return;
    }
    // The unfinished line fills the buffer: grow, but never past what the
    // longest acceptable line and one chunk need.
    std::size_t grown = std::max(2 * capacity, end + chunkSize);
    grown = std::min(grown, maximumLineLength + chunkSize);
    if (grown <= capacity) {
        return;
    }
    std::unique_ptr<char[]> larger(new char[grown + padding]);
    std::memcpy(larger.get(), buffer.get(), end);
    buffer = std::move(larger);
    capacity = grown;
}

std::optional<std::string_view> LineReader::nextLine() {
    for (;;) {
        if (searched < end) {
            const void* hit = std::memchr(buffer.get() + searched, '\n', end - searched);
            if (hit != nullptr) {
                const std::size_t lineEnd =
                    static_cast<std::size_t>(static_cast<const char*>(hit) - buffer.get());
                const std::size_t lineBegin = begin;
                begin = searched = lineEnd + 1;
                const std::size_t length = lineEnd - lineBegin;
                if (skippingLine || length > maximumLineLength) {
                    skippingLine = false;
                    ++overlong;
                    continue;
                }
                if (length == 0) {
                    continue;
                }
                return std::string_view(buffer.get() + lineBegin, length);
            }
            searched = end;
        }
        if (end - begin > maximumLineLength) {
            skippingLine = true;
        }
        if (skippingLine) {
            dropBuffer();
        }
        if (reachedEnd) {
            if (skippingLine) {
                skippingLine = false;
                ++overlong;
                return std::nullopt;
            }
            if (begin == end) {
                return std::nullopt;
            }
            std::string_view last(buffer.get() + begin, end - begin);
            begin = searched = end;
            return last;
        }
        reserveForRead();
        const std::size_t wanted = std::min(chunkSize, capacity - end);
        ssize_t count = 0;
        do {
            count = ::read(fd.get(), buffer.get() + end, wanted);
        } while (count < 0 && errno == EINTR);
        if (count <= 0) {
            reachedEnd = true;
        } else {
            end += static_cast<std::size_t>(count);
        }
    }
}

} // namespace tamsel
