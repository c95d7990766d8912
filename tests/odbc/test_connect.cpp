// Connection-string parsing, the out connection string and the connect /
// disconnect entry points. The data sources come from a private odbc.ini
// (ODBCINI/ODBCSYSINI) written before the installer library is first used.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "ConnProperty.h"
#include "LogCapture.h"
#include "NavixConnection.h"
#include "_Connect.h"
#include "handles.h"

extern "C" {
SQLRETURN SQL_API SQLDriverConnect(SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                   SQLSMALLINT*, SQLUSMALLINT);
SQLRETURN SQL_API SQLConnect(SQLHDBC, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                             SQLSMALLINT);
SQLRETURN SQL_API SQLDisconnect(SQLHDBC);
}

namespace {

const std::string kLongDriver(300, 'D');
const std::string kExactDriver(256, 'E');

// Written once per process, before any profile look-up.
struct PrivateOdbcIni {
    std::string dir;
    PrivateOdbcIni() {
        char tmpl[] = "/tmp/vorn-odbc-ini-XXXXXX";
        const char* made = mkdtemp(tmpl);
        dir = made != NULL ? made : "/tmp";
        std::ofstream(dir + "/odbcinst.ini").close();
        std::ofstream(dir + "/odbc.ini").close();
        std::ofstream user(dir + "/user-odbc.ini");
        user << "[prod]\nDriver = /opt/vorn/libvornodbc.so\nREGION = r-prod\nPROJECTID = p-prod\n"
                "DATABASE = proddb\nQUEUENAME = q-prod\n"
                "[test]\nDriver = test-driver\nDATABASE = testdb\nREGION =\nPROJECTID = p-test\n"
                "AUTHMODE = 1\n"
                "[full]\nDriver = full-driver\nHOST = 127.0.0.1:9\nREGION = r1\nPROJECTID = p1\n"
                "AUTHMODE = 1\nAK = ak\nSK = sk\n"
                "[long]\nDriver = "
             << kLongDriver << "\nREGION = r\nPROJECTID = p\nAUTHMODE = 1\n"
             << "[exact]\nDriver = " << kExactDriver
             << "\nREGION = r\nPROJECTID = p\nAUTHMODE = 1\n";
        user.close();
        setenv("ODBCSYSINI", dir.c_str(), 1);
        setenv("ODBCINI", (dir + "/user-odbc.ini").c_str(), 1);
        // Token requests go to a closed port: an open in token mode fails fast.
        setenv("VORN_IDENTITY_HOST", "127.0.0.1:9", 1);
    }
    ~PrivateOdbcIni() {
        if (dir != "/tmp") {
            std::string cmd = "rm -rf '" + dir + "'";
            (void)system(cmd.c_str());
        }
    }
};
PrivateOdbcIni privateIni;

struct Parsed {
    int rc;
    ConnProperty prop;
};

Parsed parse(const std::string& s) {
    Parsed p;
    memset(&p.prop, 0x5A, sizeof(p.prop));
    p.rc = buildConnConfs(s.c_str(), &p.prop);
    return p;
}

const std::string kBase = "DRIVER=drv;DSN=nosuchdsn;REGION=r1;PROJECTID=p;AUTHMODE=1";

} // namespace

TEST(BuildConnConfs, ConnectionStringValuesAndDefaults) {
    Parsed p = parse(kBase + ";HOST=h:1;DATABASE=db1;AK=a;SK=s");
    ASSERT_EQ(p.rc, 0);
    EXPECT_STREQ(p.prop.DRIVER, "drv");
    EXPECT_STREQ(p.prop.DSN, "nosuchdsn");
    EXPECT_STREQ(p.prop.REGION, "r1");
    EXPECT_STREQ(p.prop.PROJECTID, "p");
    EXPECT_STREQ(p.prop.HOST, "h:1");
    EXPECT_STREQ(p.prop.DATABASE, "db1");
    EXPECT_STREQ(p.prop.AK, "a");
    EXPECT_STREQ(p.prop.SK, "s");
    EXPECT_EQ(p.prop.authMode, 1);
    // Defaults of the keys nobody gave.
    EXPECT_STREQ(p.prop.QUEUENAME, "default");
    EXPECT_STREQ(p.prop.SVCNAME, "VKL");
    EXPECT_STREQ(p.prop.USEPROXY, "0");
    EXPECT_STREQ(p.prop.PORT, "");
    EXPECT_STREQ(p.prop.PASSWORD, "");
    EXPECT_EQ(p.prop.jobTimeout, 300);
    EXPECT_EQ(p.prop.charsetFlag, 1);
}

