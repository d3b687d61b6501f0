#include "host/archive_fetch.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "common/heap.h"
#include "host/archive_fetch_rules.h"
#include "host/body_buffer.h"
#include "win/unique_handle.h"

static_assert(wininet_value::kSchemeHttp == INTERNET_SCHEME_HTTP);
static_assert(wininet_value::kSchemeHttps == INTERNET_SCHEME_HTTPS);
static_assert(wininet_value::kFlagReload == INTERNET_FLAG_RELOAD);
static_assert(wininet_value::kFlagNoCacheWrite == INTERNET_FLAG_NO_CACHE_WRITE);
static_assert(wininet_value::kFlagSecure == INTERNET_FLAG_SECURE);
static_assert(INTERNET_OPEN_TYPE_PRECONFIG == 0);
// The proxy record is 12 bytes in the shipping 32-bit build; its own size is passed in every build.
static_assert(sizeof(void*) != 4 || sizeof(INTERNET_PROXY_INFO) == 12);

namespace {
constexpr char kAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr char kAcceptHeaders[] = "Accept: */*\r\n\r\n";
constexpr DWORD kAcceptHeadersLength = 15;
static_assert(sizeof(kAcceptHeaders) - 1 == kAcceptHeadersLength);
constexpr DWORD kCanonicalUrlSize = 2084;
constexpr DWORD kContentLengthSize = 32;
// WinINet's defaults let a server that stops answering hold the fetch, and with it the whole update,
// for as long as it likes (without any bound under Wine). A request or a body that stalls this long
// ends the fetch like a broken connection does.
constexpr DWORD kStallTimeoutMilliseconds = 30000;

// Opened by the first fetch that needs it and shared by every later one until the program ends.
InternetHandle g_internet;
int g_internetOpenCount = 0;

struct HeapRelease {
    void operator()(char* block) const { heapRelease(block); }
};
using HeapChars = std::unique_ptr<char[], HeapRelease>;

HeapChars tryAllocateChars(DWORD size) { return HeapChars(static_cast<char*>(heapTryAllocate(size))); }

// The parts of a URL as InternetCrackUrlA fills them. Without a buffer for the extra information
// the path keeps the query and the fragment.
struct UrlParts {
    char hostName[256] = "";
    char urlPath[2048] = "";
    char userName[128] = "";
    char password[128] = "";
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    INTERNET_PORT port = 0;
};

// Unsafe characters are left as they are; a URL longer than the first buffer gets a second call
// with the length that the first one reported.
HeapChars canonicalizeUrl(const char* url) {
    DWORD length = kCanonicalUrlSize;
    HeapChars canonical = tryAllocateChars(length);
    if (!canonical) return nullptr;
    if (InternetCanonicalizeUrlA(url, canonical.get(), &length, ICU_NO_ENCODE)) return canonical;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return nullptr;
    canonical = tryAllocateChars(length);
    if (!canonical || !InternetCanonicalizeUrlA(url, canonical.get(), &length, ICU_NO_ENCODE)) return nullptr;
    return canonical;
}

// A part that does not fit its buffer makes InternetCrackUrlA fail.
bool splitUrl(const char* url, UrlParts& parts) {
    const HeapChars canonical = canonicalizeUrl(url);
    if (!canonical) return false;
    URL_COMPONENTSA components{};
    components.dwStructSize = sizeof components;
    components.lpszHostName = parts.hostName;
    components.dwHostNameLength = sizeof parts.hostName;
    components.lpszUrlPath = parts.urlPath;
    components.dwUrlPathLength = sizeof parts.urlPath;
    components.lpszUserName = parts.userName;
    components.dwUserNameLength = sizeof parts.userName;
    components.lpszPassword = parts.password;
    components.dwPasswordLength = sizeof parts.password;
    if (!InternetCrackUrlA(canonical.get(), 0, 0, &components)) return false;
    parts.scheme = components.nScheme;
    parts.port = components.nPort;
    return true;
}

void openInternetHandle() {
    ++g_internetOpenCount;
    g_internet.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
}

// The handle is opened for direct access; each request then follows the system's proxy settings.
// The results are not looked at: a request without these settings still goes out.
void setProxyOptions(HINTERNET connection) {
    INTERNET_PROXY_INFO proxy{};
    proxy.dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
    InternetSetOptionA(g_internet.get(), INTERNET_OPTION_PROXY, &proxy, sizeof proxy);
    char empty[] = "";
    InternetSetOptionA(connection, INTERNET_OPTION_PROXY_USERNAME, empty, sizeof empty);
    InternetSetOptionA(connection, INTERNET_OPTION_PROXY_PASSWORD, empty, sizeof empty);
}

void boundStalls(HINTERNET request) {
    DWORD timeout = kStallTimeoutMilliseconds;
    InternetSetOptionA(request, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
}

// The Content-Length header as a length; 0 when it is missing or longer than its buffer.
std::uint64_t queryAnnouncedLength(HINTERNET request) {
    char text[kContentLengthSize] = "";
    DWORD length = sizeof text;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &length, nullptr)) return 0;
    return announcedLength(text);
}

// Reads to the end of the body, whatever Content-Length said. A failed read or storage that cannot
// grow ends the reading; the bytes gathered so far are the body.
Bytes readBody(HINTERNET request) {
    const std::uint64_t announced = queryAnnouncedLength(request);
    const DWORD readSize = static_cast<DWORD>(readSizeFor(announced));
    const HeapChars readBuffer = tryAllocateChars(readSize);
    if (!readBuffer) return Bytes();
    BodyBuffer body;
    // A reservation that cannot be had only means that the body grows as it arrives.
    body.reserve(initialBodyCapacity(announced));
    for (;;) {
        DWORD received = 0;
        if (!InternetReadFile(request, readBuffer.get(), readSize, &received) || received == 0) break;
        if (!body.append(readBuffer.get(), received)) break;
    }
    return body.takeBytes();
}
}  // namespace

Bytes httpReadFile(TextRef url) {
    if (url.empty()) return Bytes();
    UrlParts parts;
    if (!splitUrl(url.c_str(), parts)) return Bytes();
    const std::optional<std::uint32_t> requestFlags = requestFlagsFor(parts.scheme);
    if (!requestFlags) return Bytes();
    if (!g_internet) openInternetHandle();
    if (!g_internet) return Bytes();

    // The URL's own credentials, or empty texts when it has none.
    const InternetHandle connection(InternetConnectA(g_internet.get(), parts.hostName, parts.port, parts.userName,
                                                     parts.password, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Bytes();
    setProxyOptions(connection.get());

    cutFragment(parts.urlPath);
    LPCSTR acceptTypes[] = {"*/*", nullptr};
    const InternetHandle request(HttpOpenRequestA(connection.get(), "GET", parts.urlPath, "HTTP/1.0", nullptr,
                                                  acceptTypes, *requestFlags, 0));
    if (!request) return Bytes();
    boundStalls(request.get());
    if (!HttpSendRequestA(request.get(), kAcceptHeaders, kAcceptHeadersLength, nullptr, 0)) return Bytes();
    return readBody(request.get());
}

void releaseInternetHandle() { g_internet.reset(); }

int internetOpenCount() { return g_internetOpenCount; }
