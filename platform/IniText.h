// What the installer's ini files can hold as a section name, a key or a
// value. The format has no escape: a line break in a name or a value starts
// a new key or section, and unixODBC's writer trims blanks at the ends (a
// PASSWORD "  pw  " is stored as "pw", a section " x" as "[x]"). Such text
// would come back as something else, or as more than was written, so it is
// refused before the first write. Header only: kestrin, which does not link
// the driver, uses it too.
#ifndef VORN_INI_TEXT_H
#define VORN_INI_TEXT_H

#include <stdio.h>

#include <string>

// What the data-source name rule takes: SQLValidDSN's (its limit counts
// bytes) and iniTextStorable's.
#define VORN_DSN_NAME_RULE                                                                         \
    "1 to 32 bytes, none of []{}(),;?*=!@\\, no control character and no blank at either end"

// Why text is refused by iniTextStorable, for messages that name the key.
#define VORN_INI_TEXT_FAULT "holds a control character or a blank at either end"

inline bool iniControlChar(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// True when `text` holds no control character (below 0x20, or 0x7F) and no
// blank at either end; the empty text is storable.
inline bool iniTextStorable(const char* text) {
    if (text == NULL || text[0] == '\0') return true;
    const unsigned char* p = (const unsigned char*)text;
    if (*p == ' ') return false;
    for (; *p != '\0'; p++) {
        if (iniControlChar(*p)) return false;
        if (*p == ' ' && p[1] == '\0') return false;
    }
    return true;
}

// Why a key cannot lead its line: the reader takes a line that begins with
// "[" for a new section, and one that begins with "#" or ";" for a comment.
#define VORN_INI_KEY_FAULT "begins with \"[\", \"#\" or \";\""

// True when `key` can stand at the start of a line as a key: storable text
// that the reader does not take for a section or a comment.
inline bool iniKeyLeadsLine(const char* key) {
    return key == NULL || (key[0] != '[' && key[0] != '#' && key[0] != ';');
}

// `text` as a message shows it: each control character as "\n", "\r", "\t"
// or "\xNN", so that it neither breaks the message's line nor reaches the
// terminal.
inline std::string iniTextShown(const char* text) {
    std::string shown;
    for (const unsigned char* p = (const unsigned char*)(text != NULL ? text : ""); *p != '\0';
         p++) {
        char escaped[8];
        if (!iniControlChar(*p)) {
            shown += (char)*p;
            continue;
        }
        snprintf(escaped, sizeof(escaped), "\\x%02X", *p);
        shown += *p == '\n' ? "\\n" : *p == '\r' ? "\\r" : *p == '\t' ? "\\t" : escaped;
    }
    return shown;
}

#endif
