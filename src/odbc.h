// Library start-up (attach and detach, logging configuration) and the setup
// entry points with the data-source dialog.
#ifndef VORN_ODBC_H
#define VORN_ODBC_H

#include "Dialog.h"
#include "Module.h"

#define LOG_PROPERTIES_NAME "log.properties"
#define LOG_CONFIG_PATH_SIZE 256

// The library's instance handle, stored by the first DllMain call that
// succeeds and never replaced; the setup dialog loads its template from it.
extern HINSTANCE ghModule;

// Configures log4cplus from the property file at `configPath`. A missing or
// unreadable file is reported by log4cplus itself and otherwise ignored.
void InitLogging(const char* configPath);

// --- Data-source setup ------------------------------------------------------

#define DSN_NAME_SIZE 256       // data-source name: 255 characters and a NUL
#define DSN_FIELD_TEXT_MAX 255  // text of a field of its own
#define DSN_EXTRA_TEXT_MAX 1284 // the extra configuration text
#define DSN_ENTRY_KEY_MAX 64
#define DSN_ENTRY_VALUE_MAX 256
#define DSN_EXTRA_PIECES_MAX 20
#define DSN_ENTRIES_MAX 32 // 11 fields, AUTHMODE and the extra pieces

// Driver name that a data source is registered for when the installer gave
// none.
#define VKL_DRIVER_NAME "Orvelo Cloud VKL Driver"

#define DSN_MESSAGE_SIZE 512 // a message of the dialog or for the installer's caller

// What ConfigDSN hands to the dialog: the data source to edit (empty: a new
// one), and the installer's driver name and attribute list. The dialog
// gives back the installer's error of its last refused write (code 0: none),
// for ConfigDSN to post when the dialog ends without saving.
struct DsnSetup {
    char dsn[DSN_NAME_SIZE];
    const char* driver;
    const char* attributes;
    DWORD writeError;
    char writeMessage[DSN_MESSAGE_SIZE];
};

// The last "DSN" pair of an installer attribute list (pairs "KEY=VALUE", each
// ended by a NUL, the list by an empty pair), cut to 255 characters, into the
// cleared 256-byte `dsn`.
void dsnFromAttributes(const char* attributes, char* dsn);

INT_PTR configDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// Fills the dialog from the data source's section of odbc.ini, then from the
// attribute list; keys without a field of their own join the extra text.
void getConfsFromIni(HWND hDlg, const char* dsn, const char* attributes);

// Reads the dialog and writes the data source: 1 when it wrote, 0 when it
// refused (no data-source name or one the installer cannot store, text beyond
// its bounds) or the installer refused a write (then nothing of the section
// is left).
int getConfsFromDlg(HWND hDlg);

#endif
