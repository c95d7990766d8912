// The installer hands the setup entry point ConfigDSN an attribute list:
// pairs "KEY=VALUE", each ended by a NUL, the list by an empty pair. Two
// readers take it apart: dsnFromAttributes (the data source to edit) and the
// dialog's filling (getConfsFromIni, run here through ConfigDSN against a
// scripted dialog that reads the controls and cancels).
//
// The input is the list's bytes. The installer always ends the list, so the
// target ends it too: a NUL for a pair the input leaves open, and the empty
// pair. Everything else (pairs without "=", empty keys or values, long
// pieces, bytes of any value) comes as the input has it.
//
// Beyond "no crash" this checks that
// - the data source found is the value of the list's last DSN pair (any
//   case), cut to 255 characters, NUL-terminated inside its 256 bytes, and
//   nothing is written around them; the scan ends at the first pair without
//   "=";
// - a name the installer cannot store (SQLValidDSN's rule: 1 to 32 bytes,
//   none of []{}(),;?*=!@\; and no control character, no blank at either
//   end), and any other pair whose key or value holds a control character
//   or a blank at either end, is refused before the dialog opens;
// - the dialog shows that name, each field the last value given for it that
//   fits the field, and AUTHMODE's selection as its leading integer says;
// - the extra text holds only pairs of the list (the last value of each key,
//   in the order the keys first came), within its bounds, each piece one
//   that reads back as it was;
// - every pair left out is said so: a message box names its key.
//
// The data source's section in the private odbc.ini is always empty, so the
// dialog shows what the list gives and nothing else.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <odbcinst.h>

#include "DialogBackend.h"
#include "FuzzSupport.h"
#include "Profile.h"
#include "odbc.h"
#include "resource.h"

