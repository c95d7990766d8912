// Query result set: statement dispatch, the job flow on the service, paging,
// and the typed view of the current row.
#include "NavixResultSet.h"

#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <chrono>
#include <exception>
#include <new>
#include <thread>
#include <utility>

#include "CellConvert.h"
#include "Charset.h"
#include "ClientText.h"
#include "NavixConnection.h"
#include "NavixLogging.h"
#include "RestApiProxy.h"
#include "RestMessage.h"

namespace {

using clienttext::fieldText;
using clienttext::upperAscii;
using clienttext::withoutComments;

const uint32_t kPageSize = 100;

const char* const kSystemError = "VKL ODBC System ERROR.";
const char* const kNoMemory = "VKL ODBC Memory allocation error.";
const char* const kInvalidSyntax = "VKL ODBC Invalid SQL syntax.";

// The NULL cell of the catalog rows, the same as a JSON null of a result.
const std::string nullCell(navixrest::kNullCell);

// The typed getters read a cell as the C library reads a number: the number
// that leads the text (0 when none), its integer part; a BOOLEAN column
// reads "true" as 1 and any other text as 0.
CellNumber leadingNumber(const std::string& text, bool boolean) {
    CellNumber n = {false, 0, false, false};
    if (boolean) {
        n.magnitude = text == "true" ? 1 : 0;
    } else {
        cellScanNumber(text, &n);
    }
    return n;
}

// atoi/atol of a 32-bit platform, saturating at the range ends.
int32_t toInt32(const CellNumber& n) {
    if (n.negative) {
        return (n.overflow || n.magnitude > (uint64_t)INT32_MAX + 1)
                   ? INT32_MIN
                   : (int32_t)(-(int64_t)n.magnitude);
    }
    return (n.overflow || n.magnitude > INT32_MAX) ? INT32_MAX : (int32_t)n.magnitude;
}

// strtoul of a 32-bit platform: out-of-range magnitudes give UINT32_MAX, a
// minus sign negates in unsigned arithmetic.
uint32_t toUInt32(const CellNumber& n) {
    if (n.overflow || n.magnitude > UINT32_MAX) {
        return UINT32_MAX;
    }
    uint32_t v = (uint32_t)n.magnitude;
    return n.negative ? (uint32_t)(0u - v) : v;
}

// strtoll: saturating at the range ends.
int64_t toInt64(const CellNumber& n) {
    if (n.negative) {
        return (n.overflow || n.magnitude > (uint64_t)INT64_MAX + 1) ? INT64_MIN
                                                                     : (int64_t)(0 - n.magnitude);
    }
    return (n.overflow || n.magnitude > INT64_MAX) ? INT64_MAX : (int64_t)n.magnitude;
}

// strtoull: out-of-range magnitudes give UINT64_MAX, a minus sign negates.
uint64_t toUInt64(const CellNumber& n) {
    if (n.overflow) {
        return UINT64_MAX;
    }
    return n.negative ? 0 - n.magnitude : n.magnitude;
}

// strtod: the leading number, infinite when it is too large for a double.
double toDouble(const std::string& text, bool boolean) {
    if (boolean) {
        return text == "true" ? 1.0 : 0.0;
    }
    CellNumber n;
    size_t used = cellScanNumber(text, &n);
    double d = 0;
    if (used > 0 &&
        cellParseDouble(std::string_view(text).substr(0, used), &d) == CELL_OUT_OF_RANGE) {
        d = n.negative ? -HUGE_VAL : HUGE_VAL;
    }
    return d;
}

// The catalog sets have a fixed number of columns and answer quietly.
int fixedColumnCount(int32_t* colCount, int32_t count) {
    if (colCount == NULL) {
        return 1;
    }
    *colCount = count;
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Column descriptors and type codes

ClientTypeCode clientTypeCodeOf(const std::string& typeName) {
    if (upperAscii(typeName).find("DECIMAL") != std::string::npos) {
        return CLIENT_TYPE_DECIMAL;
    }
    static const struct {
        const char* name;
        ClientTypeCode code;
    } names[] = {
        {"INT", CLIENT_TYPE_INT},           {"STRING", CLIENT_TYPE_STRING},
        {"DOUBLE", CLIENT_TYPE_DOUBLE},     {"DECIMAL", CLIENT_TYPE_DECIMAL},
        {"BOOLEAN", CLIENT_TYPE_BOOLEAN},   {"SHORT", CLIENT_TYPE_SMALLINT},
        {"SMALLINT", CLIENT_TYPE_SMALLINT}, {"BIGINT", CLIENT_TYPE_BIGINT},
        {"LONG", CLIENT_TYPE_BIGINT},       {"TIMESTAMP", CLIENT_TYPE_TIMESTAMP},
        {"CHAR", CLIENT_TYPE_CHAR},         {"VARCHAR", CLIENT_TYPE_VARCHAR},
        {"DATE", CLIENT_TYPE_DATE},         {"TINYINT", CLIENT_TYPE_TINYINT},
        {"FLOAT", CLIENT_TYPE_FLOAT},
    };
    for (const auto& n : names) {
        if (strcasecmpAscii(typeName.c_str(), n.name) == 0) {
            return n.code;
        }
    }
    return CLIENT_TYPE_UNKNOWN;
}

ColumnDesc::ColumnDesc(const std::string& columnName, const std::string& serviceTypeName)
    : name(columnName), typeName(serviceTypeName), typeCode(clientTypeCodeOf(serviceTypeName)) {}

ColumnDesc::ColumnDesc(const std::string& columnName, const std::string& serviceTypeName,
                       ClientTypeCode code)
    : name(columnName), typeName(serviceTypeName), typeCode(code) {}

// ---------------------------------------------------------------------------
// Construction and the virtual column operations

NavixQueryResultSet::NavixQueryResultSet()
    : m_submitTime(0), m_curPage(1), m_icolNum(0), m_fetch_idx(0), m_irowNum(0), m_delivered(0),
      diag(), m_conn(NULL) {}

NavixQueryResultSet::~NavixQueryResultSet() {
    for (ColumnDesc* c : m_columns) {
        delete c;
    }
    m_columns.clear();
}

const std::string& NavixQueryResultSet::missingCell() {
    static const std::string missing;
    return missing;
}

int NavixQueryResultSet::getColumnCount(int32_t* colCount, char*, size_t) {
    if (colCount == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::getColumnCount",
                  "Pointer to col_count (output) cannot be NULL.");
        return 1;
    }
    *colCount = (int32_t)m_columns.size();
    NAVIX_LOG(NAVIX_DEBUG, "NavixQueryResultSet::getColumnCount", "Get Column Count = %d",
              *colCount);
    return 0;
}

const std::string& NavixQueryResultSet::getColumnName(uint32_t i) {
    return i < m_columns.size() ? m_columns[i]->name : emptyValue;
}

const std::string& NavixQueryResultSet::getColumnTypeName(uint32_t i) {
    return i < m_columns.size() ? m_columns[i]->typeName : emptyValue;
}

ClientTypeCode NavixQueryResultSet::getColumnType(uint32_t i) {
    return i < m_columns.size() ? m_columns[i]->typeCode : CLIENT_TYPE_UNKNOWN;
}

const std::string& NavixQueryResultSet::getField(uint32_t i) {
    return i < m_curRow.size() ? m_curRow[i] : missingCell();
}

void NavixQueryResultSet::fillDiagRecord(DiagRecord* record) const {
    fillDiagRecordFrom(diag, record);
}

// ---------------------------------------------------------------------------
// Statement dispatch

int NavixQueryResultSet::runSql(NavixConnection* conn, const std::string& sql) {
    try {
        if (conn == NULL) {
            diag.set(1, "HY000", kSystemError);
            NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::runSql", "connection cannot be NULL");
            return 1;
        }
        m_conn = conn;
        std::string stmt;
        if (!toUtf8(sql, &stmt)) {
            return 1;
        }
        return runUtf8Sql(stmt);
    } catch (const std::exception& e) {
        diag.setException(e);
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::runSql", "unexpected error: %s", e.what());
        return 1;
    }
}

bool NavixQueryResultSet::toUtf8(const std::string& text, std::string* utf8) {
    if (m_conn == NULL || m_conn->connProperty.charsetFlag != 1) {
        *utf8 = text;
        return true;
    }
    // Each code-page byte yields at most one character of at most four UTF-8
    // bytes, so this buffer always fits the converted text.
    size_t need = text.size() * 4 + 1;
    std::vector<char> buf;
    if (need <= (size_t)INT_MAX) {
        try {
            buf.assign(need, '\0');
        } catch (const std::bad_alloc&) {
            buf.clear();
        }
    }
    if (buf.empty()) {
        diag.set(1, "HY001", kNoMemory);
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::runSql", "new sql failed");
        return false;
    }
    if (ConvertANSI2UTF8(text.c_str(), buf.data(), (int)need) == 0) {
        diag.set(1, "HY000", "VKL ODBC Statement text cannot be converted to UTF-8.");
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::runSql", "query_str convert to uft8 failed");
        return false;
    }
    *utf8 = buf.data();
    return true;
}

int NavixQueryResultSet::runUtf8Sql(const std::string& sql) {
    // Read only once the text is UTF-8: in a double-byte code page the second
    // byte of a character may be a quote, a backslash or a backtick.
    std::string stmt = clienttext::trimmedStatement(sql);
    if (stmt.empty()) {
        diag.set(1, "42000", "VKL ODBC Empty statement.");
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::runSql", "query_str cannot be NULL");
        return 1;
    }
    NAVIX_LOG(NAVIX_DEBUG, "NavixQueryResultSet::runSql", "run SQL: %s", stmt.c_str());

    // USE is known by its word alone: whatever follows it, a USE that is not
    // one name must fail here, never reach the service.
    if (clienttext::isUseStatement(stmt)) {
        NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::runSql", "The SQL is USE DATABASE.");
        return procUseStatement(stmt);
    }
    size_t space = stmt.find(' ');
    if (space != std::string::npos && upperAscii(stmt.substr(0, space)) == "SET") {
        // A setting keeps its value as written, double quotes included.
        NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::runSql", "The SQL is SET CONF.");
        return procSetStatement(stmt);
    }
    return runSqlOnRest(clienttext::backtickIdentifierQuotes(stmt));
}

int NavixQueryResultSet::procSetStatement(const std::string& sql) {
    // A comment is no part of the setting.
    std::string conf = withoutComments(sql.size() > 3 ? sql.substr(3) : std::string());
    if (m_conn != NULL && m_conn->updateServerConfMap(conf)) {
        m_conn->rebuildServerConfList();
        return 0;
    }
    diag.set(1, "01000", kInvalidSyntax);
    NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::procSetStatement", "conf format error.");
    return 1;
}

int NavixQueryResultSet::procUseStatement(const std::string& statement) {
    // Exactly one name: a second word or a second statement is no name to
    // switch to, and nothing of it is run.
    std::string name;
    if (m_conn == NULL || !clienttext::useStatementName(statement.substr(3), &name)) {
        diag.set(1, "01000", kInvalidSyntax);
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::procUseStatement",
                  "use database syntax error.");
        return 1;
    }
    NAVIX_LOG(NAVIX_DEBUG, "NavixQueryResultSet::procUseStatement", "dbname = %s, name lenght = %d",
              name.c_str(), (int)name.size());
    // Kept whole: a name cut to a field would send every later job to
    // another database.
    m_conn->setDatabase(name);
    return 0;
}

