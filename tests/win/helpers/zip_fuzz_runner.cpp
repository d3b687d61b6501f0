// The ZIP extraction's fuzz mode: unzips the archives of a folder, in the order of their names,
// one after the other in this one process, into a target inside a sandbox, with the current
// directory inside the sandbox as the update run has it. After each archive it checks that unzip
// gave 0 or 1 (the archive exists, so -1 is wrong), that it left the archive closed, that nothing
// in the sandbox outside the target and nothing at the top of the drive changed, and that the
// target can be removed again (no file of it left open).
//
// zip_fuzz_runner <archives folder> <sandbox folder> <seconds>
// The sandbox holds "run\", the current directory, which the target "latest\" lies in. An archive
// whose name starts with an even number goes to "latest\", one with an odd number to its absolute
// path, so that an archive replayed alone meets the target it failed with. Before each archive the
// line "archive <name>" is printed, so that the last one names the archive of a crash or a hang; a
// violation prints "violation <name>: <what>" and ends the run with exit code 1. At the end:
// "tried <n> archives: <k> gave 1, <m> gave 0, <f> files extracted".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "host/zip_component.h"
#include "scratch_folder.h"
#include "win/unique_handle.h"

namespace {
// What a path holds, for telling whether anything changed: its attributes, and a file's bytes.
struct PathState {
    DWORD attributes;
    std::string content;

    bool isFile() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0; }
    bool operator!=(const PathState& other) const { return attributes != other.attributes || content != other.content; }
};
using Snapshot = std::map<std::string, PathState>;

void takeSnapshot(const std::string& folder, bool recursive, const std::string& skipped, Snapshot& snapshot) {
    WIN32_FIND_DATAA found;
    const FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search) return;
    do {
        const std::string name = found.cFileName;
        const std::string path = folder + "\\" + name;
        if (name == "." || name == ".." || path == skipped) continue;
        const PathState state{found.dwFileAttributes, ""};
        snapshot[path] = state.isFile() ? PathState{state.attributes, readTestFile(path)} : state;
        if (!state.isFile() && recursive) takeSnapshot(path, recursive, skipped, snapshot);
    } while (FindNextFileA(search.get(), &found));
}

// The sandbox whole, but for the target, and the top level of its drive.
Snapshot surroundings(const std::string& sandbox, const std::string& target) {
    Snapshot snapshot;
    takeSnapshot(sandbox, true, target, snapshot);
    takeSnapshot(sandbox.substr(0, 2), false, sandbox, snapshot);
    return snapshot;
}

std::string firstDifference(const Snapshot& before, const Snapshot& after) {
    for (const auto& [path, state] : after) {
        const auto earlier = before.find(path);
        if (earlier == before.end()) return "created " + path;
        if (earlier->second != state) return "changed " + path;
    }
    for (const auto& [path, state] : before) {
        if (after.count(path) == 0) return "removed " + path;
    }
    return "";
}

bool isClosed(const std::string& path) {
    return FileHandle(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)).valid();
}

std::size_t filesUnder(const std::string& folder) {
    Snapshot tree;
    takeSnapshot(folder, true, "", tree);
    return std::count_if(tree.begin(), tree.end(), [](const auto& entry) { return entry.second.isFile(); });
}

std::vector<std::string> archiveNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const FindHandle search(FindFirstFileA((folder + "\\*.zip").c_str(), &found));
    if (!search) return names;
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileA(search.get(), &found));
    std::sort(names.begin(), names.end());
    return names;
}

struct Outcome {
    int result = 0;
    std::size_t extracted = 0;
    std::string violation;  // what is wrong, or empty
};

// Unzips the archive and compares the surroundings with the baseline taken before the first one:
// every archive leaves them as they were, since the target is removed after each.
Outcome unzipAndCheck(const std::string& archive, const std::string& targetAsPassed, const std::string& sandbox,
                      const std::string& target, const Snapshot& baseline) {
    Outcome outcome;
    outcome.result = ZipComponent().unzip(archive.c_str(), targetAsPassed.c_str());
    if (outcome.result != ZipComponent::kWalkEnded && outcome.result != ZipComponent::kFailed) {
        outcome.violation = "unzip gave " + std::to_string(outcome.result);
    } else if (!isClosed(archive)) {
        outcome.violation = "the archive was left open";
    } else {
        outcome.violation = firstDifference(baseline, surroundings(sandbox, target));
        if (!outcome.violation.empty()) outcome.violation += " outside the target";
    }
    if (!outcome.violation.empty()) return outcome;
    outcome.extracted = filesUnder(target);
    removeTestTree(target);
    if (pathExists(target)) outcome.violation = "the target cannot be removed: a file of it was left open";
    return outcome;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zip_fuzz_runner <archives folder> <sandbox folder> <seconds>\n");
        return 2;
    }
    const std::string archives = argv[1];
    const std::string sandbox = argv[2];
    const ULONGLONG deadline = GetTickCount64() + std::stoul(argv[3]) * 1000ULL;
    const std::string run = sandbox + "\\run";
    const std::string target = run + "\\latest";
    if (!SetCurrentDirectoryA(run.c_str())) {
        std::fprintf(stderr, "cannot enter %s\n", run.c_str());
        return 2;
    }

    const Snapshot baseline = surroundings(sandbox, target);
    std::size_t tried = 0;
    std::size_t walkEnded = 0;
    std::size_t extracted = 0;
    for (const std::string& name : archiveNames(archives)) {
        if (GetTickCount64() >= deadline) break;
        std::printf("archive %s\n", name.c_str());
        std::fflush(stdout);
        const bool relative = std::atoi(name.c_str()) % 2 == 0;
        const Outcome outcome =
            unzipAndCheck(archives + "\\" + name, relative ? "latest\\" : target, sandbox, target, baseline);
        if (!outcome.violation.empty()) {
            std::printf("violation %s: %s\n", name.c_str(), outcome.violation.c_str());
            return 1;
        }
        ++tried;
        walkEnded += outcome.result == ZipComponent::kWalkEnded;
        extracted += outcome.extracted;
    }
    std::printf("tried %zu archives: %zu gave 1, %zu gave 0, %zu files extracted\n", tried, walkEnded,
                tried - walkEnded, extracted);
    return 0;
}
