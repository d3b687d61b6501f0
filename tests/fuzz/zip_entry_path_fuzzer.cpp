// libFuzzer target: the paths that the ZIP extraction builds from an entry's name. The first byte
// picks the target folder, the second the current directory (both come from the caller, not from
// the archive); the rest is the entry's name, as hostile as the archive likes. The checks read the
// name character by character in code page 936 (a lead byte 0x81-0xFE takes the next byte along)
// and hold the results to the rules of the extraction:
// - a name is accepted exactly when it does not start with a separator, holds no ":", has no
//   component of dots and spaces with two dots or more nor one that names a DOS device, and makes a
//   path below 260 bytes;
// - an accepted path is the target with its "\" and the name with "/" turned into "\", and read as
//   Windows reads it, it never climbs above the target nor opens a device;
// - the folders made for it are prefixes of it that end at a backslash character, never at the
//   trail byte 0x5C of a double-byte character, and are all below 260 bytes.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/zip_entry_path.h"

namespace {
// Targets as callers pass them: the update run's own, without its "\", absolute, empty (the root of
// the current drive), ending in a double-byte character whose trail byte is 0x5C, and long.
const std::string kTargets[] = {
    "latest\\", "latest", "C:\\run\\latest\\", "", "\xc4\xbf\xc2\xbc\x81\x5c", "C:\\" + std::string(200, 't') + "\\",
};

// Current directories with their "\" (or none, when it could not be had), one with a double-byte
// character, and one so long that any folder joined to it is refused.
const std::string kRoots[] = {"C:\\run\\", "", "C:\\\x81\x5c\\", "C:\\" + std::string(250, 'r') + "\\"};

// Names the property that does not hold, for whoever reads the crash report.
void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", property);
    std::abort();
}

// The offsets of the separator characters of the text: bytes among `separators` that are
// characters of their own, not the trail byte of a double-byte character.
std::vector<std::size_t> separatorOffsets(std::string_view text, std::string_view separators) {
    std::vector<std::size_t> offsets;
    std::size_t at = 0;
    while (at < text.size()) {
        if (isCodePage936LeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size()) {
            at += 2;
            continue;
        }
        if (separators.find(text[at]) != std::string_view::npos) offsets.push_back(at);
        ++at;
    }
    return offsets;
}

// The components of the text between separator characters.
std::vector<std::string_view> components(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> parts;
    std::size_t begin = 0;
    for (const std::size_t separator : separatorOffsets(text, separators)) {
        parts.push_back(text.substr(begin, separator - begin));
        begin = separator + 1;
    }
    parts.push_back(text.substr(begin));
    return parts;
}

// Dots and spaces only, with two dots or more: Windows trims trailing dots and spaces, and may
// take such a component for "..".
bool climbs(std::string_view component) {
    std::size_t dots = 0;
    for (const char c : component) {
        if (c != '.' && c != ' ') return false;
        dots += c == '.';
    }
    return dots >= 2;
}

// A name that Windows opens as a device in any folder: the part before the first dot, without
// trailing spaces, is one of the DOS device names in any case.
bool namesDevice(std::string_view component) {
    std::string base(component.substr(0, component.find('.')));
    base.erase(base.find_last_not_of(' ') + 1);
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$") {
        return true;
    }
    return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) && std::isdigit(base[3]);
}

bool startsWithSeparator(const std::string& name) { return !name.empty() && (name[0] == '/' || name[0] == '\\'); }

bool isSafeByTheRules(const std::string& name) {
    if (startsWithSeparator(name) || name.find(':') != std::string::npos) return false;
    for (const std::string_view component : components(name, "/\\")) {
        if (climbs(component) || namesDevice(component)) return false;
    }
    return true;
}

// Whether the part of the path below the folder, split as Windows splits it, stays below it: every
// component that climbs must have a level of its own to climb out of, and none may be a device.
bool staysBelowTheFolder(const std::string& below) {
    if (startsWithSeparator(below) || below.find(':') != std::string::npos) return false;
    long depth = 0;
    for (const std::string_view component : components(below, "\\")) {
        if (namesDevice(component)) return false;
        if (climbs(component)) {
            if (--depth < 0) return false;
        } else if (component.find_first_not_of(". ") != std::string_view::npos) {
            ++depth;
        }
    }
    return true;
}

