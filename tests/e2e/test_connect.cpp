// Connecting through the driver manager: both authorisation modes, with a
// data source from the private odbc.ini and without one.
#include "OdbcHarness.h"

using namespace e2e;

namespace {

// Runs "select 1" and checks that one row with 1 comes back.
void expectSelectOne(Connection& conn) {
    Statement st(conn);
    ASSERT_EQ(SQL_SUCCESS, st.exec("select 1 as one")) << st.diagText();
    auto rows = st.fetchAllText();
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("1", rows[0][0]);
}

std::string withoutManagerPrefix(const std::string& text) {
    const std::string dm = "[unixODBC]";
    return text.compare(0, dm.size(), dm) == 0 ? text.substr(dm.size()) : text;
}

bool startsWith(const std::string& s, const std::string& p) {
    return s.compare(0, p.size(), p) == 0;
}

// Every service request of the project carries the given header; returns how many there were.
size_t serviceRequestsWith(const std::string& project, const std::string& header,
                           const std::string& prefix) {
    size_t n = 0;
    for (const EmuRequest& r : emulator().requests(project)) {
        if (r.path.find("/v1.0/") != 0) continue;
        EXPECT_TRUE(startsWith(r.header(header), prefix))
            << r.method << " " << r.path << " has " << header << "='" << r.header(header) << "'";
        ++n;
    }
    return n;
}

} // namespace

TEST(Connect, SigningModeWithoutDataSource) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    std::string out;
    SQLSMALLINT outLen = -1;
    ASSERT_EQ(SQL_SUCCESS, conn.driverConnect(akskConnStr(project), &out, 1024, &outLen))
        << diagText(SQL_HANDLE_DBC, conn.dbc);
    // The out connection string names the driver the application named.
    EXPECT_EQ("DRIVER=" + driverPath(), out);
    EXPECT_EQ(static_cast<SQLSMALLINT>(out.size()), outLen);
    expectSelectOne(conn);

    EXPECT_EQ(0u, tokenRequests(project));
    EXPECT_GE(serviceRequestsWith(project, "Authorization", "SDK-HMAC-SHA256 "), 1u);
    for (const EmuRequest& r : emulator().requests(project))
        EXPECT_EQ("", r.header("X-Auth-Token")) << r.path;
}

// A project id is one path segment of every request, whatever it holds.
TEST(Connect, ProjectIdIsOnePathSegment) {
    const std::string project = testProject() + "/../other?x=1";
    emulator().reset(project);
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    expectSelectOne(conn);
    const std::vector<EmuRequest> submits = emulator().requests(project, "/jobs/submit-job");
    ASSERT_EQ(1u, submits.size());
    EXPECT_EQ("/v1.0/" + project.substr(0, project.find('/')) +
                  "%2F..%2Fother%3Fx%3D1/jobs/submit-job",
              submits[0].path);
}

TEST(Connect, TokenModeWithoutDataSource) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    ASSERT_EQ(SQL_SUCCESS, conn.driverConnect(tokenConnStr(project)))
        << diagText(SQL_HANDLE_DBC, conn.dbc);
    // The token is asked for at connect, before any statement runs.
    EXPECT_EQ(1u, tokenRequests(project));
    expectSelectOne(conn);
    EXPECT_EQ(1u, tokenRequests(project));
    EXPECT_GE(serviceRequestsWith(project, "X-Auth-Token", ""), 1u);
    for (const EmuRequest& r : emulator().requests(project)) {
        if (r.path.find("/v1.0/") != 0) continue;
        EXPECT_FALSE(r.header("X-Auth-Token").empty()) << r.path;
        EXPECT_EQ("", r.header("Authorization")) << r.path;
    }
}

TEST(Connect, TokenModePasswordWithQuoteAndBackslash) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    std::string cs = "DRIVER=" + driverPath() + ";DSN=e2e;HOST=" + hostPort() +
                     ";REGION=" + kRegion + ";PROJECTID=" + project +
                     ";AUTHMODE=0;ACCOUNT=emuaccount;USER=quoteuser;PASSWORD=pa\"ss\\word";
    ASSERT_EQ(SQL_SUCCESS, conn.driverConnect(cs)) << diagText(SQL_HANDLE_DBC, conn.dbc);
    expectSelectOne(conn);
}

