// The body buffer on the process heap, where memory running out is a result and not a fault.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/body_buffer.h"

namespace {
std::string textOf(const Bytes& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.length());
}
}  // namespace

TEST(BodyBufferOnTheProcessHeap, StorageThatCannotGrowKeepsWhatWasGathered) {
    BodyBuffer body;
    ASSERT_TRUE(body.append("gathered ", 9));
    // No heap holds this; the bytes behind the pointer are never read.
    EXPECT_FALSE(body.append("x", SIZE_MAX - 4096));
    EXPECT_EQ(body.length(), 9u);
    ASSERT_TRUE(body.append("then more", 9));
    EXPECT_EQ(textOf(body.takeBytes()), "gathered then more");
}

TEST(BodyBufferOnTheProcessHeap, AReservationThatCannotBeHadLeavesTheBodyGrowing) {
    BodyBuffer body;
    ASSERT_TRUE(body.append("PK", 2));
    EXPECT_FALSE(body.reserve(SIZE_MAX - 4096));
    ASSERT_TRUE(body.append("\x03\x04", 2));
    EXPECT_EQ(textOf(body.takeBytes()), "PK\x03\x04");
}