namespace {

struct Pair {
    std::string key;
    std::string value;
};

struct Field {
    const char* key;
    int control;
};

// The fields of the dialog besides the name, with their keys.
const Field kFields[] = {
    {"HOST", IDC_EDIT_HOST},
    {"REGION", IDC_EDIT_REGION},
    {"DATABASE", IDC_EDIT_DATABASE},
    {"PROJECTID", IDC_EDIT_PROJECTID},
    {"QUEUENAME", IDC_EDIT_QUEUENAME},
    {"ACCOUNT", IDC_EDIT_ACCOUNT},
    {"USER", IDC_EDIT_USER},
    {"PASSWORD", IDC_EDIT_PASSWORD},
    {"AK", IDC_EDIT_AK},
    {"SK", IDC_EDIT_SK},
};
const size_t kFieldCount = sizeof(kFields) / sizeof(kFields[0]);

std::string g_iniDir;

void removeIniFiles() {
    unlink((g_iniDir + "/odbc.ini").c_str());
    unlink((g_iniDir + "/odbcinst.ini").c_str());
    unlink((g_iniDir + "/forget.ini").c_str());
    rmdir(g_iniDir.c_str());
}

// Empty odbc.ini and odbcinst.ini of our own, as the user's and the
// system's: the dialog never finds a section, and never touches real ones.
void writeIniFiles() {
    char dir[] = "/tmp/vorn-fuzz-setup-XXXXXX";
    if (mkdtemp(dir) == NULL) fuzzFail(__FILE__, __LINE__, "mkdtemp", dir);
    g_iniDir = dir;
    atexit(removeIniFiles);
    for (const char* name : {"/odbc.ini", "/odbcinst.ini"}) {
        FILE* f = fopen((g_iniDir + name).c_str(), "w");
        if (f == NULL) fuzzFail(__FILE__, __LINE__, "fopen", g_iniDir + name);
        fclose(f);
    }
    setenv("ODBCINI", (g_iniDir + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir, 1);
    setenv("HOME", dir, 1);
}

// The installer keeps what it read, and even a list of key names it never
// serves again, until a write: each input would make the next slower and
// look like a leak. A write to a file of our own clears it.
void installerForgets() {
    vornWritePrivateProfileString("forget", NULL, NULL, (g_iniDir + "/forget.ini").c_str());
}

bool sameKey(const std::string& key, const char* name) {
    return strcasecmp(key.c_str(), name) == 0;
}

// The list as the installer's contract reads it, never beyond its `size`
// bytes: pairs up to the empty one; a pair without "=" ends the reading.
std::vector<Pair> readPairs(const char* list, size_t size) {
    std::vector<Pair> pairs;
    size_t at = 0;
    while (at < size && list[at] != '\0') {
        const char* end = static_cast<const char*>(memchr(list + at, '\0', size - at));
        FUZZ_CHECK(end != NULL, "the target's list is not terminated");
        const std::string text(list + at, end);
        const size_t eq = text.find('=');
        if (eq == std::string::npos) break;
        pairs.push_back({text.substr(0, eq), text.substr(eq + 1)});
        at = (size_t)(end - list) + 1;
    }
    return pairs;
}

std::string expectedDsn(const std::vector<Pair>& pairs) {
    std::string dsn;
    for (const Pair& p : pairs) {
        if (sameKey(p.key, "DSN")) dsn = p.value.substr(0, DSN_NAME_SIZE - 1);
    }
    return dsn;
}

bool storableName(const std::string& dsn) {
    return !dsn.empty() && dsn.size() <= 32 &&
           dsn.find_first_of("[]{}(),;?*=!@\\") == std::string::npos && iniStorable(dsn);
}

bool storablePairs(const std::vector<Pair>& pairs) {
    for (const Pair& p : pairs) {
        // A key that begins with "[", "#" or ";" would read back as a
        // section or a comment.
        bool keyLeads = p.key.empty() || std::string("[#;").find(p.key[0]) == std::string::npos;
        if (!sameKey(p.key, "DSN") && !(iniStorable(p.key) && keyLeads && iniStorable(p.value)))
            return false;
    }
    return true;
}

void checkDsnFromAttributes(const char* list, const std::string& expected) {
    // Cleared, as ConfigDSN hands it over, between guards.
    GuardedBuffer dsn(DSN_NAME_SIZE);
    memset(dsn.data(), 0, DSN_NAME_SIZE);
    dsnFromAttributes(list, dsn.data());
    FUZZ_CHECK(dsn.intact(), "written outside the 256-byte name");
    FUZZ_CHECK(memchr(dsn.data(), '\0', DSN_NAME_SIZE) != NULL, "name not terminated");
    FUZZ_CHECK(expected == dsn.data(),
               "name \"" + std::string(dsn.data()) + "\", expected \"" + expected + "\"");
}

// Plays a user who looks at the dialog and cancels it.
class LookingUser : public VornDialogBackend {
  public:
    int opened = 0;
    bool looked = false;
    std::vector<std::string> shown; // each field's text, in kFields order
    std::string name;
    std::string extra;
    int selection = -2;
    std::vector<std::string> boxes; // "caption: text"

    bool open(VornDialog&) override {
        opened++;
        return true;
    }
    VornDialogInput nextInput(VornDialog& dialog) override {
        if (looked) return {VORN_INPUT_CLOSE, 0};
        looked = true;
        HWND d = static_cast<HWND>(&dialog);
        name = text(d, IDC_EDIT_DSN);
        for (const Field& f : kFields)
            shown.push_back(text(d, f.control));
        extra = text(d, IDC_EDIT_EXTRA);
        selection = (int)SendDlgItemMessageA(d, IDC_LIST_AUTHMODE, CB_GETCURSEL, 0, 0);
        return {VORN_INPUT_COMMAND, IDC_BUTTON_CANCEL};
    }
    void close(VornDialog&) override {}
    int messageBox(VornDialog*, const char* text, const char* caption) override {
        boxes.push_back(std::string(caption) + ": " + text);
        return IDOK;
    }

  private:
    static std::string text(HWND d, int id) {
        // Larger than anything the dialog may hold, to see an overlong text.
        std::vector<char> buf(8192, 'X');
        const UINT n = GetDlgItemTextA(d, id, buf.data(), (int)buf.size());
        FUZZ_CHECK(n < buf.size() && buf[n] == '\0' && strlen(buf.data()) == n,
                   "GetDlgItemTextA count " + std::to_string(n));
        return std::string(buf.data(), n);
    }
};

// atoi's "is it 0", read independently: strtoll saturates where atoi would
// overflow, and a saturated value is never 0.
int expectedSelection(const std::string& value) {
    return strtoll(value.c_str(), NULL, 10) != 0 ? 1 : 0;
}

// A piece "KEY=VALUE;" of the extra text reads back as the pair only when
// neither holds ";" or "=", and both are within the dialog's bounds.
bool fitsExtraText(const Pair& p) {
    return !p.key.empty() && p.key.size() <= DSN_ENTRY_KEY_MAX &&
           p.value.size() <= DSN_ENTRY_VALUE_MAX &&
           p.key.find_first_of(";=") == std::string::npos &&
           p.value.find_first_of(";=") == std::string::npos;
}

void checkDialog(const char* list, const std::vector<Pair>& pairs, const std::string& dsn) {
    // What the dialog should show, from the list alone.
    std::vector<std::string> fields(kFieldCount);
    std::vector<std::string> mustName; // keys left out that the message names
    int selection = 1;                 // AKSK unless AUTHMODE says 0
    std::vector<Pair> extras;          // by key in any case, first key's spelling, last value
    for (const Pair& p : pairs) {
        if (p.value.empty() || sameKey(p.key, "DRIVER") || sameKey(p.key, "DSN")) continue;
        if (sameKey(p.key, "AUTHMODE")) {
            selection = expectedSelection(p.value);
            continue;
        }
        size_t f = 0;
        while (f < kFieldCount && !sameKey(p.key, kFields[f].key))
            f++;
        if (f < kFieldCount) {
            if (p.value.size() > DSN_FIELD_TEXT_MAX) {
                mustName.push_back(p.key);
            } else {
                fields[f] = p.value;
            }
            continue;
        }
        size_t e = 0;
        while (e < extras.size() && strcasecmp(extras[e].key.c_str(), p.key.c_str()) != 0)
            e++;
        if (e < extras.size()) {
            extras[e].value = p.value;
        } else {
            extras.push_back(p);
        }
    }

    LookingUser user;
    vornSetDialogBackend(&user);
    const BOOL ok = ConfigDSN(NULL, ODBC_ADD_DSN, "VKL", list);
    vornSetDialogBackend(NULL);
    FUZZ_CHECK(!ok, "a cancelled dialog reported success");
    if ((!dsn.empty() && !storableName(dsn)) || !storablePairs(pairs)) {
        FUZZ_CHECK(user.opened == 0 && user.boxes.empty(), "the dialog opened for " + dsn);
        return;
    }
    FUZZ_CHECK(user.opened == 1 && user.looked, "the dialog was not shown");
    FUZZ_CHECK(user.boxes.size() <= 1, "message boxes: " + std::to_string(user.boxes.size()));
    const std::string box = user.boxes.empty() ? "" : user.boxes[0];
    const std::string boxStart = "VKL ODBC Congifuration: These keys do not fit the dialog";
    FUZZ_CHECK(box.empty() || box.compare(0, boxStart.size(), boxStart) == 0, box);

    FUZZ_CHECK(user.name == dsn, "name field \"" + user.name + "\", expected \"" + dsn + "\"");
    for (size_t f = 0; f < kFieldCount; f++) {
        FUZZ_CHECK(user.shown[f] == fields[f], std::string(kFields[f].key) + " shows \"" +
                                                   user.shown[f] + "\", expected \"" + fields[f] +
                                                   "\"");
    }
    FUZZ_CHECK(user.selection == selection, "AUTHMODE selection " + std::to_string(user.selection) +
                                                ", expected " + std::to_string(selection));

    // The extra text: pieces "KEY=VALUE;" that are extras, in their order.
    const std::string& text = user.extra;
    FUZZ_CHECK(text.size() <= DSN_EXTRA_TEXT_MAX, "extra text of " + std::to_string(text.size()));
    FUZZ_CHECK(text.empty() || text.back() == ';', "extra text " + text);
    size_t next = 0; // the next extra a piece may be
    int pieces = 0;
    std::vector<bool> inText(extras.size(), false);
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find(';', at);
        const std::string piece = text.substr(at, end - at);
        const size_t eq = piece.find('=');
        FUZZ_CHECK(eq != std::string::npos, "piece without \"=\": " + piece);
        const Pair got{piece.substr(0, eq), piece.substr(eq + 1)};
        while (next < extras.size() &&
               !(extras[next].key == got.key && extras[next].value == got.value))
            next++;
        FUZZ_CHECK(next < extras.size(), "piece " + piece +
                                             " is no pair of the list, or out of "
                                             "order: " +
                                             text);
        FUZZ_CHECK(fitsExtraText(got), "piece " + piece + " cannot read back");
        inText[next++] = true;
        pieces++;
        at = end + 1;
    }
    FUZZ_CHECK(pieces <= DSN_EXTRA_PIECES_MAX, std::to_string(pieces) + " pieces");
    for (size_t e = 0; e < extras.size(); e++) {
        if (inText[e]) continue;
        const Pair& p = extras[e];
        // A pair that could have been a piece is left out only for the bounds.
        if (fitsExtraText(p)) {
            FUZZ_CHECK(pieces == DSN_EXTRA_PIECES_MAX ||
                           text.size() + p.key.size() + p.value.size() + 2 > DSN_EXTRA_TEXT_MAX,
                       "pair " + p.key + " left out of " + text);
        }
        // A pair without a key is named as it was written.
        mustName.push_back((p.key.empty() ? "=" + p.value : p.key).substr(0, DSN_ENTRY_KEY_MAX));
    }

    // Nothing left out silently.
    for (const std::string& key : mustName) {
        FUZZ_CHECK(!box.empty(), "key \"" + key + "\" left out without a message");
        FUZZ_CHECK(box.find(key) != std::string::npos, "key " + key + " not named in: " + box);
    }
    if (mustName.empty()) FUZZ_CHECK(box.empty(), "message with nothing left out: " + box);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    writeIniFiles();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the list's bytes, so that the address sanitizer sees a read
    // beyond its end.
    const size_t length = size + 2;
    char* list = static_cast<char*>(malloc(length));
    memcpy(list, data, size);
    list[size] = '\0';
    list[size + 1] = '\0';

    const std::vector<Pair> pairs = readPairs(list, length);
    const std::string dsn = expectedDsn(pairs);
    checkDsnFromAttributes(list, dsn);
    checkDialog(list, pairs, dsn);
    installerForgets();
    free(list);
    return 0;
}
