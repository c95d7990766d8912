// Small text helpers shared by the query client's sources.
#ifndef NAVIX_CLIENT_TEXT_H
#define NAVIX_CLIENT_TEXT_H

#include <string.h>

#include <string>
#include <vector>

namespace clienttext {

// The blanks that statements, settings and the connection string are trimmed of.
const char* const kWhiteSpace = " \t\n\v\f\r";

inline std::string trimmed(const std::string& text) {
    size_t b = text.find_first_not_of(kWhiteSpace);
    if (b == std::string::npos) {
        return std::string();
    }
    size_t e = text.find_last_not_of(kWhiteSpace);
    return text.substr(b, e - b + 1);
}

// Case changes of ASCII letters only, whatever the process's locale.
inline std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = (char)(c - 'a' + 'A');
        }
    }
    return text;
}

inline std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = (char)(c - 'A' + 'a');
        }
    }
    return text;
}

// A fixed text field of a record up to its NUL (the field may be full).
template <size_t N> inline std::string fieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// The statement as the client reads it, once it is UTF-8: trimmed, and
// without one trailing ";". A USE keeps its ";": it reads at most one itself,
// and a second one is no part of a name.
std::string trimmedStatement(const std::string& text);

// The statement text with its double-quoted identifiers turned into
// backtick-quoted ones, the service's identifier quotes. Text literals
// ('...', in which a backslash escapes the next character), comments (-- to
// the end of the line, /* ... */) and backtick-quoted names are copied
// unchanged. Inside a double-quoted identifier an apostrophe is part of the
// name, "" stands for one " (which a backtick name holds as it is), and a
// backtick is written as two, so that the name cannot end early. A blank
// goes between a converted name and a backtick name that it touches.
std::string backtickIdentifierQuotes(const std::string& text);

// The text with each comment (by the rule above) replaced by one blank, and
// trimmed: what the statements the client handles itself read their
// argument from.
std::string withoutComments(const std::string& text);

// Whether the statement is a USE: its first word is "USE" in any case,
// whatever follows it (a blank, a comment, a quote, ";" or nothing).
bool isUseStatement(const std::string& statement);

// The database name of a USE statement, read from the text after the
// keyword: exactly one name, bare or in backticks or double quotes (a doubled
// quote inside stands for one), with blanks and comments around it and at
// most one ";" after it. False for anything else (no name, two names, a
// second statement, an unclosed quote) and for "." and "..", which no
// request path may hold.
bool useStatementName(const std::string& argument, std::string* name);

// One entry of a connection string in ODBC's grammar: the key is the text
// before the first "=", the value everything after it up to the next ";"; a
// value in braces may hold ";" and "=", "}}" in it stands for "}", and the
// braces are not part of the value. The driver's key parser and the masking
// of secrets in logs both read entries through splitConnectionString, so
// they never disagree about where a value ends.
struct ConnStringEntry {
    std::string text;  // the entry as written, between its separators
    std::string key;   // as written, blanks included
    std::string value; // braces removed from a braced value
    bool hasValue;     // the entry holds an "="
    bool braced;
    // A braced value without its closing brace (it then runs to the end of
    // the text), or text other than blanks between the closing brace and the
    // next ";" (that text is not part of the value).
    bool malformed;
};

// Whether an entry is a server setting: its text begins with "vkl." in any
// case (an entry shorter than that never is).
bool isServerSetting(const ConnStringEntry& entry);

// The entries of a connection string, in order; adjacent separators give
// empty entries, as does a trailing ";".
std::vector<ConnStringEntry> splitConnectionString(const std::string& text);

} // namespace clienttext

#endif
