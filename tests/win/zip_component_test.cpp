// ZipComponent::unzip against the real Win32 API and minizip, on archives that the driver
// (zip_component_test.py) builds byte by byte. Each case works in a folder of its own under the
// driver's work folder and leaves it there, for the driver's checks from outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/zip_component.h"
#include "scratch_folder.h"
#include "win/unique_handle.h"

namespace {
using Names = std::vector<std::string>;

std::string environment(const char* name) {
    char value[MAX_PATH] = "";
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) throw std::runtime_error(std::string(name) + " is not set");
    return value;
}

std::string archive(const std::string& name) { return environment("PELMORA_ZIP_ARCHIVES") + "\\" + name; }

// A new folder of the work tree, named for the case.
std::string caseFolder(const std::string& name) {
    const std::string path = environment("PELMORA_ZIP_WORK") + "\\" + name;
    makeFolder(path);
    return path;
}

// The current directory for a scope, as the update run has its run directory.
class InFolder {
public:
    explicit InFolder(const std::string& path) {
        GetCurrentDirectoryA(sizeof previous_, previous_);
        if (!SetCurrentDirectoryA(path.c_str())) throw std::runtime_error("cannot enter " + path);
    }
    ~InFolder() { SetCurrentDirectoryA(previous_); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    char previous_[MAX_PATH] = "";
};

// Every file and folder under the folder, relative to it, folders with a trailing "\", sorted.
void collectTree(const std::string& folder, const std::string& prefix, Names& names) {
    WIN32_FIND_DATAA found;
    const FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            names.push_back(prefix + name + "\\");
            collectTree(folder + "\\" + name, prefix + name + "\\", names);
        } else {
            names.push_back(prefix + name);
        }
    } while (FindNextFileA(search.get(), &found));
}

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

Names tree(const std::string& folder) {
    Names names;
    collectTree(folder, "", names);
    return sorted(std::move(names));
}

// What the archives hold for an entry made by file_entry() in zip_archives.py.
std::string textOf(const std::string& name) {
    std::string text;
    for (int line = 0; line < 3; ++line) text += "content of " + name + "\n";
    return text;
}

// The percentages that a handler heard, answering each as told.
struct ProgressLog {
    std::vector<int> heard;
    std::function<std::optional<bool>(int)> answer = [](int) { return std::optional<bool>(true); };

    UnzipProgressHandler handler() {
        return [this](int percentage) {
            heard.push_back(percentage);
            return answer(percentage);
        };
    }
};

using Percentages = std::vector<int>;

int unzip(const std::string& archivePath, const std::string& target, ProgressLog* log = nullptr) {
    const ZipComponent component;
    return component.unzip(archivePath.c_str(), target.c_str(),
                           log != nullptr ? log->handler() : UnzipProgressHandler());
}

struct FileTimes {
    std::uint64_t creation;
    std::uint64_t lastAccess;
    std::uint64_t lastWrite;
};

std::uint64_t ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FileTimes timesOf(const std::string& path) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) throw std::runtime_error("cannot open " + path);
    FILETIME creation, lastAccess, lastWrite;
    GetFileTime(file.get(), &creation, &lastAccess, &lastWrite);
    return FileTimes{ticks(creation), ticks(lastAccess), ticks(lastWrite)};
}

std::uint64_t now() {
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    return ticks(time);
}

// 100-ns ticks since 1601 of a count of seconds since 1970, without any calendar.
constexpr std::uint64_t ticksOfUnixTime(std::int64_t seconds) {
    return static_cast<std::uint64_t>((seconds + 11644473600LL) * 10000000LL);
}

// The archives' DOS date and time, 2021-03-04 05:06:08, taken as UTC.
constexpr std::uint64_t kDosTicks = ticksOfUnixTime(1614834368);
constexpr std::uint64_t kUtWrite = ticksOfUnixTime(1600000000);
constexpr std::uint64_t kUtAccess = ticksOfUnixTime(1500000000);
constexpr std::uint64_t kTicksPerMinute = 60ull * 10000000;

// The size of second.bin in damaged-deflate.zip (zip_archives.py).
constexpr std::size_t kDamagedEntrySize = 300000;

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
}  // namespace

