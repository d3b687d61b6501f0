// The update run's order of calls and their arguments, against a recording fake of the host.
#include <gtest/gtest.h>

#include <algorithm>

#include "recording_host.h"
#include "update/update_run.h"

namespace {
using Calls = std::vector<std::string>;

// A run directory whose staging folder will list Pelmora.exe and a library.
void stageRelease(RecordingHost& host, const std::string& directory) {
    host.runDirectory = directory;
    host.files = {directory + "\\Pelmora.exe", directory + "\\key"};
    host.listings[directory + "\\latest\\Pelmora.exe"] = {"Pelmora.exe"};
    host.listings[directory + "\\latest\\\\*.*"] = {"Pelmora.exe", "lib.dll"};
}

int run(RecordingHost& host) {
    try {
        runUpdate(host);
    } catch (const ProgramEnded& ended) {
        return ended.exitCode;
    }
    ADD_FAILURE() << "runUpdate returned";
    return 99;
}

bool called(const RecordingHost& host, const std::string& prefix) {
    return std::any_of(host.calls.begin(), host.calls.end(),
                       [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
}

std::size_t position(const RecordingHost& host, const std::string& call) {
    return std::find(host.calls.begin(), host.calls.end(), call) - host.calls.begin();
}
}  // namespace

TEST(UpdateRun, AGoodRunCallsTheHostInOrderWithTheRunsPaths) {
    RecordingHost host;
    stageRelease(host, "D:\\Apps\\Tool");
    EXPECT_EQ(run(host), 0);
    const Calls expected{
        "getRunDirectory()",
        "httpReadFile(http://update.pelmora.example/update/pelmoraDesk/latest.zip)",
        "writeFile(D:\\Apps\\Tool\\latest.zip, 12 bytes)",
        "deleteDirectory(D:\\Apps\\Tool\\latest\\)",
        "findFile(D:\\Apps\\Tool\\latest\\\\*.*)",
        "closeFind()",
        "unzip(D:\\Apps\\Tool\\latest.zip, latest\\)",
        "findFile(D:\\Apps\\Tool\\latest\\Pelmora.exe)",
        "closeFind()",
        "terminateProcess(Pelmora.exe)",
        "fileExists(D:\\Apps\\Tool\\Pelmora.exe)",
        "renameFile(D:\\Apps\\Tool\\Pelmora.exe, D:\\Apps\\Tool\\Pelmora.exe.bak)",
        "findFile(D:\\Apps\\Tool\\latest\\\\*.*)",
        "copyFile(D:\\Apps\\Tool\\latest\\Pelmora.exe, D:\\Apps\\Tool\\Pelmora.exe, false)",
        "findFile()",
        "copyFile(D:\\Apps\\Tool\\latest\\lib.dll, D:\\Apps\\Tool\\lib.dll, false)",
        "findFile()",
        "closeFind()",
        "fileExists(D:\\Apps\\Tool\\Pelmora.exe)",
        "deleteFile(D:\\Apps\\Tool\\key)",
        "deleteFile(D:\\Apps\\Tool\\Pelmora.exe.bak)",
        "deleteDirectory(D:\\Apps\\Tool\\latest\\)",
        "deleteFile(D:\\Apps\\Tool\\latest.zip)",
        "fileExists(D:\\Apps\\Tool\\Pelmora.exe)",
        "messageBox(升级成功！, 0)",
        "runProgram(D:\\Apps\\Tool\\Pelmora.exe, false)",
        "endProgram(0)",
    };
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(host.files, (std::set<std::string>{"D:\\Apps\\Tool\\Pelmora.exe", "D:\\Apps\\Tool\\lib.dll"}));
}

TEST(UpdateRun, AtADriveRootTheRunAppendsItsOwnSeparators) {
    RecordingHost host;
    stageRelease(host, "D:");
    EXPECT_EQ(run(host), 0);
    for (const char* call : {
             "writeFile(D:\\latest.zip, 12 bytes)",
             "unzip(D:\\latest.zip, latest\\)",
             "renameFile(D:\\Pelmora.exe, D:\\Pelmora.exe.bak)",
             "findFile(D:\\latest\\\\*.*)",
             "copyFile(D:\\latest\\lib.dll, D:\\lib.dll, false)",
             "deleteFile(D:\\key)",
             "deleteDirectory(D:\\latest\\)",
             "runProgram(D:\\Pelmora.exe, false)",
         }) {
        EXPECT_TRUE(called(host, call)) << call;
    }
}

TEST(UpdateRun, AnArchiveThatCannotBeStoredEndsTheRunAtOnce) {
    RecordingHost host;
    stageRelease(host, "D:\\Apps\\Tool");
    host.writeSucceeds = false;
    EXPECT_EQ(run(host), 0);
    const Calls expected{
        "getRunDirectory()",
        "httpReadFile(http://update.pelmora.example/update/pelmoraDesk/latest.zip)",
        "writeFile(D:\\Apps\\Tool\\latest.zip, 12 bytes)",
        "endProgram(0)",
    };
    EXPECT_EQ(host.calls, expected);
}

TEST(UpdateRun, NothingUsableStagedLeavesTheApplicationAloneAndRemovesWhatTheRunBrought) {
    struct Case {
        const char* what;
        int unzipResult;
        std::vector<std::string> stagedApplication;
    };
    const Case cases[] = {
        {"an archive that does not unpack", 0, {"Pelmora.exe"}},
        {"an archive that vanished", -1, {"Pelmora.exe"}},
        {"no Pelmora.exe at the top of the staging folder", 1, {}},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        stageRelease(host, "D:\\Apps\\Tool");
        host.unzipResult = c.unzipResult;
        host.listings["D:\\Apps\\Tool\\latest\\Pelmora.exe"] = c.stagedApplication;
        EXPECT_EQ(run(host), 0) << c.what;
        const std::vector<std::string> lastCalls(host.calls.end() - 3, host.calls.end());
        EXPECT_EQ(lastCalls, (Calls{"deleteDirectory(D:\\Apps\\Tool\\latest\\)", "deleteFile(D:\\Apps\\Tool\\latest.zip)",
                                    "endProgram(0)"}))
            << c.what;
        for (const char* untouched : {"terminateProcess", "renameFile", "copyFile", "messageBox", "runProgram"}) {
            EXPECT_FALSE(called(host, untouched)) << c.what << ": " << untouched;
        }
        EXPECT_TRUE(host.files.count("D:\\Apps\\Tool\\Pelmora.exe")) << c.what;
        EXPECT_TRUE(host.files.count("D:\\Apps\\Tool\\key")) << c.what;
    }
}

TEST(UpdateRun, FilesThatDeletingAnEarlierStagingFolderLeftAreNeverInstalled) {
    struct Case {
        const char* what;
        std::vector<std::string> leftovers;
        bool goesOn;
    };
    const Case cases[] = {
        {"nothing left", {}, true},
        {"a read-only or busy file left", {"stale.dll"}, false},
        {"one left after names that are never deleted", {".keep", "Pelmora.exe"}, false},
        {"only names that are never deleted", {".keep"}, true},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        stageRelease(host, "D:\\Apps\\Tool");
        host.leftovers["D:\\Apps\\Tool\\latest\\\\*.*"] = c.leftovers;
        EXPECT_EQ(run(host), 0) << c.what;
        EXPECT_EQ(called(host, "unzip"), c.goesOn) << c.what;
        EXPECT_EQ(called(host, "copyFile"), c.goesOn) << c.what;
        if (!c.goesOn) {
            const std::vector<std::string> lastCalls(host.calls.end() - 3, host.calls.end());
            EXPECT_EQ(lastCalls, (Calls{"deleteDirectory(D:\\Apps\\Tool\\latest\\)",
                                        "deleteFile(D:\\Apps\\Tool\\latest.zip)", "endProgram(0)"}))
                << c.what;
            EXPECT_TRUE(host.files.count("D:\\Apps\\Tool\\Pelmora.exe")) << c.what;
        }
    }
}

TEST(UpdateRun, AnExecutableThatCouldNotBeCopiedIsRestoredFromTheBackup) {
    RecordingHost host;
    stageRelease(host, "D:\\Apps\\Tool");
    host.failingCopyTargets = {"D:\\Apps\\Tool\\Pelmora.exe"};
    EXPECT_EQ(run(host), 0);
    const std::size_t restore = position(host, "renameFile(D:\\Apps\\Tool\\Pelmora.exe.bak, D:\\Apps\\Tool\\Pelmora.exe)");
    ASSERT_LT(restore, host.calls.size());
    EXPECT_LT(restore, position(host, "deleteFile(D:\\Apps\\Tool\\Pelmora.exe.bak)"));
    EXPECT_TRUE(host.files.count("D:\\Apps\\Tool\\Pelmora.exe"));
    EXPECT_FALSE(called(host, "messageBox"));
    EXPECT_TRUE(called(host, "runProgram(D:\\Apps\\Tool\\Pelmora.exe, false)"));
}

TEST(UpdateRun, AFileThatCouldNotBeCopiedMeansNoSuccessMessage) {
    RecordingHost host;
    stageRelease(host, "D:\\Apps\\Tool");
    host.failingCopyTargets = {"D:\\Apps\\Tool\\lib.dll"};
    EXPECT_EQ(run(host), 0);
    EXPECT_FALSE(called(host, "messageBox"));
    EXPECT_FALSE(called(host, "renameFile(D:\\Apps\\Tool\\Pelmora.exe.bak"));
    for (const char* cleanup : {"deleteFile(D:\\Apps\\Tool\\key)", "deleteFile(D:\\Apps\\Tool\\Pelmora.exe.bak)",
                                "deleteDirectory(D:\\Apps\\Tool\\latest\\)", "deleteFile(D:\\Apps\\Tool\\latest.zip)",
                                "runProgram(D:\\Apps\\Tool\\Pelmora.exe, false)"}) {
        EXPECT_TRUE(called(host, cleanup)) << cleanup;
    }
}

TEST(UpdateRun, AnApplicationNotPresentIsNotBackedUpAndTheCopyGoesOn) {
    RecordingHost host;
    stageRelease(host, "D:\\Apps\\Tool");
    host.files.erase("D:\\Apps\\Tool\\Pelmora.exe");
    EXPECT_EQ(run(host), 0);
    EXPECT_FALSE(called(host, "renameFile"));
    EXPECT_TRUE(called(host, "copyFile(D:\\Apps\\Tool\\latest\\Pelmora.exe, D:\\Apps\\Tool\\Pelmora.exe, false)"));
    EXPECT_TRUE(called(host, "messageBox(升级成功！, 0)"));
}

TEST(CopyStagedFiles, CopiesEachListedFileOnceAndReportsFailures) {
    RecordingHost host;
    host.listings["S\\\\*.*"] = {"a", "b", "c"};
    host.failingCopyTargets = {"T\\b"};
    EXPECT_FALSE(copyStagedFiles(host, "S\\", "T\\"));
    EXPECT_EQ(host.calls, (Calls{"findFile(S\\\\*.*)", "copyFile(S\\a, T\\a, false)", "findFile()",
                                 "copyFile(S\\b, T\\b, false)", "findFile()", "copyFile(S\\c, T\\c, false)",
                                 "findFile()", "closeFind()"}));

    RecordingHost empty;
    EXPECT_TRUE(copyStagedFiles(empty, "S\\", "T\\"));
    EXPECT_EQ(empty.calls, (Calls{"findFile(S\\\\*.*)", "closeFind()"}));
}
