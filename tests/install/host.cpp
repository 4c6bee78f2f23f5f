// A tiny host built against the installed library: it must find the headers, link, load the
// path service beside the library and reach the store.
#include <MemTagList.h>

#include <cstdio>

int main() {
    CMemTagList list;
    CString msg("install check");
    if (!list.AddError(msg)) {
        std::puts("host: AddError failed");
        return 1;
    }
    CStringArray arr;
    if (!list.GetErrStringArray(arr) || arr.GetSize() != 1 || arr[0] != "install check") {
        std::puts("host: GetErrStringArray did not read the message back");
        return 1;
    }
    std::puts("host: ok");
    return 0;
}
