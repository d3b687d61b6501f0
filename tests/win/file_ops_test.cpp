// The file-system operations against the real Win32 API, in a scratch folder of each test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/program.h"
#include "host/file_ops.h"
#include "scratch_folder.h"
#include "win/unique_handle.h"

namespace {
Bytes bytesOf(const std::string& text) { return Bytes(text.data(), text.size()); }

// Every name of one enumeration with the filter omitted, or with the given filter.
std::vector<std::string> enumerate(const std::string& pattern, std::optional<unsigned long> filter = std::nullopt) {
    std::vector<std::string> names;
    FindState state;
    Text name = filter ? findFile(pattern.c_str(), *filter, state) : findFile(pattern.c_str(), state);
    while (compareText(name, "") != 0) {
        names.emplace_back(name.c_str());
        name = filter ? findFile("", *filter, state) : findFile("", state);
    }
    EXPECT_FALSE(state.isOpen()) << "the end of the entries empties the state";
    closeFind(state);
    std::sort(names.begin(), names.end());
    return names;
}

using Names = std::vector<std::string>;
}  // namespace

TEST(TestEnvironment, RunsInCodePage936) {
    ASSERT_EQ(GetACP(), 936u) << "the zh_CN.UTF-8 locale is missing: every double-byte rule would change";
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
}

