#include "core/toolkit/LineReader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/TemporaryFolder.h"

using namespace tamsel;
using tamsel::testing::TemporaryFolder;

namespace {

std::vector<std::string> readAll(LineReader& reader) {
    std::vector<std::string> lines;
    while (auto line = reader.nextLine()) {
        lines.emplace_back(*line);
    }
    return lines;
}

std::vector<std::string> readFile(const std::filesystem::path& file, std::size_t chunkSize,
                                  std::size_t maximum = LineReader::defaultMaximumLineLength) {
    LineReader reader(chunkSize, maximum);
    EXPECT_TRUE(reader.open(file));
    return readAll(reader);
}

} // namespace

TEST(LineReader, LineEdges) {
    TemporaryFolder folder;
    // The last line has no line feed; blank lines and runs of them vanish; a
    // carriage return before the line feed stays in the line.
    const auto file = folder.write("a.jsonl", "\n\nfirst\r\n\n\n\nsecond\n\r\nlast");
    EXPECT_EQ(readFile(file, 1 << 20),
              (std::vector<std::string>{"first\r", "second", "\r", "last"}));
    EXPECT_TRUE(readFile(folder.write("feeds.jsonl", "\n\n\n\n"), 2).empty());
    EXPECT_TRUE(readFile(folder.write("empty.jsonl", ""), 2).empty());
}

TEST(LineReader, LinesAcrossChunksMatchASimpleSplit) {
    TemporaryFolder folder;
    std::string content;
    std::vector<std::string> expected;
    unsigned state = 7;
    for (int i = 0; i < 300; ++i) {
        state = state * 1103515245u + 12345u;
        const std::size_t length = (state >> 16) % 23; // many empty lines, some longer than a chunk
        std::string line(length, static_cast<char>('a' + i % 26));
        content += line + "\n";
        if (!line.empty()) {
            expected.push_back(line);
        }
    }
    content += "tail";
    expected.push_back("tail");
    const auto file = folder.write("t.jsonl", content);
    for (std::size_t chunk : {1u, 2u, 3u, 5u, 8u, 64u, 4096u}) {
        EXPECT_EQ(readFile(file, chunk), expected) << "chunk size " << chunk;
    }
}

TEST(LineReader, OverlongLinesArePassedOverWithBoundedMemory) {
    TemporaryFolder folder;
    const std::string tooLong(1000, 'x');
    const auto file =
        folder.write("long.jsonl", "short\n" + tooLong + "\nafter\n" + std::string(10, 'y') + "\n" +
                                       std::string(11, 'z') + "\n" + tooLong);
    LineReader reader(4, 10);
    ASSERT_TRUE(reader.open(file));
    EXPECT_EQ(readAll(reader), (std::vector<std::string>{"short", "after", std::string(10, 'y')}));
    EXPECT_EQ(reader.overlongLines(), 3); // the long one, the 11-byte one, the unterminated tail
    EXPECT_LE(reader.bufferCapacity(), 10u + 4u);
}

TEST(LineReader, OneReaderServesManyFiles) {
    TemporaryFolder folder;
    const auto first = folder.write("1.jsonl", "one\ntwo\n" + std::string(50, 'l') + "\nthree");
    const auto second = folder.write("2.jsonl", "alpha\nbeta");
    LineReader reader(4, 20);
    ASSERT_TRUE(reader.open(first));
    EXPECT_EQ(reader.nextLine(), "one");
    // Switching files mid-way forgets the rest of the first one and its count.
    ASSERT_TRUE(reader.open(first));
    EXPECT_EQ(readAll(reader), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(reader.overlongLines(), 1);
    ASSERT_TRUE(reader.open(second));
    EXPECT_EQ(reader.overlongLines(), 0);
    EXPECT_EQ(readAll(reader), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(reader.nextLine(), std::nullopt);
}

TEST(LineReader, RefusesWhatIsNotARegularFile) {
    TemporaryFolder folder;
    std::filesystem::create_directories(folder.path() / "folder.jsonl");
    const auto fifo = folder.path() / "pipe.jsonl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    LineReader reader;
    EXPECT_FALSE(reader.open(folder.path() / "missing.jsonl"));
    EXPECT_FALSE(reader.open(folder.path() / "folder.jsonl"));
    EXPECT_FALSE(reader.open(fifo)); // would block forever if opened for reading
    EXPECT_EQ(reader.nextLine(), std::nullopt);
}
