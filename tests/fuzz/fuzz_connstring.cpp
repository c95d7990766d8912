// Connection strings come from applications, their users and configuration
// files. Three readers take them apart: the grammar's split that the client
// uses (splitConnectionString), the masking for the log (maskSecrets and the
// ODBC layer's maskConnString), and the resolution into the connection's
// settings (buildConnConfs, which falls back to odbc.ini).
//
// Beyond "no crash" this checks that
// - the split gives back the whole text, and each braced value re-encodes
//   to what was written;
// - a secret (PASSWORD, PWD, SK) given once in the text never shows in the
//   masked text, neither as the grammar reads it nor as the resolver took it,
//   nor where a brace left open swallowed its entry, and neither does an
//   entry without "=" (the rest of an unbraced secret);
// - every setting the resolver took from the text is the value of an entry
//   with that key as the grammar reads the text (nothing injected from inside
//   another value), or the data source's or the key's default;
// - every field of the resolved record and the refusal reason are
//   NUL-terminated inside their buffers;
// - the host that a failure report names carries no user information.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ClientText.h"
#include "ConnProperty.h"
#include "FuzzSupport.h"
#include "HttpClient.h"
#include "NavixConnection.h"
#include "_Connect.h"

// The grammar's split lives with the client's text helpers.
using namespace clienttext;

namespace {

// The one data source of the private odbc.ini and what it holds.
const char* const kDsn = "fuzzdsn";
const char* const kIniKeys[][2] = {
    {"DRIVER", "VKL"},           {"PROJECTID", "ini-project"},
    {"REGION", "ini-region"},    {"AUTHMODE", "1"},
    {"HOST", "ini.example:443"}, {"DATABASE", "ini_db"},
    {"QUEUENAME", "ini_q"},      {"USEPROXY", "0"},
};

std::string g_iniDir;

void removeIniFiles() {
    unlink((g_iniDir + "/odbc.ini").c_str());
    unlink((g_iniDir + "/odbcinst.ini").c_str());
    rmdir(g_iniDir.c_str());
}

void writeIniFiles() {
    char dir[] = "/tmp/vorn-fuzz-ini-XXXXXX";
    if (mkdtemp(dir) == NULL) fuzzFail(__FILE__, __LINE__, "mkdtemp", dir);
    g_iniDir = dir;
    atexit(removeIniFiles);
    std::string ini = std::string(dir) + "/odbc.ini";
    FILE* f = fopen(ini.c_str(), "w");
    if (f == NULL) fuzzFail(__FILE__, __LINE__, "fopen", ini);
    fprintf(f, "[%s]\n", kDsn);
    for (const auto& kv : kIniKeys)
        fprintf(f, "%s=%s\n", kv[0], kv[1]);
    fclose(f);
    FILE* inst = fopen((std::string(dir) + "/odbcinst.ini").c_str(), "w");
    if (inst != NULL) fclose(inst);
    // Never the user's or the system's files.
    setenv("ODBCINI", ini.c_str(), 1);
    setenv("ODBCSYSINI", dir, 1);
    setenv("HOME", dir, 1);
}

bool isSecretKey(const std::string& key) {
    return strcasecmp(key.c_str(), "PASSWORD") == 0 || strcasecmp(key.c_str(), "PWD") == 0 ||
           strcasecmp(key.c_str(), "SK") == 0;
}

// A secret that a log could betray: given exactly once in the text, long
// enough not to turn up by chance, and free of the mask's own character and
// of "}" (a braced "}}" reads as "}", so the value could stand elsewhere in
// the text while its own entry, masked, holds it doubled).
bool traceable(const std::string& text, const std::string& secret) {
    return secret.size() >= 4 && secret.find_first_of("*}") == std::string::npos &&
           occurrences(text, secret) == 1;
}

std::string escapeBraces(const std::string& value) {
    std::string out;
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out;
}

void checkSplit(const std::string& text, const std::vector<ConnStringEntry>& entries) {
    std::string joined;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) joined += ';';
        joined += entries[i].text;
    }
    FUZZ_CHECK(joined == text, "entries do not add up to the text");
    for (const ConnStringEntry& e : entries) {
        const size_t eq = e.text.find('=');
        FUZZ_CHECK(e.hasValue == (eq != std::string::npos), e.text);
        if (!e.hasValue) {
            FUZZ_CHECK(trimmed(e.key) == trimmed(e.text), e.text);
            continue;
        }
        FUZZ_CHECK(trimmed(e.key) == trimmed(e.text.substr(0, eq)), e.text);
        if (!e.braced) {
            FUZZ_CHECK(e.value == e.text.substr(eq + 1), e.text);
            continue;
        }
        const size_t open = e.text.find_first_not_of(" \t", eq + 1);
        FUZZ_CHECK(open != std::string::npos && e.text[open] == '{', e.text);
        const std::string written = "{" + escapeBraces(e.value);
        FUZZ_CHECK(e.text.compare(open, written.size(), written) == 0,
                   "braced value does not re-encode: " + e.text);
    }
}

