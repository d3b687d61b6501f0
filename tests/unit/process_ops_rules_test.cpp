#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "host/process_ops_rules.h"

TEST(ShowModeTable, MapsEachModeAndClampsTheRest) {
    struct Case {
        std::optional<int> mode;
        unsigned short showWindow;
    };
    const Case cases[] = {
        {1, 0},  {2, 1},   {3, 2},   {4, 3},       {5, 4},       {6, 6},
        // Omitted is not 0: it shows normally, while 0 and below hide as 1 does.
        {std::nullopt, 1}, {0, 0},   {-5, 0},      {7, 6},       {9, 6},
        {INT_MIN, 0},      {INT_MAX, 6},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(showWindowFor(c.mode), c.showWindow) << (c.mode ? std::to_string(*c.mode) : "omitted");
    }
}

TEST(MessageBoxResultTable, MapsTheSevenAnswersAndEverythingElseToOk) {
    struct Case {
        int returned;
        int result;
    };
    const Case cases[] = {
        {1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6},
        // No box (0 on Windows, -1 under Wine without a display) and answers outside the table.
        {0, 0}, {-1, 0}, {8, 0}, {10, 0}, {11, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(boxResult(c.returned), c.result) << c.returned;
}

TEST(MessageBoxStyle, AddsTaskModalUnlessSystemModalIsAsked) {
    EXPECT_EQ(boxStyle(0), 0x2000u);
    EXPECT_EQ(boxStyle(0x4), 0x2004u);
    EXPECT_EQ(boxStyle(0x34), 0x2034u);
    EXPECT_EQ(boxStyle(0x1000), 0x1000u);
    EXPECT_EQ(boxStyle(0x1004), 0x1004u);
    // Arithmetic, not a bit set: a value that already holds the task-modal bit carries into the next.
    EXPECT_EQ(boxStyle(0x2000), 0x4000u);
    EXPECT_EQ(boxStyle(0x3000), 0x3000u);
}

TEST(MessageBoxCaption, DefaultsOnlyWhenOmitted) {
    EXPECT_STREQ(boxCaption(std::nullopt).c_str(), "\xD0\xC5\xCF\xA2\xA3\xBA");
    EXPECT_STREQ(boxCaption(TextRef("")).c_str(), "");
    EXPECT_STREQ(boxCaption(TextRef(nullptr)).c_str(), "") << "a null caption is the empty text, not an omitted one";
    EXPECT_STREQ(boxCaption(TextRef("升级")).c_str(), "\xC9\xFD\xBC\xB6");
}
