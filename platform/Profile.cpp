#include "Profile.h"

#include <dlfcn.h>
#include <string.h>

namespace {

typedef int (*GetProfileFn)(const char*, const char*, const char*, char*, int, const char*);

// Resolved once; the library stays loaded for the life of the process
// (unloading it while another thread may be inside it would be unsafe).
GetProfileFn resolveGetProfile()
{
    static GetProfileFn fn = []() -> GetProfileFn {
        void* lib = dlopen("libodbcinst.so.2", RTLD_LAZY | RTLD_LOCAL);
        if (lib == NULL) {
            lib = dlopen("libodbcinst.so", RTLD_LAZY | RTLD_LOCAL);
        }
        if (lib == NULL) {
            return NULL;
        }
        return reinterpret_cast<GetProfileFn>(dlsym(lib, "SQLGetPrivateProfileString"));
    }();
    return fn;
}

} // namespace

bool vornProfileAvailable()
{
    return resolveGetProfile() != NULL;
}

int vornGetPrivateProfileString(const char* section, const char* entry, const char* defaultValue,
                                char* retBuffer, int retBufferSize, const char* fileName)
{
    if (retBuffer == NULL || retBufferSize <= 0) {
        return 0;
    }
    retBuffer[0] = '\0';
    GetProfileFn fn = resolveGetProfile();
    if (fn == NULL) {
        return 0;
    }
    int n = fn(section, entry, defaultValue != NULL ? defaultValue : "", retBuffer, retBufferSize,
               fileName);
    // The installer is outside our control: never trust it to have terminated
    // the buffer or to report a sane count.
    retBuffer[retBufferSize - 1] = '\0';
    if (n < 0) {
        retBuffer[0] = '\0';
        return 0;
    }
    return (int)strlen(retBuffer);
}