TEST(BuildConnConfs, KeysMatchIgnoringCaseAndFirstEntryWins) {
    Parsed p = parse("driver=d;dsn=nosuchdsn;Region=r1;projectid=p;AuthMode=1;REGION=second");
    ASSERT_EQ(p.rc, 0);
    EXPECT_STREQ(p.prop.REGION, "r1");
    EXPECT_STREQ(p.prop.DRIVER, "d");
}

TEST(BuildConnConfs, OdbcIniFillsWhatTheStringLacks) {
    Parsed p = parse("DSN=prod;REGION=r1;PROJECTID=p;AUTHMODE=1");
    ASSERT_EQ(p.rc, 0);
    EXPECT_STREQ(p.prop.DRIVER, "/opt/vorn/libvornodbc.so");
    EXPECT_STREQ(p.prop.REGION, "r1"); // the string beats odbc.ini
    EXPECT_STREQ(p.prop.PROJECTID, "p");
    EXPECT_STREQ(p.prop.DATABASE, "proddb");
    EXPECT_STREQ(p.prop.QUEUENAME, "q-prod");

    // Even an empty value in the string beats odbc.ini.
    p = parse("DSN=prod;REGION=r1;PROJECTID=p;AUTHMODE=1;DATABASE=");
    ASSERT_EQ(p.rc, 0);
    EXPECT_STREQ(p.prop.DATABASE, "");

    // An empty data-source name reads no section: the installer would answer
    // from the first one ([prod]), another data source's settings.
    p = parse("DRIVER=d;DSN=;REGION=r1;PROJECTID=p;AUTHMODE=1");
    ASSERT_EQ(p.rc, 0);
    EXPECT_STREQ(p.prop.DATABASE, "");
    EXPECT_STREQ(p.prop.QUEUENAME, "default");
}

TEST(BuildConnConfs, RequiredKeysMissing) {
    LogCapture capture;
    // No DSN anywhere.
    EXPECT_EQ(parse("DRIVER={x};REGION=r1;PROJECTID=p;AUTHMODE=0").rc, -1);
    EXPECT_EQ(capture.count("DSN cannot be empty"), 1u);
    capture.clear();
    // REGION is empty in the section "test": counts as missing.
    EXPECT_EQ(parse("DSN=test").rc, -1);
    EXPECT_EQ(capture.count("REGION cannot be empty"), 1u);
    // ...while an empty REGION entry in the string satisfies it.
    Parsed p = parse("DSN=test;REGION=");
    EXPECT_EQ(p.rc, 0);
    EXPECT_STREQ(p.prop.REGION, "");
    // A missing AUTHMODE.
    capture.clear();
    EXPECT_EQ(parse("DRIVER=d;DSN=nosuchdsn;REGION=r;PROJECTID=p").rc, -1);
    EXPECT_EQ(capture.count("AUTHMODE cannot be empty"), 1u);

    // The caller gets the reason too, cut to its buffer.
    ConnProperty prop;
    char reason[64] = "untouched";
    EXPECT_EQ(
        buildConnConfs("DRIVER=d;DSN=nosuchdsn;REGION=r;AUTHMODE=1", &prop, reason, sizeof(reason)),
        -1);
    EXPECT_STREQ(reason, "PROJECTID cannot be empty");
    char small[8];
    EXPECT_EQ(
        buildConnConfs("DRIVER=d;DSN=nosuchdsn;REGION=r;AUTHMODE=1", &prop, small, sizeof(small)),
        -1);
    EXPECT_STREQ(small, "PROJECT");
    strcpy(reason, "untouched");
    EXPECT_EQ(buildConnConfs(kBase.c_str(), &prop, reason, sizeof(reason)), 0);
    EXPECT_STREQ(reason, "untouched");
}