// ---------------------------------------------------------------------------
// Job flow

int NavixQueryResultSet::runSqlOnRest(const std::string& sql) {
    if (m_conn == NULL || m_conn->restApi == NULL) {
        diag.set(1, "HY000", kSystemError);
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::runSqlOnRest", "Rest APi call error, ret = %d",
                  -1);
        return 1;
    }
    const ConnProperty& prop = m_conn->connProperty;
    navixrest::SubmitJobReq req(sql, m_conn->database(), fieldText(prop.QUEUENAME),
                                m_conn->serverConfSnapshot());
    navixrest::SubmitJobResp resp;
    int r = m_conn->restApi->call(req, resp);
    if (r != 0) {
        diag.setCallError(resp.error, false);
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::runSqlOnRest", "Rest APi call error, ret = %d",
                  r);
        return 1;
    }
    if (!resp.isSuccess) {
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::runSqlOnRest",
                  "Submit job, VKL Service retun error: %s", resp.message.c_str());
        diag.setServiceError(resp.message.c_str());
        return 1;
    }
    m_submitTime = (int64_t)time(NULL);
    m_jobId = resp.job_id;
    if (resp.job_type == "QUERY") {
        NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::runSqlOnRest", "run QUERY job");
        return procQueryStatement(resp);
    }
    if (resp.job_type == "DDL" || resp.job_type == "DCL") {
        NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::runSqlOnRest", "run DDL/DCL job");
        return procSyncStatement(resp);
    }
    NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::runSqlOnRest", "run IMPORT/EXPORT/INSERT job");
    return procAsyncStatement(resp);
}

