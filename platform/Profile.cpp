#include "Profile.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <mutex>

#include <odbcinst.h>

#include "IniText.h"

namespace {

typedef int (*GetProfileFn)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR);
typedef BOOL (*WriteProfileFn)(LPCSTR, LPCSTR, LPCSTR, LPCSTR);
typedef BOOL (*WriteDsnFn)(LPCSTR, LPCSTR);
typedef BOOL (*RemoveDsnFn)(LPCSTR);
typedef RETCODE (*PostErrorFn)(DWORD, LPCSTR);
typedef BOOL (*GetConfigModeFn)(UWORD*);
typedef BOOL (*ValidDsnFn)(LPCSTR);
typedef RETCODE (*InstallerErrorFn)(WORD, DWORD*, LPSTR, WORD, WORD*);

struct Installer {
    GetProfileFn getProfile;
    WriteProfileFn writeProfile;
    WriteDsnFn writeDsn;
    RemoveDsnFn removeDsn;
    PostErrorFn postError;
    GetConfigModeFn getConfigMode;
    ValidDsnFn validDsn;
    InstallerErrorFn installerError;
};

template <typename Fn> Fn lookUp(void* lib, const char* name) {
    return lib != NULL ? reinterpret_cast<Fn>(dlsym(lib, name)) : NULL;
}

// Resolved once; the library stays loaded for the life of the process
// (unloading it while another thread may be inside it would be unsafe).
// In a process that already has libodbcinst (the installer calling our setup
// entry points), dlopen hands back that same copy, so its error record and
// configuration mode are the caller's.
const Installer& installer() {
    static const Installer table = []() {
        void* lib = dlopen("libodbcinst.so.2", RTLD_LAZY | RTLD_LOCAL);
        if (lib == NULL) {
            lib = dlopen("libodbcinst.so", RTLD_LAZY | RTLD_LOCAL);
        }
        Installer t;
        t.getProfile = lookUp<GetProfileFn>(lib, "SQLGetPrivateProfileString");
        t.writeProfile = lookUp<WriteProfileFn>(lib, "SQLWritePrivateProfileString");
        t.writeDsn = lookUp<WriteDsnFn>(lib, "SQLWriteDSNToIni");
        t.removeDsn = lookUp<RemoveDsnFn>(lib, "SQLRemoveDSNFromIni");
        t.postError = lookUp<PostErrorFn>(lib, "SQLPostInstallerError");
        t.getConfigMode = lookUp<GetConfigModeFn>(lib, "SQLGetConfigMode");
        t.validDsn = lookUp<ValidDsnFn>(lib, "SQLValidDSN");
        t.installerError = lookUp<InstallerErrorFn>(lib, "SQLInstallerError");
        return t;
    }();
    return table;
}

// Every call of the driver into the installer holds this lock.
std::mutex& installerLock() {
    static std::mutex lock;
    return lock;
}

int getProfileLocked(const char* section, const char* entry, const char* defaultValue,
                     char* retBuffer, int retBufferSize, const char* fileName) {
    GetProfileFn fn = installer().getProfile;
    if (fn == NULL) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(installerLock());
    return fn(section, entry, defaultValue, retBuffer, retBufferSize, fileName);
}

} // namespace

bool vornProfileAvailable() {
    return installer().getProfile != NULL;
}

int vornGetPrivateProfileString(const char* section, const char* entry, const char* defaultValue,
                                char* retBuffer, int retBufferSize, const char* fileName) {
    if (retBuffer == NULL || retBufferSize <= 0) {
        return 0;
    }
    retBuffer[0] = '\0';
    int n = getProfileLocked(section, entry, defaultValue != NULL ? defaultValue : "", retBuffer,
                             retBufferSize, fileName);
    // The installer is outside our control: never trust it to have terminated
    // the buffer or to report a sane count.
    retBuffer[retBufferSize - 1] = '\0';
    if (n < 0) {
        retBuffer[0] = '\0';
        return 0;
    }
    return (int)strlen(retBuffer);
}

