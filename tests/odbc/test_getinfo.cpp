// SQLGetInfo: the answer of every information type, the string copy, and
// the answers that come from the open connection.
#include <string.h>

#include <map>
#include <set>
#include <string>

#include "ConnProperty.h"
#include "MiscTestSupport.h"
#include "SQLOdbcApi.h"

namespace {

enum Expect { STR, U16, U32, UNSUPPORTED, UNRECOGNISED };

struct Expected {
    Expect kind;
    std::string text;
    uint32_t value;
};

// The answer table written out by number, independent of the header names.
std::map<int, Expected> expectedAnswers() {
    std::map<int, Expected> m;
    m[2] = {STR, "", 0};
    m[6] = {STR, "", 0};
    m[7] = {STR, "1.1.0", 0};
    m[13] = {STR, "", 0};
    m[17] = {STR, "VKL", 0};
    m[18] = {STR, "1.1.0", 0};
    m[29] = {STR, "\"", 0};
    m[39] = {STR, "schema", 0};
    m[41] = {STR, ".", 0};
    m[42] = {STR, "catalog", 0};
    m[45] = {STR, "table", 0};
    m[77] = {STR, "03.51", 0};
    m[87] = {STR, "Y", 0};

    m[1] = {U16, "", 0};
    m[23] = {U16, "", 1};
    m[24] = {U16, "", 1};
    m[46] = {U16, "", 0};
    m[93] = {U16, "", 2};
    m[10005] = {U16, "", 128};

    m[26] = {U32, "", 0};
    m[48] = {U32, "", 2};
    m[49] = {U32, "", 8386415};
    m[50] = {U32, "", 277753};
    m[51] = {U32, "", 0};
    m[52] = {U32, "", 0};
    for (int t : {53, 55, 56, 57, 58, 59, 61, 64, 65, 67, 68, 69, 70}) {
        m[t] = {U32, "", 195039};
    }
    for (int t : {54, 60, 62, 63, 66, 71}) {
        m[t] = {U32, "", 0};
    }
    m[81] = {U32, "", 1};
    m[91] = {U32, "", 5};
    m[92] = {U32, "", 1};
    m[109] = {U32, "", 0};
    m[110] = {U32, "", 0};
    m[115] = {U32, "", 7};
    m[118] = {U32, "", 1};
    m[119] = {U32, "", 0};
    m[123] = {U32, "", 0};
    m[152] = {U32, "", 1};
    m[155] = {U32, "", 0};
    m[159] = {U32, "", 0};
    m[160] = {U32, "", 5638};
    m[161] = {U32, "", 346};
    m[164] = {U32, "", 207};
    m[165] = {U32, "", 2};

    const int unsupported[] = {0,  8,  9,  11, 12, 14, 15, 16, 19, 20, 21, 22,  25, 27,
                               28, 40, 43, 44, 47, 78, 79, 80, 88, 89, 90, 134, 167};
    for (int t : unsupported) {
        m[t] = {UNSUPPORTED, "", 0};
    }
    for (int t = 30; t <= 38; t++)
        m[t] = {UNSUPPORTED, "", 0};
    for (int t = 72; t <= 75; t++)
        m[t] = {UNSUPPORTED, "", 0};
    for (int t = 82; t <= 86; t++)
        m[t] = {UNSUPPORTED, "", 0};
    for (int t = 95; t <= 108; t++)
        m[t] = {UNSUPPORTED, "", 0};
    for (int t = 111; t <= 114; t++)
        m[t] = {UNSUPPORTED, "", 0};
    m[94] = {UNSUPPORTED, "", 0};
    return m;
}

Expected expectedFor(const std::map<int, Expected>& table, int type) {
    auto it = table.find(type);
    if (it != table.end()) {
        return it->second;
    }
    return {UNRECOGNISED, "", 0};
}

} // namespace

TEST(CopyInfoString, SizesAgainstTextsNeverPassTheBuffer) {
    const char* texts[] = {"", "Y", "VKL", "03.51", "catalog"};
    for (const char* text : texts) {
        size_t len = strlen(text);
        for (int size = 1; size <= 10; size++) {
            unsigned char buf[16];
            memset(buf, 0xFF, sizeof(buf));
            copyInfoString(buf + 2, text, (SQLSMALLINT)size);
            size_t copied = len < (size_t)size - 1 ? len : (size_t)size - 1;
            EXPECT_EQ(buf[0], 0xFF);
            EXPECT_EQ(buf[1], 0xFF);
            EXPECT_EQ(memcmp(buf + 2, text, copied), 0) << text << " size " << size;
            EXPECT_EQ(buf[2 + copied], 0) << text << " size " << size;
            for (size_t i = 2 + copied + 1; i < sizeof(buf); i++) {
                EXPECT_EQ(buf[i], 0xFF) << text << " size " << size << " byte " << i;
            }
        }
    }
}

