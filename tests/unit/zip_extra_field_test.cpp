// The "UT" extra-field parser on fields copied into buffers of their exact length, so that
// AddressSanitizer catches any read past the field.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/zip_extra_field.h"

namespace {
using Field = std::vector<unsigned char>;

void append16(Field& field, unsigned value) {
    field.push_back(static_cast<unsigned char>(value));
    field.push_back(static_cast<unsigned char>(value >> 8));
}

void append32(Field& field, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) field.push_back(static_cast<unsigned char>(bits >> shift));
}

// A record with the given header ID and declared data size, followed by its data bytes.
Field record(unsigned id, unsigned declaredSize, const Field& data) {
    Field field;
    append16(field, id);
    append16(field, declaredSize);
    field.insert(field.end(), data.begin(), data.end());
    return field;
}

// "UT" data: the flags byte and the given times, in the order given.
Field timestampData(unsigned char flags, std::initializer_list<std::int32_t> times) {
    Field data{flags};
    for (std::int32_t time : times) append32(data, time);
    return data;
}

Field utRecord(unsigned char flags, std::initializer_list<std::int32_t> times) {
    const Field data = timestampData(flags, times);
    return record(0x5455, static_cast<unsigned>(data.size()), data);
}

Field operator+(Field left, const Field& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// Parses a heap copy of exactly the field's bytes.
ExtendedTimes parseExact(const Field& field, std::size_t length) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[length]);
    std::copy(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(length), exact.get());
    return findExtendedTimes(exact.get(), length);
}
ExtendedTimes parseExact(const Field& field) { return parseExact(field, field.size()); }

using Time = std::optional<std::int32_t>;
constexpr std::int32_t kWrite = 1600000000;
constexpr std::int32_t kAccess = 1500000000;
constexpr std::int32_t kCreation = 1400000000;
}  // namespace

TEST(ExtendedTimes, TakesTheFlaggedTimesInTheirOrder) {
    struct Case {
        std::string what;
        Field field;
        Time lastWrite;
        Time lastAccess;
        Time creation;
    };
    const Case cases[] = {
        {"all three", utRecord(7, {kWrite, kAccess, kCreation}), kWrite, kAccess, kCreation},
        {"last write only", utRecord(1, {kWrite}), kWrite, std::nullopt, std::nullopt},
        {"write and creation: creation follows write", utRecord(5, {kWrite, kCreation}), kWrite, std::nullopt,
         kCreation},
        {"access only", utRecord(2, {kAccess}), std::nullopt, kAccess, std::nullopt},
        {"unknown flag bits are ignored", utRecord(0xFF, {kWrite, kAccess, kCreation}), kWrite, kAccess, kCreation},
        {"no flags", utRecord(0, {}), std::nullopt, std::nullopt, std::nullopt},
        {"before 1970 is negative", utRecord(1, {-86400}), -86400, std::nullopt, std::nullopt},
        {"after another record", record(0x000A, 4, {1, 2, 3, 4}) + utRecord(1, {kWrite}), kWrite, std::nullopt,
         std::nullopt},
        {"only the first UT record counts", utRecord(1, {kWrite}) + utRecord(7, {1, 2, 3}), kWrite, std::nullopt,
         std::nullopt},
        {"a first UT record without times ends the search", utRecord(0, {}) + utRecord(1, {kWrite}), std::nullopt,
         std::nullopt, std::nullopt},
        {"another ID", record(0x5855, 5, timestampData(1, {kWrite})), std::nullopt, std::nullopt, std::nullopt},
        {"flags for three, data for one", record(0x5455, 5, timestampData(7, {kWrite})), kWrite, std::nullopt,
         std::nullopt},
        {"flags for three, data for two and a half",
         record(0x5455, 11, timestampData(7, {kWrite, kAccess}) + Field{9, 9}), kWrite, kAccess, std::nullopt},
        {"a record that claims more than the field holds", record(0x5455, 13, timestampData(7, {kWrite}) + Field{9, 9}),
         kWrite, std::nullopt, std::nullopt},
        {"a record before it that reaches past the field",
         record(0x000A, 200, {1, 2, 3, 4}) + utRecord(1, {kWrite}), std::nullopt, std::nullopt, std::nullopt},
        {"a field of 4 bytes is not searched", Field{0x55, 0x54, 0, 0}, std::nullopt, std::nullopt, std::nullopt},
        {"the empty field", Field{}, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const ExtendedTimes times = parseExact(c.field);
        EXPECT_EQ(times.lastWrite, c.lastWrite) << c.what;
        EXPECT_EQ(times.lastAccess, c.lastAccess) << c.what;
        EXPECT_EQ(times.creation, c.creation) << c.what;
    }
}

TEST(ExtendedTimes, AFieldCutAnywhereGivesOnlyTheTimesItStillHoldsWhole) {
    const Field full = record(0x000A, 3, {7, 7, 7}) + utRecord(7, {kWrite, kAccess, kCreation});
    const std::size_t timesStart = 7 + 4 + 1;  // the other record, the UT header, the flags
    for (std::size_t length = 0; length <= full.size(); ++length) {
        const ExtendedTimes times = parseExact(full, length);
        const std::size_t whole = length < timesStart ? 0 : (length - timesStart) / 4;
        EXPECT_EQ(times.lastWrite, whole >= 1 ? Time(kWrite) : std::nullopt) << "length " << length;
        EXPECT_EQ(times.lastAccess, whole >= 2 ? Time(kAccess) : std::nullopt) << "length " << length;
        EXPECT_EQ(times.creation, whole >= 3 ? Time(kCreation) : std::nullopt) << "length " << length;
    }
}
