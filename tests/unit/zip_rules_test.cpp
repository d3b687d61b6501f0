#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <limits>
#include <vector>

#include "host/zip_rules.h"

namespace win = win32_attribute;

TEST(EntryAttributes, MapsTheDosAndUnixBits) {
    struct Case {
        unsigned long external;
        unsigned long expected;
    };
    constexpr unsigned long ownerWrite = 0x00800000;
    const Case cases[] = {
        {0, win::normal | win::readOnly},  // no Unix half: owner write is clear
        {ownerWrite, win::normal},
        {0x81A40000, win::normal},                          // Unix regular file, rw-r--r--
        {0x81240000, win::normal | win::readOnly},          // Unix regular file, r--r--r--
        {0x41ED0000, win::normal | win::directory},         // Unix directory, rwxr-xr-x
        {0x10 | ownerWrite, win::normal | win::directory},  // MS-DOS directory
        {0x20 | ownerWrite, win::normal | win::archive},
        {0x02 | ownerWrite, win::normal | win::hidden},
        {0x04 | ownerWrite, win::normal | win::system},
        {0x01 | ownerWrite, win::normal | win::readOnly},
        {0x3F, win::normal | win::readOnly | win::hidden | win::system | win::directory | win::archive},
        {0xFFFFFFFF, win::normal | win::readOnly | win::hidden | win::system | win::directory | win::archive},
        {0x08 | 0x40 | 0x80 | ownerWrite, win::normal},  // volume label and other bits carry nothing
    };
    for (const Case& c : cases) EXPECT_EQ(entryAttributes(c.external), c.expected) << std::hex << c.external;
}

TEST(EntryAttributes, DirectoryAndEncryptionAreSingleBits) {
    EXPECT_TRUE(isDirectoryEntry(win::normal | win::directory));
    EXPECT_FALSE(isDirectoryEntry(win::normal | win::readOnly | win::archive));
    EXPECT_TRUE(isEncryptedEntry(0x0001));
    EXPECT_TRUE(isEncryptedEntry(0x0809));
    EXPECT_FALSE(isEncryptedEntry(0x0808));
}

namespace {
// The first 32 bytes of a local file header with the given uncompressed size and name length.
std::vector<unsigned char> localHeader(std::uint32_t uncompressedSize, unsigned nameLength) {
    std::vector<unsigned char> head(kQuickCheckSize, 0);
    head[0] = 0x50;
    head[1] = 0x4B;
    head[2] = 0x03;
    head[3] = 0x04;
    for (int at = 0; at < 4; ++at) head[22 + at] = static_cast<unsigned char>(uncompressedSize >> (8 * at));
    head[26] = static_cast<unsigned char>(nameLength);
    head[27] = static_cast<unsigned char>(nameLength >> 8);
    return head;
}
}  // namespace

TEST(QuickCheck, WantsTheSignatureAndAPositiveWordAtOffset24) {
    struct Case {
        const char* what;
        std::vector<unsigned char> head;
        bool passes;
    };
    std::vector<unsigned char> endRecord = localHeader(0, 5);
    endRecord[2] = 0x05;
    endRecord[3] = 0x06;
    std::vector<unsigned char> short31 = localHeader(0, 5);
    short31.pop_back();
    const Case cases[] = {
        {"a local header", localHeader(1234, 5), true},
        {"the longest name that keeps the word positive", localHeader(0, 0x7FFF), true},
        {"a name of 32768 bytes makes it negative", localHeader(0, 0x8000), false},
        {"no name and a small size", localHeader(0xFFFF, 0), false},
        {"no name but a size of 64 KiB", localHeader(0x10000, 0), true},
        {"the end-of-central-directory signature", endRecord, false},
        {"31 bytes", short31, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(passesQuickCheck(c.head.data(), c.head.size()), c.passes) << c.what;
}

TEST(ProgressPercentage, IsTheTruncatedShareOfEntriesDone) {
    EXPECT_EQ(progressPercentage(0, 4), 0);
    EXPECT_EQ(progressPercentage(1, 4), 25);
    EXPECT_EQ(progressPercentage(2, 4), 50);
    EXPECT_EQ(progressPercentage(3, 4), 75);
    EXPECT_EQ(progressPercentage(4, 4), 100);
    EXPECT_EQ(progressPercentage(2, 3), 66);
    // 29 / 100 is a little below 0.29 in double precision: truncation gives 28.
    EXPECT_EQ(progressPercentage(29, 100), 28);
    EXPECT_EQ(progressPercentage(0, 0), 100);
}

TEST(UtcCalendarTime, BreaksDownKnownInstants) {
    struct Case {
        std::int64_t seconds;
        CalendarTime expected;
    };
    const Case cases[] = {
        {0, {1970, 1, 4, 1, 0, 0, 0}},
        {-1, {1969, 12, 3, 31, 23, 59, 59}},
        {951782400, {2000, 2, 2, 29, 0, 0, 0}},
        {1600000000, {2020, 9, 0, 13, 12, 26, 40}},
        {std::numeric_limits<std::int32_t>::max(), {2038, 1, 2, 19, 3, 14, 7}},
        {std::numeric_limits<std::int32_t>::min(), {1901, 12, 5, 13, 20, 45, 52}},
    };
    for (const Case& c : cases) {
        const CalendarTime t = utcCalendarTime(c.seconds);
        const CalendarTime& e = c.expected;
        EXPECT_EQ(std::vector<int>({t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second}),
                  std::vector<int>({e.year, e.month, e.dayOfWeek, e.day, e.hour, e.minute, e.second}))
            << c.seconds;
    }
}

TEST(UtcCalendarTime, AgreesWithTheCLibraryOverTheWholeSigned32BitRange) {
    const std::int64_t low = std::numeric_limits<std::int32_t>::min();
    const std::int64_t high = std::numeric_limits<std::int32_t>::max();
    for (std::int64_t seconds = low; seconds <= high; seconds += 9973 * 97) {
        const std::time_t value = static_cast<std::time_t>(seconds);
        std::tm expected{};
        ASSERT_NE(gmtime_r(&value, &expected), nullptr);
        const CalendarTime t = utcCalendarTime(seconds);
        ASSERT_EQ(std::vector<int>({t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second}),
                  std::vector<int>({expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_wday, expected.tm_mday,
                                    expected.tm_hour, expected.tm_min, expected.tm_sec}))
            << seconds;
    }
}
