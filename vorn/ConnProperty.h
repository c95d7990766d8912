// Connection records shared by the ODBC layer and the query client, and the
// table of data-source keys that the connection-string parser resolves.
#ifndef VORN_CONN_PROPERTY_H
#define VORN_CONN_PROPERTY_H

#include <stddef.h>
#include <stdint.h>

#define CONN_PROPERTY_TEXT_SIZE 257
#define CONN_INFO_TEXT_SIZE 1001

// One connection's resolved settings. Plain and pointer-free: the query client
// copies it whole, so the ODBC layer may free its own record after the open.
struct ConnProperty {
    int32_t authMode;    // AUTHMODE: 1 = request signing, anything else = identity token
    int32_t charsetFlag; // CHARSET: 0 when "UTF-8" (any case), else 1 (ANSI code page)
    int32_t jobTimeout;  // JOBTIMEOUT in seconds
    char DRIVER[CONN_PROPERTY_TEXT_SIZE];
    char DSN[CONN_PROPERTY_TEXT_SIZE];
    char DATABASE[CONN_PROPERTY_TEXT_SIZE];
    char HOST[CONN_PROPERTY_TEXT_SIZE];
    char PORT[CONN_PROPERTY_TEXT_SIZE];
    char PROJECTID[CONN_PROPERTY_TEXT_SIZE];
    char QUEUENAME[CONN_PROPERTY_TEXT_SIZE];
    char AK[CONN_PROPERTY_TEXT_SIZE];
    char SK[CONN_PROPERTY_TEXT_SIZE];
    char REGION[CONN_PROPERTY_TEXT_SIZE];
    char SVCNAME[CONN_PROPERTY_TEXT_SIZE];
    char USEPROXY[CONN_PROPERTY_TEXT_SIZE];
    char PROXYHOST[CONN_PROPERTY_TEXT_SIZE];
    char PROXYPORT[CONN_PROPERTY_TEXT_SIZE];
    char ACCOUNT[CONN_PROPERTY_TEXT_SIZE];
    char USER[CONN_PROPERTY_TEXT_SIZE];
    char PASSWORD[CONN_PROPERTY_TEXT_SIZE];
    char SSLCA[CONN_PROPERTY_TEXT_SIZE]; // PEM file of the CAs to trust; empty = the system store
};

// What SQLGetInfo reports about an open connection.
struct ConnInfo {
    char DSN[CONN_INFO_TEXT_SIZE];
    char DRIVER[CONN_INFO_TEXT_SIZE];
    char HOST[CONN_INFO_TEXT_SIZE];
};

// Positions of the data-source keys in dataSourceKeys (resolution order).
enum DataSourceKeyIndex {
    DSKEY_DRIVER = 0,
    DSKEY_DSN,
    DSKEY_HOST,
    DSKEY_PORT,
    DSKEY_DATABASE,
    DSKEY_PROJECTID,
    DSKEY_QUEUENAME,
    DSKEY_AK,
    DSKEY_SK,
    DSKEY_REGION,
    DSKEY_AUTHMODE,
    DSKEY_SVCNAME,
    DSKEY_PROXYHOST,
    DSKEY_PROXYPORT,
    DSKEY_USEPROXY,
    DSKEY_ACCOUNT,
    DSKEY_USER,
    DSKEY_PASSWORD,
    DSKEY_CHARSET,
    DSKEY_JOBTIMEOUT,
    DSKEY_SSLCA,
    DSKEY_COUNT
};

// Marks a key that is not kept as text in ConnProperty (AUTHMODE, CHARSET,
// JOBTIMEOUT: they are turned into the record's integers).
#define DSKEY_NO_TEXT_FIELD ((long)-1)

struct DataSourceKey {
    const char* name;         // key name, matched without regard to case
    int required;             // 1: the connect fails when no value is found
    const char* defaultValue; // NULL for required keys
    long textOffset; // offset of its char[257] field in ConnProperty, or DSKEY_NO_TEXT_FIELD
};

// The data-source keys in the order in which they are resolved.
extern const DataSourceKey dataSourceKeys[DSKEY_COUNT];

// The text field of ConnProperty that holds the key at `index`, or NULL when
// that key is stored as an integer or the index is out of range.
char* connPropertyTextField(ConnProperty* prop, int index);

// Decimal reading of AUTHMODE/JOBTIMEOUT/USEPROXY values: leading blanks,
// optional sign, leading digits; no digits gives 0 (as atoi, without overflow UB).
int32_t connPropertyDecimal(const char* text);

// Character-set flag from a CHARSET value: 0 for "UTF-8" in any case, else 1.
int32_t connPropertyCharsetFlag(const char* text);

#endif