TEST(CopyInfoString, MinusOneWritesOneNulOtherNonPositiveSizesNothing) {
    unsigned char buf[8];
    memset(buf, 0xFF, sizeof(buf));
    copyInfoString(buf, "VKL", -1);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 0xFF);

    for (int size : {0, -2, -3, -100, -32768}) {
        memset(buf, 0xFF, sizeof(buf));
        copyInfoString(buf, "VKL", (SQLSMALLINT)size);
        for (unsigned char b : buf) {
            EXPECT_EQ(b, 0xFF) << "size " << size;
        }
    }
    copyInfoString(nullptr, "VKL", 10); // must not crash
}

class GetInfoTest : public MiscOdbcTest {
  protected:
    // Gives the handle an open connection's information record.
    void setConnInfo(const char* dsn, const char* driver, const char* host) {
        ConnInfo* info = (ConnInfo*)calloc(1, sizeof(ConnInfo));
        snprintf(info->DSN, sizeof(info->DSN), "%s", dsn);
        snprintf(info->DRIVER, sizeof(info->DRIVER), "%s", driver);
        snprintf(info->HOST, sizeof(info->HOST), "%s", host);
        dbc->extras->connInfo = info;
    }
    void TearDown() override {
        free(dbc->extras->connInfo);
        dbc->extras->connInfo = nullptr;
        MiscOdbcTest::TearDown();
    }
};

TEST_F(GetInfoTest, EveryTypeAnswersAsTheTableSays) {
    setConnInfo("", "", "");
    std::map<int, Expected> table = expectedAnswers();
    std::vector<int> types;
    for (int t = 0; t <= 200; t++)
        types.push_back(t);
    for (int t : {1000, 10000, 10004, 10005, 10006, 20000, 65535})
        types.push_back(t);

    int answered = 0;
    for (int type : types) {
        Expected want = expectedFor(table, type);
        unsigned char buf[64];
        memset(buf, 0xFF, sizeof(buf));
        SQLSMALLINT len = -7;
        clearLog();
        SQLRETURN rc = SQLGetInfo(dbc, (SQLUSMALLINT)type, buf, sizeof(buf), &len);
        bool answers = want.kind == STR || want.kind == U16 || want.kind == U32;
        EXPECT_EQ(rc, answers ? SQL_SUCCESS : SQL_ERROR) << "type " << type;
        EXPECT_EQ(logged(log4cplus::INFO_LOG_LEVEL, "InfoType = " + std::to_string(type)), 1u)
            << type;

        size_t written = 0;
        switch (want.kind) {
        case STR:
            answered++;
            EXPECT_EQ(std::string((char*)buf), want.text) << "type " << type;
            EXPECT_EQ(len, (SQLSMALLINT)want.text.size()) << "type " << type;
            written = want.text.size() + 1;
            break;
        case U16: {
            answered++;
            uint16_t v;
            memcpy(&v, buf, sizeof(v));
            EXPECT_EQ(v, want.value) << "type " << type;
            EXPECT_EQ(len, -7) << "type " << type;
            written = 2;
            break;
        }
        case U32: {
            answered++;
            uint32_t v;
            memcpy(&v, buf, sizeof(v));
            EXPECT_EQ(v, want.value) << "type " << type;
            EXPECT_EQ(len, -7) << "type " << type;
            written = 4;
            break;
        }
        case UNSUPPORTED:
            EXPECT_STREQ(dbc->diag.sqlState, "HYC00") << type;
            EXPECT_EQ(std::string(dbc->diag.message),
                      "Input InfoType " + std::to_string(type) + " not currently supported");
            EXPECT_EQ(loggedAnyLevel(dbc->diag.message), 1u) << type;
            break;
        case UNRECOGNISED:
            EXPECT_STREQ(dbc->diag.sqlState, "HY096") << type;
            EXPECT_EQ(std::string(dbc->diag.message),
                      "Unrecognized input parameter InfoType " + std::to_string(type));
            EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, dbc->diag.message), 1u) << type;
            break;
        }
        if (answers) {
            EXPECT_STREQ(dbc->diag.sqlState, "") << "type " << type;
        } else {
            EXPECT_EQ(len, -7) << "type " << type;
        }
        for (size_t i = written; i < sizeof(buf); i++) {
            EXPECT_EQ(buf[i], 0xFF) << "type " << type << " byte " << i;
        }
    }
    EXPECT_EQ(answered, 60);
}

TEST_F(GetInfoTest, NullValuePointerAsksForTheLengthOfAString) {
    setConnInfo("prod", "", "");
    std::map<int, Expected> table = expectedAnswers();
    table[2].text = "prod";
    for (int type = 0; type <= 170; type++) {
        Expected want = expectedFor(table, type);
        SQLSMALLINT len = -7;
        SQLRETURN rc = SQLGetInfo(dbc, (SQLUSMALLINT)type, nullptr, 64, &len);
        switch (want.kind) {
        case STR:
            EXPECT_EQ(rc, SQL_SUCCESS) << type;
            EXPECT_EQ(len, (SQLSMALLINT)want.text.size()) << type;
            break;
        case U16:
        case U32:
            EXPECT_EQ(rc, SQL_ERROR) << type;
            EXPECT_STREQ(dbc->diag.sqlState, "HY009") << type;
            EXPECT_EQ(len, -7) << type;
            break;
        default:
            EXPECT_EQ(rc, SQL_ERROR) << type;
            EXPECT_EQ(len, -7) << type;
            break;
        }
    }
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, nullptr, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLGetInfo(dbc, 10005, nullptr, 64, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLGetInfo(dbc, 10006, nullptr, 64, nullptr), SQL_ERROR);
    EXPECT_STREQ(dbc->diag.sqlState, "HY096");
}

