#include "Clock.h"

#include <time.h>

#include <cerrno>

namespace mlplat {

namespace {

std::uint64_t MsOf(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace

std::uint64_t TickMs() {
    return MsOf(CLOCK_MONOTONIC);
}

std::uint64_t CoarseTickMs() {
    return MsOf(CLOCK_MONOTONIC_COARSE);
}

void SleepMs(unsigned nMs) {
    timespec ts{static_cast<time_t>(nMs / 1000), static_cast<long>(nMs % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace mlplat
