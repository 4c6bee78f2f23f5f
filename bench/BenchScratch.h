// The scratch directory the benchmarks of one program share.
#pragma once

#include <stdlib.h>

#include <string>

namespace benchscratch {

// Made once, on first use, so that every benchmark of a run writes below the same directory.
inline const std::string& BenchDir() {
    static const std::string dir = [] {
        char templ[] = "/tmp/memlist-bench-XXXXXX";
        const char* p = mkdtemp(templ);
        return std::string(p ? p : "/tmp");
    }();
    return dir;
}

}  // namespace benchscratch