TEST(BuildConnConfs, ConnectionStringGrammar) {
    // Rows: connection string, key -> the value it resolves to.
    struct Case {
        std::string in;
        int key;
        const char* value;
    } cases[] = {
        // A value runs from the first "=" to the ";".
        {kBase + ";PASSWORD=ab=c", DSKEY_PASSWORD, "ab=c"},
        {kBase + ";SK=a=b==", DSKEY_SK, "a=b=="},
        // Braces may hold ";" and "="; "}}" is "}"; the braces are not kept.
        {kBase + ";DATABASE={db1;HOST=evil:1}", DSKEY_DATABASE, "db1;HOST=evil:1"},
        {kBase + ";DATABASE={db1;HOST=evil:1}", DSKEY_HOST, ""},
        {kBase + ";PASSWORD={a}}b;c}}}", DSKEY_PASSWORD, "a}b;c}"},
        {kBase + ";PASSWORD={}", DSKEY_PASSWORD, ""},
        {kBase + ";PASSWORD= {p;q} ;USER=u", DSKEY_PASSWORD, "p;q"},
        {kBase + ";PASSWORD= {p;q} ;USER=u", DSKEY_USER, "u"},
        {kBase + ";USER=a{b}c", DSKEY_USER, "a{b}c"},
        // The first entry of a key wins, also for DSN (its odbc.ini section
        // is the first one's too).
        {kBase + ";HOST=h1;host=h2", DSKEY_HOST, "h1"},
        {"Dsn=prod;DSN=test;REGION=r;AUTHMODE=1", DSKEY_DSN, "prod"},
        {"Dsn=prod;DSN=test;REGION=r;AUTHMODE=1", DSKEY_DATABASE, "proddb"},
        // Empty values, and entries without "=" or without a key.
        {kBase + ";USER=;ACCOUNT", DSKEY_USER, ""},
        {kBase + ";USER=;ACCOUNT", DSKEY_ACCOUNT, ""},
        {";;" + kBase + ";;=HOST;;HOST=h;", DSKEY_HOST, "h"},
        // A key is matched as written: " HOST" is not HOST.
        {kBase + "; HOST=h", DSKEY_HOST, ""},
        // Values as long as their field, from the string and from odbc.ini.
        {kBase + ";HOST=" + std::string(256, 'h'), DSKEY_HOST, NULL},
        {"DSN=exact", DSKEY_DRIVER, kExactDriver.c_str()},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.in);
        ASSERT_EQ(p.rc, 0) << c.in;
        std::string want = c.value != NULL ? c.value : std::string(256, 'h');
        EXPECT_EQ(std::string(connPropertyTextField(&p.prop, c.key)), want) << c.in;
    }
}

TEST(BuildConnConfs, WhatDoesNotFitIsRefusedNeverCut) {
    const std::string head = "DRIVER=d;DSN=nosuchdsn;REGION=r;AUTHMODE=1;PROJECTID=";
    std::string entries32;
    for (int i = 0; i < 27; i++)
        entries32 += "vkl.x" + std::to_string(i) + "=1;";
    entries32 += ";;" + head + "p"; // empty entries do not count
    // Rows: connection string -> result and reason.
    struct Case {
        std::string in;
        int rc;
        std::string reason;
    } cases[] = {
        {head + std::string(257, 'p'), CONN_CONF_TOO_LONG,
         "Value of PROJECTID is longer than 256 characters"},
        {"DSN=" + std::string(257, 's') + ";DRIVER=d;REGION=r;AUTHMODE=1;PROJECTID=p",
         CONN_CONF_TOO_LONG, "Value of DSN is longer than 256 characters"},
        {head + "p;JOBTIMEOUT=" + std::string(300, '1'), CONN_CONF_TOO_LONG,
         "Value of JOBTIMEOUT is longer than 256 characters"},
        {"DSN=long", CONN_CONF_TOO_LONG,
         "Value of DRIVER in odbc.ini is longer than 256 characters"},
        {entries32, CONN_CONF_OK, ""},
        {"vkl.extra=1;" + entries32, CONN_CONF_TOO_LONG,
         "Connection string has more than 32 entries"},
        // A server setting is no data-source key, but it is not sent longer.
        {head + "p;vkl.long=" + std::string(1000, 'v'), CONN_CONF_TOO_LONG,
         "Value of vkl.long is longer than 256 characters"},
        {head + "p;vkl.fits=" + std::string(256, 'v'), CONN_CONF_OK, ""},
        {std::string(300, 'K') + "=x;" + head + "p", CONN_CONF_OK, ""},
        // A brace left open would swallow the entries after it.
        {head + "p;PWD={a;HOST=evil", CONN_CONF_REFUSED,
         "Value of PWD: a braced value must end with } before the next ;"},
        {head + "p;PWD={a}b", CONN_CONF_REFUSED,
         "Value of PWD: a braced value must end with } before the next ;"},
    };
    for (const Case& c : cases) {
        ConnProperty prop;
        char reason[256] = "";
        EXPECT_EQ(buildConnConfs(c.in.c_str(), &prop, reason, sizeof(reason)), c.rc)
            << c.in.substr(0, 80);
        EXPECT_EQ(std::string(reason), c.reason) << c.in.substr(0, 80);
    }
}

