// Plain-function interface of the query client for the ODBC layer.
#include "navixclient.h"

#include <exception>
#include <new>
#include <string>

#include "NavixLogging.h"

namespace {

bool checkResultSet(NavixQueryResultSet* rs, const char* func) {
    if (rs == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Vorn resultset cannot be NULL.");
        return false;
    }
    return true;
}

// The typed getters all check the set, then hand the cell request over.
template <typename T>
int forwardGetter(NavixQueryResultSet* rs, const char* func,
                  int (NavixQueryResultSet::*getter)(uint32_t, T*, int32_t*, char*, size_t),
                  uint32_t col, T* value, int32_t* isNull) {
    if (!checkResultSet(rs, func)) {
        return 1;
    }
    return (rs->*getter)(col, value, isNull, NULL, 0);
}

// The functions that run something on the service need the connection and
// their one text argument.
bool checkInputs(NavixConnection* conn, const char* text, const char* textMissing,
                 const char* func) {
    if (conn == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Connection cannot be NULL.");
        return false;
    }
    if (text == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "%s", textMissing);
        return false;
    }
    return true;
}

// The functions that create a result set need somewhere to put it and its
// diagnostic.
bool checkOutputs(NavixQueryResultSet** result, DiagRecord* diag, const char* func) {
    if (result == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Result Pointer cannot be NULL.");
        return false;
    }
    if (diag == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Diag message cannot be NULL.");
        return false;
    }
    return true;
}

// An exception while creating a result set: the record says so, and the
// half-made set goes.
int dropOnError(NavixQueryResultSet* rs, NavixQueryResultSet** result, DiagRecord* diag,
                const char* func, const std::exception& e) {
    NAVIX_LOG(NAVIX_ERROR, func, "unexpected error: %s", e.what());
    DiagInfo info;
    info.setException(e);
    fillDiagRecordFrom(info, diag);
    delete rs;
    *result = NULL;
    return 1;
}

// Common ending of the functions that create a result set: the diagnostic is
// copied whatever the outcome; a failed set is destroyed at once.
int handOver(NavixQueryResultSet* rs, int ret, NavixQueryResultSet** result, DiagRecord* diag,
             const char* func, const char* failMsg) {
    rs->fillDiagRecord(diag);
    if (ret == 0 || ret == 2) {
        *result = rs;
        return 0;
    }
    delete rs;
    *result = NULL;
    NAVIX_LOG(NAVIX_ERROR, func, failMsg, ret);
    return 1;
}

} // namespace

NavixConnection* NavixOpenConnection(const ConnProperty* prop, const char* connStr,
                                     DiagRecord* diag) {
    const char* func = "NavixOpenConnection";
    if (prop == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Conn property is NULL");
        return NULL;
    }
    NAVIX_LOG(NAVIX_INFO, func, "Open ODBC connection.");
    NavixConnection* conn = NULL;
    try {
        conn = new (std::nothrow) NavixConnection(prop, connStr);
    } catch (const std::exception&) {
        conn = NULL;
    }
    if (conn == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "new NavixConnection error.");
        if (diag != NULL) {
            DiagInfo info;
            info.set(1, "HY001", "VKL ODBC Memory allocation error.");
            fillDiagRecordFrom(info, diag);
        }
        return NULL;
    }
    int r;
    try {
        r = conn->init();
    } catch (const std::exception& e) {
        NAVIX_LOG(NAVIX_ERROR, func, "unexpected error: %s", e.what());
        conn->diag.setException(e);
        r = 1;
    }
    if (r != 0) {
        if (diag != NULL) {
            conn->fillDiagRecord(diag);
        }
        delete conn;
        NAVIX_LOG(NAVIX_ERROR, func, "Call NavixConnection::init error.");
        return NULL;
    }
    return conn;
}

int NavixCloseConnection(NavixConnection* conn) {
    if (conn == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "NavixCloseConnection", "Navix connection cannot be NULL.");
        return 1;
    }
    delete conn;
    return 0;
}

