#include "common/code_page.h"

bool isCodePage936LeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

namespace {
// Offset of the last character and of the last backslash character, walking whole characters.
struct Scan {
    std::ptrdiff_t lastCharacter = -1;
    std::ptrdiff_t lastBackslash = -1;
};

Scan scanCharacters(const char* path, LeadByteRule isLeadByte) {
    Scan scan;
    std::ptrdiff_t at = 0;
    while (path[at] != '\0') {
        scan.lastCharacter = at;
        const unsigned char byte = static_cast<unsigned char>(path[at]);
        if (byte == '\\') scan.lastBackslash = at;
        // A lead byte at the very end has no trail byte to swallow.
        at += (isLeadByte(byte) && path[at + 1] != '\0') ? 2 : 1;
    }
    return scan;
}
}  // namespace

std::ptrdiff_t lastBackslash(const char* path, LeadByteRule isLeadByte) {
    return scanCharacters(path, isLeadByte).lastBackslash;
}

bool endsWithBackslash(const char* path, LeadByteRule isLeadByte) {
    const Scan scan = scanCharacters(path, isLeadByte);
    return scan.lastCharacter >= 0 && scan.lastCharacter == scan.lastBackslash;
}
