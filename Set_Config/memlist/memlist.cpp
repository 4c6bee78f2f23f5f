// The library's start and end: the shared library's constructor and destructor functions.
#include "Trace.h"

namespace {

__attribute__((constructor)) void MemlistAttach() {
    MLTRACE("%s", "MEMLIST.DLL Initializing!\n");
}

__attribute__((destructor)) void MemlistDetach() {
    MLTRACE("%s", "MEMLIST.DLL Terminating!\n");
}

}  // namespace
