#include "host/zip_entry_path.h"

#include <cstring>

namespace {
bool isSeparator(char byte) { return byte == '\\' || byte == '/'; }

// Offset of the character that follows the one at `at`: a lead byte takes its trail byte along,
// unless the text ends after it.
std::size_t nextCharacter(const char* text, std::size_t at, LeadByteRule isLeadByte) {
    return (isLeadByte(static_cast<unsigned char>(text[at])) && text[at + 1] != '\0') ? at + 2 : at + 1;
}

// A component that Windows resolves to the parent folder: "..", or dots and spaces that trimming
// makes "..".
bool isParentComponent(const char* begin, std::size_t length) {
    std::size_t dots = 0;
    for (std::size_t at = 0; at < length; ++at) {
        if (begin[at] == '.') {
            ++dots;
        } else if (begin[at] != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

bool equalsIgnoringCase(const char* begin, std::size_t length, const char* upperCase) {
    if (std::strlen(upperCase) != length) return false;
    for (std::size_t at = 0; at < length; ++at) {
        const char c = begin[at];
        if ((c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) != upperCase[at]) return false;
    }
    return true;
}

// A component that Windows opens as a device in whatever folder it stands: the DOS device names in
// any case, whatever extension or trailing spaces follow them. An entry's bytes would go to a port,
// a printer or the console instead of a file.
bool isDeviceComponent(const char* begin, std::size_t length) {
    std::size_t base = 0;
    while (base < length && begin[base] != '.') ++base;
    while (base > 0 && begin[base - 1] == ' ') --base;
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (equalsIgnoringCase(begin, base, device)) return true;
    }
    const bool numbered = base == 4 && begin[3] >= '0' && begin[3] <= '9';
    return numbered && (equalsIgnoringCase(begin, 3, "COM") || equalsIgnoringCase(begin, 3, "LPT"));
}

bool isUnsafeComponent(const char* begin, std::size_t length) {
    return isParentComponent(begin, length) || isDeviceComponent(begin, length);
}

bool startsAbsolute(const char* path) { return isSeparator(path[0]) || (path[0] != '\0' && path[1] == ':'); }
}  // namespace

Text withTrailingBackslash(TextRef folder, LeadByteRule isLeadByte) {
    if (endsWithBackslash(folder.c_str(), isLeadByte)) return concatText({folder});
    return concatText({folder, "\\"});
}

bool isSafeEntryName(const char* name, LeadByteRule isLeadByte) {
    // No code page has ":" for a trail byte, so the byte is looked for wherever it stands.
    if (isSeparator(name[0]) || std::strchr(name, ':') != nullptr) return false;
    std::size_t componentStart = 0;
    std::size_t at = 0;
    while (name[at] != '\0') {
        const std::size_t next = nextCharacter(name, at, isLeadByte);
        if (next == at + 1 && isSeparator(name[at])) {
            if (isUnsafeComponent(name + componentStart, at - componentStart)) return false;
            componentStart = next;
        }
        at = next;
    }
    return !isUnsafeComponent(name + componentStart, at - componentStart);
}

std::optional<Text> entryPath(TextRef targetFolder, const char* name, LeadByteRule isLeadByte) {
    if (!isSafeEntryName(name, isLeadByte)) return std::nullopt;
    const Text folder = withTrailingBackslash(targetFolder, isLeadByte);
    if (folder.length() + std::strlen(name) >= kPathLimit) return std::nullopt;
    Text path = concatText({folder, name});
    for (char* byte = path.data() + folder.length(); *byte != '\0'; ++byte) {
        if (*byte == '/') *byte = '\\';
    }
    return path;
}

std::optional<std::vector<Text>> folderPathLevels(TextRef path, LeadByteRule isLeadByte) {
    const Text folder = withTrailingBackslash(path, isLeadByte);
    if (folder.length() >= kPathLimit) return std::nullopt;
    std::vector<Text> levels;
    const char* bytes = folder.c_str();
    for (std::size_t at = 0; bytes[at] != '\0'; at = nextCharacter(bytes, at, isLeadByte)) {
        if (bytes[at] == '\\') levels.emplace_back(bytes, at + 1);
    }
    return levels;
}

std::optional<std::vector<Text>> fileFolders(TextRef filePath, TextRef root, LeadByteRule isLeadByte) {
    const char* path = filePath.c_str();
    std::vector<std::size_t> separators;
    for (std::size_t at = 0; path[at] != '\0'; at = nextCharacter(path, at, isLeadByte)) {
        if (isSeparator(path[at])) separators.push_back(at);
    }
    std::vector<Text> folders;
    if (separators.empty() || startsAbsolute(path)) return folders;
    const std::size_t folderPartLength = separators.back();
    const Text folderPart(path, folderPartLength);
    if (std::strstr(folderPart.c_str(), "..\\") != nullptr || std::strstr(folderPart.c_str(), "../") != nullptr) {
        return folders;
    }
    const std::size_t rootLength = std::strlen(root.c_str());
    for (const std::size_t levelLength : separators) {
        if (rootLength + levelLength >= kPathLimit) return std::nullopt;
        const Text level(path, levelLength);
        folders.push_back(concatText({root, level}));
    }
    return folders;
}
