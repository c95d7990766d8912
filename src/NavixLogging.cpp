#include "NavixLogging.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/loglevel.h>

#include "AsciiText.h"

#define NAVIX_LOG_BUFFER_SIZE 2048

static bool mapLevel(int level, log4cplus::LogLevel* out) {
    switch (level) {
    case NAVIX_TRACE:
        *out = log4cplus::TRACE_LOG_LEVEL;
        return true;
    case NAVIX_DEBUG:
        *out = log4cplus::DEBUG_LOG_LEVEL;
        return true;
    case NAVIX_INFO:
        *out = log4cplus::INFO_LOG_LEVEL;
        return true;
    case NAVIX_WARN:
        *out = log4cplus::WARN_LOG_LEVEL;
        return true;
    case NAVIX_ERROR:
        *out = log4cplus::ERROR_LOG_LEVEL;
        return true;
    case NAVIX_FATAL:
        *out = log4cplus::FATAL_LOG_LEVEL;
        return true;
    default:
        return false;
    }
}

void NavixLogging(int level, const char* file, const char* func, int line, const char* fmt, ...) {
    char text[NAVIX_LOG_BUFFER_SIZE];
    int head = snprintf(text, sizeof(text), "%s][", func != NULL ? func : "");
    size_t used = head < 0 ? 0 : static_cast<size_t>(head);
    if (used >= sizeof(text)) {
        used = sizeof(text) - 1; // a name that fills the buffer leaves no room
    }
    if (fmt != NULL && used < sizeof(text) - 1) {
        va_list args;
        va_start(args, fmt);
        vsnprintf(text + used, sizeof(text) - used, fmt, args);
        va_end(args);
    }

    log4cplus::LogLevel ll;
    if (!mapLevel(level, &ll)) {
        return;
    }
    // Called from C-style code on every path; nothing may escape from here.
    try {
        log4cplus::Logger root = log4cplus::Logger::getRoot();
        if (!root.isEnabledFor(ll)) {
            return;
        }
        log4cplus::tostringstream& stream = log4cplus::detail::get_macro_body_oss();
        stream << text;
        log4cplus::detail::macro_forced_log(root, ll, stream.str(), file != NULL ? file : "", line,
                                            __PRETTY_FUNCTION__);
    } catch (...) {
    }
}

std::string navixMaskedEntry(const std::string& entry, bool accessKey) {
    static const char kMask[] = "****";
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) {
        return entry.empty() ? entry : kMask;
    }
    const char* const blanks = " \t\n\v\f\r";
    std::string key = entry.substr(0, eq);
    const size_t b = key.find_first_not_of(blanks);
    key = b == std::string::npos ? "" : key.substr(b, key.find_last_not_of(blanks) - b + 1);
    const char* k = key.c_str();
    const bool secret = strcasecmpAscii(k, "PASSWORD") == 0 || strcasecmpAscii(k, "PWD") == 0 ||
                        strcasecmpAscii(k, "SK") == 0 ||
                        (accessKey && strcasecmpAscii(k, "AK") == 0);
    return secret ? entry.substr(0, eq + 1) + kMask : entry;
}
