#pragma once
#include <cstddef>

// The Win32 calls of a phase in a bare loop, without the updater's code: what Wine itself costs for
// that work, so that the bench can tell Wine's share of a phase from ours.

// The body read with InternetReadFile in the updater's largest read size, gathered into one block
// of the announced length, then stored with one WriteFile. False when nothing was stored.
bool downloadFloor(const char* url, const char* file, std::size_t& length);

// CopyFileA of every file at the top level of sourceFolder to targetFolder (both end with "\").
bool copyFloor(const char* sourceFolder, const char* targetFolder);
