// Time for the store: a monotonic millisecond tick and a sleep, for the waits that poll.
#pragma once

#include <cstdint>

namespace mlplat {

// Milliseconds of CLOCK_MONOTONIC: only differences mean anything.
std::uint64_t TickMs();
// Sleeps `nMs` milliseconds, resuming after a signal.
void SleepMs(unsigned nMs);

}  // namespace mlplat