int NavixQueryResultSet::procQueryStatement(navixrest::SubmitJobResp& resp) {
    if (m_conn != NULL && m_conn->isSyncMode() && resp.hasRows) {
        return procSyncStatement(resp);
    }
    if (procAsyncStatement(resp) != 0) {
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::procQueryStatement", "get job status error");
        return 1;
    }
    return fetchSinglePageResult(resp.job_id);
}

int NavixQueryResultSet::procSyncStatement(navixrest::SubmitJobResp& resp) {
    NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::procSyncStatement",
              "This sql is run in sync mode, job id = %s", resp.job_id.c_str());
    // The columns come first: an empty answer still describes its result,
    // as an empty first page of a polled job does.
    if (addColumns(resp.schema, "NavixQueryResultSet::procSyncStatement") != 0 ||
        checkRows(resp.rows, "the submit answer", "NavixQueryResultSet::procSyncStatement") != 0) {
        return 1;
    }
    if (resp.rows.empty()) {
        NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::procSyncStatement", "Do not have result.");
        return 2;
    }
    m_ResultRows.insert(m_ResultRows.end(), resp.rows.begin(), resp.rows.end());
    m_irowNum = m_ResultRows.size();
    NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::procSyncStatement",
              "fetch query results, column num = %d, row num = %llu", (int)m_icolNum,
              (unsigned long long)m_irowNum);
    return 0;
}

int NavixQueryResultSet::addColumns(const std::vector<navixrest::SchemaField>& schema,
                                    const char* func) {
    // ODBC counts columns in an SQLSMALLINT: a result wider than that could
    // only be described with a wrong count.
    if (schema.size() > (size_t)INT16_MAX) {
        return unreadableAnswer(func, "the result has " + std::to_string(schema.size()) +
                                          " columns, more than " + std::to_string(INT16_MAX) +
                                          " that ODBC can count");
    }
    for (const navixrest::SchemaField& f : schema) {
        NAVIX_LOG(NAVIX_INFO, func, "Get column, name = %s, type = %s", f.name.c_str(),
                  f.type.c_str());
        ColumnDesc* c = new (std::nothrow) ColumnDesc(f.name, f.type);
        if (c == NULL) {
            diag.set(1, "HY001", kNoMemory);
            NAVIX_LOG(NAVIX_ERROR, func, "new column desc failure.");
            return 1;
        }
        m_columns.push_back(c);
    }
    m_icolNum = (uint32_t)m_columns.size();
    return 0;
}

int NavixQueryResultSet::checkRows(const std::vector<NavixRow>& rows, const std::string& where,
                                   const char* func) {
    // A cell beyond the columns has no column to be read through: the row
    // would lose it in silence. (A missing cell fails when it is read.)
    if (!rows.empty() && m_columns.empty()) {
        return unreadableAnswer(func, where + " holds " + std::to_string(rows.size()) +
                                          " rows but the result has no columns");
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].size() > m_columns.size()) {
            return unreadableAnswer(func, "row " + std::to_string(i + 1) + " of " + where +
                                              " holds " + std::to_string(rows[i].size()) +
                                              " cells but the result has " +
                                              std::to_string(m_columns.size()) + " columns");
        }
    }
    return 0;
}

int NavixQueryResultSet::unreadableAnswer(const char* func, const std::string& reason) {
    navixrest::CallError error;
    error.kind = navixrest::CallError::UNREADABLE;
    error.text = reason;
    diag.setCallError(error, false);
    NAVIX_LOG(NAVIX_ERROR, func, "%s", diag.message.c_str());
    return 1;
}