int NavixExecute(NavixConnection* conn, const char* sql, NavixQueryResultSet** result,
                 DiagRecord* diag) {
    const char* func = "NavixExecute";
    if (!checkInputs(conn, sql, "Query string cannot be NULL.", func) ||
        !checkOutputs(result, diag, func)) {
        return 1;
    }
    NavixQueryResultSet* rs = NULL;
    try {
        NAVIX_LOG(NAVIX_INFO, func, "Execute SQL.");
        rs = new NavixQueryResultSet();
        int ret = rs->runSql(conn, sql);
        return handOver(rs, ret, result, diag, func,
                        "Call NavixQueryResultSet::runSql error, ret = %d");
    } catch (const std::exception& e) {
        return dropOnError(rs, result, diag, func, e);
    }
}

int DBFetch(NavixQueryResultSet* rs) {
    if (!checkResultSet(rs, "DBFetch")) {
        return 1;
    }
    return rs->fetchNext();
}

int DBFillDiagRecord(NavixQueryResultSet* rs, DiagRecord* diag) {
    if (!checkResultSet(rs, "DBFillDiagRecord")) {
        return 1;
    }
    if (diag == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "DBFillDiagRecord", "Diag message cannot be NULL.");
        return 1;
    }
    rs->fillDiagRecord(diag);
    return 0;
}

int DBHasResults(NavixQueryResultSet* rs, int32_t* hasResults) {
    if (!checkResultSet(rs, "DBHasResults")) {
        return 1;
    }
    return rs->hasResults(hasResults);
}

int DBGetColumnCount(NavixQueryResultSet* rs, int32_t* colCount) {
    if (!checkResultSet(rs, "DBGetColumnCount")) {
        return 1;
    }
    return rs->getColumnCount(colCount);
}

int DBGetFieldCell(NavixQueryResultSet* rs, uint32_t col, const std::string** cell,
                   int32_t* typeCode, int32_t* ansi) {
    const char* func = "DBGetFieldCell";
    if (!checkResultSet(rs, func)) {
        return 1;
    }
    if (cell == NULL || typeCode == NULL || ansi == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Output pointers cannot be NULL.");
        return 1;
    }
    const std::string& c = rs->getField(col);
    if (NavixQueryResultSet::isMissingCell(c)) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column index out of bounds.");
        return 1;
    }
    *cell = &c;
    *typeCode = rs->getColumnType(col);
    *ansi = (rs->m_conn != NULL && rs->m_conn->connProperty.charsetFlag == 1) ? 1 : 0;
    return 0;
}

int DBGetFieldAsCString(NavixQueryResultSet* rs, uint32_t col, char* buf, uint32_t bufSize,
                        int32_t* outLen, int32_t* isNull) {
    if (!checkResultSet(rs, "DBGetFieldAsCString")) {
        return 1;
    }
    return rs->getFieldAsCString(col, buf, bufSize, outLen, isNull);
}

int DBGetFieldAsInt(NavixQueryResultSet* rs, uint32_t col, int32_t* value, int32_t* isNull) {
    return forwardGetter(rs, "DBGetFieldAsInt", &NavixQueryResultSet::getFieldAsInt, col, value,
                         isNull);
}

int DBGetFieldAsI8(NavixQueryResultSet* rs, uint32_t col, int8_t* value, int32_t* isNull) {
    return forwardGetter(rs, "DBGetFieldAsI8", &NavixQueryResultSet::getFieldAsI8, col, value,
                         isNull);
}

int DBGetFieldAsLong(NavixQueryResultSet* rs, uint32_t col, int32_t* value, int32_t* isNull) {
    return forwardGetter(rs, "DBGetFieldAsLong", &NavixQueryResultSet::getFieldAsLong, col, value,
                         isNull);
}

int DBGetFieldAsULong(NavixQueryResultSet* rs, uint32_t col, uint32_t* value, int32_t* isNull) {
    return forwardGetter(rs, "DBGetFieldAsULong", &NavixQueryResultSet::getFieldAsULong, col, value,
                         isNull);
}

int DBGetFieldAsI64(NavixQueryResultSet* rs, uint32_t col, int64_t* value, int32_t* isNull) {
    return forwardGetter(rs, "DBGetFieldAsI64", &NavixQueryResultSet::getFieldAsI64, col, value,
                         isNull);
}

