// Result sets of the query client: the result of one statement (with its job
// flow on the service) and the three catalog result sets.
#ifndef NAVIX_RESULT_SET_H
#define NAVIX_RESULT_SET_H

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

#include "AsciiText.h"
#include "DiagInfo.h"

class NavixConnection;
namespace navixrest {
class SubmitJobResp;
struct SchemaField;
} // namespace navixrest

// Client type of a result column. 0 marks a service type name that is not
// recognised (and an index outside the columns).
enum ClientTypeCode : int32_t {
    CLIENT_TYPE_UNKNOWN = 0,
    CLIENT_TYPE_BOOLEAN = 1,
    CLIENT_TYPE_TINYINT = 2,
    CLIENT_TYPE_SMALLINT = 3,
    CLIENT_TYPE_INT = 4,
    CLIENT_TYPE_BIGINT = 5,
    CLIENT_TYPE_FLOAT = 6,
    CLIENT_TYPE_DOUBLE = 7,
    CLIENT_TYPE_STRING = 8,
    CLIENT_TYPE_DATE = 9,
    CLIENT_TYPE_TIMESTAMP = 11,
    CLIENT_TYPE_VARCHAR = 15,
    CLIENT_TYPE_CHAR = 16,
    CLIENT_TYPE_DECIMAL = 17
};

// Type code of a service type name ("decimal(10,2)" -> DECIMAL, "int" -> INT).
ClientTypeCode clientTypeCodeOf(const std::string& typeName);

class ColumnDesc {
  public:
    ColumnDesc(const std::string& columnName, const std::string& serviceTypeName);
    // For the static catalog tables, where the code is given.
    ColumnDesc(const std::string& columnName, const std::string& serviceTypeName,
               ClientTypeCode code);

    std::string name;
    std::string typeName;
    ClientTypeCode typeCode;
};

// Rows are UTF-8 cell texts; navixrest::kNullCell (a JSON null) stands for
// SQL NULL, and cellIsNull (CellConvert.h) is the one test for it.
typedef std::vector<std::string> NavixRow;

// Result codes of the job flow: 0 done (rows/columns where the statement has
// them), 1 failed, 2 done without result data. fetchNext: 0 row, 1 failure,
// 2 no row left. Getters: 0 or 1.
class NavixQueryResultSet {
  public:
    NavixQueryResultSet();

    // Virtual operations in fixed slot order 0-4; the destructor comes last.
    // Slots 1-4 answer an index outside their data with an empty text / code 0
    // (getField: the shared missingCell(), which the getters turn into 1).
    virtual int getColumnCount(int32_t* colCount, char* errText = NULL, size_t errTextSize = 0);
    virtual const std::string& getColumnName(uint32_t i);
    virtual const std::string& getColumnTypeName(uint32_t i);
    virtual ClientTypeCode getColumnType(uint32_t i);
    virtual const std::string& getField(uint32_t i);
    virtual ~NavixQueryResultSet();

    // The one empty text that getField returns for a cell that does not exist.
    static const std::string& missingCell();
    static bool isMissingCell(const std::string& cell) { return &cell == &missingCell(); }

    // Runs the application's statement text: converted to UTF-8 first, then
    // read (runUtf8Sql).
    int runSql(NavixConnection* conn, const std::string& sql);

    int fetchNext(char* errText = NULL, size_t errTextSize = 0);
    int hasResults(int32_t* hasRows, char* errText = NULL, size_t errTextSize = 0);

    int getFieldAsCString(uint32_t col, char* buf, uint32_t bufSize, int32_t* outLen,
                          int32_t* isNull);
    int getFieldAsI8(uint32_t col, int8_t* value, int32_t* isNull, char* errText = NULL,
                     size_t errTextSize = 0);
    int getFieldAsInt(uint32_t col, int32_t* value, int32_t* isNull, char* errText = NULL,
                      size_t errTextSize = 0);
    int getFieldAsLong(uint32_t col, int32_t* value, int32_t* isNull, char* errText = NULL,
                       size_t errTextSize = 0);
    int getFieldAsULong(uint32_t col, uint32_t* value, int32_t* isNull, char* errText = NULL,
                        size_t errTextSize = 0);
    int getFieldAsI64(uint32_t col, int64_t* value, int32_t* isNull, char* errText = NULL,
                      size_t errTextSize = 0);
    int getFieldAsI64U(uint32_t col, uint64_t* value, int32_t* isNull, char* errText = NULL,
                       size_t errTextSize = 0);
    int getFieldAsDouble(uint32_t col, double* value, int32_t* isNull, char* errText = NULL,
                         size_t errTextSize = 0);

    void fillDiagRecord(DiagRecord* record) const;

    // Job flow steps (public so that the flow can be driven step by step).
    // The application's text in UTF-8 (converted from the ANSI code page when
    // the connection asks for it); false with the diagnostic set otherwise.
    bool toUtf8(const std::string& text, std::string* utf8);
    // The statement once it is UTF-8: trimmed, one trailing ";" dropped, then
    // a USE, a SET (its value as written) or a job (identifier double quotes
    // turned into backticks).
    int runUtf8Sql(const std::string& sql);
    int procSetStatement(const std::string& sql);
    int procUseStatement(const std::string& sql);
    int runSqlOnRest(const std::string& sql);
    int procQueryStatement(navixrest::SubmitJobResp& resp);
    int procSyncStatement(navixrest::SubmitJobResp& resp);
    int procAsyncStatement(navixrest::SubmitJobResp& resp);
    int fetchSinglePageResult(const std::string& jobId);