bool NavixQueryResultSet::isJobTimeout(const std::string& statusJobId) {
    double elapsed = difftime(time(NULL), (time_t)m_submitTime);
    NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::isJobTimeout", "Job is run %.f seconds", elapsed);
    if (elapsed > (double)m_conn->connProperty.jobTimeout) {
        diag.set(3, "HY000", "VKL Service Response Time Out.");
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::isJobTimeout",
                  "VKL Service run job too long time, Job id = %s", statusJobId.c_str());
        return true;
    }
    return false;
}

int NavixQueryResultSet::procAsyncStatement(navixrest::SubmitJobResp& resp) {
    NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::procAsyncStatement",
              "This sql is run in async mode, job id = %s", resp.job_id.c_str());
    if (resp.job_id.empty()) {
        // Without an id there is no job to wait for or to read.
        return unreadableAnswer("NavixQueryResultSet::procAsyncStatement",
                                "the submit answer has no job_id");
    }
    if (navixrest::isDotSegment(resp.job_id)) {
        // A dot segment would take the status and result requests to
        // another path of the service.
        return unreadableAnswer("NavixQueryResultSet::procAsyncStatement",
                                "the submit answer's job_id is a dot segment");
    }
    if (m_conn == NULL || m_conn->restApi == NULL) {
        diag.set(1, "HY000", kSystemError);
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::procAsyncStatement",
                  "Call Rest APi get job status error, ret = %d", -1);
        return 1;
    }
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        navixrest::JobStatusReq req(resp.job_id);
        navixrest::JobStatusResp status;
        int r = m_conn->restApi->call(req, status);
        if (r != 0) {
            diag.setCallError(status.error, false);
            NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::procAsyncStatement",
                      "Call Rest APi get job status error, ret = %d", r);
            return 1;
        }
        if (!status.isSuccess) {
            NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::procAsyncStatement",
                      "Get job status, VKL Service retun error: %s", status.message.c_str());
            diag.setServiceError(status.message.c_str());
            return 1;
        }
        if (status.status == "FAILED" || status.status == "CANCELLED") {
            NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::procAsyncStatement",
                      "Get job status, Job run failed, job id = %s", status.job_id.c_str());
            diag.setServiceError(status.message.c_str());
            return 1;
        }
        if (status.status == "FINISHED") {
            NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::procAsyncStatement",
                      "Get job status, Job run finished, job id = %s", resp.job_id.c_str());
            return 0;
        }
        if (isJobTimeout(status.job_id)) {
            return 1;
        }
    }
}

int NavixQueryResultSet::fetchSinglePageResult(const std::string& jobId) {
    const char* func = "NavixQueryResultSet::fetchSinglePageResult";
    NAVIX_LOG(NAVIX_INFO, func, "Fetch job result, job id = %s, current page = %d", jobId.c_str(),
              m_curPage);
    if (m_conn == NULL || m_conn->restApi == NULL) {
        diag.set(1, "HY000", kSystemError);
        NAVIX_LOG(NAVIX_ERROR, func, "Call Rest APi get job result error, ret = %d", -1);
        return 1;
    }
    navixrest::GetJobResuleReq req(jobId, m_curPage);
    navixrest::GetJobResuleResp resp;
    int r = m_conn->restApi->call(req, resp);
    if (r != 0) {
        // Also an unreadable page: it fails the fetch, it never ends the rows.
        diag.setCallError(resp.error, false);
        NAVIX_LOG(NAVIX_ERROR, func, "Call Rest APi get job result error, ret = %d", r);
        return 1;
    }
    if (!resp.isSuccess) {
        NAVIX_LOG(NAVIX_ERROR, func, "Get job result, VKL Service retun error: %s",
                  resp.message.c_str());
        diag.setServiceError(resp.message.c_str());
        return 1;
    }
    // A negative count from the service means no rows, not an enormous count.
    const uint64_t pageCount = resp.row_count > 0 ? (uint64_t)resp.row_count : 0;
    if (m_curPage == 1) {
        if (addColumns(resp.schema, func) != 0) {
            return 1;
        }
        m_irowNum = pageCount;
    }
    // A later page's own count holds it too: a page may hold no more rows
    // than the smaller of the two leaves, stated as the service sent it (a
    // count of -1 leaves room for none); on the first page m_irowNum is
    // never below the page's count.
    const std::string page = "page " + std::to_string(m_curPage);
    const int64_t count = resp.row_count < (int64_t)m_irowNum ? resp.row_count : (int64_t)m_irowNum;
    const uint64_t room = count > (int64_t)m_delivered ? (uint64_t)count - m_delivered : 0;
    if (resp.rows.size() > room) {
        // Rows beyond what the result's own count leaves for this page:
        // handing them out or dropping them would both be a guess.
        return unreadableAnswer(func, page + " holds " + std::to_string(resp.rows.size()) +
                                          " rows but the row count of " + std::to_string(count) +
                                          " leaves room for " + std::to_string(room));
    }
    if (checkRows(resp.rows, page, func) != 0) {
        return 1;
    }
    if (resp.rows.empty() || resp.row_count <= 0) {
        NAVIX_LOG(NAVIX_INFO, func,
                  resp.rows.empty() ? "Get job result, result is empty"
                                    : "SQL have no result data.");
        // The result ends here: short of the count the first page gave, rows
        // were lost on the way, and "no more rows" would hide it.
        if (m_delivered < m_irowNum) {
            return unreadableAnswer(func, "the result ended after " + std::to_string(m_delivered) +
                                              " of " + std::to_string(m_irowNum) + " rows");
        }
        return 2;
    }
    m_ResultRows.swap(resp.rows);
    ++m_curPage;
    if (m_ResultRows.size() < kPageSize) {
        NAVIX_LOG(NAVIX_INFO, func, "Have fetch all the rows");
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Rows

int NavixQueryResultSet::fetchNext(char*, size_t) {
    if (m_irowNum == 0) {
        NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::fetchNext", "Row number = 0.");
        return 2;
    }
    if (m_fetch_idx >= m_irowNum) {
        NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::fetchNext", "Have fetch all rows.");
        return 2;
    }
    if (m_ResultRows.empty() || m_fetch_idx >= m_ResultRows.size()) {
        // Rows that were built here rather than paged from a job (a table
        // description) have no job to ask for more.
        if (m_jobId.empty()) {
            NAVIX_LOG(NAVIX_INFO, "NavixQueryResultSet::fetchNext", "Have fetch all rows.");
            return 2;
        }
        int r;
        try {
            r = fetchSinglePageResult(m_jobId);
        } catch (const std::exception& e) {
            diag.setException(e);
            NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::fetchNext", "unexpected error: %s",
                      e.what());
            return 1;
        }
        if (r != 0) {
            return r;
        }
        m_fetch_idx = 0;
    }
    // Each row of a page is made current once: it moves rather than copies.
    m_curRow = std::move(m_ResultRows[m_fetch_idx]);
    ++m_fetch_idx;
    ++m_delivered;
    return 0;
}

int NavixQueryResultSet::hasResults(int32_t* hasRows, char*, size_t) {
    if (hasRows == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::hasResults",
                  "Pointer to has_results (output) cannot be NULL.");
        return 1;
    }
    if (m_irowNum == 0) {
        *hasRows = 0;
        NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::hasResults", "m_irowNum == 0");
        return 1;
    }
    if (m_fetch_idx <= m_irowNum) {
        *hasRows = 1;
        return 0;
    }
    *hasRows = 0;
    NAVIX_LOG(NAVIX_ERROR, "NavixQueryResultSet::hasResults",
              "m_fetch_idx >= (int)m_ResultRows.size().");
    return 1;
}

