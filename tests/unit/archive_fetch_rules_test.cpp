#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "host/archive_fetch_rules.h"

TEST(ReadSize, FollowsTheContentLengthText) {
    struct Case {
        const char* contentLength;
        std::size_t readSize;
    };
    const Case cases[] = {
        {"1000", 1001},
        {"1", 2},
        {"102398", 102399},
        {"102399", 102400},
        {"102400", 102400},
        {"5000000", 102400},
        {"99999999999999999999999999999", 102400},  // beyond 64 bits: saturates, does not wrap
        {"18446744073709551617", 102400},          // 2^64 + 1 would wrap to 1
        {"0", 10240},
        {"-1", 10240},
        {"-5000", 10240},
        {"-99999999999999999999999999999", 10240},
        {"", 10240},
        {"abc", 10240},
        {"+", 10240},
        {"-", 10240},
        {"x100", 10240},
        {nullptr, 10240},  // the header is missing or does not fit its buffer
        {"  1000", 1001},
        {"\t\r\n\v\f1000", 1001},
        {"+1000", 1001},
        {" +1000", 1001},
        {"1000abc", 1001},
        {"1000 2000", 1001},
        {"+-1000", 10240},
        {"- 1000", 10240},
        {"00042", 43},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readSizeFor(announcedLength(c.contentLength)), c.readSize)
            << '"' << (c.contentLength ? c.contentLength : "(none)") << '"';
    }
}

TEST(AnnouncedLength, IsTheNumberOrNothing) {
    EXPECT_EQ(announcedLength("1000"), 1000u);
    EXPECT_EQ(announcedLength(" +31457280"), 31457280u);
    EXPECT_EQ(announcedLength("4294967296"), 4294967296u);  // beyond 32 bits
    EXPECT_EQ(announcedLength("99999999999999999999999"), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(announcedLength("-7"), 0u);
    EXPECT_EQ(announcedLength(nullptr), 0u);
}

TEST(RequestFlags, HttpAndHttpsOnlyAndTlsOnlyForHttps) {
    using namespace wininet_value;
    EXPECT_EQ(requestFlagsFor(kSchemeHttp), kFlagReload | kFlagNoCacheWrite);
    EXPECT_EQ(requestFlagsFor(kSchemeHttps), kFlagReload | kFlagNoCacheWrite | kFlagSecure);
    // INTERNET_SCHEME_UNKNOWN, DEFAULT, FTP, GOPHER, FILE, NEWS, MAILTO, SOCKS, JAVASCRIPT, VBSCRIPT, RES.
    for (int other : {-1, 0, 1, 2, 5, 6, 7, 8, 9, 10, 11}) {
        EXPECT_FALSE(requestFlagsFor(other).has_value()) << other;
    }
}

TEST(RequestTarget, KeepsTheQueryAndDropsTheFragment) {
    struct Case {
        const char* urlPath;
        const char* target;
    };
    const Case cases[] = {
        {"/update/pelmoraDesk/latest.zip", "/update/pelmoraDesk/latest.zip"},
        {"/a?b=1&c=2", "/a?b=1&c=2"},
        {"/a#top", "/a"},
        {"/a?b=1#top", "/a?b=1"},
        {"/a?b=#x#y", "/a?b="},
        {"/a%23b#c", "/a%23b"},
        {"#only", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string path = c.urlPath;
        cutFragment(path.data());
        EXPECT_STREQ(path.c_str(), c.target) << c.urlPath;
    }
}

TEST(BodyCapacity, ReservesTheAnnouncedLengthAndASpareByte) {
    EXPECT_EQ(initialBodyCapacity(0), 0u);
    EXPECT_EQ(initialBodyCapacity(1000), 1001u);
    EXPECT_EQ(initialBodyCapacity(31457280), 31457281u);
    EXPECT_EQ(initialBodyCapacity(std::numeric_limits<std::uint64_t>::max()), 0u);
    if (sizeof(std::size_t) < sizeof(std::uint64_t)) {
        EXPECT_EQ(initialBodyCapacity(std::uint64_t{1} << 40), 0u) << "beyond what a 32-bit process holds";
    }
}

TEST(BodyCapacity, GrowsByHalfAtLeast) {
    EXPECT_EQ(grownBodyCapacity(0, 10240), 10240u);
    EXPECT_EQ(grownBodyCapacity(10240, 10241), 15360u);
    EXPECT_EQ(grownBodyCapacity(10240, 30000), 30000u);
    EXPECT_EQ(grownBodyCapacity(1000001, 1000002), 1500001u);
    const std::size_t largest = std::numeric_limits<std::size_t>::max();
    EXPECT_EQ(grownBodyCapacity(largest - 10, largest - 5), largest);
}
