#include "odbc.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <odbcinst.h>

#include <log4cplus/configurator.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/logger.h>

#include "AsciiText.h"
#include "IniText.h"
#include "NavixLogging.h"
#include "Profile.h"
#include "resource.h"

HINSTANCE ghModule = NULL;

// Directory the library was loaded from, without a trailing separator.
static char gModuleDir[MAX_PATH];

void InitLogging(const char* configPath) {
    try {
        log4cplus::PropertyConfigurator::doConfigure(configPath,
                                                     log4cplus::Logger::getDefaultHierarchy(), 0);
    } catch (...) {
        // Start-up must never fail because of the logging configuration.
    }
}

static BOOL processAttach(HINSTANCE module) {
    char configPath[LOG_CONFIG_PATH_SIZE];
    memset(configPath, 0, sizeof(configPath));
    memset(gModuleDir, 0, sizeof(gModuleDir));

    DWORD nameLen = GetModuleFileNameA(module, gModuleDir, sizeof(gModuleDir));
    // A name cut to the buffer ends inside some directory of the real path:
    // its last separator would point at the wrong folder.
    const bool nameCut = nameLen >= sizeof(gModuleDir);
    char* lastSep = strrchr(gModuleDir, '/');
    if (lastSep == NULL) {
        fputs("VKL ODBC Driver path error", stderr);
        return FALSE;
    }
    *lastSep = '\0';
    // Standard error, not standard output: the application's output may be
    // data (rows of isql -b, a script's CSV), and the driver's lines must not
    // mix into it.
    fprintf(stderr, "VKL ODBC Driver path = %s", gModuleDir);

    int pathLen =
        snprintf(configPath, sizeof(configPath), "%s/%s", gModuleDir, LOG_PROPERTIES_NAME);
    fputs("\nVKL odbc loaded by application or driver manager.\n", stderr);

    // A directory too long for the path buffer (or a library name too long
    // for its own) leaves logging unconfigured rather than reading whatever
    // file a cut path happens to name; the load goes on either way.
    if (!nameCut && pathLen > 0 && static_cast<size_t>(pathLen) < sizeof(configPath)) {
        InitLogging(configPath);
    }
    NAVIX_LOG(NAVIX_INFO, "DllMain", "VKL odbc loaded by application or driver manager.");
    return TRUE;
}

BOOL DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!processAttach(module)) {
            return FALSE;
        }
        break;
    case DLL_PROCESS_DETACH:
        fputs("VKL odbc is being unloaded.\n", stderr);
        break;
    default:
        break;
    }
    if (ghModule == NULL) {
        ghModule = module;
    }
    return TRUE;
}

// --- Data-source setup --------------------------------------------------------