std::string checkMasking(const std::string& text, const std::vector<ConnStringEntry>& entries) {
    const std::string masked = NavixConnection::maskSecrets(text);
    char* layer = maskConnString(text.c_str());
    FUZZ_CHECK(layer != NULL && masked == layer, "the two masking routes differ");
    free(layer);
    for (const ConnStringEntry& e : entries) {
        // A brace left open swallows the entries after it: a secret among
        // them is a secret still, however the grammar reads the string.
        for (size_t at = e.text.find(';'); !(e.braced && !e.malformed) && at != std::string::npos;
             at = e.text.find(';', at + 1)) {
            for (const char* key : {"PASSWORD=", "PWD=", "SK="}) {
                const size_t from = at + 1 + strlen(key);
                if (strncasecmp(e.text.c_str() + at + 1, key, strlen(key)) != 0) continue;
                const std::string secret =
                    e.text.substr(from, e.text.find_first_of(";}", from) - from);
                if (traceable(text, secret)) {
                    FUZZ_CHECK(masked.find(secret) == std::string::npos, "swallowed: " + masked);
                }
            }
        }
        // An entry without "=" may be the rest of an unbraced secret.
        if (!e.hasValue && traceable(text, e.text)) {
            FUZZ_CHECK(masked.find(e.text) == std::string::npos, "stray entry shown: " + masked);
        }
        // However the key is padded with blanks, its value is a secret.
        if (!e.hasValue || !isSecretKey(trimmed(e.key))) continue;
        if (traceable(text, e.value)) {
            FUZZ_CHECK(masked.find(e.value) == std::string::npos,
                       "secret in masked text: " + masked);
        }
        const std::string written = trimmed(e.text.substr(e.text.find('=') + 1));
        if (traceable(text, written)) {
            FUZZ_CHECK(masked.find(written) == std::string::npos,
                       "secret in masked text: " + masked);
        }
    }
    return masked;
}

// Where a resolved value may come from: an entry of the text with that key,
// the data source's section, or the key's default.
bool legitimateSource(const std::vector<ConnStringEntry>& entries, const DataSourceKey& key,
                      const std::string& value) {
    // ODBC's own names for the user and the password count as theirs.
    const char* alias = strcasecmp(key.name, "USER") == 0       ? "UID"
                        : strcasecmp(key.name, "PASSWORD") == 0 ? "PWD"
                                                                : key.name;
    for (const ConnStringEntry& e : entries) {
        if (e.hasValue &&
            (strcasecmp(trimmed(e.key).c_str(), key.name) == 0 ||
             strcasecmp(trimmed(e.key).c_str(), alias) == 0) &&
            trimmed(e.value) == trimmed(value)) {
            return true;
        }
    }
    for (const auto& kv : kIniKeys) {
        if (strcasecmp(kv[0], key.name) == 0 && value == kv[1]) return true;
    }
    if (strcasecmp(key.name, "DSN") == 0 && value == kDsn) return true;
    return key.defaultValue != NULL && value == key.defaultValue;
}

void checkResolution(const std::string& text, const std::vector<ConnStringEntry>& entries,
                     const std::string& masked, size_t reasonSize) {
    // Exact sizes, so that the address sanitizer sees any write past them.
    ConnProperty* prop = static_cast<ConnProperty*>(malloc(sizeof(ConnProperty)));
    memset(prop, 0x5A, sizeof(ConnProperty));
    char* reason = reasonSize > 0 ? static_cast<char*>(malloc(reasonSize)) : NULL;
    if (reason != NULL) memset(reason, 0x5A, reasonSize);

    const int r = buildConnConfs(text.c_str(), prop, reason, reasonSize);
    // 0, or a negative refusal.
    FUZZ_CHECK(r <= 0, "result " + std::to_string(r));
    if (r != 0 && reason != NULL) {
        FUZZ_CHECK(memchr(reason, '\0', reasonSize) != NULL, "reason not terminated");
    }
    if (r == 0) {
        for (int k = 0; k < DSKEY_COUNT; ++k) {
            const char* field = connPropertyTextField(prop, k);
            if (field == NULL) continue;
            FUZZ_CHECK(memchr(field, '\0', CONN_PROPERTY_TEXT_SIZE) != NULL,
                       std::string("field not terminated: ") + dataSourceKeys[k].name);
            const std::string value = field;
            if (!value.empty()) {
                FUZZ_CHECK(legitimateSource(entries, dataSourceKeys[k], value),
                           std::string(dataSourceKeys[k].name) + "=" + value +
                               " is no value the text gives that key");
            }
        }
        for (const char* secret : {prop->PASSWORD, prop->SK}) {
            if (traceable(text, secret)) {
                FUZZ_CHECK(masked.find(secret) == std::string::npos,
                           std::string("resolved secret in masked text: ") + secret);
            }
        }
        // The client's own reading of the string: its server settings.
        NavixConnection conn(prop, text.c_str());
        for (const std::string& setting : conn.serverConfSnapshot()) {
            FUZZ_CHECK(occurrences(setting, "=") == 1, "server setting " + setting);
        }
        // A failure report names the host of the service URL: never the
        // user information that a HOST could carry in front of an "@".
        const std::string url = "https://" + std::string(prop->HOST) + "/v1.0/" + prop->PROJECTID;
        const std::string host = navixrest::hostOfUrl(url);
        FUZZ_CHECK(host.find('@') == std::string::npos, "host " + host + " of " + url);
    }
    free(reason);
    free(prop);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    writeIniFiles();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The ODBC layer hands on the application's text up to its first NUL.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(strnlen(text.c_str(), text.size()));
    const std::vector<ConnStringEntry> entries = splitConnectionString(text);
    checkSplit(text, entries);
    const std::string masked = checkMasking(text, entries);
    checkResolution(text, entries, masked, size % 160);
    return 0;
}
