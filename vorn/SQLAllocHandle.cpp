#include "handles.h"

extern "C" SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT handleType, SQLHANDLE inputHandle,
                                            SQLHANDLE* outputHandle) {
    switch (handleType) {
    case SQL_HANDLE_ENV:
        return _AllocEnv(outputHandle);
    case SQL_HANDLE_DBC:
        return _AllocConnect(inputHandle, outputHandle);
    case SQL_HANDLE_STMT:
        return _AllocStmt(inputHandle, outputHandle);
    case SQL_HANDLE_DESC:
        // Descriptors are not kept; the caller's variable stays as it was.
        return SQL_SUCCESS;
    default:
        return SQL_ERROR;
    }
}