namespace {

const char* const kCaptionConfigDsn = "VKL odbc driver";
const char* const kCaptionDialog = "VKL ODBC Congifuration";
const char* const kCaptionConfigDriver = "Vorn odbc driver";

// The keys that have fields of their own, in the order they are read and
// written.
struct DsnField {
    const char* key;
    int control;
};

const DsnField kDsnFields[] = {
    {"DSN", IDC_EDIT_DSN},
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
const int kDsnFieldCount = (int)(sizeof(kDsnFields) / sizeof(kDsnFields[0]));

// Keys shown in the extra text when the dialog opens, first and in this order.
const char* const kExtraKeys[] = {"PROXYHOST", "PROXYPORT", "USEPROXY", "CHARSET", "JOBTIMEOUT"};
const int kExtraKeyCount = (int)(sizeof(kExtraKeys) / sizeof(kExtraKeys[0]));

const char* const kAuthModeKey = "AUTHMODE";
// The installer's own key of a data source's section (written by
// SQLWriteDSNToIni), never part of what the dialog edits.
const char* const kDriverKey = "DRIVER";

// A value read from odbc.ini: the installer cuts lines at about 1000
// characters, so this holds any value it hands out.
const int kIniValueSize = 1024;

struct ConfEntry {
    char key[DSN_ENTRY_KEY_MAX + 1];
    char value[DSN_ENTRY_VALUE_MAX + 1];
};

const DsnField* fieldFor(const char* key) {
    for (int i = 0; i < kDsnFieldCount; i++) {
        if (strcasecmpAscii(kDsnFields[i].key, key) == 0) return &kDsnFields[i];
    }
    return NULL;
}

bool isExtraKey(const char* key) {
    for (int i = 0; i < kExtraKeyCount; i++) {
        if (strcasecmpAscii(kExtraKeys[i], key) == 0) return true;
    }
    return false;
}

// atoi's reading of AUTHMODE, only as far as "is it 0": optional blanks and
// sign, then the leading digits (none reads as 0).
bool leadingIntegerIsZero(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    if (*p == '+' || *p == '-') p++;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (*p != '0') return false;
    }
    return true;
}

// Calls `visit(key, keyLength, value)` for each pair of an installer
// attribute list, up to the empty pair or a pair without "=".
template <typename Visit> void forEachAttribute(const char* attributes, Visit visit) {
    for (const char* p = attributes; p != NULL && *p != '\0'; p += strlen(p) + 1) {
        const char* eq = strchr(p, '=');
        if (eq == NULL) {
            return;
        }
        visit(p, (size_t)(eq - p), eq + 1);
    }
}

bool keyIs(const char* key, size_t keyLength, const char* name) {
    return keyLength <= DSN_ENTRY_KEY_MAX && strlen(name) == keyLength &&
           strcasecmpAscii(std::string(key, keyLength).c_str(), name) == 0;
}

// The keys that join the extra text, in order; a later value for a key
// already there replaces it in place.
struct ExtraPair {
    std::string key;
    std::string value;
};

void putExtra(std::vector<ExtraPair>& extras, const std::string& key, const std::string& value) {
    for (ExtraPair& e : extras) {
        if (strcasecmpAscii(e.key.c_str(), key.c_str()) == 0) {
            e.value = value;
            return;
        }
    }
    extras.push_back({key, value});
}

// Every key name of the section (NUL-separated); empty when there is none.
std::vector<std::string> sectionKeys(const char* dsn) {
    std::vector<std::string> keys;
    for (int size = 4096; size <= (1 << 20); size *= 4) {
        std::vector<char> buf((size_t)size);
        int used = vornGetPrivateProfileKeys(dsn, buf.data(), size, "odbc.ini");
        // A list that may have been cut at the buffer's end is read again
        // into a larger one.
        if (used + kIniValueSize >= size && size < (1 << 20)) continue;
        for (const char* k = buf.data(); *k != '\0'; k += strlen(k) + 1)
            keys.push_back(k);
        break;
    }
    return keys;
}

// The extra text: "KEY=VALUE;" for each pair that fits its bounds; the keys
// of the others go to `dropped`.
std::string buildExtraText(const std::vector<ExtraPair>& extras, std::string& dropped) {
    std::string text;
    int pieces = 0;
    for (const ExtraPair& e : extras) {
        // ";" ends a piece and a second "=" ends a value when the text is
        // read back, so such a pair could not come back as it was.
        bool fits = !e.key.empty() && e.key.size() <= DSN_ENTRY_KEY_MAX &&
                    e.value.size() <= DSN_ENTRY_VALUE_MAX &&
                    e.key.find_first_of(";=") == std::string::npos &&
                    e.value.find_first_of(";=") == std::string::npos;
        std::string piece = e.key + "=" + e.value + ";";
        if (fits && pieces < DSN_EXTRA_PIECES_MAX &&
            text.size() + piece.size() <= DSN_EXTRA_TEXT_MAX) {
            text += piece;
            pieces++;
        } else {
            // A pair without a key is named as it was written, or it would
            // go unmentioned.
            const std::string name = e.key.empty() ? "=" + e.value : e.key;
            dropped += (dropped.empty() ? "" : ", ") + name.substr(0, DSN_ENTRY_KEY_MAX);
        }
    }
    return text;
}

void showDialogMessage(HWND hDlg, const char* text) {
    MessageBoxA(hDlg, text, kCaptionDialog, MB_OK);
}

// Whether the installer can store `dsn` as a section name; when not,
// `message` says why.
bool storableName(const char* dsn, char* message, size_t size) {
    if (vornValidDSN(dsn)) return true;
    snprintf(
        message, size,
        "The data source name \"%s\" cannot be stored: the installer takes " VORN_DSN_NAME_RULE,
        iniTextShown(dsn).c_str());
    return false;
}

// Why odbc.ini cannot hold the pair as it is, empty when it can; a key
// longer than the dialog takes is shown cut.
std::string unstorablePair(const std::string& key, const char* value) {
    if (!iniTextStorable(key.c_str())) {
        return "The key \"" + iniTextShown(key.substr(0, DSN_ENTRY_KEY_MAX).c_str()) +
               "\" cannot be stored: it " VORN_INI_TEXT_FAULT ".";
    }
    if (!iniKeyLeadsLine(key.c_str())) {
        return "The key \"" + iniTextShown(key.substr(0, DSN_ENTRY_KEY_MAX).c_str()) +
               "\" cannot be stored: it " VORN_INI_KEY_FAULT ".";
    }
    if (!iniTextStorable(value)) {
        return "The value of " + key.substr(0, DSN_ENTRY_KEY_MAX) +
               " cannot be stored: it " VORN_INI_TEXT_FAULT ".";
    }
    return std::string();
}

// Writes the data source's section. When the installer refuses a write, what
// was written goes again, the dialog says so, and the installer's error is
// kept in `setup` for ConfigDSN's caller.
bool writeDataSource(HWND hDlg, DsnSetup* setup, const char* name, const char* driver,
                     const ConfEntry* entries, int count) {
    const char* failed = NULL;
    bool sectionWritten = vornWriteDSNToIni(name, driver);
    if (!sectionWritten) failed = "Write odbc datasource name failed.";
    for (int i = 0; failed == NULL && i < count; i++) {
        if (!vornWritePrivateProfileString(name, entries[i].key, entries[i].value, "ODBC.INI")) {
            failed = "Write odbc.ini failed.";
        }
    }
    if (failed == NULL) {
        if (setup != NULL) setup->writeError = 0;
        return true;
    }
    char reason[256];
    DWORD code = vornInstallerError(reason, sizeof(reason));
    // SQLWriteDSNToIni dropped any older section of this name before it
    // wrote, so what stands now is only our half-written one; when the
    // installer refuses to remove it too, it stays as far as it got.
    bool leftBehind = sectionWritten && !vornRemoveDSNFromIni(name);
    char message[DSN_MESSAGE_SIZE];
    snprintf(message, sizeof(message),
             leftBehind ? "%s The section [%s] may be left incomplete: removing it was refused "
                          "too (installer: %s)."
                        : "%s The data source \"%s\" is not saved (installer: %s).",
             failed, name, reason[0] != '\0' ? reason : "no reason given");
    NAVIX_LOG(NAVIX_ERROR, "getConfsFromDlg", "%s", message);
    if (setup != NULL) {
        setup->writeError = code != 0 ? code : ODBC_ERROR_REQUEST_FAILED;
        snprintf(setup->writeMessage, sizeof(setup->writeMessage), "%s", message);
    }
    showDialogMessage(hDlg, message);
    return false;
}

} // namespace

