#include "NavixLogging.h"
#include "SQLOdbcApi.h"
#include "_Diag.h"
#include "handles.h"

extern "C" SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute,
                                           SQLPOINTER ValuePtr, SQLINTEGER StringLength) {
    int value = (int)(intptr_t)ValuePtr;
    NAVIX_LOG(NAVIX_INFO, "SQLSetEnvAttr", "Attribute = %d, Value = %d", (int)Attribute, value);

    // Pooling is set before any environment exists; accept it quietly.
    if (EnvironmentHandle == NULL &&
        (Attribute == SQL_ATTR_CONNECTION_POOLING || Attribute == SQL_ATTR_CP_MATCH)) {
        return SQL_SUCCESS;
    }
    VORN_ENTER(Env, env, EnvironmentHandle);
    switch (Attribute) {
    case SQL_ATTR_ODBC_VERSION:
        if (value == SQL_OV_ODBC2 || value == SQL_OV_ODBC3) {
            env->odbcVersion = value;
            return SQL_SUCCESS;
        }
        return VORN_ENV_ERROR(env, "SQLSetEnvAttr", SQLSTATE_BAD_ATTR_VALUE,
                              "Unrecognized ODBC version = %d", value);
    case SQL_ATTR_CONNECTION_POOLING:
    case SQL_ATTR_CP_MATCH:
    case SQL_ATTR_OUTPUT_NTS:
        return VORN_ENV_ERROR(env, "SQLSetEnvAttr", SQLSTATE_NOT_IMPLEMENTED,
                              "SQL_ERROR Environment attribute %d not currently supported",
                              (int)Attribute);
    default:
        return VORN_ENV_ERROR(env, "SQLSetEnvAttr", SQLSTATE_BAD_ATTR,
                              "Invalid Environment Attribute=%d", (int)Attribute);
    }
}
