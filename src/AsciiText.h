// Case-insensitive comparison of key and type names, which are ASCII. The C
// library's strcasecmp folds case by the process's locale: in a Turkish one
// "I" and "i" are not the same letter, and a key such as PROJECTID would not
// match its lower-case spelling.
#ifndef VORN_ASCII_TEXT_H
#define VORN_ASCII_TEXT_H

// ASCII case-insensitive comparison in the C locale; 0 when equal.
inline int strcasecmpAscii(const char* a, const char* b) {
    const unsigned char* p = (const unsigned char*)a;
    const unsigned char* q = (const unsigned char*)b;
    for (;; ++p, ++q) {
        int x = (*p >= 'A' && *p <= 'Z') ? *p - 'A' + 'a' : *p;
        int y = (*q >= 'A' && *q <= 'Z') ? *q - 'A' + 'a' : *q;
        if (x == 0 || x != y) {
            return x - y;
        }
    }
}

// An ASCII letter or digit, whatever the locale.
inline bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

#endif
