#include "app/run_directory.h"

Text runDirectoryOf(const char* modulePath, LeadByteRule isLeadByte) {
    const std::ptrdiff_t separator = lastBackslash(modulePath, isLeadByte);
    if (separator < 0) return Text("");
    return Text(modulePath, static_cast<std::size_t>(separator));
}
