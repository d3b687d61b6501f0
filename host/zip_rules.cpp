#include "host/zip_rules.h"

namespace {
constexpr unsigned long kDosDirectory = 0x10;
constexpr unsigned long kDosArchive = 0x20;
constexpr unsigned long kDosHidden = 0x02;
constexpr unsigned long kDosReadOnly = 0x01;
constexpr unsigned long kDosSystem = 0x04;
constexpr unsigned long kUnixDirectoryType = 0x40000000;
constexpr unsigned long kUnixOwnerWrite = 0x00800000;

constexpr unsigned long kEncryptedFlag = 0x0001;

constexpr unsigned char kLocalHeaderSignature[] = {0x50, 0x4B, 0x03, 0x04};
constexpr std::size_t kNameLengthWordOffset = 24;

constexpr std::int64_t kSecondsPerDay = 86400;

// Division that rounds toward negative infinity, for times before 1970.
std::int64_t floorDivide(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return (value % divisor < 0) ? quotient - 1 : quotient;
}
}  // namespace

unsigned long entryAttributes(unsigned long externalAttributes) {
    unsigned long attributes = win32_attribute::normal;
    if (externalAttributes & (kDosDirectory | kUnixDirectoryType)) attributes |= win32_attribute::directory;
    if (externalAttributes & kDosArchive) attributes |= win32_attribute::archive;
    if (externalAttributes & kDosHidden) attributes |= win32_attribute::hidden;
    if (!(externalAttributes & kUnixOwnerWrite) || (externalAttributes & kDosReadOnly)) {
        attributes |= win32_attribute::readOnly;
    }
    if (externalAttributes & kDosSystem) attributes |= win32_attribute::system;
    return attributes;
}

bool isDirectoryEntry(unsigned long attributes) { return (attributes & win32_attribute::directory) != 0; }

bool isEncryptedEntry(unsigned long generalPurposeFlags) { return (generalPurposeFlags & kEncryptedFlag) != 0; }

bool passesQuickCheck(const unsigned char* head, std::size_t length) {
    if (length < kQuickCheckSize) return false;
    for (std::size_t at = 0; at < sizeof kLocalHeaderSignature; ++at) {
        if (head[at] != kLocalHeaderSignature[at]) return false;
    }
    const unsigned char* word = head + kNameLengthWordOffset;
    const std::uint32_t bits = word[0] | static_cast<std::uint32_t>(word[1]) << 8 |
                               static_cast<std::uint32_t>(word[2]) << 16 | static_cast<std::uint32_t>(word[3]) << 24;
    return static_cast<std::int32_t>(bits) >= 1;
}

int progressPercentage(std::size_t index, std::size_t count) {
    if (count == 0) return 100;
    const double quotient = static_cast<double>(index) / static_cast<double>(count);
    return static_cast<int>(quotient * 100);
}

CalendarTime utcCalendarTime(std::int64_t secondsSince1970) {
    const std::int64_t days = floorDivide(secondsSince1970, kSecondsPerDay);
    const std::int64_t secondOfDay = secondsSince1970 - days * kSecondsPerDay;

    // Days to civil date (H. Hinnant), counting in 400-year eras that start on 0000-03-01.
    const std::int64_t shifted = days + 719468;
    const std::int64_t era = floorDivide(shifted, 146097);
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));

    // 1970-01-01 was a Thursday.
    const int dayOfWeek = static_cast<int>(days - floorDivide(days + 4, 7) * 7 + 4);
    return CalendarTime{year,
                        month,
                        dayOfWeek,
                        day,
                        static_cast<int>(secondOfDay / 3600),
                        static_cast<int>(secondOfDay / 60 % 60),
                        static_cast<int>(secondOfDay % 60)};
}
