// One start-of-call step and one failure path for every entry point.
//
// A call on a handle starts with a guard (VornEnvCall, VornDbcCall,
// VornStmtCall): it checks the handle, holds the handle's lock for the whole
// call and clears the handle's diagnostic record, so that a failure never
// shows a record of an earlier call. Only the calls that read diagnostics
// keep the record.
//
// A failure is reported by one helper per handle kind (_EnvFail, _DbcFail,
// _StmtFail): it formats the text once, fills the record that
// SQLGetDiagRec hands out, pushes the text into the handle's message log,
// logs it, and returns the ODBC result it was given. Each failure site is one
// line:
//
//     return VORN_STMT_ERROR(stmt, "_GetData", SQLSTATE_BAD_COLUMN, "Column out of bounds: %u", n);
#ifndef VORN_DIAG_H
#define VORN_DIAG_H

#include <pthread.h>
#include <stdint.h>
#include <sql.h>
#include <sqlext.h>

#include "handles.h"

// SQLSTATEs of the ODBC layer's own diagnostics.
#define SQLSTATE_WARNING "01000"         // general warning
#define SQLSTATE_TRUNCATED "01004"       // string data, right-truncated
#define SQLSTATE_FRACTION_CUT "01S07"    // fractional truncation
#define SQLSTATE_NO_CONVERSION "07006"   // restricted data type attribute violation
#define SQLSTATE_BAD_COLUMN "07009"      // invalid descriptor (column) index
#define SQLSTATE_CONNECT_FAILED "08001"  // client unable to establish connection
#define SQLSTATE_CONNECTED "08002"       // connection name in use
#define SQLSTATE_NOT_CONNECTED "08003"   // connection not open
#define SQLSTATE_LINK_FAILURE "08S01"    // communication link failure
#define SQLSTATE_NEED_INDICATOR "22002"  // indicator variable required but not supplied
#define SQLSTATE_OUT_OF_RANGE "22003"    // numeric value out of range
#define SQLSTATE_BAD_DATETIME "22007"    // invalid datetime format
#define SQLSTATE_NOT_A_NUMBER "22018"    // invalid character value for cast
#define SQLSTATE_CURSOR_STATE "24000"    // invalid cursor state
#define SQLSTATE_GENERAL "HY000"         // general error
#define SQLSTATE_NO_MEMORY "HY001"       // memory allocation error
#define SQLSTATE_NULL_POINTER "HY009"    // invalid use of null pointer
#define SQLSTATE_SEQUENCE "HY010"        // function sequence error
#define SQLSTATE_BAD_ATTR_VALUE "HY024"  // invalid attribute value
#define SQLSTATE_BAD_LENGTH "HY090"      // invalid string or buffer length
#define SQLSTATE_BAD_ATTR "HY092"        // invalid attribute/option identifier
#define SQLSTATE_BAD_INFO_TYPE "HY096"   // information type out of range
#define SQLSTATE_FETCH_TYPE "HY106"      // fetch type out of range
#define SQLSTATE_NOT_IMPLEMENTED "HYC00" // optional feature not implemented

// The record as a new handle has it: no diagnostic (SQLGetDiagRec answers
// SQL_NO_DATA).
void _DiagClear(DiagRecord* record);
// Fills a record: the SQLSTATE (five characters), the native code and the
// message, each cut to its field.
void _DiagSet(DiagRecord* record, const char* sqlstate, int32_t native, const char* message);
// True when the record holds a diagnostic that says something went wrong or
// needs attention: an SQLSTATE that is not the success class "00".
bool _DiagHolds(const DiagRecord* record);

// The failure helpers. rc is returned unchanged; SQL_ERROR logs at ERROR,
// every other result at WARN. The message-log entry has severity 1, with the
// source file as module and function, as every message-log entry of the
// ODBC layer.
SQLRETURN _EnvFail(EnvHandle* env, const char* file, int line, const char* func, SQLRETURN rc,
                   const char* sqlstate, int32_t native, const char* fmt, ...)
    __attribute__((format(printf, 8, 9)));
SQLRETURN _DbcFail(DbcHandle* dbc, const char* file, int line, const char* func, SQLRETURN rc,
                   const char* sqlstate, int32_t native, const char* fmt, ...)
    __attribute__((format(printf, 8, 9)));
SQLRETURN _StmtFail(StmtHandle* stmt, const char* file, int line, const char* func, SQLRETURN rc,
                    const char* sqlstate, int32_t native, const char* fmt, ...)
    __attribute__((format(printf, 8, 9)));

// After the query client failed a call: the client fills the handle's record
// itself; when it left none there (a failure it had no words for), the text
// given here goes in with HY000. Either way the text is logged and pushed as
// by the helpers above. Returns SQL_ERROR.
SQLRETURN _DbcClientFail(DbcHandle* dbc, const char* file, int line, const char* func,
                         const char* fmt, ...) __attribute__((format(printf, 5, 6)));
SQLRETURN _StmtClientFail(StmtHandle* stmt, const char* file, int line, const char* func,
                          const char* fmt, ...) __attribute__((format(printf, 5, 6)));

