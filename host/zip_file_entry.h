#pragma once
#include <vector>

#include "common/text.h"
#include "host/zip_archive.h"

// Writes the file entry last read from the archive at its path: the path's attributes reset to
// normal, the folders given created first (their results do not matter), the file created or
// replaced with the entry's attributes and filled with its inflated data in pieces of 16384 bytes,
// then given the entry's times and normal attributes. False when the file cannot be created, the
// data cannot be inflated or written, or it does not come out whole and intact (its size and
// CRC-32 those of the record); the partly written file is then left as it is, without times.
bool writeFileEntry(ZipArchive& archive, const ZipEntry& entry, TextRef path, const std::vector<Text>& folders);
