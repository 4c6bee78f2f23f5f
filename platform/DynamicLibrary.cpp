#include "DynamicLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace mlplat {

namespace {

// A library, once loaded, stays mapped: every store loads the path service anew, and code that
// registered itself from it (coverage counters, sanitizer metadata) must not vanish under it.
constexpr int kFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;

// The folder of the shared object (or program) that holds this code.
std::string OwnFolder() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&LoadLibrary), &info) || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    if (path.empty() || path[0] != '/') {
        // Only the main program is named as it was started (possibly relative to a directory
        // the process has since left): ask the kernel where it is.
        char buf[4096];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return {};
        path.assign(buf, static_cast<size_t>(n));
    }
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

void* LoadLibrary(const char* name) {
    if (!name || !*name)
        return nullptr;
    // A bare name is looked for beside this library first: RUNPATH $ORIGIN means that too, but
    // a sanitizer's dlopen interceptor would make its own runtime the caller whose RUNPATH counts.
    if (!std::strchr(name, '/')) {
        std::string folder = OwnFolder();
        if (!folder.empty()) {
            std::string beside = folder + "/" + name;
            if (::access(beside.c_str(), F_OK) == 0)
                if (void* h = ::dlopen(beside.c_str(), kFlags))
                    return h;
        }
    }
    return ::dlopen(name, kFlags);
}

void* GetProcAddress(void* module, const char* symbol) {
    if (!module || !symbol)
        return nullptr;
    return ::dlsym(module, symbol);
}

void FreeLibrary(void* module) {
    if (module)
        ::dlclose(module);
}

}  // namespace mlplat
