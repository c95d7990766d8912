// Statement-text helpers of the query client.
#include "ClientText.h"

#include "AsciiText.h"
#include "RestMessage.h"

namespace clienttext {

namespace {

// The parts of a statement text, as the service reads them.
enum class Part { PLAIN, LITERAL, QUOTED_NAME, BACKTICK_NAME, COMMENT };

// Calls `visit(part, begin, end)` for each run of the text, in order, quotes
// and comment markers included in their run: text literals ('...', in which
// a backslash escapes the next character), double-quoted and backtick names,
// comments (-- to the end of the line, /* ... */) and the plain text between
// them. The quote conversion and the comment rule of SET and USE both read a
// text through it, so they never disagree about where a comment is.
template <typename Visit> void forEachPart(const std::string& text, Visit visit) {
    const size_t n = text.size();
    size_t begin = 0;
    size_t i = 0;
    auto next = [&](Part part, size_t end) {
        if (end > begin) {
            visit(part, begin, end);
        }
        begin = end;
    };
    while (i < n) {
        const char c = text[i];
        const char after = i + 1 < n ? text[i + 1] : '\0';
        size_t end = i;
        Part part;
        if (c == '\'') {
            part = Part::LITERAL;
            for (end = i + 1; end < n && text[end] != '\''; ++end) {
                if (text[end] == '\\') {
                    ++end;
                }
            }
        } else if (c == '"') {
            part = Part::QUOTED_NAME;
            // A doubled "" inside stands for one ".
            for (end = i + 1; end < n; ++end) {
                if (text[end] == '"') {
                    if (end + 1 < n && text[end + 1] == '"') {
                        ++end;
                        continue;
                    }
                    break;
                }
            }
        } else if (c == '`') {
            part = Part::BACKTICK_NAME;
            end = text.find('`', i + 1);
        } else if (c == '-' && after == '-') {
            part = Part::COMMENT;
            end = text.find_first_of("\r\n", i + 2);
            if (end != std::string::npos) {
                --end; // the line end itself is plain text
            }
        } else if (c == '/' && after == '*') {
            part = Part::COMMENT;
            end = text.find("*/", i + 2);
            if (end != std::string::npos) {
                ++end;
            }
        } else {
            ++i;
            continue;
        }
        // The closing character is part of the run; an unclosed run lasts
        // to the end of the text.
        end = (end == std::string::npos || end >= n) ? n : end + 1;
        next(Part::PLAIN, i);
        next(part, end);
        i = end;
    }
    next(Part::PLAIN, n);
}

} // namespace

std::string trimmedStatement(const std::string& text) {
    std::string out = trimmed(text);
    if (!out.empty() && out.back() == ';' && !isUseStatement(out)) {
        out.pop_back();
    }
    return out;
}

std::string backtickIdentifierQuotes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    Part previous = Part::PLAIN;
    forEachPart(text, [&](Part part, size_t begin, size_t end) {
        // A converted name right next to a backtick name would read as one
        // name holding a backtick, the two backticks between them as one;
        // a blank keeps them two names, as ODBC reads them.
        const bool isName = part == Part::QUOTED_NAME || part == Part::BACKTICK_NAME;
        const bool wasName = previous == Part::QUOTED_NAME || previous == Part::BACKTICK_NAME;
        if (isName && wasName && (part == Part::QUOTED_NAME || previous == Part::QUOTED_NAME)) {
            out += ' ';
        }
        previous = part;
        if (part != Part::QUOTED_NAME) {
            out.append(text, begin, end - begin);
            return;
        }
        // The service reads a backtick name up to the next backtick, with
        // "``" for one inside and a double quote as a character of the name.
        out += '`';
        bool closed = false;
        for (size_t i = begin + 1; i < end; ++i) {
            const char c = text[i];
            if (c == '`') {
                out += "``";
            } else if (c != '"') {
                out += c;
            } else if (i + 1 < end && text[i + 1] == '"') {
                out += '"';
                ++i;
            } else {
                closed = true; // the closing quote, last of the run
            }
        }
        if (closed) {
            out += '`';
        }
    });
    return out;
}

std::string withoutComments(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    forEachPart(text, [&](Part part, size_t begin, size_t end) {
        if (part == Part::COMMENT) {
            out += ' ';
        } else {
            out.append(text, begin, end - begin);
        }
    });
    return trimmed(out);
}