// ---------------------------------------------------------------------------
// Getters

int NavixQueryResultSet::getFieldAsCString(uint32_t col, char* buf, uint32_t bufSize,
                                           int32_t* outLen, int32_t* isNull) {
    const char* func = "NavixQueryResultSet::getFieldAsCString";
    if (buf == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column data output buffer cannot be NULL.");
        return 1;
    }
    if (isNull == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column data is_null_value (output) cannot be NULL.");
        return 1;
    }
    if (bufSize == 0) {
        NAVIX_LOG(NAVIX_ERROR, func, "Output buffer cannot have a size of zero.");
        return 1;
    }
    if (outLen == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column data length (output) cannot be NULL.");
        return 1;
    }
    const std::string& cell = getField(col);
    if (isMissingCell(cell)) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column index out of bounds.");
        return 1;
    }
    if (cellIsNull(cell)) {
        // The text "null" cut to the buffer, beside the flag.
        const size_t m = 4 < bufSize ? 4 : (size_t)bufSize - 1;
        *isNull = 1;
        memcpy(buf, "null", m);
        buf[m] = '\0';
        *outLen = (int32_t)m;
        return 0;
    }
    size_t n = cell.size() < bufSize ? cell.size() : (size_t)bufSize - 1;
    *isNull = 0;
    ClientTypeCode type = getColumnType(col);
    if (type == CLIENT_TYPE_TIMESTAMP) {
        // The local time of the cell's moment, cut to the buffer like any text.
        char stamp[CELL_STAMP_SIZE];
        int len = formatTimestampCell(cell, stamp);
        if (len < 0) {
            NAVIX_LOG(NAVIX_ERROR, func, "TIMESTAMP cell is not a number of milliseconds.");
            return 1;
        }
        size_t m = (size_t)len < bufSize ? (size_t)len : (size_t)bufSize - 1;
        memcpy(buf, stamp, m);
        buf[m] = '\0';
        *outLen = (int32_t)m;
        return 0;
    }
    if ((type == CLIENT_TYPE_STRING || type == CLIENT_TYPE_VARCHAR || type == CLIENT_TYPE_CHAR) &&
        m_conn != NULL && m_conn->connProperty.charsetFlag == 1) {
        int cap = bufSize > (uint32_t)INT_MAX ? INT_MAX : (int)bufSize;
        if (ConvertUTF82ANSI(cell.c_str(), buf, cap) == 0) {
            NAVIX_LOG(NAVIX_ERROR, func, "get C string ConvertUTF82ANSI failed!");
            memcpy(buf, cell.data(), n);
            buf[n] = '\0';
        }
        *outLen = (int32_t)strlen(buf);
        return 0;
    }
    memcpy(buf, cell.data(), n);
    buf[n] = '\0';
    *outLen = (int32_t)strlen(buf);
    return 0;
}

template <typename T, typename Convert>
int NavixQueryResultSet::typedGetter(const char* func, uint32_t col, T* value, int32_t* isNull,
                                     Convert convert) {
    if (value == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column data output buffer cannot be NULL.");
        return 1;
    }
    if (isNull == NULL) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column data is_null_value (output) cannot be NULL.");
        return 1;
    }
    if (col >= m_icolNum) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column index out of bounds.");
        return 1;
    }
    const std::string& cell = getField(col);
    if (isMissingCell(cell)) {
        NAVIX_LOG(NAVIX_ERROR, func, "Column index out of bounds.");
        return 1;
    }
    if (cellIsNull(cell)) {
        *isNull = 1;
        *value = (T)0;
        return 0;
    }
    *isNull = 0;
    *value = (T)convert(cell, getColumnType(col) == CLIENT_TYPE_BOOLEAN);
    return 0;
}