TEST(UnzipFolders, NestedNamesGetTheirFoldersInARelativeTarget) {
    for (const char* target : {"latest\\", "latest"}) {
        const std::string folder = caseFolder(std::string("nested-") + (target[6] == '\\' ? "with" : "without"));
        InFolder inFolder(folder);
        ProgressLog log;
        EXPECT_EQ(unzip(archive("nested.zip"), target, &log), 1) << target;
        EXPECT_EQ(tree(folder), (Names{"latest\\", "latest\\a\\", "latest\\a\\b\\", "latest\\a\\b\\c.txt",
                                       "latest\\a\\d.txt", "latest\\top.txt"}))
            << target;
        for (const char* name : {"a/b/c.txt", "a/d.txt", "top.txt"}) {
            std::string path = folder + "\\latest\\" + name;
            std::replace(path.begin(), path.end(), '/', '\\');
            EXPECT_EQ(readTestFile(path), textOf(name)) << target << " " << name;
        }
        EXPECT_EQ(log.heard, (Percentages{0, 33, 66, 100}));
    }
}

TEST(UnzipFolders, AnAbsoluteTargetGetsNoFoldersFromItsFileEntries) {
    const std::string target = caseFolder("absolute-target") + "\\out";
    EXPECT_EQ(unzip(archive("nested.zip"), target), 0);
    EXPECT_EQ(tree(target), Names{});

    makeFolder(target + "\\a");
    makeFolder(target + "\\a\\b");
    EXPECT_EQ(unzip(archive("nested.zip"), target + "\\"), 1);
    EXPECT_EQ(tree(target), (Names{"a\\", "a\\b\\", "a\\b\\c.txt", "a\\d.txt", "top.txt"}));
}

TEST(UnzipFolders, DirectoryEntriesCreateTheirFoldersAndExistingOnesAreNoError) {
    const std::string target = caseFolder("directories") + "\\out";
    makeFolder(target);
    makeFolder(target + "\\docs");
    EXPECT_EQ(unzip(archive("directories.zip"), target), 1);
    EXPECT_EQ(tree(target),
              (Names{"deep\\", "deep\\er\\", "deep\\er\\x.txt", "docs\\", "docs\\readme.txt", "empty\\"}));
    EXPECT_EQ(readTestFile(target + "\\deep\\er\\x.txt"), textOf("deep/er/x.txt"));
}

TEST(UnzipFolders, ANameEndingInSlashWithoutDirectoryAttributesIsAFileThatCannotBeCreated) {
    const std::string target = caseFolder("trailing-slash-file");
    EXPECT_EQ(unzip(archive("trailing-slash-file.zip"), target), 0);
    EXPECT_EQ(tree(target), Names{"before.txt"});
}

TEST(UnzipFolders, ATargetThatCannotBeCreatedGives0) {
    const std::string folder = caseFolder("target-blocked");
    writeTestFile(folder + "\\blocker", "a file where a folder should be");
    ProgressLog log;
    EXPECT_EQ(unzip(archive("nested.zip"), folder + "\\made\\no*such\\name\\", &log), 0);
    EXPECT_EQ(unzip(archive("nested.zip"), folder + "\\blocker\\sub\\", &log), 0);
    EXPECT_EQ(tree(folder), (Names{"blocker", "made\\"})) << "the levels before the failing one stay";
    EXPECT_EQ(log.heard, (Percentages{100, 100}));
}

