#include "host/file_ops_rules.h"

namespace {
constexpr unsigned long kDirectoryAttribute = 0x10;
constexpr unsigned long kFilterMask = 0x37;
}  // namespace

const char* skipLeadingSpaces(const char* path) {
    while (*path == ' ') ++path;
    return path;
}

bool deleteDirectoryRefuses(const char* path) {
    if (path[0] == '\0') return true;
    if (path[1] != ':') return false;
    return path[2] == '\0' || (path[2] == '\\' && path[3] == '\0');
}

bool deleteDirectorySkips(const char* entryName) { return entryName[0] == '.'; }

bool findFilterMatches(unsigned long attributes, std::optional<unsigned long> attributeFilter) {
    if (!attributeFilter) return (attributes & kDirectoryAttribute) == 0;
    const unsigned long wanted = *attributeFilter & kFilterMask;
    if (wanted == 0) return attributes == 0;
    return (attributes & wanted) != 0;
}
