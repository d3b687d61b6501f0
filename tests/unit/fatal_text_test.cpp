#include <gtest/gtest.h>

#include "app/fatal_text.h"

TEST(FatalErrorText, HasItsSectionsOnlyWhenGiven) {
    struct Case {
        const char* message;
        int code;
        const char* expected;
    };
    const Case cases[] = {
        {"", 0, "运行时出错!\r\n"},
        {nullptr, 0, "运行时出错!\r\n"},
        {"", 5, "运行时出错!\r\n\r\n错误代码：5\r\n"},
        {"磁盘已满", 0, "运行时出错!\r\n\r\n错误信息：磁盘已满\r\n"},
        {"x", -7, "运行时出错!\r\n\r\n错误代码：-7\r\n\r\n错误信息：x\r\n"},
    };
    for (const Case& c : cases) EXPECT_STREQ(fatalErrorText(c.message, c.code).bytes, c.expected);
}

TEST(FatalErrorText, AnOverlongMessageIsCutInsteadOfOverflowing) {
    static char longMessage[4000];
    for (char& c : longMessage) c = 'm';
    longMessage[sizeof longMessage - 1] = '\0';
    const FatalText text = fatalErrorText(longMessage, 1);
    EXPECT_EQ(std::string(text.bytes).size(), FatalText::capacity - 1);
}

TEST(FatalMessages, NameWhatFailed) {
    EXPECT_STREQ(outOfMemoryMessage(123456).bytes, "分配 123456 字节内存失败!");
    EXPECT_STREQ(missingRoutineMessage("kernel32.dll", "CopyFileA").bytes,
                 "无法找到指定DLL库文件“kernel32.dll”中的输出命令“CopyFileA”");
}
