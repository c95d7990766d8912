#include "DsnAttributes.h"

#include <string.h>

#include "IniText.h"

namespace kestrin {

const IniKey kIniKeys[] = {
    {"DRIVER", false},   {"HOST", false},      {"PORT", false},      {"REGION", false},
    {"PROJECTID", true}, {"AUTHMODE", false},  {"ACCOUNT", false},   {"USER", false},
    {"PASSWORD", true},  {"AK", true},         {"SK", true},         {"QUEUENAME", false},
    {"DATABASE", false}, {"PROXYHOST", false}, {"PROXYPORT", false}, {"USEPROXY", false},
    {"SVCNAME", false},  {"CONFFILE", false},  {"CHARSET", false},   {"SSLCA", false},
};
const int kIniKeyCount = (int)(sizeof(kIniKeys) / sizeof(kIniKeys[0]));

namespace {

// Appends "key=value" and its NUL at `*used` of `buf`, keeping room for the
// list's final NUL, and writes that NUL. False when it does not fit.
bool appendKeyValue(char* buf, int size, int* used, const char* key, const char* value) {
    size_t len = strlen(key) + 1 + strlen(value);
    if ((size_t)*used + len + 2 > (size_t)size) {
        return false;
    }
    *used += snprintf(buf + *used, (size_t)(size - *used), "%s=%s", key, value) + 1;
    buf[*used] = '\0';
    return true;
}

void reportListFull(FILE* out, int size) {
    fprintf(out,
            "Error: the data source's keys do not fit the installer's %d-byte attribute "
            "list.\n",
            size);
}

} // namespace

bool buildDsnAttributes(const char* dsn, const char* iniFile, IniValueReader read, void* context,
                        char* attributes, int size, char* driver, size_t driverSize, FILE* out) {
    // One byte more than a value may have, to tell a full one from a longer
    // one.
    char value[kValueSize + 1];
    if (driverSize > 0) {
        driver[0] = '\0';
    }
    int used = 0;
    if (!appendKeyValue(attributes, size, &used, "DSN", dsn)) {
        reportListFull(out, size);
        return false;
    }
    fprintf(out, "Attribute to be register are:\n");
    for (int i = 0; i < kIniKeyCount; i++) {
        const IniKey& key = kIniKeys[i];
        value[0] = '\0';
        int n = read(key.name, value, kValueSize + 1, context);
        value[kValueSize] = '\0';
        if (n <= 0 || value[0] == '\0') {
            continue;
        }
        if (strlen(value) >= (size_t)kValueSize) {
            fprintf(out, "Error: the value of %s in %s is longer than %d characters.\n", key.name,
                    iniFile, kValueSize - 1);
            return false;
        }
        if (!iniTextStorable(value)) {
            fprintf(out, "Error: the value of %s in %s " VORN_INI_TEXT_FAULT ".\n", key.name,
                    iniFile);
            return false;
        }
        fprintf(out, "%s = %s\n", key.name, key.masked ? "****" : value);
        if (!appendKeyValue(attributes, size, &used, key.name, value)) {
            reportListFull(out, size);
            return false;
        }
        if (strcmp(key.name, "DRIVER") == 0 && driverSize > 0) {
            snprintf(driver, driverSize, "%s", value);
        }
    }
    return true;
}

} // namespace kestrin
