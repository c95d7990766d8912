// kestrin /d and /s build the attribute list of the data source they add
// from the keys of an ini file's section "ODBC", whatever the file holds,
// into a buffer of fixed size (buildDsnAttributes). The values come here
// from a reader that keeps the installer's contract (at most size - 1
// characters and a NUL), so that any value can be tried, however long.
//
// Input: a flags byte, two bytes of a buffer size, then NUL-separated parts:
// the data source's name (cut to the 255 characters that kestrin lets
// through), then the values of the 20 keys in kestrin's order (an empty or
// missing part: the key is absent; anything after the last is left unread).
// Flags bit 0 keeps kestrin's own buffer size instead of the input's; bits
// 1-3 repeat every value 1 to 128 times, so that long values and a full list
// are within reach of small inputs.
//
// Beyond "no crash" this checks that
// - every key is asked for once, in kestrin's order, until a refusal;
// - a value of 1001 characters or more is refused, with the line that names
//   it and the file, never cut; so is one holding a control character or a
//   blank at either end (odbc.ini would not keep it as it is);
// - otherwise the list is accepted exactly when it fits: well formed (pairs
//   "KEY=VALUE" with a key, each ended by a NUL, then the empty pair, all
//   inside the buffer), holding "DSN=<name>" and then exactly the keys with
//   a value, in order, with their values; or refused with the line that says
//   it does not fit;
// - the printed keys are those of the list, masked ones as "****";
// - the driver is the DRIVER value; nothing is written outside the buffers
//   (each allocated at its exact size).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "DsnAttributes.h"
#include "FuzzSupport.h"

using kestrin::kDsnAttrSize;
using kestrin::kIniKeyCount;
using kestrin::kIniKeys;
using kestrin::kValueSize;

namespace {

const char* const kIniFile = "/home/user/ds.ini";
const size_t kDsnMax = 255; // kestrin refuses a longer name before

struct Ini {
    std::vector<std::string> values; // by key, in kIniKeys order
    std::vector<std::string> asked;
};

int readValue(const char* key, char* value, int size, void* context) {
    Ini* ini = static_cast<Ini*>(context);
    ini->asked.push_back(key);
    for (int i = 0; i < kIniKeyCount; i++) {
        if (strcmp(kIniKeys[i].name, key) != 0) continue;
        const std::string& v = ini->values[(size_t)i];
        const size_t n = v.size() < (size_t)size - 1 ? v.size() : (size_t)size - 1;
        memcpy(value, v.data(), n);
        value[n] = '\0';
        return (int)n;
    }
    fuzzFail(__FILE__, __LINE__, "a key kestrin does not read", key);
}

std::string listFullLine(int size) {
    return "Error: the data source's keys do not fit the installer's " + std::to_string(size) +
           "-byte attribute list.\n";
}

// The list's pairs as a reader of its contract finds them, never beyond
// `size` bytes; fails unless the list is well formed.
std::vector<std::string> readList(const char* list, int size) {
    std::vector<std::string> pairs;
    size_t at = 0;
    for (;;) {
        FUZZ_CHECK(at < (size_t)size, "the list runs to the end of its buffer");
        if (list[at] == '\0') break;
        const char* end = static_cast<const char*>(memchr(list + at, '\0', (size_t)size - at));
        FUZZ_CHECK(end != NULL, "a pair runs to the end of the buffer");
        const std::string pair(list + at, end);
        const size_t eq = pair.find('=');
        FUZZ_CHECK(eq != std::string::npos && eq > 0, "pair without a key: " + pair);
        pairs.push_back(pair);
        at = (size_t)(end - list) + 1;
    }
    return pairs;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int flags = data[0];
    const int bufferSize =
        (flags & 1) != 0 ? kDsnAttrSize : 1 + (int)((data[1] | data[2] << 8) % kDsnAttrSize);
    const size_t repeat = (size_t)1 << ((flags >> 1) & 7);
    const std::vector<std::string> parts = splitParts(data + 3, size - 3, '\0', 2 + kIniKeyCount);
    const std::string dsn = parts[0].substr(0, kDsnMax);
    Ini ini;
    ini.values.resize((size_t)kIniKeyCount);
    // What follows the last key's part is left unread.
    for (size_t i = 1; i < parts.size() && i <= (size_t)kIniKeyCount; i++) {
        for (size_t r = 0; r < repeat; r++)
            ini.values[i - 1] += parts[i];
    }

    // What kestrin must do with these values.
    std::string output;
    std::vector<std::string> pairs{"DSN=" + dsn};
    size_t listSize = pairs[0].size() + 2; // with its NUL and the list's
    std::string driver;
    bool accepted = true;
    std::vector<std::string> asked;
    if (listSize > (size_t)bufferSize) {
        output = listFullLine(bufferSize);
        accepted = false;
    } else {
        output = "Attribute to be register are:\n";
        for (int i = 0; i < kIniKeyCount && accepted; i++) {
            const std::string name = kIniKeys[i].name;
            const std::string& value = ini.values[(size_t)i];
            asked.push_back(name);
            if (value.empty()) continue;
            if (value.size() >= (size_t)kValueSize) {
                output += "Error: the value of " + name + " in " + kIniFile +
                          " is longer than 1000 characters.\n";
                accepted = false;
                break;
            }
            if (!iniStorable(value)) {
                output += "Error: the value of " + name + " in " + kIniFile +
                          " holds a control character or a blank at either end.\n";
                accepted = false;
                break;
            }
            output += name + " = " + (kIniKeys[i].masked ? "****" : value) + "\n";
            pairs.push_back(name + "=" + value);
            listSize += pairs.back().size() + 1;
            if (listSize > (size_t)bufferSize) {
                output += listFullLine(bufferSize);
                accepted = false;
            } else if (name == "DRIVER") {
                driver = value;
            }
        }
    }

    // Exact sizes, so that the address sanitizer sees any write past them.
    char* list = static_cast<char*>(malloc((size_t)bufferSize));
    memset(list, 0x5A, (size_t)bufferSize);
    char* driverOut = static_cast<char*>(malloc((size_t)kValueSize));
    memset(driverOut, 0x5A, (size_t)kValueSize);
    char* printed = NULL;
    size_t printedSize = 0;
    FILE* out = open_memstream(&printed, &printedSize);
    if (out == NULL) fuzzFail(__FILE__, __LINE__, "open_memstream", "");

    const bool built = kestrin::buildDsnAttributes(dsn.c_str(), kIniFile, readValue, &ini, list,
                                                   bufferSize, driverOut, kValueSize, out);
    fclose(out);
    const std::string got(printed, printedSize);
    free(printed);

    FUZZ_CHECK(ini.asked == asked, "keys asked for out of order, or more than once");
    FUZZ_CHECK(built == accepted, std::string(built ? "accepted" : "refused") + " a list of " +
                                      std::to_string(listSize) + " bytes in " +
                                      std::to_string(bufferSize));
    FUZZ_CHECK(got == output, "printed:\n" + got + "expected:\n" + output);
    if (built) {
        FUZZ_CHECK(readList(list, bufferSize) == pairs, "the list holds other pairs");
        FUZZ_CHECK(memchr(driverOut, '\0', (size_t)kValueSize) != NULL && driver == driverOut,
                   "driver " + std::string(driverOut, strnlen(driverOut, (size_t)kValueSize)));
    }
    free(driverOut);
    free(list);
    return 0;
}
