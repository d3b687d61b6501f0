#pragma once
#include <windows.h>

// The ANSI code page's lead-byte rule, as the pure path functions take it (common/code_page.h).
inline bool ansiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }
