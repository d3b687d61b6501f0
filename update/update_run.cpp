#include "update/update_run.h"

#include "update/update_values.h"

using namespace update_values;

namespace {
// The paths of one run, each a plain concatenation onto the run directory.
struct RunPaths {
    Text runDirectory;
    Text targetPrefix;
    Text archiveUrl;
    Text archivePath;
    Text applicationPath;
    Text backupPath;
    Text stagingPath;
    Text keyPath;

    explicit RunPaths(Text directory)
        : runDirectory(std::move(directory)),
          targetPrefix(concatText({runDirectory, kSeparator})),
          archiveUrl(concatText({kUpdateBaseUrl, kArchiveName})),
          archivePath(concatText({runDirectory, kSeparator, kArchiveName})),
          applicationPath(concatText({runDirectory, kApplicationSuffix})),
          backupPath(concatText({runDirectory, kBackupSuffix})),
          stagingPath(concatText({runDirectory, kSeparator, kStagingFolder})),
          keyPath(concatText({runDirectory, kKeySuffix})) {}
};

// Download and store; the one result the run tests before it touches anything.
bool storeArchive(HostOperations& host, const RunPaths& paths) {
    const Bytes data = host.httpReadFile(paths.archiveUrl);
    return host.writeFile(paths.archivePath, data);
}

// Whether the staging folder holds a regular file "Pelmora.exe" at its top level.
bool applicationStaged(HostOperations& host, const RunPaths& paths) {
    FindState state;
    const Text found = host.findFile(concatText({paths.stagingPath, kApplicationName}), state);
    host.closeFind(state);
    return compareText(found, "") != 0;
}

// Whether deleting the staging folder left a file at its top that the copy would install as part of
// the release: one that could not be deleted, being read-only or in use. Names that begin with a dot
// are never deleted there, whatever the run does; they stay out of this test, or a release holding
// one would stop every later update.
bool undeletedFilesStaged(HostOperations& host, const RunPaths& paths) {
    FindState state;
    Text name = host.findFile(concatText({paths.stagingPath, kSearchSuffix}), state);
    while (compareText(name, "") != 0 && name.c_str()[0] == '.') name = host.findFile("", state);
    host.closeFind(state);
    return compareText(name, "") != 0;
}

// A run that staged nothing usable leaves the application alone and removes what it brought.
[[noreturn]] void abandonRun(HostOperations& host, const RunPaths& paths) {
    host.deleteDirectory(paths.stagingPath);
    host.deleteFile(paths.archivePath);
    host.endProgram(0);
}

// Whatever failed during the copy, the run never ends without the application's executable.
void restoreApplicationIfLost(HostOperations& host, const RunPaths& paths) {
    if (!host.fileExists(paths.applicationPath) && host.fileExists(paths.backupPath)) {
        host.renameFile(paths.backupPath, paths.applicationPath);
    }
}
}  // namespace

bool copyStagedFiles(HostOperations& host, TextRef sourceFolder, TextRef targetFolder) {
    const Text pattern = concatText({sourceFolder, kSearchSuffix});
    FindState state;
    bool everyFileCopied = true;
    Text name = host.findFile(pattern, state);
    while (compareText(name, "") != 0) {
        const Text source = concatText({sourceFolder, name});
        const Text target = concatText({targetFolder, name});
        if (!host.copyFile(source, target, false)) everyFileCopied = false;
        name = host.findFile("", state);
    }
    host.closeFind(state);
    return everyFileCopied;
}

void runUpdate(HostOperations& host) {
    const RunPaths paths(host.getRunDirectory());

    if (!storeArchive(host, paths)) host.endProgram(0);

    // Files of an earlier run that broke off must never be installed.
    host.deleteDirectory(paths.stagingPath);
    if (undeletedFilesStaged(host, paths)) abandonRun(host, paths);
    const int unpacked = host.unzip(paths.archivePath, kStagingFolder);
    if (unpacked != 1 || !applicationStaged(host, paths)) abandonRun(host, paths);

    host.terminateProcess(kApplicationName);
    if (host.fileExists(paths.applicationPath)) host.renameFile(paths.applicationPath, paths.backupPath);
    const bool everyFileCopied = copyStagedFiles(host, paths.stagingPath, paths.targetPrefix);
    restoreApplicationIfLost(host, paths);

    host.deleteFile(paths.keyPath);
    host.deleteFile(paths.backupPath);
    host.deleteDirectory(paths.stagingPath);
    host.deleteFile(paths.archivePath);

    if (everyFileCopied && host.fileExists(paths.applicationPath)) host.messageBox(kSuccessMessage, 0);
    host.runProgram(paths.applicationPath, false);
    host.endProgram(0);
}
