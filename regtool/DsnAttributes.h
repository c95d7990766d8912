// The attribute list of a data source that kestrin hands to the installer
// (SQLConfigDataSource): pairs "KEY=VALUE", each ended by a NUL, the list by
// an empty pair. Built from the keys of an ini file's section "ODBC"; the
// reading is the caller's, so that the building can be tried on any values.
#ifndef KESTRIN_DSN_ATTRIBUTES_H
#define KESTRIN_DSN_ATTRIBUTES_H

#include <stddef.h>
#include <stdio.h>

namespace kestrin {

const int kValueSize = 1001;    // a key's value from the ini file, with its NUL
const int kDsnAttrSize = 20020; // the data source's attribute list: 1001 bytes a key

// Keys read from the ini file's section "ODBC", in this order; the masked
// ones are printed as "****".
struct IniKey {
    const char* name;
    bool masked;
};
extern const IniKey kIniKeys[];
extern const int kIniKeyCount;

// Reads the value of `key` into `value` of `size` bytes, as
// SQLGetPrivateProfileString does (at most size - 1 characters and a NUL);
// returns the number of characters written, 0 or less for none.
typedef int (*IniValueReader)(const char* key, char* value, int size, void* context);

// Builds the list into `attributes` of `size` bytes: "DSN=<dsn>", then each
// key of kIniKeys that has a non-empty value, in that order. Prints the keys
// and their values (masked ones hidden) to `out`. Refuses, with a line to
// `out` that says why, a value of kValueSize characters or more (never cut),
// one that odbc.ini cannot hold as it is (iniTextStorable) and a list that
// does not fit `size` bytes; `iniFile` only names the file in
// those lines. `driver` (`driverSize` bytes) receives the DRIVER value, empty
// when there is none. False when refused; the list is then unusable.
bool buildDsnAttributes(const char* dsn, const char* iniFile, IniValueReader read, void* context,
                        char* attributes, int size, char* driver, size_t driverSize, FILE* out);

} // namespace kestrin

#endif
