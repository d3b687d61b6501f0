#include "bench/peak_private_bytes.h"

#include <psapi.h>

#include <algorithm>

namespace {
// Short enough to catch a buffer that lives for the copy of a few megabytes, long enough that the
// sampling costs next to nothing.
constexpr DWORD kSampleMilliseconds = 2;
}  // namespace

PeakPrivateBytes::PeakPrivateBytes(HANDLE process) : process_(process) {
    sample();
    sampler_ = std::thread([this] {
        while (sampling_.load()) {
            sample();
            Sleep(kSampleMilliseconds);
        }
    });
}

PeakPrivateBytes::~PeakPrivateBytes() { stop(); }

std::size_t PeakPrivateBytes::stop() {
    if (sampler_.joinable()) {
        sampling_.store(false);
        sampler_.join();
        sample();
    }
    return peak_.load();
}

void PeakPrivateBytes::sample() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process_, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        return;
    }
    const std::size_t now = std::max<std::size_t>(counters.PrivateUsage, counters.PeakPagefileUsage);
    std::size_t seen = peak_.load();
    while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
    }
}