int DBGetFieldAsI64U(NavixQueryResultSet* rs, uint32_t col, uint64_t* value, int32_t* isNull) {
    return forwardGetter(rs, "DBGetFieldAsI64U", &NavixQueryResultSet::getFieldAsI64U, col, value,
                         isNull);
}

int DBGetFieldAsDouble(NavixQueryResultSet* rs, uint32_t col, double* value, int32_t* isNull) {
    return forwardGetter(rs, "DBGetFieldAsDouble", &NavixQueryResultSet::getFieldAsDouble, col,
                         value, isNull);
}

int32_t DBGetTypeDisplaySize(int32_t clientType) {
    switch (clientType) {
    case CLIENT_TYPE_BOOLEAN:
        return 1;
    case CLIENT_TYPE_TINYINT:
        return 4;
    case CLIENT_TYPE_SMALLINT:
        return 6;
    case CLIENT_TYPE_INT:
        return 11;
    case CLIENT_TYPE_BIGINT:
        return 20;
    case CLIENT_TYPE_FLOAT:
        return 16;
    case CLIENT_TYPE_DOUBLE:
        return 24;
    case CLIENT_TYPE_DECIMAL:
        return 24;
    default:
        return 334;
    }
}

int32_t DBGetTypeOctetLength(int32_t clientType) {
    switch (clientType) {
    case CLIENT_TYPE_BOOLEAN:
        return 1;
    case CLIENT_TYPE_TINYINT:
        return 1;
    case CLIENT_TYPE_SMALLINT:
        return 2;
    case CLIENT_TYPE_INT:
        return 4;
    case CLIENT_TYPE_BIGINT:
        return 8;
    case CLIENT_TYPE_FLOAT:
        return 4;
    case CLIENT_TYPE_DOUBLE:
        return 8;
    case CLIENT_TYPE_DECIMAL:
        return 8;
    default:
        return 334;
    }
}

int DBTables(NavixConnection* conn, const char* pattern, NavixQueryResultSet** result,
             DiagRecord* diag) {
    const char* func = "DBTables";
    if (!checkInputs(conn, pattern, "tbl_search_pattern cannot be NULL.", func) ||
        !checkOutputs(result, diag, func)) {
        return 1;
    }
    NavixTableResultSet* rs = NULL;
    try {
        rs = new NavixTableResultSet();
        int ret = rs->listTables(conn, pattern);
        return handOver(rs, ret, result, diag, func,
                        "Call NavixTableResultSet::listTables error, ret = %d");
    } catch (const std::exception& e) {
        return dropOnError(rs, result, diag, func, e);
    }
}

int DBColumns(NavixConnection* conn, const char* tableName, NavixQueryResultSet** result,
              DiagRecord* diag) {
    const char* func = "DBColumns";
    if (!checkInputs(conn, tableName, "tableName cannot be NULL.", func) ||
        !checkOutputs(result, diag, func)) {
        return 1;
    }
    NavixColumnResultSet* rs = NULL;
    try {
        std::string database = conn->database();
        rs = new NavixColumnResultSet();
        int ret = rs->describeTable(conn, database, tableName);
        return handOver(rs, ret, result, diag, func,
                        "Call NavixColumnResultSet::describeTable error, ret = %d");
    } catch (const std::exception& e) {
        return dropOnError(rs, result, diag, func, e);
    }
}

int DBGetTypeInfo(int32_t sqlType, NavixQueryResultSet** result, DiagRecord* diag) {
    const char* func = "DBGetTypeInfo";
    if (!checkOutputs(result, diag, func)) {
        return 1;
    }
    NavixTypeInfoResultSet* rs = NULL;
    try {
        rs = new NavixTypeInfoResultSet();
        int ret = rs->getTypeInfo(sqlType);
        return handOver(rs, ret, result, diag, func,
                        "Call NavixTypeInfoResultSet::getTypeInfo error, ret = %d");
    } catch (const std::exception& e) {
        return dropOnError(rs, result, diag, func, e);
    }
}