#define VORN_ENV_ERROR(env, func, state, ...)                                                      \
    _EnvFail((env), __FILE__, __LINE__, (func), SQL_ERROR, (state), 0, __VA_ARGS__)
#define VORN_DBC_ERROR(dbc, func, state, ...)                                                      \
    _DbcFail((dbc), __FILE__, __LINE__, (func), SQL_ERROR, (state), 0, __VA_ARGS__)
#define VORN_DBC_INFO(dbc, func, state, ...)                                                       \
    _DbcFail((dbc), __FILE__, __LINE__, (func), SQL_SUCCESS_WITH_INFO, (state), 0, __VA_ARGS__)
#define VORN_STMT_ERROR(stmt, func, state, ...)                                                    \
    _StmtFail((stmt), __FILE__, __LINE__, (func), SQL_ERROR, (state), 0, __VA_ARGS__)
#define VORN_STMT_INFO(stmt, func, state, ...)                                                     \
    _StmtFail((stmt), __FILE__, __LINE__, (func), SQL_SUCCESS_WITH_INFO, (state), 0, __VA_ARGS__)
#define VORN_DBC_CLIENT_ERROR(dbc, func, ...)                                                      \
    _DbcClientFail((dbc), __FILE__, __LINE__, (func), __VA_ARGS__)
#define VORN_STMT_CLIENT_ERROR(stmt, func, ...)                                                    \
    _StmtClientFail((stmt), __FILE__, __LINE__, (func), __VA_ARGS__)

// The column-number check of every entry point that takes a column: the
// number must lie in 1 to the statement's column count. Otherwise records
// 07009 "SQL_ERROR Column <n> is out of range. Range is 1 - <count>" (or, with
// a short prefix given, the prefix and the number) and returns false.
bool _StmtColumnInRange(StmtHandle* stmt, const char* file, int line, const char* func,
                        SQLUSMALLINT column, const char* shortPrefix = NULL);
#define VORN_COLUMN_IN_RANGE(stmt, func, column)                                                   \
    _StmtColumnInRange((stmt), __FILE__, __LINE__, (func), (column))
#define VORN_COLUMN_IN_RANGE_AS(stmt, func, column, prefix)                                        \
    _StmtColumnInRange((stmt), __FILE__, __LINE__, (func), (column), (prefix))

// Handle locks: recursive, so that a worker may take the lock of a handle
// whose call already holds it. Order: statement before connection before
// environment; a list (the connections of an environment, the statements of
// a connection) changes only under its owner's lock.
void _HandleLockInit(pthread_mutex_t* lock);
void _HandleLockDestroy(pthread_mutex_t* lock);

class VornHandleLock {
  public:
    explicit VornHandleLock(pthread_mutex_t* lock) : lock_(lock) { pthread_mutex_lock(lock_); }
    ~VornHandleLock() { pthread_mutex_unlock(lock_); }
    VornHandleLock(const VornHandleLock&) = delete;
    VornHandleLock& operator=(const VornHandleLock&) = delete;

  private:
    pthread_mutex_t* lock_;
};

// The start-of-call guards. `ok()` is false for a NULL handle (and for a
// connection or statement without its extras record); the caller then
// answers SQL_INVALID_HANDLE. Otherwise the handle is locked until the guard
// goes out of scope and its record is cleared unless `keepDiag` is set.
// The calls that free a handle take no guard: they lock and unlock the
// handle themselves before its lock is destroyed.
template <typename H> class VornCall {
  public:
    VornCall(void* handle, bool keepDiag = false) : h(static_cast<H*>(handle)) {
        if (h != NULL) {
            pthread_mutex_lock(&h->lock);
            if (!keepDiag) {
                _DiagClear(&h->diag);
            }
        }
    }
    ~VornCall() {
        if (h != NULL) {
            pthread_mutex_unlock(&h->lock);
        }
    }
    VornCall(const VornCall&) = delete;
    VornCall& operator=(const VornCall&) = delete;

    bool ok() const;

    H* const h;
};

template <> inline bool VornCall<EnvHandle>::ok() const {
    return h != NULL;
}
template <> inline bool VornCall<DbcHandle>::ok() const {
    return h != NULL && h->extras != NULL;
}
template <> inline bool VornCall<StmtHandle>::ok() const {
    return h != NULL && h->extras != NULL;
}

typedef VornCall<EnvHandle> VornEnvCall;
typedef VornCall<DbcHandle> VornDbcCall;
typedef VornCall<StmtHandle> VornStmtCall;

// Declares `var` as the handle of the call and returns SQL_INVALID_HANDLE
// from the entry point when there is none.
#define VORN_ENTER(Kind, var, handle)                                                              \
    Vorn##Kind##Call _vornCall((handle));                                                          \
    if (!_vornCall.ok()) {                                                                         \
        return SQL_INVALID_HANDLE;                                                                 \
    }                                                                                              \
    Kind##Handle* const var = _vornCall.h

#endif
