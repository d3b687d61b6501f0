#include "host/zip_file_entry.h"

#include <windows.h>

#include <cstdint>
#include <optional>

#include "host/zip_extra_field.h"
#include "host/zip_rules.h"
#include "win/unique_handle.h"

namespace {
constexpr unsigned kPieceSize = 16384;

static_assert(win32_attribute::readOnly == FILE_ATTRIBUTE_READONLY &&
                  win32_attribute::hidden == FILE_ATTRIBUTE_HIDDEN &&
                  win32_attribute::system == FILE_ATTRIBUTE_SYSTEM &&
                  win32_attribute::directory == FILE_ATTRIBUTE_DIRECTORY &&
                  win32_attribute::archive == FILE_ATTRIBUTE_ARCHIVE &&
                  win32_attribute::normal == FILE_ATTRIBUTE_NORMAL,
              "the attribute mapping speaks Win32's values");

// A time that is absent leaves the file's own.
struct EntryTimes {
    std::optional<FILETIME> creation;
    std::optional<FILETIME> lastAccess;
    std::optional<FILETIME> lastWrite;
};

std::optional<FILETIME> fileTimeOf(std::int32_t secondsSince1970) {
    const CalendarTime calendar = utcCalendarTime(secondsSince1970);
    SYSTEMTIME system{};
    system.wYear = static_cast<WORD>(calendar.year);
    system.wMonth = static_cast<WORD>(calendar.month);
    system.wDayOfWeek = static_cast<WORD>(calendar.dayOfWeek);
    system.wDay = static_cast<WORD>(calendar.day);
    system.wHour = static_cast<WORD>(calendar.hour);
    system.wMinute = static_cast<WORD>(calendar.minute);
    system.wSecond = static_cast<WORD>(calendar.second);
    FILETIME time;
    if (!SystemTimeToFileTime(&system, &time)) return std::nullopt;
    return time;
}

void replaceWith(std::optional<FILETIME>& time, const std::optional<std::int32_t>& secondsSince1970) {
    if (!secondsSince1970) return;
    if (const std::optional<FILETIME> replacement = fileTimeOf(*secondsSince1970)) time = replacement;
}

// The DOS date and time of the central record, taken as they are (no conversion from local time),
// for all three times; then the times of the local extra field's "UT" record in their place.
EntryTimes entryTimes(const ZipEntry& entry) {
    EntryTimes times;
    FILETIME dosTime;
    if (DosDateTimeToFileTime(HIWORD(entry.dosDateTime), LOWORD(entry.dosDateTime), &dosTime)) {
        times = EntryTimes{dosTime, dosTime, dosTime};
    }
    const ExtendedTimes extended = findExtendedTimes(entry.localExtraField.data(), entry.localExtraField.size());
    replaceWith(times.lastWrite, extended.lastWrite);
    replaceWith(times.lastAccess, extended.lastAccess);
    replaceWith(times.creation, extended.creation);
    return times;
}

const FILETIME* timeOrNull(const std::optional<FILETIME>& time) { return time ? &*time : nullptr; }

// Inflates the entry's data into the file. Its CRC-32 is checked when minizip closes the data, but
// only once all of it was read: the size check covers data that ends early.
bool copyData(ZipArchive& archive, const ZipEntry& entry, HANDLE file) {
    if (!archive.openData()) return false;
    char piece[kPieceSize];
    unsigned long long total = 0;
    bool failed = false;
    for (;;) {
        const int read = archive.readData(piece, sizeof piece);
        if (read == 0) break;
        DWORD written = 0;
        if (read < 0 || !WriteFile(file, piece, static_cast<DWORD>(read), &written, nullptr)) {
            failed = true;
            break;
        }
        total += static_cast<unsigned>(read);
    }
    const bool intact = archive.closeData();
    return !failed && intact && total == entry.uncompressedSize;
}
}  // namespace

bool writeFileEntry(ZipArchive& archive, const ZipEntry& entry, TextRef path, const std::vector<Text>& folders) {
    // An existing read-only, hidden or system file could not be replaced.
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const Text& folder : folders) CreateDirectoryA(folder.c_str(), nullptr);
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                entryAttributes(entry.externalAttributes), nullptr));
    if (!file) return false;
    if (!copyData(archive, entry, file.get())) {
        // Created with the entry's attributes, often read-only: left so, it would outlast the
        // deletion of the staging folder and be taken for a staged file by a later run.
        file.reset();
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return false;
    }
    if (GetFileType(file.get()) == FILE_TYPE_DISK) {
        const EntryTimes times = entryTimes(entry);
        SetFileTime(file.get(), timeOrNull(times.creation), timeOrNull(times.lastAccess), timeOrNull(times.lastWrite));
    }
    file.reset();
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}