void dsnFromAttributes(const char* attributes, char* dsn) {
    forEachAttribute(attributes, [dsn](const char* key, size_t keyLength, const char* value) {
        if (keyIs(key, keyLength, "DSN")) {
            snprintf(dsn, DSN_NAME_SIZE, "%s", value);
        }
    });
}

void getConfsFromIni(HWND hDlg, const char* dsn, const char* attributes) {
    std::vector<ExtraPair> extras;
    std::string dropped;
    char value[kIniValueSize];

    if (dsn[0] != '\0') {
        for (int i = 0; i < kDsnFieldCount; i++) {
            if (vornGetPrivateProfileString(dsn, kDsnFields[i].key, "", value, sizeof(value),
                                            "odbc.ini") <= 0) {
                continue;
            }
            if (strlen(value) > DSN_FIELD_TEXT_MAX) {
                dropped += (dropped.empty() ? "" : ", ") + std::string(kDsnFields[i].key);
            } else {
                SetDlgItemTextA(hDlg, kDsnFields[i].control, value);
            }
        }
        for (int i = 0; i < kExtraKeyCount; i++) {
            if (vornGetPrivateProfileString(dsn, kExtraKeys[i], "", value, sizeof(value),
                                            "odbc.ini") > 0) {
                putExtra(extras, kExtraKeys[i], value);
            }
        }
        // SQLWriteDSNToIni drops the whole section before the dialog writes
        // it again, so every other key of it must come back with the extra
        // text or be lost.
        for (const std::string& key : sectionKeys(dsn)) {
            if (fieldFor(key.c_str()) != NULL || isExtraKey(key.c_str()) ||
                strcasecmpAscii(key.c_str(), kAuthModeKey) == 0 ||
                strcasecmpAscii(key.c_str(), kDriverKey) == 0) {
                continue;
            }
            if (vornGetPrivateProfileString(dsn, key.c_str(), "", value, sizeof(value),
                                            "odbc.ini") > 0) {
                putExtra(extras, key, value);
            }
        }
    }

    SendDlgItemMessageA(hDlg, IDC_LIST_AUTHMODE, CB_ADDSTRING, 0, (LPARAM) "TOKEN");
    SendDlgItemMessageA(hDlg, IDC_LIST_AUTHMODE, CB_ADDSTRING, 0, (LPARAM) "AKSK");
    SendDlgItemMessageA(hDlg, IDC_LIST_AUTHMODE, CB_SETCURSEL, 1, 0);
    if (dsn[0] != '\0' &&
        vornGetPrivateProfileString(dsn, kAuthModeKey, "", value, sizeof(value), "odbc.ini") > 0) {
        NAVIX_LOG(NAVIX_INFO, "getConfsFromIni", "auth mode: %s", value);
        if (leadingIntegerIsZero(value)) {
            SendDlgItemMessageA(hDlg, IDC_LIST_AUTHMODE, CB_SETCURSEL, 0, 0);
        }
    }

    // What the installer's caller passed goes over what odbc.ini holds.
    forEachAttribute(attributes, [&](const char* key, size_t keyLength, const char* v) {
        std::string name(key, keyLength);
        if (v[0] == '\0' || keyIs(key, keyLength, kDriverKey)) {
            return;
        }
        if (keyIs(key, keyLength, "DSN")) {
            // The section's own DSN key names it when it has one; a data
            // source not written yet shows the name it is being added as.
            char current[DSN_NAME_SIZE];
            if (GetDlgItemTextA(hDlg, IDC_EDIT_DSN, current, sizeof(current)) == 0) {
                SetDlgItemTextA(hDlg, IDC_EDIT_DSN, dsn);
            }
        } else if (keyIs(key, keyLength, kAuthModeKey)) {
            NAVIX_LOG(NAVIX_INFO, "getConfsFromIni", "auth mode: %s", v);
            SendDlgItemMessageA(hDlg, IDC_LIST_AUTHMODE, CB_SETCURSEL,
                                leadingIntegerIsZero(v) ? 0 : 1, 0);
        } else if (keyLength <= DSN_ENTRY_KEY_MAX && fieldFor(name.c_str()) != NULL) {
            if (strlen(v) > DSN_FIELD_TEXT_MAX) {
                dropped += (dropped.empty() ? "" : ", ") + name;
            } else {
                SetDlgItemTextA(hDlg, fieldFor(name.c_str())->control, v);
            }
        } else {
            putExtra(extras, name, v);
        }
    });

    SetDlgItemTextA(hDlg, IDC_EDIT_EXTRA, buildExtraText(extras, dropped).c_str());
    if (!dropped.empty()) {
        NAVIX_LOG(NAVIX_WARN, "getConfsFromIni", "Keys that do not fit the dialog: %s",
                  dropped.c_str());
        std::string text = "These keys do not fit the dialog (too long, too many, or a value "
                           "holding \";\" or \"=\"); OK saves the data source without them: " +
                           dropped;
        showDialogMessage(hDlg, text.c_str());
    }
}

