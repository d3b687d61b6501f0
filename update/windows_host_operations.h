#pragma once
#include "host/zip_component.h"
#include "update/host_operations.h"

// The update run's host operations on the real Win32 system, unzipping through the host window's
// ZIP component.
class WindowsHostOperations : public HostOperations {
public:
    explicit WindowsHostOperations(ZipComponent& zip) : zip_(zip) {}

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
    ZipComponent& zip_;
};
