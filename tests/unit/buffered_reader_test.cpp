#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/buffered_reader.h"

namespace {
constexpr std::size_t kBuffer = BufferedReader::kBufferSize;

// A file of the given length whose bytes tell their offset, read at offsets; it counts the reads.
struct FakeFile {
    std::vector<unsigned char> bytes;
    int reads = 0;

    explicit FakeFile(std::size_t length) : bytes(length) {
        for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
    }

    BufferedReader reader() {
        return BufferedReader([this](std::uint64_t offset, void* buffer, std::size_t size) -> std::size_t {
            ++reads;
            if (offset >= bytes.size()) return 0;
            const std::size_t count = std::min<std::size_t>(size, bytes.size() - offset);
            std::memcpy(buffer, bytes.data() + offset, count);
            return count;
        });
    }
};

// One step: move to the position (or stay, for -1), then read that many bytes.
struct Step {
    std::int64_t position;
    std::size_t size;
};

struct ReadCase {
    const char* name;
    std::size_t fileLength;
    std::vector<Step> steps;
};

const ReadCase kReadCases[] = {
    {"small reads one after the other", 10000, {{0, 4}, {-1, 2}, {-1, 2}, {-1, 46}, {-1, 3}}},
    {"a read that runs past the buffer's end", 10000, {{0, 1}, {kBuffer - 3, 10}, {-1, 5}}},
    {"back to a place read before", 10000, {{5000, 4}, {100, 4}, {5002, 30}}},
    {"reads as large as the buffer and larger", 3 * kBuffer + 17, {{1, 2}, {-1, kBuffer}, {-1, 2 * kBuffer + 100}}},
    {"a read across the end of the file", 5000, {{4990, 30}, {-1, 4}}},
    {"a position past the end", 5000, {{6000, 4}, {4999, 4}}},
    {"an empty file", 0, {{0, 4}, {-1, kBuffer * 2}}},
};
}  // namespace

TEST(BufferedReader, ReadsWhatTheFileHoldsAtEachPosition) {
    for (const ReadCase& c : kReadCases) {
        FakeFile file(c.fileLength);
        BufferedReader reader = file.reader();
        std::uint64_t position = 0;
        for (const Step& step : c.steps) {
            if (step.position >= 0) {
                position = static_cast<std::uint64_t>(step.position);
                reader.setPosition(position);
            }
            std::vector<unsigned char> got(step.size, 0xEE);
            const std::size_t read = reader.read(got.data(), got.size());
            const std::size_t available = position < c.fileLength ? c.fileLength - position : 0;
            ASSERT_EQ(read, std::min(step.size, available)) << c.name;
            const std::size_t start = static_cast<std::size_t>(std::min<std::uint64_t>(position, c.fileLength));
            const std::vector<unsigned char> expected(file.bytes.begin() + start, file.bytes.begin() + start + read);
            got.resize(read);
            EXPECT_EQ(got, expected) << c.name;
            position += read;
            EXPECT_EQ(reader.position(), position) << c.name;
        }
    }
}

TEST(BufferedReader, SmallReadsWithinOneBufferCostOneFileRead) {
    FakeFile file(100000);
    BufferedReader reader = file.reader();
    unsigned char byte = 0;
    for (std::size_t i = 0; i < kBuffer; ++i) ASSERT_EQ(reader.read(&byte, 1), 1u);
    EXPECT_EQ(file.reads, 1);
    reader.setPosition(20);
    ASSERT_EQ(reader.read(&byte, 1), 1u);
    EXPECT_EQ(file.reads, 1) << "a place the buffer holds is not read again";
}

TEST(BufferedReader, AReadAsLargeAsTheBufferGoesStraightToTheFile) {
    FakeFile file(100000);
    BufferedReader reader = file.reader();
    std::vector<unsigned char> data(16384);
    ASSERT_EQ(reader.read(data.data(), data.size()), data.size());
    EXPECT_EQ(file.reads, 1);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), file.bytes.begin()));
}
