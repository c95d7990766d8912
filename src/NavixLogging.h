// Logging front end of the driver library: every subsystem logs through
// NavixLogging with its own source file, qualified function name and line.
#ifndef VORN_NAVIX_LOGGING_H
#define VORN_NAVIX_LOGGING_H

// Levels: 0 TRACE, 1 DEBUG, 2 INFO, 3 WARN, 4 ERROR, 5 FATAL; any other value logs nothing.
enum {
    NAVIX_TRACE = 0,
    NAVIX_DEBUG = 1,
    NAVIX_INFO = 2,
    NAVIX_WARN = 3,
    NAVIX_ERROR = 4,
    NAVIX_FATAL = 5
};

#ifdef __cplusplus
extern "C" {
#endif

void NavixLogging(int level, const char* file, const char* func, int line, const char* fmt, ...)
    __attribute__((format(printf, 5, 6)));

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <string>

// What the logs show of one "key=value" entry of a connection string or of
// an installer attribute list. The value of a secret (PASSWORD, PWD, SK, and
// AK too when `accessKey` is set; keys in any case, blanks around them
// ignored) shows as "****", braces and all. An entry without "=" names no
// key, but may be the rest of a secret that an unbraced ";" cut off
// (PWD=se;cret), so it shows as "****" whole; an empty one stays empty.
std::string navixMaskedEntry(const std::string& entry, bool accessKey = false);
#endif

// NAVIX_LOG(level, "Class::method", "format", args...)
#define NAVIX_LOG(level, func, ...) NavixLogging((level), __FILE__, (func), __LINE__, __VA_ARGS__)

#endif
