#include "app/fatal_text.h"

#include <cstdarg>
#include <cstdio>

namespace {
// Appends formatted text after what is there; what does not fit is cut off.
void appendFormat(FatalText& text, const char* format, ...) {
    std::size_t used = 0;
    while (used < FatalText::capacity && text.bytes[used] != '\0') ++used;
    if (used + 1 >= FatalText::capacity) return;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text.bytes + used, FatalText::capacity - used, format, arguments);
    va_end(arguments);
}
}  // namespace

FatalText fatalErrorText(const char* message, int code) {
    FatalText text{};
    appendFormat(text, "运行时出错!\r\n");
    if (code != 0) appendFormat(text, "\r\n错误代码：%d\r\n", code);
    if (message != nullptr && message[0] != '\0') appendFormat(text, "\r\n错误信息：%s\r\n", message);
    return text;
}

FatalText outOfMemoryMessage(std::size_t bytesAskedFor) {
    FatalText text{};
    appendFormat(text, "分配 %lu 字节内存失败!", static_cast<unsigned long>(bytesAskedFor));
    return text;
}

FatalText missingRoutineMessage(const char* library, const char* routine) {
    FatalText text{};
    appendFormat(text, "无法找到指定DLL库文件“%s”中的输出命令“%s”", library, routine);
    return text;
}
