// The ODBC installer library (unixODBC's libodbcinst), loaded on first use
// rather than linked, so the driver still loads on a system without it.
//
// libodbcinst is not thread-safe (its profile cache and its error record are
// process-wide), so every call the driver makes into it goes through these
// wrappers, which hold one process-wide lock for the length of the call.
#ifndef VORN_PLATFORM_PROFILE_H
#define VORN_PLATFORM_PROFILE_H

#include "Module.h" // BOOL, TRUE, FALSE, DWORD as unixODBC defines them

// Same contract as the installer's SQLGetPrivateProfileString: copies the
// value of `entry` in `section` of `fileName` (or `defaultValue`) into
// `retBuffer` of `retBufferSize` bytes and returns the number of characters
// written. When the installer library or the function is missing, returns 0
// and leaves retBuffer holding the empty text (when it has room for it).
int vornGetPrivateProfileString(const char* section, const char* entry, const char* defaultValue,
                                char* retBuffer, int retBufferSize, const char* fileName);

// The names of the keys of `section` (or, with section NULL, of the sections)
// of `fileName`: each name ended by a NUL, the list ended by an empty name.
// Returns the number of bytes used before the final NUL, 0 when there is none
// or the installer is missing. Never cached by the installer.
int vornGetPrivateProfileKeys(const char* section, char* retBuffer, int retBufferSize,
                              const char* fileName);

// The installer's own calls; FALSE (0) when the library or the function is
// missing.
BOOL vornWritePrivateProfileString(const char* section, const char* entry, const char* value,
                                   const char* fileName);
BOOL vornWriteDSNToIni(const char* dsn, const char* driver);
BOOL vornRemoveDSNFromIni(const char* dsn);
// Posts the error as the only record of the installer's error list.
BOOL vornPostInstallerError(DWORD errorCode, const char* message);
BOOL vornGetConfigMode(UWORD* mode);

// Whether the installer can store `dsn` as a section name: its own rule
// (SQLValidDSN: 1 to 32 bytes, none of []{}(),;?*=!@\), which lets through
// names its writer then trims or splits, and iniTextStorable's. FALSE also
// when the installer is missing. Clears the installer's error record, as
// every installer call does.
BOOL vornValidDSN(const char* dsn);

// The installer's first error record: its code, and its message in `message`
// of `size` bytes (always terminated). 0 and an empty message when there is
// none. Read it right after the failing call: the next call clears it.
DWORD vornInstallerError(char* message, int size);

// When the installer's configuration mode is "system data sources", creates
// the system odbc.ini empty if it does not exist yet: the installer writes
// into it but never creates it. Returns FALSE only when it was missing and
// could not be created.
BOOL vornPrepareSystemOdbcIni();

// Whether the installer's look-up function could be found (for diagnostics).
bool vornProfileAvailable();

#endif
