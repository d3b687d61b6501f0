#include "host/archive_fetch_rules.h"

#include <algorithm>
#include <limits>

namespace {
bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::optional<std::uint32_t> requestFlagsFor(int scheme) {
    const std::uint32_t always = wininet_value::kFlagReload | wininet_value::kFlagNoCacheWrite;
    if (scheme == wininet_value::kSchemeHttp) return always;
    if (scheme == wininet_value::kSchemeHttps) return always | wininet_value::kFlagSecure;
    return std::nullopt;
}

std::uint64_t announcedLength(const char* contentLength) {
    if (contentLength == nullptr) return 0;
    const char* c = contentLength;
    while (isWhiteSpace(*c)) ++c;
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+') ++c;
    constexpr std::uint64_t kSaturated = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (; isDigit(*c); ++c) {
        const unsigned digit = static_cast<unsigned>(*c - '0');
        value = value > (kSaturated - digit) / 10 ? kSaturated : value * 10 + digit;
    }
    return negative ? 0 : value;
}

std::size_t readSizeFor(std::uint64_t announcedLength) {
    if (announcedLength == 0) return kDefaultReadSize;
    if (announcedLength >= kLargestReadSize) return kLargestReadSize;
    return static_cast<std::size_t>(announcedLength) + 1;
}

void cutFragment(char* urlPath) {
    while (*urlPath != '\0' && *urlPath != '#') ++urlPath;
    *urlPath = '\0';
}

std::size_t initialBodyCapacity(std::uint64_t announcedLength) {
    if (announcedLength == 0 || announcedLength >= std::numeric_limits<std::size_t>::max()) return 0;
    return static_cast<std::size_t>(announcedLength) + 1;
}

std::size_t grownBodyCapacity(std::size_t capacity, std::size_t needed) {
    const std::size_t half = capacity / 2;
    const std::size_t geometric =
        capacity > std::numeric_limits<std::size_t>::max() - half ? std::numeric_limits<std::size_t>::max()
                                                                 : capacity + half;
    return std::max(needed, geometric);
}
