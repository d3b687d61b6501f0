#pragma once
#include <windows.h>

// Seconds from QueryPerformanceCounter, since the stopwatch was made or last read.
class Stopwatch {
public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }

    double lap() {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const double seconds =
            static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
        start_ = now;
        return seconds;
    }

private:
    LARGE_INTEGER frequency_;
    LARGE_INTEGER start_;
};
