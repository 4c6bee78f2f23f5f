// memlist-demo: a host of the library, as the suite's programs use it.
//
// It takes the store directory from QLX_PATH_D_TEMP when that is set, else makes a fresh one,
// constructs a CMemTagList, appends a message to the store's error file and prints what the
// store reads back (converted from GB2312 to UTF-8 for the terminal).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Gb2312.h"
#include "MemTagList.h"

int main() {
    std::string dir;
    if (const char* env = std::getenv("QLX_PATH_D_TEMP"); env && *env) {
        dir = env;
    } else {
        char templ[] = "/tmp/memlist-demo-XXXXXX";
        if (!mkdtemp(templ)) {
            std::perror("mkdtemp");
            return 1;
        }
        dir = templ;
        setenv("QLX_PATH_D_TEMP", dir.c_str(), 1);
    }
    std::printf("store directory: %s\n", dir.c_str());

    CMemTagList list;
    CString msg(mlplat::Utf8ToGb("演示程序已启动"));
    int appended = list.AddError(msg);
    CStringArray messages;
    int read = list.GetErrStringArray(messages);
    std::printf("AddError: %d, GetErrStringArray: %d, %d message(s)\n", appended, read,
                messages.GetSize());
    for (const CString& m : messages)
        std::printf("  %s\n", mlplat::GbToUtf8(m.view()).c_str());
    return appended && read ? 0 : 1;
}
