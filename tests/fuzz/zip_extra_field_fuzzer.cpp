// libFuzzer target: the "UT" extra-field parser on arbitrary bytes. AddressSanitizer catches any
// read past the field (libFuzzer hands over a buffer of exactly `size` bytes); the checks below
// catch times that were not read from the field or that the calendar cannot break down.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "host/zip_extra_field.h"
#include "host/zip_rules.h"

namespace {
bool occursIn(const std::uint8_t* data, std::size_t size, std::int32_t time) {
    const auto bits = static_cast<std::uint32_t>(time);
    const std::uint8_t pattern[] = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                                    static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
    return std::search(data, data + size, pattern, pattern + 4) != data + size;
}

bool isCalendarTime(const CalendarTime& t) {
    return t.year >= 1901 && t.year <= 2038 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.dayOfWeek >= 0 && t.dayOfWeek <= 6 && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
           t.second >= 0 && t.second <= 59;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ExtendedTimes times = findExtendedTimes(data, size);
    for (const std::optional<std::int32_t>* time : {&times.lastWrite, &times.lastAccess, &times.creation}) {
        if (!*time) continue;
        // A time needs a record header, the flags byte and its own four bytes.
        if (size < 9 || !occursIn(data, size, **time)) std::abort();
        if (!isCalendarTime(utcCalendarTime(**time))) std::abort();
    }
    return 0;
}
