#include "host/zip_extra_field.h"

#include <algorithm>

namespace {
constexpr unsigned kExtendedTimestampId = 0x5455;
constexpr std::size_t kRecordHeaderSize = 4;
constexpr std::size_t kTimeSize = 4;

unsigned readUint16(const unsigned char* at) { return at[0] | static_cast<unsigned>(at[1]) << 8; }

std::int32_t readInt32(const unsigned char* at) {
    const std::uint32_t bits = at[0] | static_cast<std::uint32_t>(at[1]) << 8 |
                               static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
    return static_cast<std::int32_t>(bits);
}

// The flags byte, then the flagged times in the order last write (bit 0), last access (bit 1),
// creation (bit 2). A time that would reach past the data ends the reading.
ExtendedTimes readTimes(const unsigned char* data, std::size_t size) {
    ExtendedTimes times;
    if (size == 0) return times;
    const unsigned flags = data[0];
    std::optional<std::int32_t>* const inOrder[] = {&times.lastWrite, &times.lastAccess, &times.creation};
    std::size_t at = 1;
    for (unsigned bit = 0; bit < 3; ++bit) {
        if ((flags & (1u << bit)) == 0) continue;
        if (size - at < kTimeSize) break;
        *inOrder[bit] = readInt32(data + at);
        at += kTimeSize;
    }
    return times;
}
}  // namespace

ExtendedTimes findExtendedTimes(const unsigned char* field, std::size_t length) {
    if (length <= kRecordHeaderSize) return {};
    std::size_t offset = 0;
    while (offset + kRecordHeaderSize < length) {
        const unsigned id = readUint16(field + offset);
        const std::size_t dataSize = readUint16(field + offset + 2);
        const std::size_t dataOffset = offset + kRecordHeaderSize;
        if (id == kExtendedTimestampId) return readTimes(field + dataOffset, std::min(dataSize, length - dataOffset));
        offset = dataOffset + dataSize;
    }
    return {};
}
