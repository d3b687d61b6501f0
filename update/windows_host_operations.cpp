#include "update/windows_host_operations.h"

#include "app/program.h"
#include "host/archive_fetch.h"
#include "host/file_ops.h"
#include "host/process_ops.h"

Text WindowsHostOperations::getRunDirectory() { return ::getRunDirectory(); }

Bytes WindowsHostOperations::httpReadFile(TextRef url) { return ::httpReadFile(url); }

bool WindowsHostOperations::writeFile(TextRef fileName, const Bytes& data) { return ::writeFile(fileName, data); }

int WindowsHostOperations::unzip(TextRef archivePath, TextRef targetFolder) {
    return zip_.unzip(archivePath, targetFolder);
}

bool WindowsHostOperations::terminateProcess(TextRef executableName) { return ::terminateProcess(executableName); }

bool WindowsHostOperations::fileExists(TextRef fileName) { return ::fileExists(fileName); }

bool WindowsHostOperations::renameFile(TextRef presentName, TextRef newName) {
    return ::renameFile(presentName, newName);
}

Text WindowsHostOperations::findFile(TextRef pattern, FindState& state) { return ::findFile(pattern, state); }

void WindowsHostOperations::closeFind(FindState& state) { ::closeFind(state); }

bool WindowsHostOperations::copyFile(TextRef source, TextRef target, bool failIfExists) {
    return ::copyFile(source, target, failIfExists);
}

bool WindowsHostOperations::deleteFile(TextRef fileName) { return ::deleteFile(fileName); }

bool WindowsHostOperations::deleteDirectory(TextRef path) { return ::deleteDirectory(path); }

int WindowsHostOperations::messageBox(TextRef message, int buttons) { return ::messageBox(message, buttons); }

bool WindowsHostOperations::runProgram(TextRef commandLine, bool wait) { return ::runProgram(commandLine, wait); }

void WindowsHostOperations::endProcess(int exitCode) { ::endProgram(exitCode); }
