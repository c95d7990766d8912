// kestrin: registers the VKL ODBC driver with the ODBC installer and manages
// its data sources from the command line. Everything goes through unixODBC's
// installer library; the driver library itself is never loaded here (the
// installer loads it to show its data-source dialog).
#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <odbcinst.h>

#include "DsnAttributes.h"
#include "IniText.h"
#include "KeyPress.h"

#ifndef FALSE
#define FALSE 0
#endif

namespace {

const char* const kDefaultDriverName = "General ODBC Driver 0";
const char* const kDefaultDllName = "libvornodbc.so";

const int kFieldSize = 256;       // driver name, library name and path
const int kDriverAttrSize = 1024; // the driver's attribute list
const int kMessageSize = 1001;    // an installer error message
const int kStatusFailed = -1;

void printLongUsage() {
    printf("USAGE: ( to install )\n");
    printf("       KESTRIN /i driver-name dll-name dll-path\n");
    printf("       KESTRIN /i \"General ODBC Driver 0\" libvornodbc.so /tmp\n");
    printf("       KESTRIN /i \"General ODBC Driver 1\" libvornodbc.so /opt/vornodbc\n");
    printf("       KESTRIN /i (use default values for libvornodbc.so)\n\n");
    printf("       ( to uninstall )\n");
    printf("       KESTRIN /u driver-name\n");
    printf("       KESTRIN /u \"General ODBC Driver 0\"\n");
    printf("       KESTRIN /u \"General ODBC Driver 1\"\n");
    printf("       KESTRIN /u (use default value General ODBC Driver)\n\n");
}

void printShortUsage() {
    printf("USAGE: KESTRIN /i driver-name dll-name dll-path     ( to install )\n");
    printf("       KESTRIN /u driver-name                       ( to uninstall )\n");
}

bool isSwitch(const char* arg, char letter) {
    return (arg[0] == '/' || arg[0] == '-') && tolower((unsigned char)arg[1]) == letter &&
           arg[2] == '\0';
}

// Arguments live in 256-byte fields; a longer one is refused, never cut.
bool argumentsFit(int argc, char** argv, int first, int last) {
    for (int i = first; i <= last && i < argc; i++) {
        if (strlen(argv[i]) >= (size_t)kFieldSize) {
            printf("Error: argument %d is longer than %d characters.\n", i, kFieldSize - 1);
            return false;
        }
    }
    return true;
}

// A data-source name that the installer can store as a section name
// (SQLValidDSN lets through some that its writer trims or splits);
// otherwise says why.
bool dataSourceNameValid(const char* dsn) {
    if (SQLValidDSN(dsn) && iniTextStorable(dsn)) return true;
    printf("Error: \"%s\" cannot be a data source name: the installer takes " VORN_DSN_NAME_RULE
           "\n",
           iniTextShown(dsn).c_str());
    return false;
}

// A driver name that can be a section of odbcinst.ini and the first entry of
// the installer's attribute list; otherwise says why.
bool driverNameValid(const char* driver) {
    if (driver[0] != '\0' && strpbrk(driver, "[]=;") == NULL && iniTextStorable(driver)) {
        return true;
    }
    printf("Error: \"%s\" cannot be a driver name: it must not be empty, hold [, ], = or ;, a "
           "control character, or a blank at either end\n",
           iniTextShown(driver).c_str());
    return false;
}

// The first installer error: its code and message (the record is read at
// once, before any other installer call clears it). Returns 0 when there is
// none.
DWORD installerError(char* message, int size) {
    DWORD code = 0;
    WORD length = 0;
    message[0] = '\0';
    // One byte less than the buffer: the installer writes its NUL behind the
    // length it is given.
    RETCODE rc = SQLInstallerError(1, &code, message, (WORD)(size - 1), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        message[0] = '\0';
        return 0;
    }
    message[size - 1] = '\0';
    return code;
}

// Appends "text" and its NUL at `*used` of `buf`, keeping room for the list's
// final NUL. False when it does not fit.
bool appendPair(char* buf, int size, int* used, const char* text) {
    size_t len = strlen(text);
    if ((size_t)*used + len + 2 > (size_t)size) {
        return false;
    }
    memcpy(buf + *used, text, len + 1);
    *used += (int)len + 1;
    buf[*used] = '\0';
    return true;
}

// The installer keeps the driver library's path as given; a relative one
// would depend on the directory of whatever program loads the driver.
bool absoluteLibraryPath(const char* path, const char* dllName, char* out, size_t size) {
    char dir[PATH_MAX];
    if (realpath(path[0] != '\0' ? path : ".", dir) == NULL) {
        return false;
    }
    size_t dirLen = strlen(dir);
    int n = snprintf(out, size, "%s%s%s", dir, dirLen > 0 && dir[dirLen - 1] == '/' ? "" : "/",
                     dllName);
    return n > 0 && (size_t)n < size;
}

int installDriver(const char* driver, const char* dllName, const char* path) {
    char file[2 * kFieldSize + 1];
    size_t pathLen = strlen(path);
    snprintf(file, sizeof(file), "%s%s%s", path, pathLen > 0 && path[pathLen - 1] == '/' ? "" : "/",
             dllName);
    struct stat st;
    if (stat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
        printf("Error: Could not locate driver DLL %s\n", file);
        return kStatusFailed;
    }
    char library[PATH_MAX];
    if (!absoluteLibraryPath(path, dllName, library, sizeof(library))) {
        printf("Error: Could not locate driver DLL %s\n", file);
        return kStatusFailed;
    }

    // unixODBC takes the path argument of SQLInstallDriverEx as the folder of
    // odbcinst.ini, so the library's place goes into the attribute list
    // instead: it is both the driver and its own setup library.
    char attributes[kDriverAttrSize];
    memset(attributes, 0, sizeof(attributes));
    int used = 0;
    char pair[PATH_MAX + 16];
    bool fits = appendPair(attributes, sizeof(attributes), &used, driver);
    snprintf(pair, sizeof(pair), "Driver=%s", library);
    fits = fits && appendPair(attributes, sizeof(attributes), &used, pair);
    snprintf(pair, sizeof(pair), "Setup=%s", library);
    fits = fits && appendPair(attributes, sizeof(attributes), &used, pair);
    if (!fits) {
        printf("Error: the driver name and library path do not fit the installer's %d-byte "
               "attribute list.\n",
               kDriverAttrSize);
        return kStatusFailed;
    }

    char pathOut[kDriverAttrSize];
    WORD pathOutLen = 0;
    DWORD usageCount = 0;
    if (SQLInstallDriverEx(attributes, NULL, pathOut, sizeof(pathOut), &pathOutLen,
                           ODBC_INSTALL_COMPLETE, &usageCount)) {
        printf("%s installed/registered successfully\n", driver);
        return 0;
    }
    char message[512];
    DWORD code = installerError(message, sizeof(message));
    printf("Registration failed, error no.: %d\n", (int)code);
    printf("Error details: %s\n", message);
    return kStatusFailed;
}

// Whether odbcinst.ini has a section for the driver (a name read is not
// cached by the installer, unlike a value read).
bool driverRegistered(const char* driver) {
    char keys[1024];
    memset(keys, 0, sizeof(keys));
    return SQLGetPrivateProfileString(driver, NULL, "", keys, sizeof(keys), "odbcinst.ini") > 0 &&
           keys[0] != '\0';
}

int uninstallDriver(const char* driver) {
    // unixODBC answers TRUE with a usage count of 0 for a driver it does not
    // know, and again after the last registration is gone: so ask first, and
    // stop when the count reaches 0.
    long removed = 0;
    bool failed = false;
    if (driverRegistered(driver)) {
        for (;;) {
            DWORD usageCount = 0;
            if (!SQLRemoveDriver(driver, FALSE, &usageCount)) {
                failed = true;
                break;
            }
            removed++;
            if (usageCount == 0) {
                break;
            }
        }
    }
    if (failed) {
        char message[512];
        DWORD code = installerError(message, sizeof(message));
        if (code != ODBC_ERROR_COMPONENT_NOT_FOUND) {
            printf("Unregister status Code: %d, Msg: %s\n", (int)code, message);
            return kStatusFailed;
        }
    }
    if (removed > 0) {
        printf("%s unregistered successfully (%ld)\n", driver, removed);
    }
    return 0;
}

// The installer's reading of a key of the ini file's section "ODBC".
int readOdbcKey(const char* key, char* value, int size, void* iniFile) {
    return SQLGetPrivateProfileString("ODBC", key, "", value, size, (const char*)iniFile);
}

int addDataSourceFromIni(const char* dsn, const char* iniFile, bool system) {
    char* attributes = (char*)calloc(kestrin::kDsnAttrSize, 1);
    char driver[kestrin::kValueSize];
    if (attributes == NULL) {
        printf("Error: out of memory.\n");
        return kStatusFailed;
    }
    if (!kestrin::buildDsnAttributes(dsn, iniFile, readOdbcKey, (void*)iniFile, attributes,
                                     kestrin::kDsnAttrSize, driver, sizeof(driver), stdout)) {
        free(attributes);
        return kStatusFailed;
    }

    int key = readKeyPress("Confirm(y/n)");
    printf("\n");
    if (key != 'y' && key != 'Y') {
        printf("Cancelled.\n");
        free(attributes);
        return 0;
    }
    // The installer loads the driver, which may print and draw on the
    // terminal: what is written so far goes out first.
    fflush(stdout);
    BOOL added =
        SQLConfigDataSource(NULL, system ? ODBC_ADD_SYS_DSN : ODBC_ADD_DSN, driver, attributes);
    free(attributes);
    if (added) {
        return 0;
    }
    for (WORD record = 1;; record++) {
        DWORD code = 0;
        char message[kMessageSize];
        WORD length = 0;
        message[0] = '\0';
        RETCODE rc = SQLInstallerError(record, &code, message, sizeof(message) - 1, &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            break;
        }
        message[sizeof(message) - 1] = '\0';
        printf("error code: %d\n%s\n", (int)code, message);
    }
    return kStatusFailed;
}

// Whether the data sources of the current configuration mode include `dsn`.
bool dataSourceListed(const char* dsn) {
    for (int size = 16384; size <= (1 << 24); size *= 4) {
        char* names = (char*)calloc((size_t)size, 1);
        if (names == NULL) {
            return false;
        }
        int n = SQLGetPrivateProfileString(NULL, NULL, "", names, size, "odbc.ini");
        // A list that may have been cut at the buffer's end is read again.
        if (n > size - 1024 && size < (1 << 24)) {
            free(names);
            continue;
        }
        bool found = false;
        for (const char* p = names; n > 0 && *p != '\0' && p < names + size; p += strlen(p) + 1) {
            if (strcasecmp(p, dsn) == 0) {
                found = true;
                break;
            }
        }
        free(names);
        return found;
    }
    return false;
}

// unixODBC's SQLRemoveDSNFromIni acts on the file of the current mode (the
// user's, by default) and answers TRUE for any name: so look for the name
// among the user's data sources, then among the system's, and remove it
// where it is.
bool removeDataSource(const char* dsn) {
    const UWORD modes[] = {ODBC_USER_DSN, ODBC_SYSTEM_DSN};
    bool removed = false;
    for (UWORD mode : modes) {
        SQLSetConfigMode(mode);
        if (dataSourceListed(dsn)) {
            removed = SQLRemoveDSNFromIni(dsn);
            break;
        }
    }
    SQLSetConfigMode(ODBC_BOTH_DSN);
    return removed;
}

void reportRemoveFailed() {
    printf("Remove datasource failed.\n");
}

// The ini file as the installer must be given it: an absolute path (a bare
// name would be looked for in the installer's own folders).
bool absoluteFile(const char* name, char* out, size_t size) {
    if (name[0] == '/') {
        return (size_t)snprintf(out, size, "%s", name) < size;
    }
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof(cwd)) == NULL) {
        return false;
    }
    int n = snprintf(out, size, "%s/%s", cwd, name);
    return n > 0 && (size_t)n < size;
}

