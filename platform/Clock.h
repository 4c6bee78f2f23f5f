// Time for the store: a monotonic millisecond tick and a sleep, for the waits that poll.
#pragma once

#include <cstdint>

namespace mlplat {

// Milliseconds of CLOCK_MONOTONIC: only differences mean anything.
std::uint64_t TickMs();
// The same tick as the kernel last counted it (a few milliseconds behind at most), read without
// asking the clock: for checks on every look-up that only need to happen now and then.
std::uint64_t CoarseTickMs();
// Sleeps `nMs` milliseconds, resuming after a signal.
void SleepMs(unsigned nMs);

}  // namespace mlplat
