// Text conversion between UTF-8 and the process's ANSI code page.
//
// The ANSI code page is the character set of the locale that the environment
// names (LC_ALL, then LC_CTYPE, then LANG), e.g. "de_DE.ISO-8859-1" gives
// ISO-8859-1. The C/POSIX locale, or no locale at all, means UTF-8. The
// process's own locale is never changed.
//
// Both conversions return the number of bytes written including the
// terminating NUL, or 0 when an argument is NULL, the destination is too small
// (nothing is written then) or the conversion cannot be set up. Ill-formed
// input becomes U+FFFD (or "?" where the target lacks it); characters that
// the target lacks become "?".
#ifndef VORN_PLATFORM_CHARSET_H
#define VORN_PLATFORM_CHARSET_H

#include <string>

int ConvertUTF82ANSI(const char* src, char* dst, int dstSize);
int ConvertANSI2UTF8(const char* src, char* dst, int dstSize);

// The iconv name of the ANSI code page as the environment names it now.
std::string charsetActiveAnsiName();

// The same conversions with the code page given by its iconv name
// (e.g. "CP1252", "ISO-8859-1", "KOI8-R", "UTF-8").
int charsetConvertFromUTF8(const char* src, char* dst, int dstSize, const char* codePage);
int charsetConvertToUTF8(const char* src, char* dst, int dstSize, const char* codePage);

#endif