bool endsWithBackslashCharacter(const std::string& text) {
    const std::vector<std::size_t> backslashes = separatorOffsets(text, "\\");
    return !backslashes.empty() && backslashes.back() + 1 == text.size();
}

std::string folderOf(const std::string& target) { return endsWithBackslashCharacter(target) ? target : target + "\\"; }

// The prefixes of the text that end just before (or, with `including`, just after) each of its
// separator characters.
std::vector<std::string> prefixesAtSeparators(const std::string& text, std::string_view separators, bool including) {
    std::vector<std::string> prefixes;
    for (const std::size_t separator : separatorOffsets(text, separators)) {
        prefixes.push_back(text.substr(0, including ? separator + 1 : separator));
    }
    return prefixes;
}

std::vector<std::string> strings(const std::vector<Text>& texts) {
    std::vector<std::string> result;
    for (const Text& text : texts) result.emplace_back(text.c_str());
    return result;
}

void checkFolderLevels(const std::string& path) {
    const std::optional<std::vector<Text>> levels = folderPathLevels(path.c_str(), isCodePage936LeadByte);
    const std::string folder = folderOf(path);
    require(levels.has_value() == (folder.size() < kPathLimit), "folder levels refused exactly at 260 bytes");
    if (!levels) return;
    require(strings(*levels) == prefixesAtSeparators(folder, "\\", true), "folder levels end at backslash characters");
}

void checkFileFolders(const std::string& path, const std::string& root) {
    const std::optional<std::vector<Text>> folders = fileFolders(path.c_str(), root.c_str(), isCodePage936LeadByte);
    std::vector<std::string> expected;
    const std::vector<std::string> levels = prefixesAtSeparators(path, "\\/", false);
    const bool absolute = startsWithSeparator(path) || (path.size() >= 2 && path[1] == ':');
    if (!levels.empty() && !absolute && levels.back().find("..\\") == std::string::npos &&
        levels.back().find("../") == std::string::npos) {
        for (const std::string& level : levels) expected.push_back(root + level);
    }
    bool fits = true;
    for (const std::string& folder : expected) fits = fits && folder.size() < kPathLimit;
    require(folders.has_value() == fits, "file folders refused exactly at 260 bytes");
    if (folders) require(strings(*folders) == expected, "file folders are the relative levels joined to the root");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::string& target = kTargets[data[0] % std::size(kTargets)];
    const std::string& root = kRoots[data[1] % std::size(kRoots)];
    // The name as the entry's name buffer holds it: up to its first NUL.
    const char* const name = reinterpret_cast<const char*>(data + 2);
    const std::string storedName(name, std::find(name, name + (size - 2), '\0'));

    const std::string folder = folderOf(target);
    require(std::string(withTrailingBackslash(target.c_str(), isCodePage936LeadByte).c_str()) == folder,
            "the folder ends with a backslash character");

    const std::optional<Text> path = entryPath(target.c_str(), storedName.c_str(), isCodePage936LeadByte);
    if (path) {
        const std::string built = path->c_str();
        std::string expected = folder + storedName;
        for (std::size_t at = folder.size(); at < expected.size(); ++at) {
            if (expected[at] == '/') expected[at] = '\\';
        }
        require(built == expected, "the path is the folder and the name with \"/\" turned into \"\\\"");
        require(built.size() < kPathLimit, "the path is below 260 bytes");
        require(staysBelowTheFolder(built.substr(folder.size())), "the path stays below the folder");
        checkFolderLevels(built);
        checkFileFolders(built, root);
    }

    // Refused exactly when the rules refuse it, never for another reason.
    const bool safe = isSafeByTheRules(storedName);
    require(isSafeEntryName(storedName.c_str(), isCodePage936LeadByte) == safe,
            "the name is refused by the rules only");
    require(path.has_value() == (safe && folder.size() + storedName.size() < kPathLimit),
            "the path is refused for an unsafe name or 260 bytes only");
    return 0;
}