TEST_F(GetInfoTest, CutStringReportsFullLengthAndInfo) {
    char buf[8];
    memset(buf, 'x', sizeof(buf));
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, buf, 2, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(dbc->diag.sqlState, "01004");
    EXPECT_EQ(buf[0], 'V');
    EXPECT_EQ(buf[1], '\0');
    EXPECT_EQ(buf[2], 'x');
    EXPECT_EQ(len, 3);

    // Exactly the text's length: no room for the NUL, so it is cut too.
    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, buf, 3, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "VK");

    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, buf, 4, &len), SQL_SUCCESS);
    EXPECT_STREQ(dbc->diag.sqlState, "") << "a later call clears the record";
    EXPECT_STREQ(buf, "VKL");
    EXPECT_EQ(buf[4], 'x');

    // No length pointer is fine.
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_ODBC_VER, buf, 8, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "03.51");
}

TEST_F(GetInfoTest, NegativeBufferLengthsAreRefusedZeroWritesNothing) {
    char buf[8];
    memset(buf, 'x', sizeof(buf));
    for (int size : {-1, -2, -32768}) {
        SQLSMALLINT len = -7;
        EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, buf, (SQLSMALLINT)size, &len), SQL_ERROR) << size;
        EXPECT_STREQ(dbc->diag.sqlState, "HY090") << size;
        EXPECT_EQ(len, -7) << size;
    }
    SQLSMALLINT len = -7;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, buf, 0, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(dbc->diag.sqlState, "01004");
    EXPECT_EQ(len, 3);
    for (char c : buf) {
        EXPECT_EQ(c, 'x');
    }
    // Number answers do not read the length.
    SQLUSMALLINT txn = 99;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_TXN_CAPABLE, &txn, -1, nullptr), SQL_SUCCESS);
    EXPECT_EQ(txn, SQL_TC_NONE);
}

TEST_F(GetInfoTest, ConnectionAnswersComeFromTheOpenConnection) {
    setConnInfo("prod", "/opt/vorn/libvornodbc.so", "vkl.example.net");
    char buf[64];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DATA_SOURCE_NAME, buf, sizeof(buf), &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "prod");
    EXPECT_EQ(len, 4);
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_NAME, buf, sizeof(buf), &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "/opt/vorn/libvornodbc.so");
    EXPECT_EQ(SQLGetInfo(dbc, SQL_SERVER_NAME, buf, sizeof(buf), &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "vkl.example.net");
    EXPECT_EQ(loggedAnyLevel("SQL connection has not been setup."), 0u);

    // After the connection is gone the same questions answer empty texts.
    free(dbc->extras->connInfo);
    dbc->extras->connInfo = nullptr;
    clearLog();
    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DATA_SOURCE_NAME, buf, sizeof(buf), &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(len, 0);
    EXPECT_EQ(logged(log4cplus::WARN_LOG_LEVEL, "SQL connection has not been setup."), 1u);
    // Constant answers need no connection.
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_ODBC_VER, buf, sizeof(buf), &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "03.51");
    EXPECT_EQ(len, 5);
}

TEST_F(GetInfoTest, FullLengthConnectionFieldIsCopiedWhole) {
    std::string host(CONN_INFO_TEXT_SIZE - 1, 'h');
    setConnInfo("d", "drv", host.c_str());
    std::vector<char> buf(CONN_INFO_TEXT_SIZE + 8, 'x');
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_SERVER_NAME, buf.data(), CONN_INFO_TEXT_SIZE, &len), SQL_SUCCESS);
    EXPECT_EQ(len, CONN_INFO_TEXT_SIZE - 1);
    EXPECT_EQ(std::string(buf.data()), host);
    EXPECT_EQ(buf[CONN_INFO_TEXT_SIZE], 'x');
}

TEST_F(GetInfoTest, BadHandles) {
    char buf[8];
    EXPECT_EQ(SQLGetInfo(nullptr, SQL_DBMS_NAME, buf, sizeof(buf), nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "SQL_INVALID_HANDLE hDbc is NULL"), 1u);

    DbcHandle bare;
    memset(&bare, 0, sizeof(bare));
    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(SQLGetInfo(&bare, SQL_DBMS_NAME, buf, sizeof(buf), nullptr), SQL_ERROR);
    EXPECT_EQ(logged(log4cplus::ERROR_LOG_LEVEL, "SQL_ERROR hDbcExtras is NULL"), 1u);
    EXPECT_STREQ(bare.diag.sqlState, "HY000");
    EXPECT_EQ(buf[0], 'x');
}
