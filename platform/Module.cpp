#include "Module.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

HMODULE vornModuleFromAddress(const void* address) {
    Dl_info info;
    if (address == NULL || dladdr(address, &info) == 0) {
        return NULL;
    }
    return static_cast<HMODULE>(info.dli_fbase);
}

// Copies `name` into the caller's buffer the way Windows does: cut to fit,
// always NUL-terminated, `size` returned when it had to be cut.
static DWORD storeName(const char* name, LPSTR fileName, DWORD size) {
    size_t len = strlen(name);
    if (len < size) {
        memcpy(fileName, name, len + 1);
        return static_cast<DWORD>(len);
    }
    memcpy(fileName, name, size - 1);
    fileName[size - 1] = '\0';
    return size;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (fileName == NULL || size == 0) {
        return 0;
    }
    fileName[0] = '\0';

    char resolved[PATH_MAX];
    if (module == NULL) {
        ssize_t n = readlink("/proc/self/exe", resolved, sizeof(resolved) - 1);
        if (n <= 0) {
            return 0;
        }
        resolved[n] = '\0';
        return storeName(resolved, fileName, size);
    }

    // The handle is the module's base address, which lies inside the module's
    // first mapped segment, so the loader can name the module from it.
    Dl_info info;
    if (dladdr(module, &info) == 0 || info.dli_fname == NULL || info.dli_fbase != module) {
        return 0;
    }
    // The loader keeps the name as it was opened (possibly relative); Windows
    // hands out the full path.
    if (realpath(info.dli_fname, resolved) != NULL) {
        return storeName(resolved, fileName, size);
    }
    if (info.dli_fname[0] == '\0') {
        return 0;
    }
    return storeName(info.dli_fname, fileName, size);
}
