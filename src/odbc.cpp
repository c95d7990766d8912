#include "odbc.h"

#include <stdio.h>
#include <string.h>

#include <log4cplus/configurator.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/logger.h>

#include "NavixLogging.h"

HINSTANCE ghModule = NULL;

// Directory the library was loaded from, without a trailing separator.
static char gModuleDir[MAX_PATH];

void InitLogging(const char* configPath) {
    try {
        log4cplus::PropertyConfigurator::doConfigure(configPath,
                                                     log4cplus::Logger::getDefaultHierarchy(), 0);
    } catch (...) {
        // Start-up must never fail because of the logging configuration.
    }
}

static BOOL processAttach(HINSTANCE module) {
    char configPath[LOG_CONFIG_PATH_SIZE];
    memset(configPath, 0, sizeof(configPath));
    memset(gModuleDir, 0, sizeof(gModuleDir));

    DWORD nameLen = GetModuleFileNameA(module, gModuleDir, sizeof(gModuleDir));
    // A name cut to the buffer ends inside some directory of the real path:
    // its last separator would point at the wrong folder.
    const bool nameCut = nameLen >= sizeof(gModuleDir);
    char* lastSep = strrchr(gModuleDir, '/');
    if (lastSep == NULL) {
        fputs("VKL ODBC Driver path error", stderr);
        return FALSE;
    }
    *lastSep = '\0';
    // Standard error, not standard output: the application's output may be
    // data (rows of isql -b, a script's CSV), and the driver's lines must not
    // mix into it.
    fprintf(stderr, "VKL ODBC Driver path = %s", gModuleDir);

    int pathLen =
        snprintf(configPath, sizeof(configPath), "%s/%s", gModuleDir, LOG_PROPERTIES_NAME);
    fputs("\nVKL odbc loaded by application or driver manager.\n", stderr);

    // A directory too long for the path buffer (or a library name too long
    // for its own) leaves logging unconfigured rather than reading whatever
    // file a cut path happens to name; the load goes on either way.
    if (!nameCut && pathLen > 0 && static_cast<size_t>(pathLen) < sizeof(configPath)) {
        InitLogging(configPath);
    }
    NAVIX_LOG(NAVIX_INFO, "DllMain", "VKL odbc loaded by application or driver manager.");
    return TRUE;
}

BOOL DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!processAttach(module)) {
            return FALSE;
        }
        break;
    case DLL_PROCESS_DETACH:
        fputs("VKL odbc is being unloaded.\n", stderr);
        break;
    default:
        break;
    }
    if (ghModule == NULL) {
        ghModule = module;
    }
    return TRUE;
}
