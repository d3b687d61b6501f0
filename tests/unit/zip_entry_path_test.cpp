#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/zip_entry_path.h"

// "乗" is 0x81 0x5C in code page 936: its trail byte is a backslash byte but no separator.
#define DOUBLE_BYTE_5C "\x81\x5c"

namespace {
std::vector<std::string> strings(const std::optional<std::vector<Text>>& texts) {
    std::vector<std::string> result;
    for (const Text& text : *texts) result.emplace_back(text.c_str());
    return result;
}

std::optional<std::string> pathOf(const char* target, const std::string& name) {
    const std::optional<Text> path = entryPath(target, name.c_str(), isCodePage936LeadByte);
    if (!path) return std::nullopt;
    return std::string(path->c_str());
}
}  // namespace

TEST(EntryPath, JoinsTheTargetAndTheNameWithBackslashes) {
    struct Case {
        const char* target;
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"latest\\", "a/b/c.txt", "latest\\a\\b\\c.txt"},
        {"latest", "a/b/c.txt", "latest\\a\\b\\c.txt"},
        {"C:\\run\\latest\\", "Docs/ReadMe.TXT", "C:\\run\\latest\\Docs\\ReadMe.TXT"},
        {"latest\\", "docs/", "latest\\docs\\"},
        {"latest\\", "a\\b.txt", "latest\\a\\b.txt"},
        {"", "top.txt", "\\top.txt"},
        {"latest\\", "", "latest\\"},
        {"目录" DOUBLE_BYTE_5C, "x.txt", "目录" DOUBLE_BYTE_5C "\\x.txt"},
        {"目录" DOUBLE_BYTE_5C "\\", "x.txt", "目录" DOUBLE_BYTE_5C "\\x.txt"},
        {"t", DOUBLE_BYTE_5C "/" DOUBLE_BYTE_5C ".txt", "t\\" DOUBLE_BYTE_5C "\\" DOUBLE_BYTE_5C ".txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(pathOf(c.target, c.name), std::optional<std::string>(c.expected)) << c.name;
}

TEST(EntryPath, RefusesNamesThatLeaveTheTarget) {
    const char* const unsafe[] = {
        "..",          "../x.txt",   "a/../../x.txt", "a\\..\\x.txt", "a/..",         "/x.txt",
        "\\x.txt",     "//server/x", "C:/x.txt",      "C:x.txt",      "a/C:/x.txt",   "x.txt:stream",
        ".. /x.txt",   "a/. ./x",    "a/.../x",       "a/.. ",        "a/..\\x.txt",
    };
    for (const char* name : unsafe) {
        EXPECT_FALSE(isSafeEntryName(name, isCodePage936LeadByte)) << name;
        EXPECT_EQ(pathOf("latest\\", name), std::nullopt) << name;
    }
    const char* const safe[] = {
        "a.txt", "a/b/c.txt", "docs/", "a..b", "..a/b", "a../b", "./a.txt", "a/./b", ". /a",
        // The trail byte takes the separator and the dots into one component with its lead byte.
        DOUBLE_BYTE_5C "../x.txt", "a/" DOUBLE_BYTE_5C "..",
    };
    for (const char* name : safe) EXPECT_TRUE(isSafeEntryName(name, isCodePage936LeadByte)) << name;
}

TEST(EntryPath, RefusesNamesThatWindowsOpensAsDevices) {
    // In any folder, Windows takes these for the devices, whatever the extension: the entry's bytes
    // would go to a port, a printer or the console.
    const char* const devices[] = {
        "CON",      "con",    "PRN",     "aux",           "NUL",    "nul.txt", "Nul. .txt", "aux ",
        "COM1",     "com9",   "COM0",    "lpt0",          "LPT1",   "CONIN$",  "conout$",   "COM3 .txt",
        "lpt9.log", "com1/x", "a\\nul", "docs/lpt1.txt",
    };
    for (const char* name : devices) {
        EXPECT_FALSE(isSafeEntryName(name, isCodePage936LeadByte)) << name;
        EXPECT_EQ(pathOf("latest\\", name), std::nullopt) << name;
    }
    const char* const files[] = {"console.txt", "nullable",  "com10",  "lpt", "a.con", "xnul", "auxiliary/x",
                                 "com1x.txt",   "COM.txt",   "conin", DOUBLE_BYTE_5C "nul"};
    for (const char* name : files) EXPECT_TRUE(isSafeEntryName(name, isCodePage936LeadByte)) << name;
}

TEST(EntryPath, RefusesAPathOf260BytesOrMoreWhole) {
    // "latest\" is 7 bytes: a name of 252 makes 259, one of 253 makes 260.
    EXPECT_EQ(pathOf("latest\\", std::string(252, 'n'))->size(), 259u);
    EXPECT_EQ(pathOf("latest\\", std::string(253, 'n')), std::nullopt);
    EXPECT_EQ(pathOf("latest", std::string(253, 'n')), std::nullopt);
    EXPECT_EQ(pathOf("latest\\", std::string(300, 'n')), std::nullopt);
}

TEST(WithTrailingBackslash, AppendsUnlessTheLastCharacterIsOne) {
    EXPECT_STREQ(withTrailingBackslash("latest", isCodePage936LeadByte).c_str(), "latest\\");
    EXPECT_STREQ(withTrailingBackslash("latest\\", isCodePage936LeadByte).c_str(), "latest\\");
    EXPECT_STREQ(withTrailingBackslash("", isCodePage936LeadByte).c_str(), "\\");
    EXPECT_STREQ(withTrailingBackslash("C:\\", isCodePage936LeadByte).c_str(), "C:\\");
    EXPECT_STREQ(withTrailingBackslash("a" DOUBLE_BYTE_5C, isCodePage936LeadByte).c_str(), "a" DOUBLE_BYTE_5C "\\");
}

TEST(FolderPathLevels, AreThePrefixesEndingAtEachBackslash) {
    using Levels = std::vector<std::string>;
    EXPECT_EQ(strings(folderPathLevels("C:\\a\\b", isCodePage936LeadByte)), (Levels{"C:\\", "C:\\a\\", "C:\\a\\b\\"}));
    EXPECT_EQ(strings(folderPathLevels("latest\\", isCodePage936LeadByte)), (Levels{"latest\\"}));
    EXPECT_EQ(strings(folderPathLevels("latest\\docs\\", isCodePage936LeadByte)),
              (Levels{"latest\\", "latest\\docs\\"}));
    EXPECT_EQ(strings(folderPathLevels("d" DOUBLE_BYTE_5C "\\e", isCodePage936LeadByte)),
              (Levels{"d" DOUBLE_BYTE_5C "\\", "d" DOUBLE_BYTE_5C "\\e\\"}));
    EXPECT_EQ(strings(folderPathLevels("", isCodePage936LeadByte)), (Levels{"\\"}));
    EXPECT_EQ(folderPathLevels(std::string(258, 'f').c_str(), isCodePage936LeadByte)->size(), 1u);
    EXPECT_EQ(folderPathLevels(std::string(259, 'f').c_str(), isCodePage936LeadByte), std::nullopt);
}

TEST(FileFolders, AreTheLevelsOfARelativeFolderPartJoinedToTheRoot) {
    using Folders = std::vector<std::string>;
    const auto folders = [](const char* path, const std::string& root) {
        return fileFolders(path, root.c_str(), isCodePage936LeadByte);
    };
    const std::string root = "C:\\run\\";
    EXPECT_EQ(strings(folders("latest\\a\\b\\c.txt", root)),
              (Folders{"C:\\run\\latest", "C:\\run\\latest\\a", "C:\\run\\latest\\a\\b"}));
    EXPECT_EQ(strings(folders("latest/a\\x.txt", root)), (Folders{"C:\\run\\latest", "C:\\run\\latest/a"}));
    EXPECT_EQ(strings(folders("latest\\" DOUBLE_BYTE_5C "name.txt", root)), (Folders{"C:\\run\\latest"}));
    for (const char* noFolders : {"x.txt", "C:\\t\\a\\x.txt", "\\t\\x.txt", "/t/x.txt", "..\\t\\x.txt",
                                  "t\\..\\u\\x.txt", "t/../u/x.txt"}) {
        EXPECT_EQ(strings(folders(noFolders, root)), Folders{}) << noFolders;
    }
}

TEST(FileFolders, RefuseAJoinedPathOf260BytesOrMore) {
    const std::string folder(100, 'd');
    const std::string path = folder + "\\x.txt";
    EXPECT_EQ(fileFolders(path.c_str(), std::string(159, 'r').c_str(), isCodePage936LeadByte)->size(), 1u);
    EXPECT_EQ(fileFolders(path.c_str(), std::string(160, 'r').c_str(), isCodePage936LeadByte), std::nullopt);
    // A root that is too long matters only where a folder is joined to it.
    EXPECT_EQ(fileFolders("x.txt", std::string(300, 'r').c_str(), isCodePage936LeadByte)->size(), 0u);
}
