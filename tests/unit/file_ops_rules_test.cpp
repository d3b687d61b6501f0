#include <gtest/gtest.h>

#include "host/file_ops_rules.h"

TEST(DeleteDirectoryRule, RefusesEmptyPathsDrivesAndDriveRoots) {
    struct Case {
        const char* path;
        bool refused;
    };
    const Case cases[] = {
        {"", true},          {"   ", true},          {"D:", true},      {"D:\\", true},   {"  D:\\", true},
        {"D:\\x", false},    {"D:\\\\", false},     {"D:x", false},    {"latest\\", false}, {"x", false},
        {"\\", false},       {" latest", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(deleteDirectoryRefuses(skipLeadingSpaces(c.path)), c.refused) << '"' << c.path << '"';
    }
}

TEST(DeleteDirectoryRule, SkipsOnlyLeadingSpacesAndDotNames) {
    EXPECT_STREQ(skipLeadingSpaces("  a b "), "a b ");
    EXPECT_STREQ(skipLeadingSpaces("\ta"), "\ta");
    EXPECT_TRUE(deleteDirectorySkips("."));
    EXPECT_TRUE(deleteDirectorySkips(".."));
    EXPECT_TRUE(deleteDirectorySkips(".hidden"));
    EXPECT_FALSE(deleteDirectorySkips("a.b"));
}

TEST(FindFilter, MatchesAsTheAttributeRulesSay) {
    struct Case {
        unsigned long attributes;
        std::optional<unsigned long> filter;
        bool matches;
    };
    const Case cases[] = {
        // Omitted: everything that is not a directory.
        {0x20, std::nullopt, true},
        {0x80, std::nullopt, true},
        {0x07, std::nullopt, true},
        {0x10, std::nullopt, false},
        {0x12, std::nullopt, false},
        // Given: any of the remaining bits.
        {0x10, 0x10, true},
        {0x20, 0x10, false},
        {0x03, 0x02, true},
        // Bits outside the mask are dropped; with none left only a zero attribute word matches.
        {0x80, 0x80, false},
        {0x00, 0x80, true},
        {0x00, 0x00, true},
        {0x20, 0x00, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findFilterMatches(c.attributes, c.filter), c.matches)
            << std::hex << c.attributes << " filter " << (c.filter ? *c.filter : 0xFFFF);
    }
}
