// libDirkeeper.so: the least path service that serves the store.
//
// A label resolves to the value of the environment variable of the same name (for example
// QLX_PATH_D_TEMP=/var/tmp/cfg); failing that, to the line `LABEL=directory` of the label file
// named by the environment variable DIRKEEPER_PATHS. An unknown label fails (0) and leaves the
// result untouched. The entry points other than the path look-ups answer "not initialised".
//
// The environment is read with secure_getenv: a program running set-user-ID or with gained
// capabilities takes no directory from its caller's environment. The label file must be a
// regular file of at most kMaxTableBytes; it is opened without waiting (a FIFO there would
// block the caller for ever) and anything else is no file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "CString.h"
#include "DirkeeperInterface.h"

#define DK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr off_t kMaxTableBytes = off_t{1} << 20;

// The label file's bytes; false when it is no regular file, larger than kMaxTableBytes or
// unreadable.
bool ReadTable(const char* path, std::string& text) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool bOk = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxTableBytes;
    text.clear();
    char chunk[8192];
    while (bOk) {
        const ssize_t r = ::read(fd, chunk, sizeof chunk);
        if (r == 0)
            break;
        if (r < 0 && errno == EINTR)
            continue;
        // A file that grew past the bound since fstat is refused as well.
        bOk = r > 0 && text.size() + static_cast<size_t>(r) <= static_cast<size_t>(kMaxTableBytes);
        if (bOk)
            text.append(chunk, static_cast<size_t>(r));
    }
    ::close(fd);
    return bOk;
}

bool Resolve(const char* label, std::string& dir) {
    if (!label || !*label)
        return false;
    if (const char* v = ::secure_getenv(label); v && *v) {
        dir = v;
        return true;
    }
    const char* table = ::secure_getenv("DIRKEEPER_PATHS");
    std::string text;
    if (!table || !*table || !ReadTable(table, text))
        return false;
    const std::string_view name(label);
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > name.size() && line.substr(0, name.size()) == name &&
            line[name.size()] == '=') {
            dir = line.substr(name.size() + 1);
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
