#pragma once
#include <initializer_list>
#include <optional>

#include "common/bytes.h"
#include "common/find_state.h"
#include "common/text.h"

// A new copy of the run directory fixed at start.
Text getRunDirectory();

// Creates or truncates the file and writes the data in order; false when the name is empty, the
// file cannot be opened, or a write fails or falls short (the file keeps what was written).
bool writeFileParts(TextRef fileName, std::initializer_list<const Bytes*> data);
template <typename... Data>
bool writeFile(TextRef fileName, const Data&... data) {
    return writeFileParts(fileName, {&data...});
}

// True when at least one directory entry matches the name or wildcard pattern.
bool fileExists(TextRef fileName);

// MoveFileA: nothing is replaced.
bool renameFile(TextRef presentName, TextRef newName);

bool deleteFile(TextRef fileName);

// Empties the directory (names beginning with a dot are left alone) and removes it; true only when
// the directory itself is gone. Refuses empty paths, drives and drive roots.
bool deleteDirectory(TextRef path);

// The next matching entry's name (without a directory), empty at the end. A non-empty pattern
// starts a new enumeration; an empty one continues the state's. With the filter omitted only
// entries that are not directories match.
Text findFile(TextRef pattern, FindState& state);
Text findFile(TextRef pattern, unsigned long attributeFilter, FindState& state);

void closeFind(FindState& state);

// CopyFileA, found in kernel32.dll at the first call; a routine that cannot be found is fatal.
bool copyFile(TextRef source, TextRef target, bool failIfExists);

// Releases the library that copyFile loaded; called when the program ends.
void releaseCopyRoutine();
