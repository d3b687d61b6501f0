#pragma once
#include <cstddef>

// The ANSI code page's lead-byte rule: on Windows IsDBCSLeadByte, in native tests code page 936's.
using LeadByteRule = bool (*)(unsigned char byte);

bool isCodePage936LeadByte(unsigned char byte);

// Offset of the last backslash that is a character of its own (not the trail byte of a double-byte
// character), or -1 when there is none.
std::ptrdiff_t lastBackslash(const char* path, LeadByteRule isLeadByte);

// Whether the last character (not a trail byte) is a backslash.
bool endsWithBackslash(const char* path, LeadByteRule isLeadByte);