int vornGetPrivateProfileKeys(const char* section, char* retBuffer, int retBufferSize,
                              const char* fileName) {
    if (retBuffer == NULL || retBufferSize < 2) {
        return 0;
    }
    memset(retBuffer, 0, (size_t)retBufferSize);
    int n = getProfileLocked(section, NULL, "", retBuffer, retBufferSize, fileName);
    // The list must end with two NULs whatever the installer did.
    retBuffer[retBufferSize - 1] = '\0';
    retBuffer[retBufferSize - 2] = '\0';
    if (n <= 0) {
        retBuffer[0] = '\0';
        retBuffer[1] = '\0';
        return 0;
    }
    int used = 0;
    while (used < retBufferSize - 1 && retBuffer[used] != '\0') {
        used += (int)strlen(retBuffer + used) + 1;
    }
    return used;
}

BOOL vornWritePrivateProfileString(const char* section, const char* entry, const char* value,
                                   const char* fileName) {
    WriteProfileFn fn = installer().writeProfile;
    if (fn == NULL) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(installerLock());
    return fn(section, entry, value, fileName);
}

BOOL vornWriteDSNToIni(const char* dsn, const char* driver) {
    WriteDsnFn fn = installer().writeDsn;
    if (fn == NULL) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(installerLock());
    return fn(dsn, driver);
}

BOOL vornRemoveDSNFromIni(const char* dsn) {
    RemoveDsnFn fn = installer().removeDsn;
    if (fn == NULL) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(installerLock());
    return fn(dsn);
}

BOOL vornPostInstallerError(DWORD errorCode, const char* message) {
    PostErrorFn fn = installer().postError;
    if (fn == NULL) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(installerLock());
    // SQLGetConfigMode, like every installer call, first clears the error
    // record, so this error is the only one the caller reads (a refused write
    // leaves a record of its own that says less).
    UWORD mode = 0;
    if (installer().getConfigMode != NULL) installer().getConfigMode(&mode);
    return fn(errorCode, message != NULL ? message : "") == SQL_SUCCESS;
}

BOOL vornGetConfigMode(UWORD* mode) {
    GetConfigModeFn fn = installer().getConfigMode;
    if (fn == NULL || mode == NULL) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(installerLock());
    return fn(mode);
}

BOOL vornValidDSN(const char* dsn) {
    ValidDsnFn fn = installer().validDsn;
    if (fn == NULL || dsn == NULL) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(installerLock());
    return fn(dsn) && iniTextStorable(dsn);
}

DWORD vornInstallerError(char* message, int size) {
    InstallerErrorFn fn = installer().installerError;
    if (message == NULL || size < 2) {
        return 0;
    }
    message[0] = '\0';
    DWORD code = 0;
    WORD length = 0;
    std::lock_guard<std::mutex> guard(installerLock());
    // One byte less than the buffer: a cut message gets its NUL behind the
    // length it is given.
    RETCODE rc = fn != NULL ? fn(1, &code, message, (WORD)(size - 1), &length) : SQL_ERROR;
    message[size - 1] = '\0';
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        message[0] = '\0';
        return 0;
    }
    return code;
}

BOOL vornPrepareSystemOdbcIni() {
    UWORD mode = ODBC_BOTH_DSN;
    if (!vornGetConfigMode(&mode) || mode != ODBC_SYSTEM_DSN) {
        return TRUE;
    }
    // The installer's own rule: the folder named by ODBCSYSINI, else the
    // system configuration folder.
    const char* dir = getenv("ODBCSYSINI");
    if (dir == NULL || dir[0] == '\0') {
        dir = "/etc";
    }
    char path[4096];
    int len = snprintf(path, sizeof(path), "%s/odbc.ini", dir);
    if (len < 0 || (size_t)len >= sizeof(path)) {
        return FALSE;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        close(fd);
        return TRUE;
    }
    return errno == EEXIST ? TRUE : FALSE;
}
