#include <gtest/gtest.h>

#include <cstring>

#include "common/bytes.h"
#include "common/text.h"

TEST(ProgramTexts, LiteralsAreCodePage936Bytes) {
    // The build turns the UTF-8 sources' literals into code page 936; every visible text relies on it.
    EXPECT_STREQ("升级成功！", "\xc9\xfd\xbc\xb6\xb3\xc9\xb9\xa6\xa3\xa1");
    EXPECT_STREQ("信息：", "\xd0\xc5\xcf\xa2\xa3\xba");
}

TEST(ConcatText, JoinsPartsWithoutAddingOrRemovingSeparators) {
    const Text directory("D:\\Apps\\Tool");
    const Text staging = concatText({directory, "\\", "latest\\"});
    const Text pattern = concatText({staging, "\\*.*"});
    EXPECT_STREQ(pattern.c_str(), "D:\\Apps\\Tool\\latest\\\\*.*");
    EXPECT_EQ(pattern.length(), std::strlen("D:\\Apps\\Tool\\latest\\\\*.*"));
}

TEST(ConcatText, NullPartsCountAsEmptyAndTheResultIsAlwaysANewBuffer) {
    const Text nullText;
    const char* nullPointer = nullptr;
    const Text empty = concatText({nullText, nullPointer, ""});
    EXPECT_FALSE(empty.isNull());
    EXPECT_STREQ(empty.c_str(), "");

    const Text joined = concatText({"a", nullText, "b", nullPointer});
    EXPECT_STREQ(joined.c_str(), "ab");
}

TEST(CompareText, OrdersBytesAsUnsignedValuesWithNullAsEmpty) {
    const Text nullText;
    struct Case {
        const char* left;
        const char* right;
        int expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, 0}, {nullptr, "", 0}, {"", nullptr, 0},  {nullptr, "a", -1},
        {"a", nullptr, 1},     {"abc", "abc", 0}, {"ab", "abc", -1}, {"abd", "abc", 1},
        // 0xC9 is above 'a' only when bytes compare unsigned.
        {"\xc9", "a", 1},      {"a", "\xc9", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compareText(c.left, c.right), c.expected)
            << (c.left ? c.left : "(null)") << " vs " << (c.right ? c.right : "(null)");
    }
    EXPECT_EQ(compareText(nullText, ""), 0);
    EXPECT_EQ(compareText(nullText, Text("x")), -1);
}

TEST(Bytes, CopiesItsDataAndMovesOwnership) {
    const unsigned char source[] = {0, 1, 2, 0xFF};
    Bytes first(source, sizeof source);
    ASSERT_EQ(first.length(), 4u);
    EXPECT_EQ(std::memcmp(first.data(), source, 4), 0);

    Bytes second(std::move(first));
    EXPECT_TRUE(first.empty());  // NOLINT: a moved-from Bytes is defined to be empty
    EXPECT_EQ(second.length(), 4u);
    EXPECT_TRUE(Bytes(source, 0).empty());
}
