#include "scratch_folder.h"

#include <stdexcept>
#include <string>

#include "win/unique_handle.h"

namespace {
void removeWideTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const FindHandle search(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (search) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring entry = path + L"\\" + name;
            SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeWideTree(entry);
            } else {
                DeleteFileW(entry.c_str());
            }
        } while (FindNextFileW(search.get(), &found));
    }
    RemoveDirectoryW(path.c_str());
}
}  // namespace

// Through the wide functions and the "\\?\" form of the full path, so that files whose full paths
// reach MAX_PATH (a name of 259 bytes below a relative target) are removed too.
void removeTestTree(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    const DWORD fullLength = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(fullLength, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), fullLength, full.data(), nullptr));
    removeWideTree(L"\\\\?\\" + full);
}

ScratchFolder::ScratchFolder() {
    char base[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, base);
    static unsigned sequence = 0;
    for (;;) {
        path_ = std::string(base) + "pelmora-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++sequence);
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + path_);
    }
}

ScratchFolder::~ScratchFolder() { removeTestTree(path_); }

void writeTestFile(const std::string& path, const std::string& content, DWORD attributes) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    {
        const FileHandle file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) throw std::runtime_error("cannot write " + path);
        DWORD written = 0;
        WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    }
    SetFileAttributesA(path.c_str(), attributes);
}

std::string readTestFile(const std::string& path) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return "<missing>";
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
    return content;
}

bool pathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void makeFolder(const std::string& path) {
    if (!CreateDirectoryA(path.c_str(), nullptr)) throw std::runtime_error("cannot create " + path);
}