TEST(GetRunDirectory, IsTheProgramsFolderAndTheCurrentDirectory) {
    fixRunDirectory();
    char modulePath[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
    std::string expected = modulePath;
    expected.erase(expected.rfind('\\'));

    const Text first = getRunDirectory();
    const Text second = getRunDirectory();
    EXPECT_STREQ(first.c_str(), expected.c_str());
    EXPECT_NE(first.c_str(), second.c_str()) << "each call hands out a fresh copy";
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_STREQ(current, expected.c_str());
}

TEST(WriteFile, WritesEveryPartInOrderSkippingEmptyOnes) {
    ScratchFolder folder;
    const std::string path = folder / "latest.zip";
    EXPECT_TRUE(writeFile(path.c_str(), bytesOf("PK"), Bytes(), bytesOf("\x03\x04 rest")));
    EXPECT_EQ(readTestFile(path), "PK\x03\x04 rest");
}

TEST(WriteFile, EmptyDataCreatesOrTruncatesToZeroBytes) {
    ScratchFolder folder;
    const std::string created = folder / "new.bin";
    const std::string truncated = folder / "old.bin";
    writeTestFile(truncated, "old content");
    EXPECT_TRUE(writeFile(created.c_str(), Bytes()));
    EXPECT_TRUE(writeFile(truncated.c_str(), Bytes()));
    EXPECT_EQ(readTestFile(created), "");
    EXPECT_EQ(readTestFile(truncated), "");
}

TEST(WriteFile, FailsWithoutTouchingAnything) {
    ScratchFolder folder;
    EXPECT_FALSE(writeFile("", bytesOf("x")));
    EXPECT_FALSE(writeFile(Text(), bytesOf("x")));
    EXPECT_FALSE(writeFile((folder / "missing\\latest.zip").c_str(), bytesOf("x")));

    const std::string held = folder / "held.zip";
    writeTestFile(held, "kept");
    FileHandle holder(CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(writeFile(held.c_str(), bytesOf("new")));
    holder.reset();
    EXPECT_EQ(readTestFile(held), "kept");
}

TEST(FileExists, FindsFilesFoldersAndPatterns) {
    ScratchFolder folder;
    writeTestFile(folder / "Pelmora.exe", "app");
    makeFolder(folder / "latest");
    EXPECT_TRUE(fileExists((folder / "Pelmora.exe").c_str()));
    EXPECT_TRUE(fileExists((folder / "latest").c_str()));
    EXPECT_TRUE(fileExists((folder / "Pel*.exe").c_str()));
    EXPECT_FALSE(fileExists((folder / "*.dll").c_str()));
    EXPECT_FALSE(fileExists((folder / "missing.exe").c_str()));
    EXPECT_FALSE(fileExists(""));
}

TEST(RenameFile, MovesAFileButReplacesNothing) {
    ScratchFolder folder;
    const std::string app = folder / "Pelmora.exe";
    const std::string backup = folder / "Pelmora.exe.bak";
    writeTestFile(app, "new app");
    EXPECT_TRUE(renameFile(app.c_str(), backup.c_str()));
    EXPECT_FALSE(pathExists(app));
    EXPECT_EQ(readTestFile(backup), "new app");

    writeTestFile(app, "second");
    EXPECT_FALSE(renameFile(app.c_str(), backup.c_str()));
    EXPECT_EQ(readTestFile(app), "second");
    EXPECT_EQ(readTestFile(backup), "new app");
    EXPECT_FALSE(renameFile((folder / "missing").c_str(), (folder / "other").c_str()));
}

TEST(DeleteFile, DeletesPlainFilesOnly) {
    ScratchFolder folder;
    writeTestFile(folder / "key", "k");
    writeTestFile(folder / "locked", "r", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(deleteFile((folder / "key").c_str()));
    EXPECT_FALSE(pathExists(folder / "key"));
    EXPECT_FALSE(deleteFile((folder / "key").c_str()));
    EXPECT_FALSE(deleteFile((folder / "locked").c_str()));
    EXPECT_TRUE(pathExists(folder / "locked"));
}

TEST(DeleteDirectory, RemovesAWholeTreeWithOrWithoutTrailingBackslash) {
    for (const char* suffix : {"", "\\"}) {
        ScratchFolder folder;
        const std::string latest = folder / "latest";
        makeFolder(latest);
        makeFolder(latest + "\\sub");
        makeFolder(latest + "\\sub\\deeper");
        writeTestFile(latest + "\\Pelmora.exe", "a");
        writeTestFile(latest + "\\hidden.dat", "h", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        writeTestFile(latest + "\\sub\\deeper\\x.txt", "x");
        EXPECT_TRUE(deleteDirectory((latest + suffix).c_str())) << "suffix '" << suffix << "'";
        EXPECT_FALSE(pathExists(latest));
    }
}

TEST(DeleteDirectory, LeavesDotNamesAndReadOnlyFilesWithTheFoldersAboveThem) {
    ScratchFolder folder;
    const std::string latest = folder / "latest";
    makeFolder(latest);
    makeFolder(latest + "\\a");
    makeFolder(latest + "\\a\\b");
    makeFolder(latest + "\\gone");
    makeFolder(latest + "\\ro");
    writeTestFile(latest + "\\a\\b\\.keep", "dot");
    writeTestFile(latest + "\\a\\b\\plain.txt", "p");
    writeTestFile(latest + "\\a\\other.txt", "o");
    writeTestFile(latest + "\\gone\\file.txt", "g");
    writeTestFile(latest + "\\ro\\locked.txt", "r", FILE_ATTRIBUTE_READONLY);
    writeTestFile(latest + "\\top.txt", "t");

    EXPECT_FALSE(deleteDirectory(latest.c_str()));

    EXPECT_TRUE(pathExists(latest + "\\a\\b\\.keep"));
    EXPECT_TRUE(pathExists(latest + "\\ro\\locked.txt"));
    for (const char* gone : {"\\a\\b\\plain.txt", "\\a\\other.txt", "\\gone", "\\top.txt"}) {
        EXPECT_FALSE(pathExists(latest + gone)) << gone;
    }
    EXPECT_EQ(readTestFile(latest + "\\ro\\locked.txt"), "r");
}

TEST(DeleteDirectory, RefusesWhatIsNotAFolderItMayEmpty) {
    ScratchFolder folder;
    const std::string file = folder / "Pelmora.exe";
    writeTestFile(file, "app");
    EXPECT_FALSE(deleteDirectory(""));
    EXPECT_FALSE(deleteDirectory("    "));
    EXPECT_FALSE(deleteDirectory(Text()));
    EXPECT_FALSE(deleteDirectory(file.c_str()));
    EXPECT_EQ(readTestFile(file), "app");
    EXPECT_FALSE(deleteDirectory((folder / "missing").c_str()));
}

TEST(DeleteDirectory, SkipsLeadingSpaces) {
    ScratchFolder folder;
    makeFolder(folder / "latest");
    writeTestFile(folder / "latest\\x", "x");
    EXPECT_TRUE(deleteDirectory(("  " + (folder / "latest")).c_str()));
    EXPECT_FALSE(pathExists(folder / "latest"));
}

TEST(FindFile, WithTheFilterOmittedListsEveryFileButNoFolder) {
    ScratchFolder folder;
    const std::string latest = folder / "latest";
    makeFolder(latest);
    makeFolder(latest + "\\sub");
    writeTestFile(latest + "\\sub\\inner.txt", "i");
    writeTestFile(latest + "\\Pelmora.exe", "a");
    writeTestFile(latest + "\\hidden.dll", "h", FILE_ATTRIBUTE_HIDDEN);
    writeTestFile(latest + "\\system.dat", "s", FILE_ATTRIBUTE_SYSTEM);
    writeTestFile(latest + "\\readonly.txt", "r", FILE_ATTRIBUTE_READONLY);
    writeTestFile(latest + "\\.dotfile", "d");

    const Names expected{".dotfile", "Pelmora.exe", "hidden.dll", "readonly.txt", "system.dat"};
    // The run builds its pattern with two backslashes in a row before "*.*".
    EXPECT_EQ(enumerate(latest + "\\\\*.*"), expected);
    EXPECT_EQ(enumerate(latest + "\\*.*"), expected);
}

TEST(FindFile, AGivenFilterSelectsByAttribute) {
    ScratchFolder folder;
    makeFolder(folder / "sub");
    writeTestFile(folder / "hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN);
    writeTestFile(folder / "plain.txt", "p");
    EXPECT_EQ(enumerate(folder / "*.*", FILE_ATTRIBUTE_DIRECTORY), (Names{".", "..", "sub"}));
    EXPECT_EQ(enumerate(folder / "*.*", FILE_ATTRIBUTE_HIDDEN), (Names{"hidden.txt"}));
}

TEST(FindFile, EndsAtOnceOverFoldersOnlyAndWithoutAState) {
    ScratchFolder folder;
    makeFolder(folder / "a");
    makeFolder(folder / "b");
    FindState state;
    EXPECT_TRUE(findFile((folder / "*.*").c_str(), state).empty());
    EXPECT_FALSE(state.isOpen());
    EXPECT_TRUE(findFile("", state).empty());
    EXPECT_TRUE(findFile((folder / "nothing*").c_str(), state).empty());
    EXPECT_FALSE(state.isOpen());
}

TEST(FindFile, ANonEmptyPatternStartsOverAndNamesCarryNoDirectory) {
    ScratchFolder folder;
    writeTestFile(folder / "one.txt", "1");
    writeTestFile(folder / "two.txt", "2");
    FindState state;
    const Text first = findFile((folder / "*.txt").c_str(), state);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(std::string(first.c_str()).find('\\'), std::string::npos);
    const Text next = findFile("", state);
    EXPECT_STRNE(next.c_str(), first.c_str());
    const Text again = findFile((folder / "*.txt").c_str(), state);
    EXPECT_STREQ(again.c_str(), first.c_str());
    EXPECT_TRUE(state.isOpen());
    closeFind(state);
    EXPECT_FALSE(state.isOpen());
    closeFind(state);
    EXPECT_TRUE(findFile("", state).empty());
}

TEST(CopyFile, OverwritesOnlyWhenAsked) {
    ScratchFolder folder;
    const std::string source = folder / "new.dll";
    const std::string target = folder / "old.dll";
    writeTestFile(source, "new");
    writeTestFile(target, "old");
    EXPECT_FALSE(copyFile(source.c_str(), target.c_str(), true));
    EXPECT_EQ(readTestFile(target), "old");
    EXPECT_TRUE(copyFile(source.c_str(), target.c_str(), false));
    EXPECT_EQ(readTestFile(target), "new");
    EXPECT_TRUE(copyFile(source.c_str(), (folder / "fresh.dll").c_str(), true));
    EXPECT_FALSE(copyFile((folder / "missing").c_str(), target.c_str(), false));
}

TEST(CopyFile, ReplacesNoExecutableThatIsRunning) {
    // The copy of a running program fails and leaves it, as the update relies on for files in use.
    ScratchFolder folder;
    const std::string running = folder / "held.exe";
    writeTestFile(running, "running");
    FileHandle holder(
        CreateFileA(running.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    writeTestFile(folder / "staged.exe", "staged");
    EXPECT_FALSE(copyFile((folder / "staged.exe").c_str(), running.c_str(), false));
    holder.reset();
    EXPECT_EQ(readTestFile(running), "running");
}