int NavixQueryResultSet::getFieldAsI8(uint32_t col, int8_t* value, int32_t* isNull, char*, size_t) {
    return typedGetter("NavixQueryResultSet::getFieldAsI8", col, value, isNull,
                       [](const std::string& text, bool boolean) {
                           return (int8_t)(uint8_t)(uint32_t)toInt32(leadingNumber(text, boolean));
                       });
}

int NavixQueryResultSet::getFieldAsInt(uint32_t col, int32_t* value, int32_t* isNull, char*,
                                       size_t) {
    return typedGetter("NavixQueryResultSet::getFieldAsInt", col, value, isNull,
                       [](const std::string& text, bool boolean) {
                           return toInt32(leadingNumber(text, boolean));
                       });
}

int NavixQueryResultSet::getFieldAsLong(uint32_t col, int32_t* value, int32_t* isNull, char*,
                                        size_t) {
    return typedGetter("NavixQueryResultSet::getFieldAsLong", col, value, isNull,
                       [](const std::string& text, bool boolean) {
                           return toInt32(leadingNumber(text, boolean));
                       });
}

int NavixQueryResultSet::getFieldAsULong(uint32_t col, uint32_t* value, int32_t* isNull, char*,
                                         size_t) {
    return typedGetter("NavixQueryResultSet::getFieldAsULong", col, value, isNull,
                       [](const std::string& text, bool boolean) {
                           return toUInt32(leadingNumber(text, boolean));
                       });
}

int NavixQueryResultSet::getFieldAsI64(uint32_t col, int64_t* value, int32_t* isNull, char*,
                                       size_t) {
    return typedGetter("NavixQueryResultSet::getFieldAsI64", col, value, isNull,
                       [](const std::string& text, bool boolean) {
                           return toInt64(leadingNumber(text, boolean));
                       });
}

int NavixQueryResultSet::getFieldAsI64U(uint32_t col, uint64_t* value, int32_t* isNull, char*,
                                        size_t) {
    return typedGetter("NavixQueryResultSet::getFieldAsI64U", col, value, isNull,
                       [](const std::string& text, bool boolean) {
                           return toUInt64(leadingNumber(text, boolean));
                       });
}

int NavixQueryResultSet::getFieldAsDouble(uint32_t col, double* value, int32_t* isNull, char*,
                                          size_t) {
    return typedGetter(
        "NavixQueryResultSet::getFieldAsDouble", col, value, isNull,
        [](const std::string& text, bool boolean) { return toDouble(text, boolean); });
}

// ---------------------------------------------------------------------------
// Catalog tables (static, built when the library loads)

const std::string tableResultColumnNames[TABLE_RESULT_COLUMN_COUNT] = {
    "TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"};
const std::string stringTypeName = "STRING";
const std::string tableTypeValue = "TABLE";
const std::string emptyValue = "";

