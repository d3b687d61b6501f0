#include "host/file_ops.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "app/fatal_text.h"
#include "app/program.h"
#include "host/file_ops_rules.h"
#include "win/unique_handle.h"

namespace {
constexpr char kCopyLibrary[] = "kernel32.dll";
constexpr char kCopyRoutineName[] = "CopyFileA";

using CopyRoutine = BOOL(WINAPI*)(LPCSTR, LPCSTR, BOOL);

// Held from the first copyFile until the program ends.
ModuleHandle g_copyLibrary;
CopyRoutine g_copyRoutine = nullptr;

struct ListedEntry {
    Text path;
    bool isDirectory;
};

// The entries of a directory (names beginning with a dot left out), complete before anything is
// deleted, so that deleting never disturbs the listing.
std::vector<ListedEntry> listForDeletion(const char* path) {
    std::vector<ListedEntry> entries;
    const Text pattern = concatText({path, "\\*.*"});
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA(pattern.c_str(), &found));
    if (!search) return entries;
    do {
        if (deleteDirectorySkips(found.cFileName)) continue;
        entries.push_back(ListedEntry{concatText({path, "\\", found.cFileName}),
                                      (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(search.get(), &found));
    return entries;
}

void emptyDirectory(const char* path) {
    for (const ListedEntry& entry : listForDeletion(path)) {
        if (entry.isDirectory) {
            emptyDirectory(entry.path.c_str());
            RemoveDirectoryA(entry.path.c_str());
        } else {
            DeleteFileA(entry.path.c_str());
        }
    }
}

void closeSearch(void* search) { FindClose(search); }

// Starts a new search in the state, closing the one it held; an empty state when none starts.
void startSearch(FindState& state, const char* pattern, WIN32_FIND_DATAA& found) {
    state.reset();
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) state.reset(search, closeSearch);
}

// The next entry of the state's search; at the end the state is emptied.
bool nextEntry(FindState& state, WIN32_FIND_DATAA& found) {
    if (state.isOpen() && FindNextFileA(state.search(), &found)) return true;
    state.reset();
    return false;
}

Text findMatching(TextRef pattern, std::optional<unsigned long> attributeFilter, FindState& state) {
    WIN32_FIND_DATAA found;
    if (!pattern.empty()) {
        startSearch(state, pattern.c_str(), found);
        if (!state.isOpen()) return Text();
    } else if (!nextEntry(state, found)) {
        return Text();
    }
    while (!findFilterMatches(found.dwFileAttributes, attributeFilter)) {
        if (!nextEntry(state, found)) return Text();
    }
    return Text(found.cFileName);
}

ModuleHandle loadCopyLibrary() {
    const Text besideProgram = concatText({runDirectory(), "\\", kCopyLibrary});
    ModuleHandle library(LoadLibraryA(besideProgram.c_str()));
    if (!library) library.reset(LoadLibraryA(kCopyLibrary));
    return library;
}

CopyRoutine copyRoutine() {
    if (g_copyRoutine != nullptr) return g_copyRoutine;
    ModuleHandle library = loadCopyLibrary();
    FARPROC routine = library ? GetProcAddress(library.get(), kCopyRoutineName) : nullptr;
    if (routine == nullptr) {
        library.reset();
        fatalError(missingRoutineMessage(kCopyLibrary, kCopyRoutineName).bytes, 0);
    }
    g_copyLibrary = std::move(library);
    g_copyRoutine = reinterpret_cast<CopyRoutine>(reinterpret_cast<void*>(routine));
    return g_copyRoutine;
}
}  // namespace

Text getRunDirectory() { return Text(runDirectory()); }

bool writeFileParts(TextRef fileName, std::initializer_list<const Bytes*> data) {
    if (fileName.empty()) return false;
    FileHandle file(CreateFileA(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) return false;
    for (const Bytes* part : data) {
        if (part->empty()) continue;
        DWORD written = 0;
        const DWORD length = static_cast<DWORD>(part->length());
        if (!WriteFile(file.get(), part->data(), length, &written, nullptr) || written != length) return false;
    }
    return true;
}

bool fileExists(TextRef fileName) {
    WIN32_FIND_DATAA found;
    return FindHandle(FindFirstFileA(fileName.c_str(), &found)).valid();
}

bool renameFile(TextRef presentName, TextRef newName) {
    return MoveFileA(presentName.c_str(), newName.c_str()) != FALSE;
}

bool deleteFile(TextRef fileName) { return DeleteFileA(fileName.c_str()) != FALSE; }

bool deleteDirectory(TextRef path) {
    const char* directory = skipLeadingSpaces(path.c_str());
    if (deleteDirectoryRefuses(directory)) return false;
    emptyDirectory(directory);
    return RemoveDirectoryA(directory) != FALSE;
}

Text findFile(TextRef pattern, FindState& state) { return findMatching(pattern, std::nullopt, state); }

Text findFile(TextRef pattern, unsigned long attributeFilter, FindState& state) {
    return findMatching(pattern, attributeFilter, state);
}

void closeFind(FindState& state) { state.reset(); }

bool copyFile(TextRef source, TextRef target, bool failIfExists) {
    return copyRoutine()(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

void releaseCopyRoutine() {
    g_copyRoutine = nullptr;
    g_copyLibrary.reset();
}
