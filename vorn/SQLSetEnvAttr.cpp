#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute,
                                           SQLPOINTER ValuePtr, SQLINTEGER StringLength)
{
    int value = (int)(intptr_t)ValuePtr;
    NAVIX_LOG(NAVIX_INFO, "SQLSetEnvAttr", "Attribute = %d, Value = %d", (int)Attribute, value);

    EnvHandle* env = (EnvHandle*)EnvironmentHandle;
    if (env == NULL) {
        // Pooling is set before any environment exists; accept it quietly.
        if (Attribute == SQL_ATTR_CONNECTION_POOLING || Attribute == SQL_ATTR_CP_MATCH) {
            return SQL_SUCCESS;
        }
        return SQL_INVALID_HANDLE;
    }
    switch (Attribute) {
    case SQL_ATTR_ODBC_VERSION:
        if (value == SQL_OV_ODBC2 || value == SQL_OV_ODBC3) {
            env->odbcVersion = value;
            return SQL_SUCCESS;
        }
        NAVIX_LOG(NAVIX_ERROR, "SQLSetEnvAttr", "Unrecognized ODBC version = %d", value);
        return SQL_ERROR;
    case SQL_ATTR_CONNECTION_POOLING:
    case SQL_ATTR_CP_MATCH:
    case SQL_ATTR_OUTPUT_NTS:
        return SQL_ERROR;
    default:
        NAVIX_LOG(NAVIX_ERROR, "SQLSetEnvAttr", "Invalid Environment Attribute=%d", (int)Attribute);
        return SQL_ERROR;
    }
}