int commandInstall(int argc, char** argv) {
    if (!argumentsFit(argc, argv, 2, 4)) return kStatusFailed;
    const char* driver = argc > 2 ? argv[2] : kDefaultDriverName;
    if (!driverNameValid(driver)) return kStatusFailed;
    const char* dllName = argc > 3 ? argv[3] : kDefaultDllName;
    char path[kFieldSize];
    if (argc > 4) {
        snprintf(path, sizeof(path), "%s", argv[4]);
    } else if (getcwd(path, sizeof(path)) == NULL) {
        printf("Error: the current directory is longer than %d characters.\n", kFieldSize - 1);
        return kStatusFailed;
    }
    printf("Proceeding to register... \n\n");
    printf("  driver: %s\n", driver);
    printf("     dll: %s\n", dllName);
    printf("    path: %s\n\n", path);
    return installDriver(driver, dllName, path);
}

int commandUninstall(int argc, char** argv) {
    if (!argumentsFit(argc, argv, 2, 2)) return kStatusFailed;
    const char* driver = argc > 2 ? argv[2] : kDefaultDriverName;
    if (!driverNameValid(driver)) return kStatusFailed;
    printf("Proceeding to un-register... \n\n");
    printf("  driver: %s\n\n", driver);
    return uninstallDriver(driver);
}