TEST(Connect, BracedValuesStayWhole) {
    std::string project = testProject();
    emulator().reset(project);
    // A ";" inside braces starts no entry: the HOST in them is part of the
    // database name, and every request goes to the real host.
    {
        Connection conn;
        std::string cs = "DRIVER=" + driverPath() +
                         ";DSN=e2e;DATABASE={db1;HOST=127.0.0.1:1};HOST=" + hostPort() +
                         ";REGION=" + kRegion + ";PROJECTID=" + project + ";AUTHMODE=1;AK=" + kAk +
                         ";SK={" + kSk + "}";
        ASSERT_EQ(SQL_SUCCESS, conn.driverConnect(cs)) << diagText(SQL_HANDLE_DBC, conn.dbc);
        Statement st(conn);
        EXPECT_EQ(SQL_ERROR, st.exec("select 1"));
        ASSERT_EQ(1u, submitRequests(project)) << st.diagText();
        EXPECT_NE(std::string::npos, emulator().requests(project, "/jobs/submit-job")[0].body.find(
                                         "\"currentdb\":\"db1;HOST=127.0.0.1:1\""));
    }
    // A braced password (token mode).
    {
        Connection conn;
        std::string cs = tokenConnStr(project);
        cs.replace(cs.find("PASSWORD=emu-Pass_01"), 20, "PASSWORD={emu-Pass_01}");
        ASSERT_EQ(SQL_SUCCESS, conn.driverConnect(cs)) << diagText(SQL_HANDLE_DBC, conn.dbc);
        expectSelectOne(conn);
    }
}

TEST(Connect, SigningModeThroughDataSource) {
    // No reset: DataSourceNamedInConnectionString runs its job on the same
    // data source's project at the same time, and a reset would drop it.
    std::string project = dsnProject(kDsnAksk);
    Connection conn;
    ASSERT_TRUE(SQL_SUCCEEDED(conn.connect(kDsnAksk))) << diagText(SQL_HANDLE_DBC, conn.dbc);
    expectSelectOne(conn);
    // The keys came from the data source's section: its project, its database.
    auto reqs = emulator().requests(project);
    ASSERT_FALSE(reqs.empty());
    bool sawSubmit = false;
    for (const EmuRequest& r : reqs) {
        if (r.method == "POST" && r.path == "/v1.0/" + project + "/jobs/submit-job") {
            sawSubmit = true;
            EXPECT_NE(std::string::npos, r.body.find("\"currentdb\":\"db1\"")) << r.body;
        }
    }
    EXPECT_TRUE(sawSubmit);
    EXPECT_EQ(0u, tokenRequests(project));
}

TEST(Connect, TokenModeThroughDataSource) {
    std::string project = dsnProject(kDsnToken);
    emulator().reset(project);
    Connection conn;
    ASSERT_TRUE(SQL_SUCCEEDED(conn.connect(kDsnToken))) << diagText(SQL_HANDLE_DBC, conn.dbc);
    EXPECT_EQ(1u, tokenRequests(project));
    expectSelectOne(conn);
}

TEST(Connect, DataSourceNamedInConnectionString) {
    std::string project = dsnProject(kDsnAksk);
    Connection conn;
    std::string out;
    SQLSMALLINT outLen = -1;
    // Only the data source is named; the driver reads every other key from odbc.ini,
    // and its out connection string names the driver entry of the section.
    ASSERT_TRUE(
        SQL_SUCCEEDED(conn.driverConnect(std::string("DSN=") + kDsnAksk, &out, 1024, &outLen)))
        << diagText(SQL_HANDLE_DBC, conn.dbc);
    EXPECT_EQ("DRIVER=VKL", out);
    EXPECT_EQ(10, outLen);
    expectSelectOne(conn);
}

TEST(Connect, ConnectionStringOverridesDataSource) {
    // The data source says signing mode; the string switches to token mode and
    // another project: keys of the string win over the section's.
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    std::string cs = std::string("DSN=") + kDsnAksk + ";PROJECTID=" + project +
                     ";AUTHMODE=0;ACCOUNT=emuaccount;USER=emuuser;PASSWORD=emu-Pass_01";
    ASSERT_TRUE(SQL_SUCCEEDED(conn.driverConnect(cs))) << diagText(SQL_HANDLE_DBC, conn.dbc);
    EXPECT_EQ(1u, tokenRequests(project));
    expectSelectOne(conn);
}

