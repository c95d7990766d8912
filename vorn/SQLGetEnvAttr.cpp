#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"

// No environment attribute can be read; ValuePtr is never written.
extern "C" SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute,
                                           SQLPOINTER ValuePtr, SQLINTEGER BufferLength,
                                           SQLINTEGER* StringLengthPtr)
{
    EnvHandle* env = (EnvHandle*)EnvironmentHandle;
    if (env == NULL) {
        return SQL_INVALID_HANDLE;
    }
    VORN_RECORDF(env, 1, "hEnv = $%08lX", VORN_HVAL(env));
    switch (Attribute) {
    case SQL_ATTR_ODBC_VERSION:
    case SQL_ATTR_CONNECTION_POOLING:
    case SQL_ATTR_CP_MATCH:
    case SQL_ATTR_OUTPUT_NTS:
        return SQL_ERROR;
    default:
        VORN_RECORDF(env, 1, "Invalid Environment Attribute=%d", (int)Attribute);
        return SQL_ERROR;
    }
}