int commandAdd(int argc, char** argv, bool system) {
    if (argc < 4) {
        printf("DataSource name or ini file not given.");
        return kStatusFailed;
    }
    if (!argumentsFit(argc, argv, 2, 3)) return kStatusFailed;
    if (!dataSourceNameValid(argv[2])) return kStatusFailed;
    struct stat st;
    if (stat(argv[3], &st) != 0) {
        printf("File not exist.");
        return kStatusFailed;
    }
    char iniFile[PATH_MAX];
    if (!absoluteFile(argv[3], iniFile, sizeof(iniFile))) {
        printf("Error: the path of %s is too long.\n", argv[3]);
        return kStatusFailed;
    }
    return addDataSourceFromIni(argv[2], iniFile, system);
}

int commandRemove(int argc, char** argv) {
    if (argc < 3) {
        printf("DataSource name  not given.");
        return kStatusFailed;
    }
    if (!argumentsFit(argc, argv, 2, 2)) return kStatusFailed;
    printf("Remove datasource.\n");
    if (removeDataSource(argv[2])) {
        printf("Success\n");
        return 0;
    }
    reportRemoveFailed();
    return kStatusFailed;
}

} // namespace

int main(int argc, char** argv) {
    printf("KESTRIN - to register or unregister ODBC driver\n\n");
    if (argc < 2) {
        printLongUsage();
        return 0;
    }
    const char* command = argv[1];
    if (isSwitch(command, 'i')) return commandInstall(argc, argv);
    if (isSwitch(command, 'u')) return commandUninstall(argc, argv);
    if (isSwitch(command, 'd')) return commandAdd(argc, argv, false);
    if (isSwitch(command, 's')) return commandAdd(argc, argv, true);
    if (isSwitch(command, 'r')) return commandRemove(argc, argv);
    printShortUsage();
    return 0;
}