TEST(Connect, WrongPasswordFailsWithSystemError) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    std::string cs = tokenConnStr(project);
    cs.replace(cs.find("PASSWORD=emu-Pass_01"), 20, "PASSWORD=wrong-password");
    EXPECT_EQ(SQL_ERROR, conn.driverConnect(cs));
    Diag d = diag(SQL_HANDLE_DBC, conn.dbc);
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("HY000", d.state);
    const std::string refused =
        "VKL ODBC System ERROR. Identity service answered 401: The username or password is wrong.";
    EXPECT_EQ(refused, d.text);
    EXPECT_EQ(401, d.native);
    EXPECT_EQ((int)refused.size(), d.textLen);
    EXPECT_EQ(1u, tokenRequests(project));

    // The handle is not connected: statements cannot be allocated on it, and
    // the same handle connects once the password is right.
    SQLHSTMT st = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, conn.dbc, &st));
    ASSERT_EQ(SQL_SUCCESS, conn.driverConnect(tokenConnStr(project)))
        << diagText(SQL_HANDLE_DBC, conn.dbc);
    expectSelectOne(conn);
}

TEST(Connect, WrongPasswordThroughDataSource) {
    std::string project = dsnProject(kDsnBadPass);
    Connection conn;
    EXPECT_EQ(SQL_ERROR, conn.connect(kDsnBadPass));
    Diag d = diag(SQL_HANDLE_DBC, conn.dbc);
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("HY000", d.state);
    // A failed SQLConnect unloads the driver, so the driver manager keeps its
    // own copy of the record and puts its name in front of the text.
    EXPECT_EQ(
        "VKL ODBC System ERROR. Identity service answered 401: The username or password is wrong.",
        withoutManagerPrefix(d.text));
    EXPECT_EQ(401, d.native);
}

TEST(Connect, MissingRequiredKeyFailsWithoutContactingTheService) {
    std::string project = dsnProject(kDsnNoRegion);
    emulator().reset(project);
    Connection conn;
    EXPECT_EQ(SQL_ERROR, conn.connect(kDsnNoRegion));
    EXPECT_TRUE(emulator().requests(project).empty());
    // The client never ran: the record is the driver's own, with the reason.
    Diag d = diag(SQL_HANDLE_DBC, conn.dbc);
    ASSERT_EQ(SQL_SUCCESS, d.ret);
    EXPECT_EQ("08001", d.state);
    EXPECT_EQ("REGION cannot be empty", withoutManagerPrefix(d.text));
    EXPECT_EQ(0, d.native);

    // An empty REGION in the string still counts as given.
    Connection conn2;
    EXPECT_TRUE(SQL_SUCCEEDED(conn2.driverConnect(std::string("DSN=") + kDsnNoRegion + ";REGION=")))
        << diagText(SQL_HANDLE_DBC, conn2.dbc);
}

TEST(Connect, OutConnectionStringCutToBuffer) {
    std::string project = testProject();
    Connection conn;
    std::string out;
    SQLSMALLINT outLen = -1;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, conn.driverConnect(akskConnStr(project), &out, 10, &outLen));
    EXPECT_EQ("DRIVER=" + driverPath().substr(0, 2), out);
    EXPECT_EQ(static_cast<SQLSMALLINT>(7 + driverPath().size()), outLen);
    EXPECT_EQ("01004", diag(SQL_HANDLE_DBC, conn.dbc).state);
    ASSERT_TRUE(conn.connected);
    expectSelectOne(conn);
}

TEST(Connect, SecondConnectOnConnectedHandleIsRefused) {
    std::string project = testProject();
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    SQLRETURN rc = SQLDriverConnect(conn.dbc, nullptr, (SQLCHAR*)tokenConnStr(project).c_str(),
                                    SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    EXPECT_EQ(SQL_ERROR, rc);
    expectSelectOne(conn);
}

TEST(Connect, DisconnectAndConnectAgain) {
    std::string project = testProject();
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    expectSelectOne(conn);
    ASSERT_EQ(SQL_SUCCESS, conn.disconnect());
    E2E_CONNECT(conn, tokenConnStr(project));
    expectSelectOne(conn);
}

TEST(Connect, ServerSettingInConnectionStringSelectsSynchronousRows) {
    std::string project = testProject();
    emulator().reset(project);
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project, "vkl.sql.syncMode.enabled=true"));
    expectSelectOne(conn);
    // Rows came with the submit answer: no status or result page was asked for.
    EXPECT_EQ(1u, submitRequests(project));
    EXPECT_EQ(0u, statusRequests(project));
    EXPECT_EQ(0u, pageRequests(project));
    for (const EmuRequest& r : emulator().requests(project, "/jobs/submit-job")) {
        EXPECT_NE(std::string::npos, r.body.find("vkl.sql.syncMode.enabled=true")) << r.body;
    }
}

