#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <thread>

// The peak of a process's private bytes while a phase runs, sampled on a thread of its own. Windows
// keeps a true peak (PeakPagefileUsage); Wine reports only the present usage there (its anonymous
// resident memory), so the largest sample stands in for the peak. Sampling stops with stop().
class PeakPrivateBytes {
public:
    explicit PeakPrivateBytes(HANDLE process);
    PeakPrivateBytes(const PeakPrivateBytes&) = delete;
    PeakPrivateBytes& operator=(const PeakPrivateBytes&) = delete;
    ~PeakPrivateBytes();

    // Ends the sampling and returns the peak seen, in bytes.
    std::size_t stop();

private:
    void sample();

    HANDLE process_;
    std::atomic<bool> sampling_{true};
    std::atomic<std::size_t> peak_{0};
    std::thread sampler_;
};
