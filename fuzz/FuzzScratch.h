// The scratch directory of one fuzz target's run: made at first use, removed at exit.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzzscratch {

// "/tmp/memlist-fuzz-<stem>-XXXXXX", made once per process (the first stem asked for names it).
inline const std::filesystem::path& Dir(const char* stem) {
    // Kept for the whole run (never destroyed), so the exit handler can still use it.
    static const std::filesystem::path* dir = [stem] {
        std::string templ = std::string("/tmp/memlist-fuzz-") + stem + "-XXXXXX";
        const char* p = mkdtemp(templ.data());
        auto* d = new std::filesystem::path(p ? p : "/tmp");
        if (p)
            std::atexit([] {
                std::error_code ec;
                std::filesystem::remove_all(*dir, ec);
            });
        return d;
    }();
    return *dir;
}

}  // namespace fuzzscratch