TEST(Connect, GetInfoDescribesTheOpenConnection) {
    std::string project = testProject();
    Connection conn;
    E2E_CONNECT(conn, akskConnStr(project));
    auto info = [&](SQLUSMALLINT type) {
        char buf[512] = {0};
        SQLSMALLINT len = -1;
        SQLRETURN rc = SQLGetInfo(conn.dbc, type, buf, sizeof buf, &len);
        EXPECT_EQ(SQL_SUCCESS, rc) << "info type " << type;
        EXPECT_EQ(static_cast<SQLSMALLINT>(strlen(buf)), len) << "info type " << type;
        return std::string(buf);
    };
    EXPECT_EQ("VKL", info(SQL_DBMS_NAME));
    EXPECT_EQ("1.1.0", info(SQL_DBMS_VER));
    EXPECT_EQ(hostPort(), info(SQL_SERVER_NAME));
    EXPECT_EQ("\"", info(SQL_IDENTIFIER_QUOTE_CHAR));
    EXPECT_EQ(driverPath(), info(SQL_DRIVER_NAME));
    EXPECT_EQ("1.1.0", info(SQL_DRIVER_VER));
    EXPECT_EQ("03.51", info(SQL_DRIVER_ODBC_VER));

    // A type without an answer fails and leaves the buffer alone.
    char keywords[16] = "untouched";
    EXPECT_EQ(SQL_ERROR, SQLGetInfo(conn.dbc, SQL_KEYWORDS, keywords, sizeof keywords, nullptr));
    EXPECT_STREQ("untouched", keywords);
    EXPECT_EQ("HYC00", diag(SQL_HANDLE_DBC, conn.dbc).state);

    SQLUSMALLINT txn = 99;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(conn.dbc, SQL_TXN_CAPABLE, &txn, sizeof txn, nullptr));
    EXPECT_EQ(SQL_TC_NONE, txn);

    // A cut string answer: first character, full length, with info.
    char two[2] = {'x', 'x'};
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(conn.dbc, SQL_DBMS_NAME, two, 2, &len));
    EXPECT_EQ('V', two[0]);
    EXPECT_EQ('\0', two[1]);
    EXPECT_EQ(3, len);
}

TEST(Connect, SurplusEntriesAndOverlongValues) {
    std::string project = testProject();
    emulator().reset(project);
    std::string base = "DRIVER=" + driverPath() + ";DSN=e2e;HOST=" + hostPort() +
                       ";REGION=" + kRegion + ";AUTHMODE=1;AK=" + kAk + ";SK=" + kSk;
    auto fillers = [](int n) {
        std::string f;
        for (int i = 0; i < n; ++i)
            f += ";X" + std::to_string(i) + "=" + std::string(300, 'v');
        return f;
    };
    // Seven entries and 24 fillers: the project is the 32nd entry, and read.
    {
        Connection conn;
        ASSERT_TRUE(SQL_SUCCEEDED(conn.driverConnect(base + fillers(24) + ";PROJECTID=" + project)))
            << diagText(SQL_HANDLE_DBC, conn.dbc);
        expectSelectOne(conn);
    }
    // Rows: connection string -> the refusal's SQLSTATE and text. Nothing is
    // cut, and nothing is sent.
    project += "-refused";
    emulator().reset(project);
    struct Case {
        std::string in;
        const char* state;
        const char* text;
    } cases[] = {
        {base + fillers(25) + ";PROJECTID=" + project, "HY090",
         "Connection string has more than 32 entries"},
        {base + ";PROJECTID=" + project + std::string(10000, 'p'), "HY090",
         "Value of PROJECTID is longer than 256 characters"},
        {tokenConnStr(project, "SVCNAME=" + std::string(3000, 's')), "HY090",
         "Value of SVCNAME is longer than 256 characters"},
        {base + ";PROJECTID=" + project + ";PWD={open;HOST=127.0.0.1:1", "08001",
         "Value of PWD: a braced value must end with } before the next ;"},
    };
    for (const Case& c : cases) {
        Connection conn;
        EXPECT_EQ(SQL_ERROR, conn.driverConnect(c.in)) << c.text;
        Diag d = diag(SQL_HANDLE_DBC, conn.dbc);
        EXPECT_EQ(c.state, d.state) << c.text;
        EXPECT_NE(std::string::npos, d.text.find(c.text)) << d.text;
    }
    EXPECT_TRUE(emulator().requests(project).empty());
}
