#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

// No environment attribute can be read; ValuePtr is never written.
extern "C" SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute,
                                           SQLPOINTER ValuePtr, SQLINTEGER BufferLength,
                                           SQLINTEGER* StringLengthPtr) {
    VORN_ENTER(Env, env, EnvironmentHandle);
    VORN_RECORDF(env, 1, "hEnv = $%08lX", VORN_HVAL(env));
    switch (Attribute) {
    case SQL_ATTR_ODBC_VERSION:
    case SQL_ATTR_CONNECTION_POOLING:
    case SQL_ATTR_CP_MATCH:
    case SQL_ATTR_OUTPUT_NTS:
        return VORN_ENV_ERROR(env, "SQLGetEnvAttr", SQLSTATE_NOT_IMPLEMENTED,
                              "SQL_ERROR Environment attribute %d not currently supported",
                              (int)Attribute);
    default:
        return VORN_ENV_ERROR(env, "SQLGetEnvAttr", SQLSTATE_BAD_ATTR,
                              "Invalid Environment Attribute=%d", (int)Attribute);
    }
}
