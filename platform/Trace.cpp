#include "Trace.h"

#include <cstdarg>
#include <cstdio>

namespace mlplat {

void TraceV(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
}

}  // namespace mlplat
