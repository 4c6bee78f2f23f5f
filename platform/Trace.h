// Debug traces: printf-style lines to standard error in debug builds, nothing in release builds.
#pragma once

namespace mlplat {
void TraceV(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
}

#ifdef NDEBUG
#define MLTRACE(...) ((void)0)
#else
#define MLTRACE(...) ::mlplat::TraceV(__VA_ARGS__)
#endif