const ColumnDesc columnResultColumns[COLUMN_RESULT_COLUMN_COUNT] = {
    ColumnDesc("TABLE_CAT", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("TABLE_SCHEM", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("TABLE_NAME", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("COLUMN_NAME", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("DATA_TYPE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("TYPE_NAME", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("COLUMN_SIZE", "INT", CLIENT_TYPE_INT),
    ColumnDesc("BUFFER_LENGTH", "INT", CLIENT_TYPE_INT),
    ColumnDesc("DECIMAL_DIGITS", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("NUM_PREC_RADIX", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("NULLABLE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("REMARKS", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("COLUMN_DEF", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("SQL_DATA_TYPE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("SQL_DATETIME_SUB", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("CHAR_OCTET_LENGTH", "INT", CLIENT_TYPE_INT),
    ColumnDesc("ORDINAL_POSITION", "INT", CLIENT_TYPE_INT),
    ColumnDesc("IS_NULLABLE", "STRING", CLIENT_TYPE_STRING),
};

const ColumnDesc typeInfoResultColumns[TYPE_INFO_RESULT_COLUMN_COUNT] = {
    ColumnDesc("TYPE_NAME", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("DATA_TYPE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("COLUMN_SIZE", "INT", CLIENT_TYPE_INT),
    ColumnDesc("LITERAL_PREFIX", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("LITERAL_SUFFIX", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("CREATE_PARAMS", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("NULLABLE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("CASE_SENSITIVE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("SEARCHABLE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("UNSIGNED_ATTRIBUTE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("FIXED_PREC_SCALE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("AUTO_UNIQUE_VALUE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("LOCAL_TYPE_NAME", "STRING", CLIENT_TYPE_STRING),
    ColumnDesc("MINIMUM_SCALE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("MAXIMUM_SCALE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("SQL_DATA_TYPE", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("SQL_DATETIME_SUB", "SMALLINT", CLIENT_TYPE_SMALLINT),
    ColumnDesc("NUM_PREC_RADIX", "INT", CLIENT_TYPE_INT),
    ColumnDesc("INTERVAL_PRECISION", "INT", CLIENT_TYPE_INT),
};

const ServiceTypeEntry serviceTypeTable[SERVICE_TYPE_COUNT] = {
    {"INT", 4, 11, 4, 1, 0},        {"STRING", 12, 334, 334, -1, -1},
    {"DOUBLE", 8, 24, 8, 1, 0},     {"DECIMAL", 3, 11, 8, 1, 0},
    {"BOOLEAN", 5, 1, 4, -1, -1},   {"SHORT", 4, 6, 2, 1, 0},
    {"SMALLINT", 5, 6, 2, 1, 0},    {"BIGINT", -5, 20, 8, 1, 0},
    {"LONG", -5, 11, 4, 1, 0},      {"TIMESTAMP", 93, 334, 334, -1, -1},
    {"CHAR", 12, 334, 334, -1, -1}, {"VARCHAR", 12, 334, 334, -1, -1},
    {"DATE", 91, 334, 334, -1, -1}, {"TINYINT", -6, 4, 1, 1, 0},
    {"FLOAT", 6, 16, 4, 1, 0},      {"UNKNOW", 0, 334, 334, -1, -1},
};

const ServiceTypeEntry& findServiceType(const std::string& typeName) {
    for (int i = 0; i < SERVICE_TYPE_COUNT - 1; ++i) {
        if (typeName == serviceTypeTable[i].typeName) {
            return serviceTypeTable[i];
        }
    }
    return serviceTypeTable[SERVICE_TYPE_COUNT - 1];
}

// ---------------------------------------------------------------------------
// Table list

NavixTableResultSet::NavixTableResultSet() {}
NavixTableResultSet::~NavixTableResultSet() {}

int NavixTableResultSet::getColumnCount(int32_t* colCount, char*, size_t) {
    return fixedColumnCount(colCount, TABLE_RESULT_COLUMN_COUNT);
}

const std::string& NavixTableResultSet::getColumnName(uint32_t i) {
    return i < TABLE_RESULT_COLUMN_COUNT ? tableResultColumnNames[i] : emptyValue;
}

const std::string& NavixTableResultSet::getColumnTypeName(uint32_t i) {
    return i < TABLE_RESULT_COLUMN_COUNT ? stringTypeName : emptyValue;
}

ClientTypeCode NavixTableResultSet::getColumnType(uint32_t i) {
    return i < TABLE_RESULT_COLUMN_COUNT ? CLIENT_TYPE_STRING : CLIENT_TYPE_UNKNOWN;
}

const std::string& NavixTableResultSet::getField(uint32_t i) {
    if (i >= 3) {
        return i == 3 ? tableTypeValue : emptyValue;
    }
    // A row of fewer cells than the listing promises reads as empty texts.
    const std::string& cell = NavixQueryResultSet::getField(i == 2 ? 1 : 0);
    return isMissingCell(cell) ? emptyValue : cell;
}

std::string NavixTableResultSet::buildStatement(const std::string& pattern) {
    std::string stmt = "show tables";
    if (!pattern.empty()) {
        std::string like = pattern;
        for (char& c : like) {
            if (c == '%') {
                c = '*';
            }
        }
        stmt += " like '" + like + "'";
    }
    return stmt;
}

int NavixTableResultSet::listTables(NavixConnection* conn, const std::string& pattern) {
    if (conn == NULL) {
        diag.set(1, "HY000", kSystemError);
        NAVIX_LOG(NAVIX_ERROR, "NavixTableResultSet::listTables", "connection cannot be NULL");
        return 1;
    }
    try {
        m_conn = conn;
        std::string utf8;
        if (!toUtf8(pattern, &utf8)) {
            return 1;
        }
        // The pattern is placed inside a quoted literal: a quote or backslash
        // in it would end or escape the literal and change the statement.
        if (utf8.find_first_of("'\\") != std::string::npos) {
            diag.set(1, "01000", kInvalidSyntax);
            NAVIX_LOG(NAVIX_ERROR, "NavixTableResultSet::listTables",
                      "table pattern holds a quote or backslash.");
            return 1;
        }
        return runUtf8Sql(buildStatement(utf8));
    } catch (const std::exception& e) {
        diag.setException(e);
        NAVIX_LOG(NAVIX_ERROR, "NavixTableResultSet::listTables", "unexpected error: %s", e.what());
        return 1;
    }
}

// ---------------------------------------------------------------------------
// Column description

NavixColumnResultSet::NavixColumnResultSet() {}
NavixColumnResultSet::~NavixColumnResultSet() {}

int NavixColumnResultSet::getColumnCount(int32_t* colCount, char*, size_t) {
    return fixedColumnCount(colCount, COLUMN_RESULT_COLUMN_COUNT);
}

const std::string& NavixColumnResultSet::getColumnName(uint32_t i) {
    return i < COLUMN_RESULT_COLUMN_COUNT ? columnResultColumns[i].name : emptyValue;
}

const std::string& NavixColumnResultSet::getColumnTypeName(uint32_t i) {
    return i < COLUMN_RESULT_COLUMN_COUNT ? columnResultColumns[i].typeName : emptyValue;
}

ClientTypeCode NavixColumnResultSet::getColumnType(uint32_t i) {
    return i < COLUMN_RESULT_COLUMN_COUNT ? columnResultColumns[i].typeCode : CLIENT_TYPE_UNKNOWN;
}

int NavixColumnResultSet::describeTable(NavixConnection* conn, const std::string& database,
                                        const std::string& table) {
    const char* func = "NavixColumnResultSet::describeTable";
    try {
        tableName = table;
        m_conn = conn;
        if (conn == NULL || conn->restApi == NULL) {
            diag.set(1, "HY000", kSystemError);
            NAVIX_LOG(NAVIX_ERROR, func, "Rest APi call error, ret = %d", -1);
            return 1;
        }
        navixrest::GetDescribeTableReq req(database, table);
        navixrest::GetDescribeTableResp resp;
        int r = conn->restApi->call(req, resp);
        if (r != 0) {
            diag.setCallError(resp.error, false);
            NAVIX_LOG(NAVIX_ERROR, func, "Rest APi call error, ret = %d", r);
            return 1;
        }
        if (!resp.isSuccess) {
            NAVIX_LOG(NAVIX_ERROR, func, "Describe Table, VKL Service retun error: %s",
                      resp.message.c_str());
            diag.setServiceError(resp.message.c_str());
            return 1;
        }
        // Trusting either side of a disagreement would drop described
        // columns or promise columns that are not there.
        if (resp.column_count < 0 || (uint64_t)resp.column_count != resp.columns.size()) {
            return unreadableAnswer(
                func, "the table description holds " + std::to_string(resp.columns.size()) +
                          " columns but its column_count is " + std::to_string(resp.column_count));
        }
        int32_t ordinal = 1;
        for (const navixrest::ColumnInfo& c : resp.columns) {
            addColumnRow(c.column_name, c.type, c.description, ordinal++);
        }
        m_icolNum = COLUMN_RESULT_COLUMN_COUNT;
        m_irowNum = m_ResultRows.size();
        NAVIX_LOG(NAVIX_INFO, func, "fetch table columns, column num = %lld",
                  (long long)resp.column_count);
        return 0;
    } catch (const std::exception& e) {
        diag.setException(e);
        NAVIX_LOG(NAVIX_ERROR, func, "unexpected error: %s", e.what());
        return 1;
    }
}

void NavixColumnResultSet::addColumnRow(const std::string& columnName, const std::string& typeText,
                                        const std::string& description, int32_t ordinal) {
    std::string key = upperAscii(typeText);
    if (key.find("DECIMAL") != std::string::npos) {
        key = "DECIMAL";
    }
    const ServiceTypeEntry& e = findServiceType(key);
    NavixRow row;
    row.reserve(COLUMN_RESULT_COLUMN_COUNT);
    row.push_back("");
    row.push_back("");
    row.push_back(tableName);
    row.push_back(columnName);
    row.push_back(std::to_string(e.sqlType));
    row.push_back(typeText);
    row.push_back(std::to_string(e.columnSize));
    row.push_back(std::to_string(e.bufferLength));
    row.push_back(nullCell);
    row.push_back("10");
    row.push_back("1");
    row.push_back(description);
    row.push_back("");
    row.push_back(std::to_string(e.sqlType));
    // SQL_DATETIME_SUB: NULL (not an empty text, which is no SMALLINT).
    row.push_back(nullCell);
    row.push_back("334");
    row.push_back(std::to_string(ordinal));
    row.push_back("YES");
    m_ResultRows.push_back(row);
}

// ---------------------------------------------------------------------------
// Type information

NavixTypeInfoResultSet::NavixTypeInfoResultSet() {}
NavixTypeInfoResultSet::~NavixTypeInfoResultSet() {}

int NavixTypeInfoResultSet::getColumnCount(int32_t* colCount, char*, size_t) {
    return fixedColumnCount(colCount, TYPE_INFO_RESULT_COLUMN_COUNT);
}

const std::string& NavixTypeInfoResultSet::getColumnName(uint32_t i) {
    return i < TYPE_INFO_RESULT_COLUMN_COUNT ? typeInfoResultColumns[i].name : emptyValue;
}

const std::string& NavixTypeInfoResultSet::getColumnTypeName(uint32_t i) {
    return i < TYPE_INFO_RESULT_COLUMN_COUNT ? typeInfoResultColumns[i].typeName : emptyValue;
}

ClientTypeCode NavixTypeInfoResultSet::getColumnType(uint32_t i) {
    return i < TYPE_INFO_RESULT_COLUMN_COUNT ? typeInfoResultColumns[i].typeCode
                                             : CLIENT_TYPE_UNKNOWN;
}

int NavixTypeInfoResultSet::getTypeInfo(int32_t sqlType) {
    if (sqlType != 0) {
        diag.set(1, "HYC00", "VKL ODBC Only support to GetTypeInfo for SQL_ALL_TYPES");
        NAVIX_LOG(NAVIX_ERROR, "NavixTypeInfoResultSet::getTypeInfo",
                  "Only support to GetTypeInfo for SQL_ALL_TYPES");
        return 1;
    }
    for (int i = 0; i < SERVICE_TYPE_COUNT - 1; ++i) {
        addTypeInfoRow(serviceTypeTable[i]);
    }
    m_icolNum = TYPE_INFO_RESULT_COLUMN_COUNT;
    m_irowNum = m_ResultRows.size();
    return 0;
}

void NavixTypeInfoResultSet::addTypeInfoRow(const ServiceTypeEntry& e) {
    NavixRow row;
    row.reserve(TYPE_INFO_RESULT_COLUMN_COUNT);
    row.push_back(e.typeName);
    row.push_back(std::to_string(e.sqlType));
    row.push_back(std::to_string(e.bufferLength));
    row.push_back(nullCell);
    row.push_back(nullCell);
    row.push_back(nullCell);
    row.push_back("1");
    row.push_back("1");
    row.push_back("3");
    row.push_back(e.unsignedAttribute == -1 ? nullCell : std::to_string(e.unsignedAttribute));
    row.push_back("0");
    row.push_back(e.autoUniqueValue == -1 ? nullCell : std::to_string(e.autoUniqueValue));
    row.push_back(e.typeName);
    row.push_back(nullCell);
    row.push_back(nullCell);
    row.push_back(std::to_string(e.sqlType));
    row.push_back(nullCell);
    row.push_back(nullCell);
    row.push_back(nullCell);
    m_ResultRows.push_back(row);
}
