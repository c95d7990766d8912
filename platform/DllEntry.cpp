// Attach and detach notifications of the shared library. Linked into the
// driver library only (never into the static archives), so that programs that
// link the archives for testing do not run the start-up code on their own.
#include "Module.h"

#include <dlfcn.h>
#include <stddef.h>

// Resolved here rather than through the platform archive: this object comes
// last on the link line, after the other archives have been scanned.
static HMODULE selfModule() {
    Dl_info info;
    if (dladdr(reinterpret_cast<const void*>(&selfModule), &info) == 0) {
        return NULL;
    }
    return static_cast<HMODULE>(info.dli_fbase);
}

__attribute__((constructor)) static void vornProcessAttach() {
    // The loader cannot be told to refuse the library from here; a failed
    // attach only leaves logging unconfigured.
    DllMain(selfModule(), DLL_PROCESS_ATTACH, NULL);
}

__attribute__((destructor)) static void vornProcessDetach() {
    DllMain(selfModule(), DLL_PROCESS_DETACH, NULL);
}
