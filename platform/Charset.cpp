// UTF-8 <-> ANSI code page conversion through iconv, with UTF-32 in between.
//
// The UTF-8 side is decoded and encoded here rather than by iconv so that
// ill-formed input becomes U+FFFD instead of stopping the conversion; iconv
// only handles the code-page side, and a character it cannot map becomes "?".
#include "Charset.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

namespace {

const uint32_t kReplacement = 0xFFFD;

bool isUtf8Name(const char* name) {
    return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0;
}

// Decodes NUL-terminated UTF-8; each maximal ill-formed subpart becomes U+FFFD.
void decodeUtf8(const unsigned char* s, std::vector<uint32_t>& out) {
    size_t i = 0;
    while (s[i] != 0) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        int need;
        uint32_t cp;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            cp = c & 0x0F;
            if (c == 0xE0) lo = 0xA0; // no overlong forms
            if (c == 0xED) hi = 0x9F; // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            cp = c & 0x07;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F; // nothing above U+10FFFF
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            unsigned char t = s[j];
            unsigned char l = (k == 0) ? lo : 0x80;
            unsigned char h = (k == 0) ? hi : 0xBF;
            if (t < l || t > h) { // also stops at the terminating NUL
                ok = false;
                break;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        out.push_back(ok ? cp : kReplacement);
        i = j;
    }
}

void encodeUtf8(const std::vector<uint32_t>& cps, std::string& out) {
    for (uint32_t cp : cps) {
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out += (char)cp;
        } else if (cp < 0x800) {
            out += (char)(0xC0 | (cp >> 6));
            out += (char)(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += (char)(0xE0 | (cp >> 12));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        } else {
            out += (char)(0xF0 | (cp >> 18));
            out += (char)(0x80 | ((cp >> 12) & 0x3F));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        }
    }
}

// UTF-32 in host order; glibc knows it as "UTF-32LE" on this platform.
const char* kWide = "UTF-32LE";

// Code-page bytes to code points; a byte sequence the code page does not
// define becomes U+FFFD. False when the code page is unknown to iconv.
bool decodeCodePage(const char* src, const char* codePage, std::vector<uint32_t>& out) {
    iconv_t cd = iconv_open(kWide, codePage);
    if (cd == (iconv_t)-1) {
        return false;
    }
    char* in = const_cast<char*>(src);
    size_t inLeft = strlen(src);
    uint32_t chunk[256];
    while (inLeft > 0) {
        char* o = (char*)chunk;
        size_t oLeft = sizeof(chunk);
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.insert(out.end(), chunk, chunk + (sizeof(chunk) - oLeft) / 4);
        if (r == (size_t)-1) {
            if (errno == E2BIG) {
                continue;
            }
            out.push_back(kReplacement);
            if (errno == EINVAL) { // truncated sequence at the end
                break;
            }
            ++in; // EILSEQ: skip the offending byte
            --inLeft;
        }
    }
    iconv(cd, NULL, NULL, NULL, NULL);
    iconv_close(cd);
    return true;
}

// The code page's form of "?", its default character.
std::string defaultCharacter(const char* codePage) {
    std::string q = "?";
    iconv_t cd = iconv_open(codePage, "ASCII");
    if (cd == (iconv_t)-1) {
        return q;
    }
    char in[1] = {'?'};
    char* ip = in;
    size_t inLeft = 1;
    char buf[16];
    char* op = buf;
    size_t oLeft = sizeof(buf);
    if (iconv(cd, &ip, &inLeft, &op, &oLeft) != (size_t)-1 && op != buf) {
        q.assign(buf, op - buf);
    }
    iconv_close(cd);
    return q;
}

// Code points to code-page bytes; unmappable characters become "?".
bool encodeCodePage(const std::vector<uint32_t>& cps, const char* codePage, std::string& out) {
    iconv_t cd = iconv_open(codePage, kWide);
    if (cd == (iconv_t)-1) {
        return false;
    }
    char* in = (char*)cps.data();
    size_t inLeft = cps.size() * 4;
    char chunk[1024];
    std::string fallback;
    while (inLeft > 0) {
        char* o = chunk;
        size_t oLeft = sizeof(chunk);
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(chunk, sizeof(chunk) - oLeft);
        if (r != (size_t)-1 || errno == E2BIG) {
            continue;
        }
        if (errno != EILSEQ) { // cannot happen with whole code points; stop cleanly
            break;
        }
        if (fallback.empty()) {
            fallback = defaultCharacter(codePage);
        }
        out += fallback;
        in += 4;
        inLeft -= 4;
    }
    // Return a stateful encoding to its initial shift state.
    for (;;) {
        char* o = chunk;
        size_t oLeft = sizeof(chunk);
        size_t r = iconv(cd, NULL, NULL, &o, &oLeft);
        out.append(chunk, sizeof(chunk) - oLeft);
        if (r != (size_t)-1 || errno != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return true;
}

int deliver(const std::string& text, char* dst, int dstSize) {
    if ((long long)text.size() + 1 > (long long)dstSize) {
        return 0;
    }
    memcpy(dst, text.data(), text.size());
    dst[text.size()] = '\0';
    return (int)text.size() + 1;
}

// The locale name that setlocale(LC_CTYPE, "") would use.
std::string localeNameFromEnvironment() {
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* n : names) {
        const char* v = getenv(n);
        if (v != NULL && v[0] != '\0') {
            return v;
        }
    }
    return "";
}

bool iconvKnows(const std::string& codePage) {
    iconv_t cd = iconv_open(kWide, codePage.c_str());
    if (cd == (iconv_t)-1) {
        return false;
    }
    iconv_close(cd);
    return true;
}

} // namespace

std::string charsetActiveAnsiName() {
    std::string name = localeNameFromEnvironment();
    if (name.empty() || name == "C" || name == "POSIX") {
        return "UTF-8";
    }
    size_t dot = name.find('.');
    if (dot != std::string::npos) {
        size_t at = name.find('@', dot);
        std::string codeset =
            name.substr(dot + 1, at == std::string::npos ? std::string::npos : at - dot - 1);
        if (isUtf8Name(codeset.c_str())) {
            return "UTF-8";
        }
        if (!codeset.empty() && iconvKnows(codeset)) {
            return codeset;
        }
    }
    // A name without a usable code set: ask the locale data without touching
    // the process's locale.
    locale_t loc = newlocale(LC_CTYPE_MASK, name.c_str(), (locale_t)0);
    if (loc != (locale_t)0) {
        std::string codeset = nl_langinfo_l(CODESET, loc);
        freelocale(loc);
        if (!codeset.empty() && codeset != "ANSI_X3.4-1968" && !isUtf8Name(codeset.c_str()) &&
            iconvKnows(codeset)) {
            return codeset;
        }
    }
    return "UTF-8";
}

int charsetConvertFromUTF8(const char* src, char* dst, int dstSize, const char* codePage) {
    if (src == NULL || dst == NULL || codePage == NULL) {
        return 0;
    }
    std::vector<uint32_t> cps;
    decodeUtf8((const unsigned char*)src, cps);
    std::string out;
    if (isUtf8Name(codePage)) {
        encodeUtf8(cps, out);
    } else if (!encodeCodePage(cps, codePage, out)) {
        return 0;
    }
    return deliver(out, dst, dstSize);
}

int charsetConvertToUTF8(const char* src, char* dst, int dstSize, const char* codePage) {
    if (src == NULL || dst == NULL || codePage == NULL) {
        return 0;
    }
    std::vector<uint32_t> cps;
    if (isUtf8Name(codePage)) {
        decodeUtf8((const unsigned char*)src, cps);
    } else if (!decodeCodePage(src, codePage, cps)) {
        return 0;
    }
    std::string out;
    encodeUtf8(cps, out);
    return deliver(out, dst, dstSize);
}

int ConvertUTF82ANSI(const char* src, char* dst, int dstSize) {
    if (src == NULL || dst == NULL) {
        return 0;
    }
    return charsetConvertFromUTF8(src, dst, dstSize, charsetActiveAnsiName().c_str());
}

int ConvertANSI2UTF8(const char* src, char* dst, int dstSize) {
    if (src == NULL || dst == NULL) {
        return 0;
    }
    return charsetConvertToUTF8(src, dst, dstSize, charsetActiveAnsiName().c_str());
}
