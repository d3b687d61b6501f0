#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/body_buffer.h"

namespace {
std::string textOf(const Bytes& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.length());
}

// Chunks filled with their own number, so that a chunk missing, doubled or out of place shows.
void fillChunk(std::vector<unsigned char>& chunk, std::size_t number) {
    std::memset(chunk.data(), static_cast<int>(number % 251), chunk.size());
}
}  // namespace

TEST(BodyBuffer, GathersChunksInOrderAndHandsThemOver) {
    BodyBuffer body;
    ASSERT_TRUE(body.append("PK\x03\x04", 4));
    ASSERT_TRUE(body.append("", 0));
    ASSERT_TRUE(body.append(" rest", 5));
    const Bytes bytes = body.takeBytes();
    EXPECT_EQ(textOf(bytes), std::string("PK\x03\x04 rest", 9));
    EXPECT_EQ(body.length(), 0u);
    EXPECT_EQ(body.capacity(), 0u);
}

TEST(BodyBuffer, NothingGatheredIsTheEmptyBytes) {
    BodyBuffer untouched;
    EXPECT_TRUE(untouched.takeBytes().empty());
    BodyBuffer reserved;
    ASSERT_TRUE(reserved.reserve(1001));
    const Bytes bytes = reserved.takeBytes();
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(bytes.data(), nullptr) << "the empty Bytes holds no storage";
}

TEST(BodyBuffer, ABodyOfTheReservedLengthIsNeverMoved) {
    const std::size_t announced = 1000 * 1000;
    BodyBuffer body;
    ASSERT_TRUE(body.reserve(announced + 1));
    const std::size_t capacity = body.capacity();
    std::vector<unsigned char> chunk(100000);
    fillChunk(chunk, 1);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(body.append(chunk.data(), chunk.size()));
    EXPECT_EQ(body.capacity(), capacity);
    EXPECT_EQ(body.length(), announced);
}

// Growing by what is needed on every read moved a 100 MB body a thousand times; by half at least,
// the storage changes a few dozen times and each byte is copied about twice.
TEST(BodyBuffer, ALongBodyGrowsGeometrically) {
    const std::size_t chunkLength = 102400;
    const std::size_t chunks = 1000;
    std::vector<unsigned char> chunk(chunkLength);
    BodyBuffer body;
    std::size_t growths = 0;
    std::size_t lastCapacity = 0;
    for (std::size_t i = 0; i < chunks; ++i) {
        fillChunk(chunk, i);
        ASSERT_TRUE(body.append(chunk.data(), chunk.size()));
        if (body.capacity() != lastCapacity) {
            EXPECT_GE(body.capacity(), lastCapacity + lastCapacity / 2);
            ++growths;
            lastCapacity = body.capacity();
        }
    }
    EXPECT_LE(growths, 20u);
    EXPECT_LT(body.capacity(), body.length() * 2);

    const Bytes bytes = body.takeBytes();
    ASSERT_EQ(bytes.length(), chunkLength * chunks);
    for (std::size_t i = 0; i < chunks; ++i) {
        fillChunk(chunk, i);
        ASSERT_EQ(std::memcmp(bytes.data() + i * chunkLength, chunk.data(), chunkLength), 0) << "chunk " << i;
    }
}

TEST(BodyBuffer, AnAppendThatCannotFitKeepsTheBodyWhole) {
    BodyBuffer body;
    ASSERT_TRUE(body.append("gathered", 8));
    EXPECT_FALSE(body.append("x", std::numeric_limits<std::size_t>::max() - 3));
    EXPECT_EQ(textOf(body.takeBytes()), "gathered");
}
