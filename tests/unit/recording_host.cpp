#include "recording_host.h"

namespace {
// The fake's search: the names still to come.
struct Listing {
    std::vector<std::string> names;
    std::size_t next = 0;
};

void closeListing(void* search) { delete static_cast<Listing*>(search); }

Text nextName(FindState& state) {
    auto* listing = static_cast<Listing*>(state.search());
    if (listing == nullptr || listing->next == listing->names.size()) {
        state.reset();
        return Text();
    }
    return Text(listing->names[listing->next++].c_str());
}

std::string flag(bool value) { return value ? "true" : "false"; }
}  // namespace

Text RecordingHost::getRunDirectory() {
    record("getRunDirectory()");
    return Text(runDirectory.c_str());
}

Bytes RecordingHost::httpReadFile(TextRef url) {
    record("httpReadFile(" + std::string(url.c_str()) + ")");
    return Bytes(download.data(), download.size());
}

bool RecordingHost::writeFile(TextRef fileName, const Bytes& data) {
    record("writeFile(" + std::string(fileName.c_str()) + ", " + std::to_string(data.length()) + " bytes)");
    if (writeSucceeds) files.insert(fileName.c_str());
    return writeSucceeds;
}

int RecordingHost::unzip(TextRef archivePath, TextRef targetFolder) {
    record("unzip(" + std::string(archivePath.c_str()) + ", " + targetFolder.c_str() + ")");
    deletedFolder_.clear();
    return unzipResult;
}

bool RecordingHost::terminateProcess(TextRef executableName) {
    record("terminateProcess(" + std::string(executableName.c_str()) + ")");
    return true;
}

bool RecordingHost::fileExists(TextRef fileName) {
    record("fileExists(" + std::string(fileName.c_str()) + ")");
    return files.count(fileName.c_str()) != 0;
}

bool RecordingHost::renameFile(TextRef presentName, TextRef newName) {
    record("renameFile(" + std::string(presentName.c_str()) + ", " + newName.c_str() + ")");
    if (files.count(presentName.c_str()) == 0 || files.count(newName.c_str()) != 0) return false;
    files.erase(presentName.c_str());
    files.insert(newName.c_str());
    return true;
}

Text RecordingHost::findFile(TextRef pattern, FindState& state) {
    record("findFile(" + std::string(pattern.c_str()) + ")");
    if (!pattern.empty()) {
        const bool deleted = !deletedFolder_.empty() && std::string(pattern.c_str()).rfind(deletedFolder_, 0) == 0;
        const auto& listed = deleted ? leftovers : listings;
        const auto listing = listed.find(pattern.c_str());
        state.reset();
        if (listing != listed.end()) state.reset(new Listing{listing->second}, closeListing);
    }
    return nextName(state);
}

void RecordingHost::closeFind(FindState& state) {
    record("closeFind()");
    state.reset();
}

bool RecordingHost::copyFile(TextRef source, TextRef target, bool failIfExists) {
    record("copyFile(" + std::string(source.c_str()) + ", " + target.c_str() + ", " + flag(failIfExists) + ")");
    if (failingCopyTargets.count(target.c_str()) != 0) return false;
    files.insert(target.c_str());
    return true;
}

bool RecordingHost::deleteFile(TextRef fileName) {
    record("deleteFile(" + std::string(fileName.c_str()) + ")");
    return files.erase(fileName.c_str()) != 0;
}

bool RecordingHost::deleteDirectory(TextRef path) {
    record("deleteDirectory(" + std::string(path.c_str()) + ")");
    deletedFolder_ = path.c_str();
    return true;
}

int RecordingHost::messageBox(TextRef message, int buttons) {
    record("messageBox(" + std::string(message.c_str()) + ", " + std::to_string(buttons) + ")");
    return 0;
}

bool RecordingHost::runProgram(TextRef commandLine, bool wait) {
    record("runProgram(" + std::string(commandLine.c_str()) + ", " + flag(wait) + ")");
    return true;
}

void RecordingHost::endProcess(int exitCode) {
    record("endProgram(" + std::to_string(exitCode) + ")");
    throw ProgramEnded{exitCode};
}