TEST(BuildConnConfs, NumbersAndCharset) {
    Parsed p = parse(kBase + ";CHARSET=utf-8;JOBTIMEOUT=abc");
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.prop.charsetFlag, 0);
    EXPECT_EQ(p.prop.jobTimeout, 0);
    p = parse("DRIVER=d;DSN=x;REGION=r;PROJECTID=p;AUTHMODE=01;CHARSET=UTF8;JOBTIMEOUT= 42s");
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.prop.authMode, 1);
    EXPECT_EQ(p.prop.charsetFlag, 1);
    EXPECT_EQ(p.prop.jobTimeout, 42);
    p = parse("DRIVER=d;DSN=x;REGION=r;PROJECTID=p;AUTHMODE=0");
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.prop.authMode, 0);
}

TEST(BuildConnConfs, LeavesTheStringAlone) {
    std::string s = kBase + ";vkl.sql.syncMode.enabled=true;PASSWORD=a=b";
    std::string copy = s;
    ConnProperty prop;
    ASSERT_EQ(buildConnConfs(s.c_str(), &prop), 0);
    EXPECT_EQ(s, copy);
    EXPECT_EQ(buildConnConfs(NULL, &prop), -1);
}

TEST(OutConnString, DriverOrDsnCutToTheBuffer) {
    ConnProperty prop;
    memset(&prop, 0, sizeof(prop));
    strcpy(prop.DRIVER, "01234567890123456789");
    strcpy(prop.DSN, "mydsn");

    unsigned char buf[64];
    SQLSMALLINT len = -7;
    memset(buf, 0xFF, sizeof(buf));
    EXPECT_EQ(buildOutConnString(&prop, buf + 8, 10, &len), 1);
    EXPECT_EQ(len, 27);
    EXPECT_STREQ((char*)buf + 8, "DRIVER=01");
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(buf[i], 0xFF);
    for (int i = 18; i < 64; i++)
        EXPECT_EQ(buf[i], 0xFF);

    // Exactly fitting: 27 characters and the NUL in 28 bytes.
    EXPECT_EQ(buildOutConnString(&prop, buf, 28, &len), 0);
    EXPECT_STREQ((char*)buf, "DRIVER=01234567890123456789");
    // 27 bytes: the NUL does not fit, the text is cut.
    EXPECT_EQ(buildOutConnString(&prop, buf, 27, &len), 1);
    EXPECT_EQ(strlen((char*)buf), 26u);

    // Zero and negative lengths write nothing at all.
    for (SQLSMALLINT bl : {(SQLSMALLINT)0, (SQLSMALLINT)-1, (SQLSMALLINT)-100}) {
        memset(buf, 0xFF, sizeof(buf));
        EXPECT_EQ(buildOutConnString(&prop, buf + 8, bl, &len), 1);
        for (int i = 0; i < 64; i++)
            ASSERT_EQ(buf[i], 0xFF);
        EXPECT_EQ(len, 27);
    }

    prop.DRIVER[0] = '\0';
    EXPECT_EQ(buildOutConnString(&prop, buf, 64, NULL), 0);
    EXPECT_STREQ((char*)buf, "DSN=mydsn");
}

