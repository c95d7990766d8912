// Library start-up: the attach and detach handler and logging configuration.
#ifndef VORN_ODBC_H
#define VORN_ODBC_H

#include "Module.h"

#define LOG_PROPERTIES_NAME "log.properties"
#define LOG_CONFIG_PATH_SIZE 256

// The library's instance handle, stored by the first DllMain call that
// succeeds and never replaced; the setup dialog loads its template from it.
extern HINSTANCE ghModule;

// Configures log4cplus from the property file at `configPath`. A missing or
// unreadable file is reported by log4cplus itself and otherwise ignored.
void InitLogging(const char* configPath);

#endif
