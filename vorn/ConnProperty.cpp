// Data-source keys in resolution order, with their defaults.
#include "ConnProperty.h"

#include <ctype.h>
#include <limits.h>
#include <strings.h>

#define CP_TEXT(field) ((long)offsetof(ConnProperty, field))

const DataSourceKey dataSourceKeys[DSKEY_COUNT] = {
    {"DRIVER", 1, NULL, CP_TEXT(DRIVER)},
    {"DSN", 1, NULL, CP_TEXT(DSN)},
    {"HOST", 0, "", CP_TEXT(HOST)},
    {"PORT", 0, "", CP_TEXT(PORT)},
    {"DATABASE", 0, "", CP_TEXT(DATABASE)},
    {"PROJECTID", 1, NULL, CP_TEXT(PROJECTID)},
    {"QUEUENAME", 0, "default", CP_TEXT(QUEUENAME)},
    {"AK", 0, "", CP_TEXT(AK)},
    {"SK", 0, "", CP_TEXT(SK)},
    {"REGION", 1, NULL, CP_TEXT(REGION)},
    {"AUTHMODE", 1, NULL, DSKEY_NO_TEXT_FIELD},
    {"SVCNAME", 0, "VKL", CP_TEXT(SVCNAME)},
    {"PROXYHOST", 0, "", CP_TEXT(PROXYHOST)},
    {"PROXYPORT", 0, "", CP_TEXT(PROXYPORT)},
    {"USEPROXY", 0, "0", CP_TEXT(USEPROXY)},
    {"ACCOUNT", 0, "", CP_TEXT(ACCOUNT)},
    {"USER", 0, "", CP_TEXT(USER)},
    {"PASSWORD", 0, "", CP_TEXT(PASSWORD)},
    {"CHARSET", 0, "ANSI", DSKEY_NO_TEXT_FIELD},
    {"JOBTIMEOUT", 0, "300", DSKEY_NO_TEXT_FIELD},
    {"SSLCA", 0, "", CP_TEXT(SSLCA)},
};

char* connPropertyTextField(ConnProperty* prop, int index) {
    if (prop == NULL || index < 0 || index >= DSKEY_COUNT) {
        return NULL;
    }
    long offset = dataSourceKeys[index].textOffset;
    if (offset == DSKEY_NO_TEXT_FIELD) {
        return NULL;
    }
    return (char*)prop + offset;
}

int32_t connPropertyDecimal(const char* text) {
    if (text == NULL) {
        return 0;
    }
    const unsigned char* p = (const unsigned char*)text;
    while (isspace(*p)) {
        ++p;
    }
    int negative = 0;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    // Accumulate as a negative number so that INT_MIN fits; saturate on overflow
    // where atoi would be undefined.
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value > (long long)INT_MAX + 1) {
            value = (long long)INT_MAX + 1;
        }
        ++p;
    }
    if (negative) {
        return (int32_t)(-value);
    }
    return value > INT_MAX ? INT_MAX : (int32_t)value;
}

int32_t connPropertyCharsetFlag(const char* text) {
    if (text != NULL && strcasecmp(text, "UTF-8") == 0) {
        return 0;
    }
    return 1;
}
