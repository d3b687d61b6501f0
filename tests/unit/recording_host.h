#pragma once
// A recording fake of the host operations over a tiny in-memory folder tree: it logs every call
// with its arguments, in order, and answers from scripted results.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "update/host_operations.h"

struct ProgramEnded {
    int exitCode;
};

class RecordingHost : public HostOperations {
public:
    // Scripted answers.
    std::string runDirectory = "D:\\Apps\\Tool";
    std::string download = "PK\x03\x04 archive";
    bool writeSucceeds = true;
    int unzipResult = 1;
    // Full paths of the files that exist; rename, copy and delete change them.
    std::set<std::string> files;
    // What each search pattern lists, in order. Between deleteDirectory and the next unzip, a
    // pattern within the deleted folder lists what deleting left there instead (nothing unless
    // given).
    std::map<std::string, std::vector<std::string>> listings;
    std::map<std::string, std::vector<std::string>> leftovers;
    // Targets whose copy fails, as for a file in use.
    std::set<std::string> failingCopyTargets;

    std::vector<std::string> calls;

    Text getRunDirectory() override;
    Bytes httpReadFile(TextRef url) override;
    bool writeFile(TextRef fileName, const Bytes& data) override;
    int unzip(TextRef archivePath, TextRef targetFolder) override;
    bool terminateProcess(TextRef executableName) override;
    bool fileExists(TextRef fileName) override;
    bool renameFile(TextRef presentName, TextRef newName) override;
    Text findFile(TextRef pattern, FindState& state) override;
    void closeFind(FindState& state) override;
    bool copyFile(TextRef source, TextRef target, bool failIfExists) override;
    bool deleteFile(TextRef fileName) override;
    bool deleteDirectory(TextRef path) override;
    int messageBox(TextRef message, int buttons) override;
    bool runProgram(TextRef commandLine, bool wait) override;

protected:
    void endProcess(int exitCode) override;

private:
    void record(const std::string& call) { calls.push_back(call); }

    std::string deletedFolder_;
};
