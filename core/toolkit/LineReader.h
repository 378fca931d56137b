#pragma once

// Reads a file as lines of raw bytes, ended by line feeds only. One reader
// keeps its buffer from file to file, so a scan over thousands of transcripts
// allocates once.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "core/toolkit/FileDescriptor.h"

namespace tamsel {

class LineReader {
public:
    static constexpr std::size_t defaultChunkSize = std::size_t{1} << 20;
    // A line without a line feed would otherwise grow the buffer until memory
    // runs out; longer lines are dropped as they stream past.
    static constexpr std::size_t defaultMaximumLineLength = std::size_t{64} << 20;
    // Bytes that may be read (never relied on) past the end of every returned
    // line, so a block-wise parser can take the line where it lies.
    static constexpr std::size_t padding = 64;

    explicit LineReader(std::size_t chunkSize = defaultChunkSize,
                        std::size_t maximumLineLength = defaultMaximumLineLength);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Closes the current file and opens `path`. Anything but a regular file
    // (a folder, a FIFO, a device) is refused without blocking.
    bool open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return fd.isOpen(); }

    // The next non-empty line without its line feed (a carriage return before
    // it stays), or none at the end of the file. The view lives until the next
    // call. A read error ends the file; lines already read are still returned.
    std::optional<std::string_view> nextLine();

    // Lines longer than the maximum passed over since the file was opened.
    std::int64_t overlongLines() const { return overlong; }

    std::size_t bufferCapacity() const { return capacity; }

private:
    void reserveForRead();
    void dropBuffer();

    std::size_t chunkSize;
    std::size_t maximumLineLength;
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0; // usable bytes; the padding comes on top
    std::size_t begin = 0;    // first byte not yet returned
    std::size_t end = 0;      // one past the last byte read
    std::size_t searched = 0; // no line feed in [begin, searched)
    FileDescriptor fd;
    bool reachedEnd = true;
    bool skippingLine = false; // inside a line already known to be too long
    std::int64_t overlong = 0;
};

} // namespace tamsel
