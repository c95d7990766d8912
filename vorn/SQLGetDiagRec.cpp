#include <string.h>

#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "_StringCopy.h"
#include "handles.h"

SQLRETURN copyDiagRecord(const DiagRecord* record, SQLCHAR* sqlState, SQLINTEGER* nativeErrorPtr,
                         SQLCHAR* messageText, SQLSMALLINT bufferLength,
                         SQLSMALLINT* textLengthPtr) {
    if (nativeErrorPtr != NULL) {
        *nativeErrorPtr = record->nativeCode;
    }
    if (sqlState != NULL) {
        // Always six bytes: a shorter SQLSTATE is padded with NULs.
        size_t n = strnlen(record->sqlState, DIAG_SQLSTATE_SIZE - 1);
        memset(sqlState, 0, DIAG_SQLSTATE_SIZE);
        memcpy(sqlState, record->sqlState, n);
    }
    int64_t len = (int64_t)strnlen(record->message, DIAG_MESSAGE_SIZE - 1);
    if (messageText != NULL) {
        // Sizes of 0 and below write nothing.
        vornCopyStringN((char*)messageText, bufferLength, record->message, len);
    }
    if (textLengthPtr != NULL) {
        *textLengthPtr = (SQLSMALLINT)len;
    }
    if (messageText != NULL && len >= bufferLength) {
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

// A handle holds at most one diagnostic, record 1: the failure of the latest
// call on it, or what the client copied there last.
extern "C" SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                           SQLSMALLINT RecNumber, SQLCHAR* SQLState,
                                           SQLINTEGER* NativeErrorPtr, SQLCHAR* MessageText,
                                           SQLSMALLINT BufferLength, SQLSMALLINT* TextLengthPtr) {
    if (Handle == NULL) {
        return SQL_INVALID_HANDLE;
    }
    if (RecNumber <= 0 || BufferLength < 0) {
        return SQL_ERROR;
    }
    NAVIX_LOG(NAVIX_DEBUG, "SQLGetDiagRec", "Handle Type = %d, Handle = $%08lX, RecordNumber = %d.",
              (int)HandleType, VORN_HVAL(Handle), (int)RecNumber);
    pthread_mutex_t* lock;
    const DiagRecord* record;
    switch (HandleType) {
    case SQL_HANDLE_ENV:
        lock = &((EnvHandle*)Handle)->lock;
        record = &((EnvHandle*)Handle)->diag;
        break;
    case SQL_HANDLE_DBC:
        lock = &((DbcHandle*)Handle)->lock;
        record = &((DbcHandle*)Handle)->diag;
        break;
    case SQL_HANDLE_STMT:
        lock = &((StmtHandle*)Handle)->lock;
        record = &((StmtHandle*)Handle)->diag;
        break;
    default:
        return SQL_INVALID_HANDLE;
    }
    // Reading a diagnostic never changes it.
    VornHandleLock guard(lock);
    // A record that holds nothing (no SQLSTATE) is no diagnostic at all.
    // Handing it out as record 1 would give an empty SQLSTATE, which ODBC
    // does not allow and which makes the driver manager show uninitialised
    // bytes as the message.
    if (RecNumber > 1 || record->sqlState[0] == '\0') {
        return SQL_NO_DATA;
    }
    return copyDiagRecord(record, SQLState, NativeErrorPtr, MessageText, BufferLength,
                          TextLengthPtr);
}
