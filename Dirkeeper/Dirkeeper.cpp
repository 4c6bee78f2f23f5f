// libDirkeeper.so: the least path service that serves the store.
//
// A label resolves to the value of the environment variable of the same name (for example
// QLX_PATH_D_TEMP=/var/tmp/cfg); failing that, to the line `LABEL=directory` of the label file
// named by the environment variable DIRKEEPER_PATHS. An unknown label fails (0) and leaves the
// result untouched. The entry points other than the path look-ups answer "not initialised".
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "CString.h"
#include "DirkeeperInterface.h"

#define DK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool Resolve(const char* label, std::string& dir) {
    if (!label || !*label)
        return false;
    if (const char* v = std::getenv(label); v && *v) {
        dir = v;
        return true;
    }
    const char* table = std::getenv("DIRKEEPER_PATHS");
    if (!table || !*table)
        return false;
    std::ifstream in(table);
    std::string line;
    const size_t n = std::strlen(label);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > n && line.compare(0, n, label) == 0 && line[n] == '=') {
            dir = line.substr(n + 1);
            return !dir.empty();
        }
    }
    return false;
}

int ResolveInto(const char* label, CString* result) {
    std::string dir;
    if (!result || !Resolve(label, dir))
        return 0;
    *result = CString(dir);
    return 1;
}

// A path info of another size comes from a caller built against another layout.
int ResolveWithInfo(const char* label, const DIRKEEPER_PATHINFO& info, CString* result) {
    if (info.dwSize != sizeof(DIRKEEPER_PATHINFO))
        return 0;
    return ResolveInto(label, result);
}

}  // namespace

// The entry points with nothing to do, each answering one constant.
#define DK_ANSWER(value, name, ...)   \
    DK_EXPORT int name(__VA_ARGS__) { \
        return value;                 \
    }
DK_ANSWER(1, Dirkeeper_Init_Cfg)
DK_ANSWER(1, Dirkeeper_Init_Cfg_Share)
DK_ANSWER(1, Dirkeeper_Init_Cfg_FromShare)
DK_ANSWER(1, Dirkeeper_Init_Run)
DK_ANSWER(1, Dirkeeper_Init_Run_Share)
DK_ANSWER(1, Dirkeeper_Init_Run_FromShare)
DK_ANSWER(1, Dirkeeper_UnInit_Cfg)
DK_ANSWER(1, Dirkeeper_UnInit_Run)
DK_ANSWER(1, Dirkeeper_IsInit_Cfg)
DK_ANSWER(1, Dirkeeper_IsInit_Run)
DK_ANSWER(0, Dirkeeper_GetCurCfgPathInfo, DIRKEEPER_PATHINFO*)
DK_ANSWER(0, Dirkeeper_GetCurRunPathInfo, DIRKEEPER_PATHINFO*)
DK_ANSWER(0, Dirkeeper_SetLatestCfgPathInfo, DIRKEEPER_PATHINFO)
DK_ANSWER(0, Dirkeeper_SetLatestRunPathInfo, DIRKEEPER_PATHINFO)
DK_ANSWER(0, Dirkeeper_GetLatestCfgPathInfo, DIRKEEPER_PATHINFO*)
DK_ANSWER(0, Dirkeeper_GetLatestRunPathInfo, DIRKEEPER_PATHINFO*)
DK_ANSWER(1, Dirkeeper_IsNewSystem)
#undef DK_ANSWER

DK_EXPORT int Dirkeeper_GetPath(const char* label, CString* result) {
    return ResolveInto(label, result);
}
DK_EXPORT int Dirkeeper_GetCfgPath(const char* label, DIRKEEPER_PATHINFO info, CString* result) {
    return ResolveWithInfo(label, info, result);
}
DK_EXPORT int Dirkeeper_GetRunPath(const char* label, DIRKEEPER_PATHINFO info, CString* result) {
    return ResolveWithInfo(label, info, result);
}
DK_EXPORT int Dirkeeper_GetPathByLable(const char* label, CString* result) {
    return ResolveInto(label, result);
}
