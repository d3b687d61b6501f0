#pragma once
#include <optional>

// Decisions of the file operations that need no system call.

// The path deleteDirectory works on: the argument without its leading spaces (0x20 only).
const char* skipLeadingSpaces(const char* path);

// deleteDirectory refuses an empty path, a drive ("D:") and a drive's root ("D:\").
bool deleteDirectoryRefuses(const char* pathWithoutLeadingSpaces);

// Whether a directory listing's entry name is skipped by deleteDirectory: every name that begins
// with a dot, "." and ".." among them.
bool deleteDirectorySkips(const char* entryName);

// findFile's filter: omitted, every entry without the directory attribute matches; given, it is
// reduced to the read-only, hidden, system, directory and archive bits, and an entry matches when
// it has any of them, or, when none remain, only when its attribute word is 0.
bool findFilterMatches(unsigned long attributes, std::optional<unsigned long> attributeFilter);
