// Statement-text helpers of the query client.
#include "ClientText.h"

namespace clienttext {

std::string backtickIdentifierQuotes(const std::string& text)
{
    enum State { PLAIN, LITERAL, QUOTED_NAME, BACKTICK_NAME, LINE_COMMENT, BLOCK_COMMENT };
    std::string out = text;
    const size_t n = out.size();
    State state = PLAIN;
    for (size_t i = 0; i < n; ++i) {
        const char c = out[i];
        const char next = i + 1 < n ? out[i + 1] : '\0';
        switch (state) {
        case PLAIN:
            if (c == '\'') {
                state = LITERAL;
            } else if (c == '"') {
                out[i] = '`';
                state = QUOTED_NAME;
            } else if (c == '`') {
                state = BACKTICK_NAME;
            } else if (c == '-' && next == '-') {
                state = LINE_COMMENT;
                ++i;
            } else if (c == '/' && next == '*') {
                state = BLOCK_COMMENT;
                ++i;
            }
            break;
        case LITERAL:
            if (c == '\\') {
                ++i;
            } else if (c == '\'') {
                state = PLAIN;  // a doubled '' closes and reopens the literal
            }
            break;
        case QUOTED_NAME:
            if (c == '"') {
                out[i] = '`';
                state = PLAIN;
            }
            break;
        case BACKTICK_NAME:
            if (c == '`') {
                state = PLAIN;
            }
            break;
        case LINE_COMMENT:
            if (c == '\n' || c == '\r') {
                state = PLAIN;
            }
            break;
        case BLOCK_COMMENT:
            if (c == '*' && next == '/') {
                state = PLAIN;
                ++i;
            }
            break;
        }
    }
    return out;
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

}  // namespace clienttext
