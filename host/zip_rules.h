#pragma once
#include <cstddef>
#include <cstdint>

// Decisions and computations of the ZIP extraction that need no system call.

// Win32 file attributes, by value, so that the mapping needs no Windows header.
namespace win32_attribute {
constexpr unsigned long readOnly = 0x01;
constexpr unsigned long hidden = 0x02;
constexpr unsigned long system = 0x04;
constexpr unsigned long directory = 0x10;
constexpr unsigned long archive = 0x20;
constexpr unsigned long normal = 0x80;
}  // namespace win32_attribute

// The Win32 attributes of an entry from its 32-bit external attributes: the MS-DOS bits, the Unix
// directory type (bit 30) and, read-only, a Unix mode without owner write (bit 23 clear, as in
// every entry whose upper 16 bits are 0). FILE_ATTRIBUTE_NORMAL is always among them.
unsigned long entryAttributes(unsigned long externalAttributes);

// An entry is a directory entry exactly when its attributes say so, whatever its name ends in.
bool isDirectoryEntry(unsigned long attributes);

// General-purpose flag bit 0: the entry's data is encrypted.
bool isEncryptedEntry(unsigned long generalPurposeFlags);

// How many leading bytes of a file the quick check reads.
constexpr std::size_t kQuickCheckSize = 32;

// Whether a file whose first bytes are `head` may be a ZIP archive: 32 bytes at least, the
// local-file-header signature 0x04034b50 first, and the signed 32-bit value at offset 24 (the upper
// half of the first entry's uncompressed size and its name length) at least 1.
bool passesQuickCheck(const unsigned char* head, std::size_t length);

// The progress after entry `index` of `count`: index / count x 100 in double precision, the
// quotient first, truncated toward zero. The final notification passes count for index, which
// gives 100; with no entries it is 100 as well.
int progressPercentage(std::size_t index, std::size_t count);

// UTC calendar fields, as SYSTEMTIME holds them (month 1-12, day of week 0 = Sunday).
struct CalendarTime {
    int year;
    int month;
    int dayOfWeek;
    int day;
    int hour;
    int minute;
    int second;
};

// A count of seconds since 1970-01-01 00:00:00 UTC, negative before it, broken down into the
// calendar fields of the proleptic Gregorian calendar.
CalendarTime utcCalendarTime(std::int64_t secondsSince1970);