TEST(MaskConnString, PasswordAndSecretKeyNeverShown) {
    const struct {
        const char* in;
        const char* shown;
    } rows[] = {
        {"DSN=a;PASSWORD=secret;sk=abc=d;PWD=x; Password =y;AK=k;SKIP=1;;",
         "DSN=a;PASSWORD=****;sk=****;PWD=****; Password =****;AK=k;SKIP=1;;"},
        // An entry without "=" may be the rest of an unbraced secret.
        {"SK=;PASSWORD", "SK=****;****"},
        {"DSN=a;PWD=se;cret;UID=u", "DSN=a;PWD=****;****;UID=u"},
        {"PWD={se;cret};UID=u", "PWD=****;UID=u"},
        {"", ""},
    };
    for (const auto& r : rows) {
        char* m = maskConnString(r.in);
        ASSERT_NE(m, nullptr);
        EXPECT_STREQ(m, r.shown) << r.in;
        free(m);
    }
}

// ---- entry points on real handles ---------------------------------------

namespace {

class ConnectTest : public ::testing::Test {
  protected:
    SQLHANDLE env = NULL;
    SQLHANDLE dbc = NULL;
    void SetUp() override {
        ASSERT_EQ(_AllocEnv(&env), SQL_SUCCESS);
        ASSERT_EQ(_AllocConnect(env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override {
        DbcHandle* d = (DbcHandle*)dbc;
        while (d->firstStmt != NULL)
            _ReleaseStmt(d->firstStmt);
        if (d->connected) {
            EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
        }
        EXPECT_EQ(_FreeConnect(dbc), SQL_SUCCESS);
        EXPECT_EQ(_FreeEnv(env), SQL_SUCCESS);
    }
    DbcHandle* handle() { return (DbcHandle*)dbc; }
    SQLRETURN connect(const std::string& s, SQLCHAR* out, SQLSMALLINT outLen, SQLSMALLINT* len2) {
        return SQLDriverConnect(dbc, NULL, (SQLCHAR*)s.c_str(), SQL_NTS, out, outLen, len2,
                                SQL_DRIVER_NOPROMPT);
    }
};

// Signing mode: opening needs no server.
const std::string kAkskConn = "DRIVER=" + std::string(20, 'x') +
                              ";DSN=nosuchdsn;HOST=127.0.0.1:9;REGION=r1;PROJECTID=p;"
                              "AUTHMODE=1;AK=ak;SK=topsecret;PASSWORD=hunter2";

} // namespace

TEST_F(ConnectTest, ConnectsAndWritesTheOutStringCut) {
    SQLCHAR out[64];
    memset(out, 0xFF, sizeof(out));
    SQLSMALLINT len = 0;
    EXPECT_EQ(connect(kAkskConn, out, 10, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(handle()->diag.sqlState, "01004");
    EXPECT_EQ(len, 27);
    EXPECT_STREQ((char*)out, "DRIVER=xx");
    EXPECT_EQ(out[10], 0xFF);
    EXPECT_EQ(handle()->connected, 1);
    ASSERT_NE(handle()->extras->connInfo, nullptr);
    EXPECT_STREQ(handle()->extras->connInfo->DSN, "nosuchdsn");
    EXPECT_STREQ(handle()->extras->connInfo->HOST, "127.0.0.1:9");
    EXPECT_EQ(std::string(handle()->extras->connInfo->DRIVER), std::string(20, 'x'));
    EXPECT_NE(handle()->extras->conn, nullptr);

    // A second connect is refused and leaves the first one in place.
    NavixConnection* first = handle()->extras->conn;
    EXPECT_EQ(connect(kAkskConn, out, 64, &len), SQL_ERROR);
    EXPECT_STREQ(handle()->diag.sqlState, "08002");
    EXPECT_EQ(handle()->extras->conn, first);
    EXPECT_EQ(handle()->connected, 1);
}

TEST_F(ConnectTest, NullOutLengthPointerIsAccepted) {
    SQLCHAR out[64];
    EXPECT_EQ(connect(kAkskConn, out, sizeof(out), NULL), SQL_SUCCESS);
    EXPECT_EQ(handle()->connected, 1);
    EXPECT_EQ(std::string((char*)out), "DRIVER=" + std::string(20, 'x'));
}

TEST_F(ConnectTest, NullOutStringLeavesTheLengthAlone) {
    SQLSMALLINT len = 1234;
    EXPECT_EQ(connect(kAkskConn, NULL, 100, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 1234);
}

TEST_F(ConnectTest, ExplicitInLengthIsHonoured) {
    // The application's buffer goes on past the length it gave.
    std::string conn = "DRIVER=d;DSN=nosuchdsn;REGION=r1;PROJECTID=p;AUTHMODE=1;HOST=good";
    std::string buffer = conn + "BAD;HOST=worse";
    EXPECT_EQ(SQLDriverConnect(dbc, NULL, (SQLCHAR*)buffer.c_str(), (SQLSMALLINT)conn.size(), NULL,
                               0, NULL, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS);
    ASSERT_NE(handle()->extras->connInfo, nullptr);
    EXPECT_STREQ(handle()->extras->connInfo->HOST, "good");
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLDriverConnect(dbc, NULL, (SQLCHAR*)buffer.c_str(), -5, NULL, 0, NULL,
                               SQL_DRIVER_NOPROMPT),
              SQL_ERROR);
    EXPECT_STREQ(handle()->diag.sqlState, "HY090");
    EXPECT_EQ(handle()->connected, 0);
    // A NUL inside the length with more text behind it is refused, not cut.
    std::string withNul = conn + std::string("\0;HOST=evil", 11);
    EXPECT_EQ(SQLDriverConnect(dbc, NULL, (SQLCHAR*)withNul.data(), (SQLSMALLINT)withNul.size(),
                               NULL, 0, NULL, SQL_DRIVER_NOPROMPT),
              SQL_ERROR);
    EXPECT_STREQ(handle()->diag.sqlState, "HY090");
    EXPECT_EQ(handle()->connected, 0);
}

TEST_F(ConnectTest, SecretsAreMaskedInTheLog) {
    LogCapture capture;
    EXPECT_EQ(connect(kAkskConn, NULL, 0, NULL), SQL_SUCCESS);
    EXPECT_EQ(capture.count("topsecret"), 0u);
    EXPECT_EQ(capture.count("hunter2"), 0u);
    EXPECT_GE(capture.count("SK=****"), 1u);
    EXPECT_GE(capture.count("PASSWORD=****"), 1u);
}

TEST_F(ConnectTest, InvalidArguments) {
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLDriverConnect(NULL, NULL, (SQLCHAR*)kAkskConn.c_str(), SQL_NTS, NULL, 0, &len, 0),
              SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLDriverConnect(dbc, NULL, NULL, SQL_NTS, NULL, 0, &len, 0), SQL_ERROR);
    EXPECT_STREQ(handle()->diag.sqlState, "HY009");
    // A missing key: nothing written, not connected, the reason recorded.
    SQLCHAR out[16] = "untouched";
    EXPECT_EQ(connect("DRIVER=d;DSN=nosuchdsn;REGION=r", out, sizeof(out), &len), SQL_ERROR);
    EXPECT_STREQ(handle()->diag.sqlState, "08001");
    EXPECT_STREQ(handle()->diag.message, "PROJECTID cannot be empty");
    EXPECT_STREQ((char*)out, "untouched");
    EXPECT_EQ(handle()->connected, 0);
    // A value too long for its field: refused, naming the key.
    EXPECT_EQ(
        connect("DRIVER=d;DSN=nosuchdsn;REGION=r;AUTHMODE=1;PROJECTID=" + std::string(10000, 'p'),
                out, sizeof(out), &len),
        SQL_ERROR);
    EXPECT_STREQ(handle()->diag.sqlState, "HY090");
    EXPECT_STREQ(handle()->diag.message, "Value of PROJECTID is longer than 256 characters");
    EXPECT_EQ(handle()->connected, 0);
}

TEST_F(ConnectTest, FailedOpenStillWritesTheOutString) {
    LogCapture capture;
    SQLCHAR out[64] = "";
    SQLSMALLINT len = 0;
    // Token mode: the identity service on the closed port cannot be reached.
    EXPECT_EQ(connect("DRIVER=drv;DSN=nosuchdsn;REGION=r1;PROJECTID=p;AUTHMODE=0;ACCOUNT=a;USER=u;"
                      "PASSWORD=p",
                      out, sizeof(out), &len),
              SQL_ERROR);
    EXPECT_STREQ((char*)out, "DRIVER=drv");
    EXPECT_EQ(len, 10);
    EXPECT_EQ(handle()->connected, 0);
    EXPECT_EQ(handle()->extras->conn, nullptr);
    EXPECT_EQ(handle()->extras->connInfo, nullptr);
    EXPECT_EQ(capture.count("Call NavixOpenConnection Failed"), 1u);
    // Whoever wrote it, the record says something went wrong.
    EXPECT_STRNE(handle()->diag.sqlState, "");
    EXPECT_STRNE(handle()->diag.sqlState, "00000");
}

TEST_F(ConnectTest, DisconnectStates) {
    EXPECT_EQ(SQLDisconnect(NULL), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(handle()->diag.sqlState, "01000");
    ASSERT_EQ(connect(kAkskConn, NULL, 0, NULL), SQL_SUCCESS);
    SQLHANDLE stmt = NULL;
    ASSERT_EQ(_AllocStmt(dbc, &stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
    EXPECT_STREQ(handle()->diag.sqlState, "HY010");
    EXPECT_EQ(handle()->connected, 1);
    ASSERT_EQ(_ReleaseStmt((StmtHandle*)stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(handle()->connected, 0);
    EXPECT_EQ(handle()->extras->conn, nullptr);
    EXPECT_EQ(handle()->extras->connInfo, nullptr);
    // The handle connects again with a fresh ConnInfo.
    ASSERT_EQ(connect(kAkskConn, NULL, 0, NULL), SQL_SUCCESS);
    EXPECT_NE(handle()->extras->connInfo, nullptr);
}

TEST_F(ConnectTest, SqlConnectUsesTheDataSource) {
    LogCapture capture;
    EXPECT_EQ(
        SQLConnect(dbc, (SQLCHAR*)"fullXYZ", 4, (SQLCHAR*)"bob", SQL_NTS, (SQLCHAR*)"pw;junk", 2),
        SQL_SUCCESS);
    EXPECT_EQ(handle()->connected, 1);
    ASSERT_NE(handle()->extras->connInfo, nullptr);
    EXPECT_STREQ(handle()->extras->connInfo->DSN, "full");
    EXPECT_STREQ(handle()->extras->connInfo->DRIVER, "full-driver");
    EXPECT_STREQ(handle()->extras->connInfo->HOST, "127.0.0.1:9");
    EXPECT_EQ(capture.count("Connection string: DSN=full;USER=bob;PASSWORD=****"), 1u);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

    // Empty user and password add no entries.
    capture.clear();
    EXPECT_EQ(SQLConnect(dbc, (SQLCHAR*)"full", SQL_NTS, (SQLCHAR*)"", SQL_NTS, NULL, 0),
              SQL_SUCCESS);
    EXPECT_EQ(capture.count("Connection string: DSN=full"), 1u);
    EXPECT_EQ(capture.count("USER="), 0u);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

    EXPECT_EQ(SQLConnect(dbc, (SQLCHAR*)"nosuchdsn", SQL_NTS, NULL, 0, NULL, 0), SQL_ERROR);
    EXPECT_EQ(handle()->connected, 0);
    EXPECT_EQ(SQLConnect(dbc, (SQLCHAR*)"full", -7, NULL, 0, NULL, 0), SQL_ERROR);
    EXPECT_EQ(SQLConnect(NULL, (SQLCHAR*)"full", SQL_NTS, NULL, 0, NULL, 0), SQL_INVALID_HANDLE);
}

TEST_F(ConnectTest, SqlConnectPassesUserAndPasswordWhole) {
    // "=" and ";" cannot travel whole inside a connection string; the
    // arguments must still arrive exactly, and what follows a ";" in them
    // must never become an entry of its own (here: a HOST and a token mode).
    const char* user = " {bo=b;x}";
    const char* password = "pa=ss}};HOST=evil:1;AUTHMODE=0";
    ASSERT_EQ(SQLConnect(dbc, (SQLCHAR*)"full", SQL_NTS, (SQLCHAR*)user, SQL_NTS,
                         (SQLCHAR*)password, SQL_NTS),
              SQL_SUCCESS);
    ASSERT_NE(handle()->extras->conn, nullptr);
    const ConnProperty& prop = handle()->extras->conn->connProperty;
    EXPECT_STREQ(prop.USER, user);
    EXPECT_STREQ(prop.PASSWORD, password);
    EXPECT_STREQ(prop.HOST, "127.0.0.1:9");
    EXPECT_EQ(prop.authMode, 1);
    EXPECT_STREQ(handle()->extras->connInfo->HOST, "127.0.0.1:9");
}
