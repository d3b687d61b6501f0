#pragma once
#include <cstddef>

// Texts of fatal reports, built in fixed storage: they are needed when the heap may be exhausted.
struct FatalText {
    static constexpr std::size_t capacity = 1024;
    char bytes[capacity];
};

// "运行时出错!" with the error code and message sections of the fatal error box.
FatalText fatalErrorText(const char* message, int code);

// "分配 %d 字节内存失败!" with the number of bytes asked for.
FatalText outOfMemoryMessage(std::size_t bytesAskedFor);

// "无法找到指定DLL库文件“%s”中的输出命令“%s”" with the library and routine names.
FatalText missingRoutineMessage(const char* library, const char* routine);
