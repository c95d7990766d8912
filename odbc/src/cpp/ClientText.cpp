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

}  // namespace clienttext
