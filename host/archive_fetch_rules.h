#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

// Decisions of the HTTP fetch that need no system call.

// WinINet's values for the rules below, so that they build without Windows headers; the fetch
// checks them against wininet.h.
namespace wininet_value {
constexpr int kSchemeHttp = 3;   // INTERNET_SCHEME_HTTP
constexpr int kSchemeHttps = 4;  // INTERNET_SCHEME_HTTPS
constexpr std::uint32_t kFlagReload = 0x80000000;        // INTERNET_FLAG_RELOAD
constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;  // INTERNET_FLAG_NO_CACHE_WRITE
constexpr std::uint32_t kFlagSecure = 0x00800000;        // INTERNET_FLAG_SECURE
}  // namespace wininet_value

constexpr std::size_t kDefaultReadSize = 10240;
constexpr std::size_t kLargestReadSize = 102400;

// The request flags for the scheme that InternetCrackUrlA reports: every fetch goes to the server and
// stays out of the cache; HTTPS adds TLS. Any other scheme is not fetched.
std::optional<std::uint32_t> requestFlagsFor(int scheme);

// The body length that a Content-Length text announces, 0 when it announces none (no text, no
// digits, zero or negative). Read like a signed decimal: leading white space, one optional sign,
// then digits up to the first other character. Saturates instead of overflowing.
std::uint64_t announcedLength(const char* contentLength);

// The size of each read: one byte more than the announced body, so that a small body fits one
// read, but at most 102400; 10240 when no length is announced.
std::size_t readSizeFor(std::uint64_t announcedLength);

// The request target is the URL path up to its first "#": the query is sent, the fragment is not.
void cutFragment(char* urlPath);

// The body storage reserved before the first read: the announced length and one spare byte, or
// nothing when no length is announced or it could not be held in memory.
std::size_t initialBodyCapacity(std::uint64_t announcedLength);

// The storage for a body that needs more than it has: at least half as much again, so that a long
// body is moved only a few times while it is gathered. Saturates instead of overflowing.
std::size_t grownBodyCapacity(std::size_t capacity, std::size_t needed);