bool isUseStatement(const std::string& statement) {
    if (statement.size() < 3 || upperAscii(statement.substr(0, 3)) != "USE") {
        return false;
    }
    const char next = statement.size() > 3 ? statement[3] : ' ';
    return !(isAsciiAlnum(next) || next == '_' || (unsigned char)next >= 0x80);
}

bool useStatementName(const std::string& argument, std::string* name) {
    struct Run {
        Part part;
        size_t begin;
        size_t end;
    };
    std::vector<Run> runs;
    forEachPart(argument, [&](Part part, size_t begin, size_t end) {
        // A doubled backtick ends one backtick run and opens the next: one name.
        if (part == Part::BACKTICK_NAME && !runs.empty() &&
            runs.back().part == Part::BACKTICK_NAME && runs.back().end == begin) {
            runs.back().end = end;
            return;
        }
        runs.push_back(Run{part, begin, end});
    });
    std::string value;
    bool named = false;    // a whole name has been read
    bool inWord = false;   // a bare name is being read
    bool finished = false; // the ";" after the name has been read
    for (const Run& run : runs) {
        if (run.part == Part::COMMENT) {
            named = named || inWord;
            inWord = false;
            continue;
        }
        if (run.part == Part::LITERAL) {
            return false;
        }
        if (run.part == Part::QUOTED_NAME || run.part == Part::BACKTICK_NAME) {
            if (named || inWord || finished) {
                return false;
            }
            const char quote = argument[run.begin];
            bool closed = false;
            for (size_t i = run.begin + 1; i < run.end && !closed; ++i) {
                if (argument[i] != quote) {
                    value += argument[i];
                } else if (i + 1 < run.end && argument[i + 1] == quote) {
                    value += quote;
                    ++i;
                } else {
                    closed = true;
                }
            }
            if (!closed) {
                return false;
            }
            named = true;
            continue;
        }
        for (size_t i = run.begin; i < run.end; ++i) {
            const char c = argument[i];
            if (strchr(kWhiteSpace, c) != NULL) {
                named = named || inWord;
                inWord = false;
            } else if (c == ';') {
                named = named || inWord;
                inWord = false;
                if (!named || finished) {
                    return false;
                }
                finished = true;
            } else if (named || finished) {
                return false;
            } else {
                value += c;
                inWord = true;
            }
        }
    }
    named = named || inWord;
    if (!named || value.empty() || navixrest::isDotSegment(value)) {
        return false;
    }
    *name = value;
    return true;
}

bool isServerSetting(const ConnStringEntry& entry) {
    return entry.text.size() >= 4 && lowerAscii(entry.text.substr(0, 4)) == "vkl.";
}

std::vector<ConnStringEntry> splitConnectionString(const std::string& text) {
    std::vector<ConnStringEntry> entries;
    size_t pos = 0;
    for (;;) {
        ConnStringEntry e;
        e.hasValue = false;
        e.braced = false;
        e.malformed = false;
        size_t end = text.find_first_of("=;", pos);
        if (end != std::string::npos && text[end] == '=') {
            e.hasValue = true;
            e.key = text.substr(pos, end - pos);
            size_t v = end + 1;
            size_t open = text.find_first_not_of(" \t", v);
            if (open != std::string::npos && text[open] == '{') {
                // Up to the brace that is not doubled; without one, the
                // value runs to the end of the text.
                e.braced = true;
                size_t i = open + 1;
                for (; i < text.size(); ++i) {
                    if (text[i] == '}') {
                        if (i + 1 < text.size() && text[i + 1] == '}') {
                            e.value += '}';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    e.value += text[i];
                }
                if (i >= text.size()) {
                    e.malformed = true;
                    end = std::string::npos;
                } else {
                    end = text.find(';', i + 1);
                    size_t tail = text.find_first_not_of(" \t", i + 1);
                    e.malformed = tail != std::string::npos && tail != end;
                }
            } else {
                end = text.find(';', v);
                e.value = text.substr(v, end == std::string::npos ? std::string::npos : end - v);
            }
        } else {
            e.key = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        }
        e.text = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        entries.push_back(e);
        if (end == std::string::npos) {
            return entries;
        }
        pos = end + 1;
    }
}

} // namespace clienttext
