#pragma once
#include <cstdlib>

#include "common/bytes.h"
#include "common/find_state.h"
#include "common/text.h"

// The host operations the update run calls, with the arguments it passes. The shipping program
// forwards them to the real operations; tests put a recording fake in their place.
class HostOperations {
public:
    virtual ~HostOperations() = default;

    virtual Text getRunDirectory() = 0;
    virtual Bytes httpReadFile(TextRef url) = 0;
    virtual bool writeFile(TextRef fileName, const Bytes& data) = 0;
    // unzip on the host window's ZipComponent.
    virtual int unzip(TextRef archivePath, TextRef targetFolder) = 0;
    virtual bool terminateProcess(TextRef executableName) = 0;
    virtual bool fileExists(TextRef fileName) = 0;
    virtual bool renameFile(TextRef presentName, TextRef newName) = 0;
    // The attribute filter omitted: regular files only.
    virtual Text findFile(TextRef pattern, FindState& state) = 0;
    virtual void closeFind(FindState& state) = 0;
    virtual bool copyFile(TextRef source, TextRef target, bool failIfExists) = 0;
    virtual bool deleteFile(TextRef fileName) = 0;
    virtual bool deleteDirectory(TextRef path) = 0;
    // Caption and owner omitted.
    virtual int messageBox(TextRef message, int buttons) = 0;
    // Show mode omitted.
    virtual bool runProgram(TextRef commandLine, bool wait) = 0;

    // The run never goes on past its end, whatever an implementation does.
    [[noreturn]] void endProgram(int exitCode) {
        endProcess(exitCode);
        std::abort();
    }

protected:
    virtual void endProcess(int exitCode) = 0;
};