TEST(UnzipFiles, ExistingReadOnlyHiddenAndSystemFilesAreReplacedAndEveryFileEndsNormal) {
    const std::string target = caseFolder("attributes");
    writeTestFile(target + "\\readonly.txt", "old", FILE_ATTRIBUTE_READONLY);
    writeTestFile(target + "\\hidden.txt", "old", FILE_ATTRIBUTE_HIDDEN);
    writeTestFile(target + "\\all.txt", "old", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ASSERT_NE(GetFileAttributesA((target + "\\all.txt").c_str()) & kKeptAttributes, 0u);

    EXPECT_EQ(unzip(archive("attributes.zip"), target), 1);
    for (const char* name : {"readonly.txt", "hidden.txt", "system.txt", "all.txt", "unix-readonly.txt", "plain.txt"}) {
        const std::string path = target + "\\" + name;
        EXPECT_EQ(readTestFile(path), textOf(name)) << name;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << name;
        EXPECT_EQ(attributes & kKeptAttributes, 0u) << name << " keeps " << std::hex << attributes;
    }
}

// Wine keeps no creation time apart from the last-write time on Linux file systems: the creation
// time is not looked at here.
TEST(UnzipFiles, TimesComeFromTheDosFieldsAndTheUTRecord) {
    const std::string target = caseFolder("times");
    const std::uint64_t before = now();
    EXPECT_EQ(unzip(archive("times.zip"), target), 1);
    const std::uint64_t after = now();

    struct Case {
        const char* name;
        std::optional<std::uint64_t> lastWrite;  // nothing: the file's own time, from the extraction
        std::optional<std::uint64_t> lastAccess;
    };
    const Case cases[] = {
        {"dos.txt", kDosTicks, kDosTicks},
        {"ut.txt", kUtWrite, kUtAccess},
        {"ut-after-other-record.txt", kUtWrite, kUtAccess},
        {"ut-short.txt", kUtWrite, kDosTicks},
        {"ut-before-1970.txt", ticksOfUnixTime(-365 * 86400), ticksOfUnixTime(-1)},
        {"bad-dos.txt", std::nullopt, std::nullopt},
        {"bad-dos-ut.txt", kUtWrite, std::nullopt},
    };
    for (const Case& c : cases) {
        const FileTimes times = timesOf(target + "\\" + c.name);
        if (c.lastWrite) {
            EXPECT_EQ(times.lastWrite, *c.lastWrite) << c.name;
        } else {
            EXPECT_GE(times.lastWrite + kTicksPerMinute, before) << c.name;
            EXPECT_LE(times.lastWrite, after + kTicksPerMinute) << c.name;
        }
        if (c.lastAccess) {
            EXPECT_EQ(times.lastAccess, *c.lastAccess) << c.name;
        } else {
            EXPECT_GE(times.lastAccess + kTicksPerMinute, before) << c.name;
            EXPECT_LE(times.lastAccess, after + kTicksPerMinute) << c.name;
        }
    }
}

// "乗" is 0x81 0x5C: a target that ends in it still gets its "\", and its trail byte never splits
// a folder. The driver checks the same names from outside.
TEST(UnzipFiles, CodePage936NamesAreCreatedByteForByte) {
    ASSERT_EQ(GetACP(), 936u) << "the zh_CN.UTF-8 locale is missing: every double-byte rule would change";
    const std::string folder = caseFolder("cp936-names");
    InFolder inFolder(folder);
    EXPECT_EQ(unzip(archive("cp936.zip"), "目录乗"), 1);
    EXPECT_EQ(tree(folder), sorted({"目录乗\\", "目录乗\\乗客\\", "目录乗\\乗客\\数据.txt", "目录乗\\文件夹\\",
                                    "目录乗\\表格.txt"}));
    EXPECT_EQ(readTestFile(folder + "\\目录乗\\乗客\\数据.txt"), "数据");
    EXPECT_EQ(readTestFile(folder + "\\目录乗\\表格.txt"), "表格");
}

TEST(UnzipArchives, AMissingArchiveGivesMinus1AndCreatesNothing) {
    const std::string folder = caseFolder("missing-archive");
    ProgressLog log;
    EXPECT_EQ(unzip(folder + "\\latest.zip", folder + "\\latest\\", &log), -1);
    EXPECT_EQ(unzip("", folder + "\\latest\\", &log), -1);
    EXPECT_EQ(tree(folder), Names{});
    EXPECT_EQ(log.heard, (Percentages{100, 100}));
}

TEST(UnzipArchives, FilesThatAreNoReadableArchiveGive0AndLeaveTheEmptyTarget) {
    for (const char* name : {"error-page.html", "empty.zip", "truncated.zip"}) {
        const std::string target = caseFolder(std::string("not-an-archive-") + name) + "\\latest";
        ProgressLog log;
        EXPECT_EQ(unzip(archive(name), target, &log), 0) << name;
        EXPECT_TRUE(pathExists(target)) << name;
        EXPECT_EQ(tree(target), Names{}) << name;
        EXPECT_EQ(log.heard, Percentages{100}) << name;
    }
}

TEST(UnzipArchives, AnArchiveHeldOpenForWritingCannotBeWalked) {
    const std::string target = caseFolder("held-open") + "\\latest";
    FileHandle writer(CreateFileA(archive("four.zip").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    const int held = unzip(archive("four.zip"), target);
    writer.reset();
    EXPECT_EQ(held, 0);
    EXPECT_EQ(tree(target), Names{});
    EXPECT_EQ(unzip(archive("four.zip"), target), 1) << "once the writer is gone";
}

TEST(UnzipArchives, AnArchiveWithoutEntriesEndsAt100) {
    const std::string target = caseFolder("no-entries");
    ProgressLog log;
    EXPECT_EQ(unzip(archive("no-entries.zip"), target, &log), 1);
    EXPECT_EQ(tree(target), Names{});
    EXPECT_EQ(log.heard, Percentages{100});
}

// The entries after it are never extracted: the archive did not unpack whole.
TEST(UnzipArchives, AnEntryThatCannotBeReadEndsTheWalkWithResult0) {
    for (const char* name : {"method-99.zip", "method-bzip2.zip", "local-crc-mismatch.zip"}) {
        const std::string target = caseFolder(std::string("unreadable-") + name);
        ProgressLog log;
        EXPECT_EQ(unzip(archive(name), target, &log), 0) << name;
        EXPECT_EQ(tree(target), (Names{"one.txt", "two.txt"})) << name;
        EXPECT_EQ(readTestFile(target + "\\two.txt"), textOf("two.txt")) << name;
        // The count stopped at the same entry: two of two.
        EXPECT_EQ(log.heard, (Percentages{0, 50, 100})) << name;
    }
}

TEST(UnzipData, DamagedDeflateDataLeavesADeletablePartialFileAndGives0) {
    const std::string target = caseFolder("damaged-deflate");
    const std::uint64_t before = now();
    EXPECT_EQ(unzip(archive("damaged-deflate.zip"), target), 0);
    EXPECT_EQ(tree(target), (Names{"first.txt", "second.bin"}));
    EXPECT_EQ(readTestFile(target + "\\first.txt"), textOf("first.txt"));

    const std::string partial = target + "\\second.bin";
    const std::size_t written = readTestFile(partial).size();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, kDamagedEntrySize);
    EXPECT_EQ(written % 16384, 0u) << "whole pieces only";
    EXPECT_EQ(GetFileAttributesA(partial.c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
        << "created read-only (no Unix mode), but not left so: deleting the folder must remove it";
    EXPECT_GE(timesOf(partial).lastWrite + kTicksPerMinute, before) << "no times from the archive (1999)";
}

// Sizes and CRC-32 come from the central records when the local headers leave them to a data
// descriptor.
TEST(UnzipData, AStreamedArchiveWithDataDescriptorsIsExtracted) {
    const std::string target = caseFolder("streamed") + "\\out";
    makeFolder(target);
    makeFolder(target + "\\sub");
    EXPECT_EQ(unzip(archive("streamed.zip"), target), 1);
    EXPECT_EQ(tree(target), (Names{"one.txt", "sub\\", "sub\\two.txt"}));
    EXPECT_EQ(readTestFile(target + "\\sub\\two.txt"), textOf("sub/two.txt"));
}

TEST(UnzipData, CorruptDataIsNeverAGoodExtraction) {
    for (const char* name : {"crc-stored.zip", "crc-deflated.zip", "crc-empty.zip", "data-ends-early.zip"}) {
        const std::string target = caseFolder(std::string("corrupt-") + name);
        EXPECT_EQ(unzip(archive(name), target), 0) << name;
        EXPECT_TRUE(pathExists(target + "\\before.txt")) << name;
        EXPECT_FALSE(pathExists(target + "\\after.txt")) << name;
    }
}

TEST(UnzipData, AnEncryptedEntryFailsBeforeItsFileIsCreated) {
    const std::string target = caseFolder("encrypted");
    EXPECT_EQ(unzip(archive("encrypted.zip"), target), 0);
    EXPECT_EQ(tree(target), Names{"before.txt"});
}

// Every archive "unsafe-*.zip" holds before.txt, one entry whose name would leave the target,
// then after.txt. The driver looks for the escaped names on the whole disk tree it made.
TEST(UnzipNames, NamesThatLeaveTheTargetAreNeverWritten) {
    Names archives;
    WIN32_FIND_DATAA found;
    {
        const FindHandle search(FindFirstFileA(archive("unsafe-*.zip").c_str(), &found));
        ASSERT_TRUE(search) << "the driver built no unsafe archive";
        do {
            archives.emplace_back(found.cFileName);
        } while (FindNextFileA(search.get(), &found));
    }

    for (const std::string& name : archives) {
        const std::string folder = caseFolder(name.substr(0, name.size() - 4));
        InFolder inFolder(folder);
        EXPECT_EQ(unzip(archive(name), "target\\"), 0) << name;
        EXPECT_EQ(tree(folder), (Names{"target\\", "target\\before.txt"})) << name;
    }
}

TEST(UnzipNames, NamesAndPathsOf260BytesOrMoreFailWhole) {
    const std::string longName = caseFolder("long-name");
    EXPECT_EQ(unzip(archive("long-name.zip"), longName), 0);
    EXPECT_EQ(tree(longName), Names{"before.txt"});

    const std::string tooLong = caseFolder("path-260");
    {
        InFolder inFolder(tooLong);
        EXPECT_EQ(unzip(archive("path-260.zip"), "latest\\"), 0);
    }
    EXPECT_EQ(tree(tooLong), Names{"latest\\"}) << "neither the file nor its folder";

    const std::string fits = caseFolder("path-259");
    {
        InFolder inFolder(fits);
        EXPECT_EQ(unzip(archive("path-259.zip"), "latest\\"), 1);
    }
    const std::string folder = std::string(100, 'd');
    EXPECT_EQ(tree(fits), (Names{"latest\\", "latest\\" + folder + "\\", "latest\\" + folder + "\\" +
                                                                           std::string(151, 'f')}));
}

TEST(UnzipProgress, FourEntriesReport0_25_50_75ThenTheFinal100) {
    const std::string answered = caseFolder("progress-answered");
    ProgressLog log;
    EXPECT_EQ(unzip(archive("four.zip"), answered, &log), 1);
    EXPECT_EQ(log.heard, (Percentages{0, 25, 50, 75, 100}));
    EXPECT_EQ(tree(answered), (Names{"four.txt", "one.txt", "three.txt", "two.txt"}));

    const std::string silent = caseFolder("progress-no-answer");
    ProgressLog noAnswer;
    noAnswer.answer = [](int) { return std::nullopt; };
    EXPECT_EQ(unzip(archive("four.zip"), silent, &noAnswer), 1);
    EXPECT_EQ(noAnswer.heard, (Percentages{0, 25, 50, 75, 100}));
    EXPECT_EQ(tree(silent).size(), 4u);
}

TEST(UnzipProgress, AHandlerThatAnswersFalseCancelsAfterThatEntry) {
    const std::string target = caseFolder("progress-cancelled");
    ProgressLog log;
    log.answer = [](int percentage) { return std::optional<bool>(percentage < 25); };
    EXPECT_EQ(unzip(archive("four.zip"), target, &log), 1);
    EXPECT_EQ(log.heard, (Percentages{0, 25})) << "no final notification after a cancel";
    EXPECT_EQ(tree(target), (Names{"one.txt", "two.txt"}));

    // The answer to the final notification changes nothing.
    const std::string late = caseFolder("progress-cancel-at-the-end");
    ProgressLog atTheEnd;
    atTheEnd.answer = [](int percentage) { return std::optional<bool>(percentage != 100); };
    EXPECT_EQ(unzip(archive("four.zip"), late, &atTheEnd), 1);
    EXPECT_EQ(atTheEnd.heard, (Percentages{0, 25, 50, 75, 100}));
}
