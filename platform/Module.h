// Stand-ins for the Windows module interfaces that the library's start-up
// code uses: module handles, module file names and the attach handler.
#ifndef VORN_PLATFORM_MODULE_H
#define VORN_PLATFORM_MODULE_H

#include <sqltypes.h> // BOOL, DWORD, HINSTANCE, LPSTR as unixODBC defines them

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

// A module handle is the base address at which the module is mapped.
typedef HINSTANCE HMODULE;
typedef void* LPVOID;

// Reason codes of the attach handler.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#ifdef __cplusplus
extern "C" {
#endif

// Full file name of the module mapped at `module` (NULL: the executable),
// NUL-terminated and cut to fit `size` bytes. Returns the number of characters
// stored without the NUL, `size` when the name was cut, 0 on failure.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

// Handle of the module that contains `address`; NULL when none does.
HMODULE vornModuleFromAddress(const void* address);

// The library's attach and detach handler; defined by the start-up code.
BOOL DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

#ifdef __cplusplus
}
#endif

#endif
