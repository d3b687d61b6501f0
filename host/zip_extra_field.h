#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

// The times of an extended-timestamp record ("UT", header ID 0x5455): counts of seconds since
// 1970-01-01 00:00:00 UTC, signed 32-bit values as the record defines them.
struct ExtendedTimes {
    std::optional<std::int32_t> lastWrite;
    std::optional<std::int32_t> lastAccess;
    std::optional<std::int32_t> creation;
};

// The times of the first "UT" record of an entry's local extra field; a field of 4 bytes or less
// is not searched. The extra field comes from the archive as it is: a time is given only when its
// four bytes lie wholly inside both its record and the field, and no byte at or past `length` is
// ever read.
ExtendedTimes findExtendedTimes(const unsigned char* field, std::size_t length);
