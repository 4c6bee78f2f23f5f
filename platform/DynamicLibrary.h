// Run-time loading of a shared library and its entry points (dlopen / dlsym / dlclose).
#pragma once

namespace mlplat {

// A handle, or null when the library cannot be loaded. A bare name is looked for first in the
// folder of the object that holds this code (libmemlist.so, or a test program), then the
// dynamic linker's way.
void* LoadLibrary(const char* name);
void* GetProcAddress(void* module, const char* symbol);
void FreeLibrary(void* module);

}  // namespace mlplat
