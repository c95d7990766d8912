#include "_Diag.h"
#include "handles.h"

// The service has no transactions to end. The refusal goes into the record
// of the environment or connection it was asked of; a handle of another
// type, or none, has no record to hold it.
extern "C" SQLRETURN SQL_API SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                        SQLSMALLINT CompletionType) {
    if (Handle == NULL) {
        return SQL_ERROR;
    }
    switch (HandleType) {
    case SQL_HANDLE_ENV: {
        VORN_ENTER(Env, env, Handle);
        return VORN_ENV_ERROR(env, "SQLEndTran", SQLSTATE_NOT_IMPLEMENTED,
                              "SQL_ERROR %s not currently supported", "SQLEndTran");
    }
    case SQL_HANDLE_DBC: {
        VORN_ENTER(Dbc, dbc, Handle);
        return VORN_DBC_ERROR(dbc, "SQLEndTran", SQLSTATE_NOT_IMPLEMENTED,
                              "SQL_ERROR %s not currently supported", "SQLEndTran");
    }
    default:
        return SQL_ERROR;
    }
}
