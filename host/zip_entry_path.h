#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "common/code_page.h"
#include "common/text.h"

// Paths of the ZIP extraction, built from the target folder and the entries' names. Characters
// are told apart by the ANSI code page's lead-byte rule, so a trail byte 0x5C is never a separator.

// The limit of the extraction's path buffers and of the ANSI file functions: a name, path or folder
// root of this many bytes or more is refused whole, never cut short into another path.
constexpr std::size_t kPathLimit = 260;

// The folder followed by "\" unless its last character is one; the empty folder gives "\".
Text withTrailingBackslash(TextRef folder, LeadByteRule isLeadByte);

// Whether an entry's name, once "/" has become "\", stays inside the target folder: it must not
// start with a separator, hold a colon (a drive letter "X:", or a stream name), have a ".."
// component, counting as one any component of dots and spaces with two dots or more, since Windows
// trims trailing dots and spaces from names, or have a component that names a DOS device (CON, PRN,
// AUX, NUL, COM0-COM9, LPT0-LPT9, CONIN$, CONOUT$; any case, any extension, trailing spaces).
bool isSafeEntryName(const char* name, LeadByteRule isLeadByte);

// The target folder with its "\", followed by the name with every "/" byte replaced by "\".
// Nothing when the name is not safe or the path would reach kPathLimit bytes.
std::optional<Text> entryPath(TextRef targetFolder, const char* name, LeadByteRule isLeadByte);

// The levels that createFolderPath makes sure of, outermost first: every prefix of the path (with
// its trailing "\") that ends at a backslash character. Nothing when the path reaches kPathLimit.
std::optional<std::vector<Text>> folderPathLevels(TextRef path, LeadByteRule isLeadByte);

// The folders that writing a file entry creates first, outermost first: every level of the folder
// part of its path (what comes before its last "\" or "/"), each joined to the root. None when
// there is no folder part, or it is absolute (it starts with "\" or "/", or its second byte is ":")
// or holds "..\" or "../". Nothing when a joined path would reach kPathLimit bytes.
std::optional<std::vector<Text>> fileFolders(TextRef filePath, TextRef root, LeadByteRule isLeadByte);
