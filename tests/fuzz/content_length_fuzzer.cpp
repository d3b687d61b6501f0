// libFuzzer target: the Content-Length text of a response, which the server chooses freely, and
// what the fetch makes of it. The expected values come from the text itself, digit by digit, so
// that no arithmetic of the reader is taken on trust:
// - the text reads as a signed decimal (white space, one optional sign, digits up to the first
//   other character); a number above 2^64 - 1 reads as 2^64 - 1, never as a wrapped-around value;
// - the read size is the number plus one, at most 102400, and 10240 when the number is not
//   positive or there are no digits: it always fits a DWORD;
// - the body storage reserved up front is the number plus one, or nothing where that cannot be
//   counted in a size_t.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "host/archive_fetch_rules.h"

namespace {
// Names the property that does not hold, for whoever reads the crash report.
void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", property);
    std::abort();
}

struct Reading {
    bool negative = false;
    std::string digits;  // without leading zeros: empty for zero and for no digits at all
};

Reading readAsSignedDecimal(const std::string& text) {
    Reading reading;
    std::size_t at = text.find_first_not_of(" \t\n\v\f\r");
    if (at == std::string::npos) return reading;
    if (text[at] == '+' || text[at] == '-') reading.negative = text[at++] == '-';
    const std::size_t end = text.find_first_not_of("0123456789", at);
    const std::string digits = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    const std::size_t significant = digits.find_first_not_of('0');
    if (significant != std::string::npos) reading.digits = digits.substr(significant);
    return reading;
}

// Compares two numbers written without leading zeros.
bool lessThan(const std::string& left, const std::string& right) {
    return left.size() != right.size() ? left.size() < right.size() : left < right;
}

std::uint64_t valueOf(const std::string& digits) {
    std::uint64_t value = 0;
    for (const char digit : digits) value = value * 10 + static_cast<unsigned>(digit - '0');
    return value;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string header = text.substr(0, text.find('\0'));
    const std::uint64_t announced = announcedLength(header.c_str());
    const std::size_t readSize = readSizeFor(announced);
    const std::size_t capacity = initialBodyCapacity(announced);

    const Reading reading = readAsSignedDecimal(header);
    const std::string largest = std::to_string(std::numeric_limits<std::uint64_t>::max());
    if (reading.negative || reading.digits.empty()) {
        require(announced == 0 && readSize == kDefaultReadSize && capacity == 0,
                "no positive number announces nothing and reads 10240 bytes at a time");
        return 0;
    }
    const bool representable = !lessThan(largest, reading.digits);
    require(announced == (representable ? valueOf(reading.digits) : std::numeric_limits<std::uint64_t>::max()),
            "the number is read exactly, or saturates");

    const bool fitsOneRead = lessThan(reading.digits, std::to_string(kLargestReadSize - 1));
    require(readSize == (fitsOneRead ? valueOf(reading.digits) + 1 : kLargestReadSize),
            "the read size is the number plus one, at most 102400");

    const bool countable = announced < std::numeric_limits<std::size_t>::max();
    require(capacity == (countable ? static_cast<std::size_t>(announced) + 1 : 0),
            "the reserved storage is the number plus one, or none");
    return 0;
}
