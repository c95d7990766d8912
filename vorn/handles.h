// The driver's handle records. An ODBC handle value is the address of its
// record; the driver tests it only for NULL.
#ifndef VORN_HANDLES_H
#define VORN_HANDLES_H

#include <pthread.h>
#include <stdint.h>
#include <sql.h>
#include <sqlext.h>

#include "DiagInfo.h"
#include "MsgLog.h"

#define HANDLE_MSG_SIZE 4096
#define CURSOR_NAME_SIZE 100

struct DbcHandle;
struct StmtHandle;
struct ConnInfo;
struct ColumnHeader;
struct ColumnBinding;
class NavixConnection;
class NavixQueryResultSet;

struct EnvHandle {
    DbcHandle* firstDbc;
    DbcHandle* lastDbc;
    char msg[HANDLE_MSG_SIZE]; // scratch text for message-log pushes
    MsgLog* msgLog;            // owned; NULL when no log could be opened
    int32_t odbcVersion;       // 0 until SQLSetEnvAttr stores 2 or 3
    DiagRecord diag;           // the latest failure of a call on the environment
    pthread_mutex_t lock;      // held by every call on it; guards its connection list
};

struct hDbcExtras {
    ConnInfo* connInfo;    // owned; NULL while not connected
    NavixConnection* conn; // owned through NavixCloseConnection
};

struct DbcHandle {
    DbcHandle* prev;
    DbcHandle* next;
    EnvHandle* env; // not owned
    StmtHandle* firstStmt;
    StmtHandle* lastStmt;
    char msg[HANDLE_MSG_SIZE];
    MsgLog* msgLog;
    DiagRecord diag;      // all zero until the client fills it
    int32_t connected;    // 1 while the client connection is held
    hDbcExtras* extras;   // exists for the handle's whole life
    pthread_mutex_t lock; // held by every call on it; guards its statement list
};

struct hStmtExtras {
    NavixQueryResultSet* resultSet; // owned; NULL before the first execution
    ColumnHeader* columnHeaders;    // owned array; NULL when there are none
    uint32_t columnCount;
    int32_t rowCurrent;          // 1 while a fetched row of the result is current
    uint32_t partColumn;         // column SQLGetData handed out last (1-based); 0 none
    ColumnBinding* keptBindings; // owned; the bindings SQL_CLOSE kept for the next result
    uint32_t keptCount;          // entries in keptBindings
    SQLULEN* rowsFetched;        // SQL_ATTR_ROWS_FETCHED_PTR; NULL when not set
};

struct StmtHandle {
    StmtHandle* prev;
    StmtHandle* next;
    DbcHandle* dbc; // not owned
    char cursorName[CURSOR_NAME_SIZE];
    char* sqlText; // owned copy of the prepared text; NULL when none
    char msg[HANDLE_MSG_SIZE];
    MsgLog* msgLog;
    DiagRecord diag;
    hStmtExtras* extras;  // exists for the handle's whole life
    pthread_mutex_t lock; // held by every call on it
};

// Workers behind the allocate and free entry points; results are ODBC codes.
SQLRETURN _AllocEnv(SQLHANDLE* outputHandle);
SQLRETURN _AllocConnect(SQLHENV environmentHandle, SQLHANDLE* outputHandle);
SQLRETURN _AllocStmt(SQLHDBC connectionHandle, SQLHANDLE* outputHandle);
SQLRETURN _FreeEnv(SQLHENV environmentHandle);
SQLRETURN _FreeConnect(SQLHDBC connectionHandle);
// Unlinks and frees a closed connection without statements checks.
SQLRETURN _FreeDbc(DbcHandle* dbc);
// SQL_SUCCESS, or SQL_ERROR for a NULL record.
SQLRETURN _ReleaseStmt(StmtHandle* stmt);
// Frees every statement of a connection; always 0.
int _ReleaseAllStmts(DbcHandle* dbc);

// Frees the column headers and destroys the result set; leaves extras empty.
int _ReleaseResults(hStmtExtras* extras);

// The client connection a statement runs on; NULL when there is none (the
// client then refuses the call). Read under the connection's lock, as a
// connect or disconnect on another thread changes it.
NavixConnection* _StmtConnection(StmtHandle* stmt);

#endif
