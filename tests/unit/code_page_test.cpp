#include <gtest/gtest.h>

#include "app/run_directory.h"
#include "common/code_page.h"

// "乗" is 0x81 0x5C in code page 936: its trail byte is a backslash byte but no separator.
#define DOUBLE_BYTE_5C "\x81\x5c"

TEST(RunDirectory, IsThePathBeforeItsLastBackslashCharacter) {
    struct Case {
        const char* modulePath;
        const char* expected;
    };
    const Case cases[] = {
        {"D:\\Apps\\Tool\\PelmoraUpdate.exe", "D:\\Apps\\Tool"},
        {"D:\\PelmoraUpdate.exe", "D:"},
        {"PelmoraUpdate.exe", ""},
        {"", ""},
        {"C:\\dir with space " DOUBLE_BYTE_5C "\\probe.exe", "C:\\dir with space " DOUBLE_BYTE_5C},
        {"C:\\a\\" DOUBLE_BYTE_5C "name.exe", "C:\\a"},
        {"\\\\server\\share\\x.exe", "\\\\server\\share"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(runDirectoryOf(c.modulePath, isCodePage936LeadByte).c_str(), c.expected) << c.modulePath;
    }
}

TEST(DoubleByteRule, TrailByte5CIsNeverASeparator) {
    EXPECT_EQ(lastBackslash("ab" DOUBLE_BYTE_5C, isCodePage936LeadByte), -1);
    EXPECT_EQ(lastBackslash("a\\b" DOUBLE_BYTE_5C, isCodePage936LeadByte), 1);
    EXPECT_FALSE(endsWithBackslash("latest" DOUBLE_BYTE_5C, isCodePage936LeadByte));
    EXPECT_TRUE(endsWithBackslash("latest" DOUBLE_BYTE_5C "\\", isCodePage936LeadByte));
    EXPECT_TRUE(endsWithBackslash("latest\\", isCodePage936LeadByte));
    EXPECT_FALSE(endsWithBackslash("", isCodePage936LeadByte));
    // A lead byte with nothing after it stands alone and swallows no terminator.
    EXPECT_FALSE(endsWithBackslash("a\x81", isCodePage936LeadByte));
    EXPECT_EQ(lastBackslash("\\\x81", isCodePage936LeadByte), 0);
}

TEST(DoubleByteRule, WithoutLeadBytesEvery5CIsASeparator) {
    const auto singleByte = [](unsigned char) { return false; };
    EXPECT_EQ(lastBackslash("ab" DOUBLE_BYTE_5C, singleByte), 3);
    EXPECT_TRUE(endsWithBackslash("ab" DOUBLE_BYTE_5C, singleByte));
}