    // Members (read in place by the catalog sets and the tests).
    int64_t m_submitTime;
    int32_t m_curPage;
    std::string m_jobId;
    uint32_t m_icolNum;
    uint32_t m_fetch_idx;
    uint64_t m_irowNum;   // the service's row count: 64-bit, as the service sends it
    uint64_t m_delivered; // rows fetchNext delivered, held against m_irowNum
    DiagInfo diag;
    NavixConnection* m_conn;
    std::vector<ColumnDesc*> m_columns;
    std::vector<NavixRow> m_ResultRows;
    NavixRow m_curRow;

  protected:
    bool isJobTimeout(const std::string& statusJobId);
    // Appends a column per field of the service's schema and counts them;
    // 1 (with the record set, the failure logged under func) when out of
    // memory.
    int addColumns(const std::vector<navixrest::SchemaField>& schema, const char* func);
    // 1 (the answer unreadable) when rows come without columns or a row
    // holds more cells than there are columns; where names the answer.
    int checkRows(const std::vector<NavixRow>& rows, const std::string& where, const char* func);
    // Records the answer as unreadable for reason, logs it under func; 1.
    int unreadableAnswer(const char* func, const std::string& reason);
    // The body of the numeric getters: the checks (1 for a missing cell),
    // then NULL and zero for a NULL cell, else convert(cell, boolean), where
    // boolean says that the column is a BOOLEAN one.
    template <typename T, typename Convert>
    int typedGetter(const char* func, uint32_t col, T* value, int32_t* isNull, Convert convert);

  private:
    NavixQueryResultSet(const NavixQueryResultSet&);
    NavixQueryResultSet& operator=(const NavixQueryResultSet&);
};

// A row of the service type table.
struct ServiceTypeEntry {
    const char* typeName;
    int32_t sqlType;
    uint32_t columnSize;
    uint32_t bufferLength;
    int32_t unsignedAttribute; // -1 = NULL
    int32_t autoUniqueValue;   // -1 = NULL
};

#define SERVICE_TYPE_COUNT 16
extern const ServiceTypeEntry serviceTypeTable[SERVICE_TYPE_COUNT];
// The entry whose name equals typeName exactly, else the last ("UNKNOW") entry.
const ServiceTypeEntry& findServiceType(const std::string& typeName);

#define TABLE_RESULT_COLUMN_COUNT 5
#define COLUMN_RESULT_COLUMN_COUNT 18
#define TYPE_INFO_RESULT_COLUMN_COUNT 19
extern const std::string tableResultColumnNames[TABLE_RESULT_COLUMN_COUNT];
extern const std::string stringTypeName;
extern const std::string tableTypeValue;
extern const std::string emptyValue;
extern const ColumnDesc columnResultColumns[COLUMN_RESULT_COLUMN_COUNT];
extern const ColumnDesc typeInfoResultColumns[TYPE_INFO_RESULT_COLUMN_COUNT];

// SQLTables: rows of a "show tables" job as the five table-list columns.
class NavixTableResultSet : public NavixQueryResultSet {
  public:
    NavixTableResultSet();
    int getColumnCount(int32_t* colCount, char* errText = NULL, size_t errTextSize = 0) override;
    const std::string& getColumnName(uint32_t i) override;
    const std::string& getColumnTypeName(uint32_t i) override;
    ClientTypeCode getColumnType(uint32_t i) override;
    const std::string& getField(uint32_t i) override;
    ~NavixTableResultSet() override;

    // The statement that listTables runs for a pattern ("" = all tables).
    static std::string buildStatement(const std::string& pattern);
    int listTables(NavixConnection* conn, const std::string& pattern);
};

// SQLColumns: one row of 18 cells per column of a described table.
class NavixColumnResultSet : public NavixQueryResultSet {
  public:
    NavixColumnResultSet();
    int getColumnCount(int32_t* colCount, char* errText = NULL, size_t errTextSize = 0) override;
    const std::string& getColumnName(uint32_t i) override;
    const std::string& getColumnTypeName(uint32_t i) override;
    ClientTypeCode getColumnType(uint32_t i) override;
    ~NavixColumnResultSet() override;

    int describeTable(NavixConnection* conn, const std::string& database, const std::string& table);
    void addColumnRow(const std::string& columnName, const std::string& typeText,
                      const std::string& description, int32_t ordinal);

    std::string tableName;
};

// SQLGetTypeInfo: the service type table, one row of 19 cells per type.
class NavixTypeInfoResultSet : public NavixQueryResultSet {
  public:
    NavixTypeInfoResultSet();
    int getColumnCount(int32_t* colCount, char* errText = NULL, size_t errTextSize = 0) override;
    const std::string& getColumnName(uint32_t i) override;
    const std::string& getColumnTypeName(uint32_t i) override;
    ClientTypeCode getColumnType(uint32_t i) override;
    ~NavixTypeInfoResultSet() override;

    int getTypeInfo(int32_t sqlType);
    void addTypeInfoRow(const ServiceTypeEntry& entry);
};

#endif
