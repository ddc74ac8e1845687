#include "CaptureTiming.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

void markCaptureStep(const char *step)
{
    static const bool enabled = std::getenv("GLYPHWELL_TIMING") != nullptr;
    if (!enabled)
        return;
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "glyphwell-timing %s %lld\n", step,
        static_cast<long long>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000);
}
