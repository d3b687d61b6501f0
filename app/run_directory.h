#pragma once
#include "common/code_page.h"
#include "common/text.h"

// The directory part of the executable's path: everything before its last backslash character,
// so "D:" for a program in a drive's root, and empty when the path holds no backslash.
Text runDirectoryOf(const char* modulePath, LeadByteRule isLeadByte);