int getConfsFromDlg(HWND hDlg) {
    DsnSetup* setup = (DsnSetup*)GetWindowLongPtrA(hDlg, DWLP_USER);
    ConfEntry* entries = (ConfEntry*)calloc(DSN_ENTRIES_MAX, sizeof(ConfEntry));
    if (entries == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "getConfsFromDlg", "Memory allocation error");
        return 0;
    }
    char message[DSN_MESSAGE_SIZE];
    // Says why nothing is written and leaves the dialog open on the control
    // to change.
    auto refuse = [&](int control, const char* text) {
        showDialogMessage(hDlg, text);
        SetFocus(GetDlgItem(hDlg, control));
        free(entries);
        return 0;
    };
    char name[DSN_NAME_SIZE] = "";
    int count = 0;
    for (int i = 0; i < kDsnFieldCount; i++) {
        const int control = kDsnFields[i].control;
        // One byte more than a field holds, to tell a full field from a
        // longer one.
        char text[DSN_FIELD_TEXT_MAX + 2];
        UINT n = GetDlgItemTextA(hDlg, control, text, sizeof(text));
        if (n > DSN_FIELD_TEXT_MAX) {
            snprintf(message, sizeof(message), "%s is longer than %d characters.",
                     kDsnFields[i].key, DSN_FIELD_TEXT_MAX);
            return refuse(control, message);
        }
        if (control == IDC_EDIT_DSN) {
            if (n == 0) return refuse(control, "Missing the Data Source Name");
            memcpy(name, text, n + 1);
            if (!storableName(name, message, sizeof(message))) return refuse(control, message);
        } else {
            const std::string why = unstorablePair(kDsnFields[i].key, text);
            if (!why.empty()) return refuse(control, why.c_str());
        }
        snprintf(entries[count].key, sizeof(entries[count].key), "%s", kDsnFields[i].key);
        snprintf(entries[count].value, sizeof(entries[count].value), "%s", text);
        count++;
    }
    LRESULT selection = SendDlgItemMessageA(hDlg, IDC_LIST_AUTHMODE, CB_GETCURSEL, 0, 0);
    snprintf(entries[count].key, sizeof(entries[count].key), "%s", kAuthModeKey);
    snprintf(entries[count].value, sizeof(entries[count].value), "%s", selection == 0 ? "0" : "1");
    count++;

    char extra[DSN_EXTRA_TEXT_MAX + 2];
    if (GetDlgItemTextA(hDlg, IDC_EDIT_EXTRA, extra, sizeof(extra)) > DSN_EXTRA_TEXT_MAX) {
        snprintf(message, sizeof(message), "The extra configuration is longer than %d characters.",
                 DSN_EXTRA_TEXT_MAX);
        return refuse(IDC_EDIT_EXTRA, message);
    }
    int pieces = 0;
    for (char* piece = extra; *piece != '\0';) {
        char* end = strchr(piece, ';');
        size_t len = end != NULL ? (size_t)(end - piece) : strlen(piece);
        if (len > 0) {
            // The key up to the first "=", the value behind it; a piece
            // without "=" has an empty value.
            const char* pieceEnd = piece + len;
            const char* eq = (const char*)memchr(piece, '=', len);
            const std::string key((const char*)piece, eq != NULL ? eq : pieceEnd);
            const std::string value(eq != NULL ? eq + 1 : pieceEnd, pieceEnd);
            if (key.find_first_not_of(' ') == std::string::npos) {
                // The installer would write it over the section's first key
                // (the driver's name), or trim it to that.
                snprintf(message, sizeof(message),
                         "A piece of the extra configuration has no key: %s",
                         iniTextShown(std::string(piece, len).c_str()).c_str());
            } else if (pieces == DSN_EXTRA_PIECES_MAX) {
                snprintf(message, sizeof(message),
                         "The extra configuration holds more than %d keys.", DSN_EXTRA_PIECES_MAX);
            } else if (key.size() > DSN_ENTRY_KEY_MAX) {
                snprintf(message, sizeof(message),
                         "A key of the extra configuration is longer than %d characters: %s...",
                         DSN_ENTRY_KEY_MAX, iniTextShown(key.substr(0, 32).c_str()).c_str());
            } else if (!iniTextStorable(key.c_str()) || !iniKeyLeadsLine(key.c_str())) {
                snprintf(message, sizeof(message), "%s", unstorablePair(key, "").c_str());
            } else if (value.find('=') != std::string::npos) {
                // Read back, the value would end at it.
                snprintf(message, sizeof(message),
                         "The value of %s in the extra configuration holds a second \"=\".",
                         key.c_str());
            } else if (value.size() > DSN_ENTRY_VALUE_MAX) {
                snprintf(message, sizeof(message),
                         "The value of %s in the extra configuration is longer than %d "
                         "characters.",
                         key.c_str(), DSN_ENTRY_VALUE_MAX);
            } else {
                snprintf(message, sizeof(message), "%s",
                         unstorablePair(key, value.c_str()).c_str());
            }
            if (message[0] != '\0') return refuse(IDC_EDIT_EXTRA, message);
            snprintf(entries[count].key, sizeof(entries[count].key), "%s", key.c_str());
            snprintf(entries[count].value, sizeof(entries[count].value), "%s", value.c_str());
            count++;
            pieces++;
        }
        if (end == NULL) break;
        piece = end + 1;
    }
    NAVIX_LOG(NAVIX_INFO, "getConfsFromDlg", "Get %d confs", count);

    const char* driver = setup != NULL && setup->driver != NULL && setup->driver[0] != '\0'
                             ? setup->driver
                             : VKL_DRIVER_NAME;
    if (!vornPrepareSystemOdbcIni()) {
        NAVIX_LOG(NAVIX_ERROR, "getConfsFromDlg", "Cannot create the system odbc.ini");
    }
    bool written = writeDataSource(hDlg, setup, name, driver, entries, count);
    free(entries);
    return written ? 1 : 0;
}

