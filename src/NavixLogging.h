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

// NAVIX_LOG(level, "Class::method", "format", args...)
#define NAVIX_LOG(level, func, ...) NavixLogging((level), __FILE__, (func), __LINE__, __VA_ARGS__)

#endif
