#include "bench/wine_floor.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <memory>
#include <string>

#include "host/archive_fetch_rules.h"
#include "win/unique_handle.h"

bool downloadFloor(const char* url, const char* file, std::size_t& length) {
    length = 0;
    const InternetHandle internet(InternetOpenA("pelmora-bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    const InternetHandle request(InternetOpenUrlA(internet.get(), url, nullptr, 0,
                                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    DWORD announced = 0;
    DWORD size = sizeof announced;
    if (!request || !HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced,
                                    &size, nullptr)) {
        return false;
    }
    const std::unique_ptr<char[]> body(new char[announced]);
    static char piece[kLargestReadSize];
    DWORD received = 0;
    while (InternetReadFile(request.get(), piece, sizeof piece, &received) && received > 0 &&
           length + received <= announced) {
        std::memcpy(body.get() + length, piece, received);
        length += received;
    }
    const FileHandle stored(
        CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return stored && WriteFile(stored.get(), body.get(), static_cast<DWORD>(length), &written, nullptr) &&
           written == length && length > 0;
}

bool copyFloor(const char* sourceFolder, const char* targetFolder) {
    WIN32_FIND_DATAA found;
    const FindHandle search(FindFirstFileA((std::string(sourceFolder) + "*.*").c_str(), &found));
    if (!search) return false;
    bool everyFileCopied = true;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::string source = std::string(sourceFolder) + found.cFileName;
        const std::string target = std::string(targetFolder) + found.cFileName;
        if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) everyFileCopied = false;
    } while (FindNextFileA(search.get(), &found));
    return everyFileCopied;
}