INT_PTR configDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const DsnSetup* setup = (const DsnSetup*)lParam;
        SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
        // The edits take no more than the data source can keep.
        for (int i = 0; i < kDsnFieldCount; i++) {
            SendDlgItemMessageA(hDlg, kDsnFields[i].control, EM_LIMITTEXT, DSN_FIELD_TEXT_MAX, 0);
        }
        SendDlgItemMessageA(hDlg, IDC_EDIT_EXTRA, EM_LIMITTEXT, DSN_EXTRA_TEXT_MAX, 0);
        getConfsFromIni(hDlg, setup->dsn, setup->attributes);
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BUTTON_OK:
            if (getConfsFromDlg(hDlg) == 1) {
                EndDialog(hDlg, IDC_BUTTON_OK);
            }
            return TRUE;
        case IDC_BUTTON_CANCEL:
            EndDialog(hDlg, IDC_BUTTON_CANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        EndDialog(hDlg, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL INSTAPI ConfigDSN(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver, LPCSTR lpszAttributes) {
    DsnSetup setup;
    memset(&setup, 0, sizeof(setup));
    if (lpszDriver == NULL || lpszAttributes == NULL) {
        MessageBoxA(hwndParent, "No driver name", kCaptionConfigDsn, MB_OK);
    }
    setup.driver = lpszDriver;
    setup.attributes = lpszAttributes != NULL ? lpszAttributes : "";
    dsnFromAttributes(setup.attributes, setup.dsn);

    // A name the installer cannot store would become another section, or
    // several, when written.
    char message[DSN_MESSAGE_SIZE];
    if (setup.dsn[0] != '\0' && !storableName(setup.dsn, message, sizeof(message))) {
        NAVIX_LOG(NAVIX_ERROR, "ConfigDSN", "%s", message);
        vornPostInstallerError(ODBC_ERROR_INVALID_DSN, message);
        return FALSE;
    }

    if (fRequest == ODBC_REMOVE_DSN) {
        if (!vornRemoveDSNFromIni(setup.dsn)) {
            NAVIX_LOG(NAVIX_ERROR, "ConfigDSN", "Remove the data source failed");
            return FALSE;
        }
        return TRUE;
    }

    // A pair odbc.ini cannot hold as it is would reach it through the dialog.
    std::string refused;
    forEachAttribute(setup.attributes, [&](const char* key, size_t keyLength, const char* value) {
        if (refused.empty() && !keyIs(key, keyLength, "DSN")) {
            refused = unstorablePair(std::string(key, keyLength), value);
        }
    });
    if (!refused.empty()) {
        NAVIX_LOG(NAVIX_ERROR, "ConfigDSN", "%s", refused.c_str());
        vornPostInstallerError(ODBC_ERROR_INVALID_KEYWORD_VALUE, refused.c_str());
        return FALSE;
    }

    NAVIX_LOG(NAVIX_INFO, "ConfigDSN", "Driver = %s", lpszDriver != NULL ? lpszDriver : "");
    // The first pair (up to its NUL); a secret in it never reaches the log.
    NAVIX_LOG(NAVIX_INFO, "ConfigDSN", "Attributes = %s",
              navixMaskedEntry(setup.attributes, true).c_str());
    INT_PTR result = DialogBoxParamA(ghModule, MAKEINTRESOURCEA(IDD_DSN_CONFIG), hwndParent,
                                     configDlgProc, (LPARAM)&setup);
    if (result == -1) {
        NAVIX_LOG(NAVIX_ERROR, "ConfigDSN", "The data-source dialog cannot be shown");
        // Posted last: any other installer call would clear the record.
        vornPostInstallerError(ODBC_ERROR_REQUEST_FAILED,
                               "The data-source dialog cannot be shown: it needs a terminal "
                               "(/dev/tty) of a type that TERM names.");
        return FALSE;
    }
    if (result == IDC_BUTTON_OK) {
        NAVIX_LOG(NAVIX_INFO, "ConfigDSN", "User click OK button on DSN config");
        return TRUE;
    }
    NAVIX_LOG(NAVIX_INFO, "ConfigDSN", "User click Cancel button on DSN config");
    // The user gave up after the installer refused a write: the caller hears
    // why nothing was saved.
    if (setup.writeError != 0) {
        vornPostInstallerError(setup.writeError, setup.writeMessage);
    }
    return FALSE;
}

BOOL INSTAPI ConfigDriver(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver, LPCSTR lpszArgs,
                          LPSTR lpszMsg, WORD cbMsgMax, WORD* pcbMsgOut) {
    if (lpszMsg != NULL && cbMsgMax > 0) {
        lpszMsg[0] = '\0';
    }
    if (pcbMsgOut != NULL) {
        *pcbMsgOut = 0;
    }
    switch (fRequest) {
    case ODBC_INSTALL_DRIVER:
        MessageBoxA(hwndParent, "Install OBDC driver....", kCaptionConfigDriver, MB_OK);
        return TRUE;
    case ODBC_REMOVE_DRIVER:
        NAVIX_LOG(NAVIX_INFO, "ConfigDriver", "Uninstall the VKL odbc dirver.");
        return TRUE;
    default:
        MessageBoxA(hwndParent, "Other in OBDC driver....", kCaptionConfigDriver, MB_OK);
        vornPostInstallerError(ODBC_ERROR_INVALID_REQUEST_TYPE, "");
        return FALSE;
    }
}
