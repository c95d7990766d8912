#include "OdbcHarness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

namespace e2e {

const char* const kAk = "EMUAK0000000000000001";
const char* const kSk = "emu-secret-key-0001";
const char* const kAccount = "emuaccount";
const char* const kUser = "emuuser";
const char* const kPassword = "emu-Pass_01";
const char* const kRegion = "emu-region-1";

const char* const kDsnAksk = "vkl_aksk";
const char* const kDsnToken = "vkl_token";
const char* const kDsnBadPass = "vkl_badpass";
const char* const kDsnNoRegion = "vkl_noregion";

std::string dsnProject(const char* dsn) {
    std::string p = std::string("e2e-dsn-") + dsn;
    std::replace(p.begin(), p.end(), '_', '-');
    return p;
}

namespace {

std::string g_driverPath;
std::string g_hostPort;
std::string g_caFile;
std::string g_iniDir;

std::string requireEnv(const char* name) {
    const char* v = getenv(name);
    if (!v || !*v) {
        fprintf(stderr, "environment variable %s is not set\n", name);
        exit(2);
    }
    return v;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    if (!f) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(2);
    }
}

// The driver manager caches where its ini files are on first use, so the
// private files are written once, before the first ODBC call of the process.
void writePrivateIni() {
    char tmpl[] = "/tmp/vorn-e2e-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("mkdtemp");
        exit(2);
    }
    g_iniDir = tmpl;
    writeFile(g_iniDir + "/odbcinst.ini",
              "[VKL]\nDescription = VKL cloud analytics service\nDriver = " + g_driverPath + "\n");

    std::ostringstream ini;
    auto section = [&](const char* dsn, const std::string& body) {
        ini << "[" << dsn << "]\nDriver = VKL\nHOST = " << g_hostPort
            << "\nPROJECTID = " << dsnProject(dsn)
            << "\nDATABASE = db1\nCHARSET = UTF-8\nSSLCA = " << g_caFile << "\n"
            << body << "\n";
    };
    // The section of the DSN that the connection strings of the tests name
    // ("DSN=e2e"): a string written out by hand still trusts the emulator.
    ini << "[e2e]\nSSLCA = " << g_caFile << "\n\n";
    section(kDsnAksk, std::string("REGION = ") + kRegion + "\nAUTHMODE = 1\nAK = " + kAk +
                          "\nSK = " + kSk + "\n");
    section(kDsnToken, std::string("REGION = ") + kRegion + "\nAUTHMODE = 0\nACCOUNT = " +
                           kAccount + "\nUSER = " + kUser + "\nPASSWORD = " + kPassword + "\n");
    section(kDsnBadPass, std::string("REGION = ") + kRegion + "\nAUTHMODE = 0\nACCOUNT = " +
                             kAccount + "\nUSER = " + kUser + "\nPASSWORD = not-the-password\n");
    section(kDsnNoRegion, std::string("AUTHMODE = 1\nAK = ") + kAk + "\nSK = " + kSk + "\n");
    writeFile(g_iniDir + "/odbc.ini", ini.str());

    setenv("ODBCSYSINI", g_iniDir.c_str(), 1);
    setenv("ODBCINI", (g_iniDir + "/odbc.ini").c_str(), 1);
}

void removePrivateIni() {
    if (g_iniDir.empty()) return;
    unlink((g_iniDir + "/odbcinst.ini").c_str());
    unlink((g_iniDir + "/odbc.ini").c_str());
    rmdir(g_iniDir.c_str());
}

std::string sanitize(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (!isalnum(static_cast<unsigned char>(c))) c = '-';
    }
    return s;
}

} // namespace

const std::string& driverPath() {
    return g_driverPath;
}
const std::string& hostPort() {
    return g_hostPort;
}
const std::string& caFile() {
    return g_caFile;
}
EmuClient& emulator() {
    return EmuClient::get();
}

std::string testProject() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string p = "e2e-" + sanitize(info->test_suite_name()) + "-" + sanitize(info->name());
    return p;
}

static std::string common(const std::string& project) {
    return "DRIVER=" + g_driverPath + ";DSN=e2e;HOST=" + g_hostPort + ";REGION=" + kRegion +
           ";PROJECTID=" + project + ";DATABASE=db1;CHARSET=UTF-8";
}

// The first entry of a key counts, so the trust entry goes last: an SSLCA in
// extra replaces it.
static std::string trusting(const std::string& s) {
    return s + ";SSLCA=" + g_caFile;
}

std::string akskConnStr(const std::string& project, const std::string& extra) {
    std::string s = common(project) + ";AUTHMODE=1;AK=" + kAk + ";SK=" + kSk;
    if (!extra.empty()) s += ";" + extra;
    return trusting(s);
}

std::string tokenConnStr(const std::string& project, const std::string& extra) {
    std::string s = common(project) + ";AUTHMODE=0;ACCOUNT=" + kAccount + ";USER=" + kUser +
                    ";PASSWORD=" + kPassword;
    if (!extra.empty()) s += ";" + extra;
    return trusting(s);
}

Diag diag(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT bufLen) {
    Diag d;
    SQLCHAR state[6] = {0};
    std::vector<SQLCHAR> msg(bufLen > 0 ? bufLen : 1, 0xFF);
    d.ret = SQLGetDiagRec(type, h, rec, state, &d.native, msg.data(), bufLen, &d.textLen);
    if (SQL_SUCCEEDED(d.ret)) {
        d.state = reinterpret_cast<char*>(state);
        if (bufLen > 0)
            d.text = std::string(reinterpret_cast<char*>(msg.data()),
                                 strnlen(reinterpret_cast<char*>(msg.data()), bufLen));
    }
    return d;
}

std::string diagText(SQLSMALLINT type, SQLHANDLE h) {
    std::string all;
    for (SQLSMALLINT rec = 1; rec < 5; ++rec) {
        Diag d = diag(type, h, rec);
        if (!SQL_SUCCEEDED(d.ret)) break;
        all += "[" + d.state + "] " + d.text + " (" + std::to_string(d.native) + ") ";
    }
    return all;
}

Connection::Connection() {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw std::runtime_error("SQLAllocHandle(ENV) failed");
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)))
        throw std::runtime_error("SQLAllocHandle(DBC) failed");
}

Connection::~Connection() {
    if (connected) SQLDisconnect(dbc);
    if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
}

SQLRETURN Connection::driverConnect(const std::string& connStr, std::string* outConnStr,
                                    SQLSMALLINT outBufLen, SQLSMALLINT* outLen) {
    std::vector<SQLCHAR> out(outBufLen > 0 ? outBufLen : 1, 0);
    SQLSMALLINT len = -1;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(connStr.c_str())),
                                    SQL_NTS, out.data(), outBufLen, &len, SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(rc)) connected = true;
    if (outConnStr) *outConnStr = reinterpret_cast<char*>(out.data());
    if (outLen) *outLen = len;
    return rc;
}

SQLRETURN Connection::connect(const std::string& dsn, const std::string& user,
                              const std::string& password) {
    SQLRETURN rc =
        SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(dsn.c_str())), SQL_NTS,
                   reinterpret_cast<SQLCHAR*>(const_cast<char*>(user.c_str())), SQL_NTS,
                   reinterpret_cast<SQLCHAR*>(const_cast<char*>(password.c_str())), SQL_NTS);
    if (SQL_SUCCEEDED(rc)) connected = true;
    return rc;
}

SQLRETURN Connection::disconnect() {
    SQLRETURN rc = SQLDisconnect(dbc);
    if (SQL_SUCCEEDED(rc)) connected = false;
    return rc;
}

Statement::Statement(Connection& conn) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, conn.dbc, &h)))
        throw std::runtime_error("SQLAllocHandle(STMT) failed");
}

Statement::~Statement() {
    release();
}

void Statement::release() {
    if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
    h = SQL_NULL_HSTMT;
}

SQLRETURN Statement::exec(const std::string& sql) {
    return SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
}

SQLSMALLINT Statement::numCols() {
    SQLSMALLINT n = -1;
    SQLNumResultCols(h, &n);
    return n;
}

std::string Statement::diagText() {
    return e2e::diagText(SQL_HANDLE_STMT, h);
}

std::string getText(SQLHSTMT h, SQLUSMALLINT col, SQLLEN bufLen) {
    std::vector<char> buf(bufLen, 0);
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(h, col, SQL_C_CHAR, buf.data(), bufLen, &ind);
    if (!SQL_SUCCEEDED(rc)) return "<error " + std::to_string(rc) + ">";
    if (ind == SQL_NULL_DATA) return "<null>";
    return std::string(buf.data());
}

std::vector<std::vector<std::string>> Statement::fetchAllText(SQLSMALLINT maxCols) {
    std::vector<std::vector<std::string>> rows;
    SQLSMALLINT n = std::min(numCols(), maxCols);
    for (int guard = 0; guard < 100000; ++guard) {
        SQLRETURN rc = SQLFetch(h);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) {
            ADD_FAILURE() << "SQLFetch failed with " << rc << ": " << diagText();
            break;
        }
        std::vector<std::string> row;
        for (SQLSMALLINT c = 1; c <= n; ++c)
            row.push_back(getText(h, c));
        rows.push_back(row);
    }
    return rows;
}

std::string columnName(SQLHSTMT h, SQLUSMALLINT col) {
    SQLCHAR name[256] = {0};
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!SQL_SUCCEEDED(
            SQLDescribeCol(h, col, name, sizeof name, &len, &type, &size, &digits, &nullable)))
        return "";
    return reinterpret_cast<char*>(name);
}

SQLUSMALLINT columnIndex(SQLHSTMT h, const std::string& name) {
    SQLSMALLINT n = 0;
    SQLNumResultCols(h, &n);
    for (SQLSMALLINT c = 1; c <= n; ++c)
        if (columnName(h, c) == name) return c;
    return 0;
}

size_t countRequests(const std::string& project, const std::string& method,
                     const std::string& pathPart) {
    size_t n = 0;
    for (const EmuRequest& r : emulator().requests(project))
        if (r.method == method && r.path.find(pathPart) != std::string::npos) ++n;
    return n;
}

void fault(const std::string& project, const std::string& match, const std::string& kind,
           const std::string& extraJson) {
    std::string json =
        "{\"project\":\"" + project + "\",\"match\":\"" + match + "\",\"kind\":\"" + kind + "\"";
    if (!extraJson.empty()) json += "," + extraJson;
    json += "}";
    emulator().fault(json);
}

void runningPolls(const std::string& project, int polls) {
    emulator().config("{\"project\":\"" + project +
                      "\",\"running_polls\":" + std::to_string(polls) + "}");
}

size_t submitRequests(const std::string& project) {
    return countRequests(project, "POST", "/jobs/submit-job");
}

size_t statusRequests(const std::string& project) {
    size_t n = 0;
    for (const EmuRequest& r : emulator().requests(project))
        if (r.method == "GET" && r.path.size() > 7 &&
            r.path.compare(r.path.size() - 7, 7, "/status") == 0)
            ++n;
    return n;
}

size_t pageRequests(const std::string& project) {
    size_t n = 0;
    for (const EmuRequest& r : emulator().requests(project))
        if (r.method == "GET" && r.query.find("current-page=") != std::string::npos) ++n;
    return n;
}

size_t tokenRequests(const std::string& project) {
    return countRequests(project, "POST", "/v3/auth/tokens");
}

std::vector<std::string> submittedSql(const std::string& project) {
    std::vector<std::string> out;
    for (const EmuRequest& r : emulator().requests(project)) {
        if (r.method != "POST" || r.path.find("/jobs/submit-job") == std::string::npos) continue;
        try {
            std::istringstream in(r.body);
            boost::property_tree::ptree tree;
            boost::property_tree::read_json(in, tree);
            out.push_back(tree.get<std::string>("sql", "<no sql>"));
        } catch (const std::exception& e) {
            out.push_back(std::string("<bad body: ") + e.what() + ">");
        }
    }
    return out;
}

} // namespace e2e

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Test listing (gtest_discover_tests) needs neither emulator nor driver.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    e2e::g_driverPath = e2e::requireEnv("VORN_DRIVER_PATH");
    e2e::requireEnv("VORN_EMULATOR_PORT_FILE");
    e2e::g_hostPort = EmuClient::get().hostPort();
    e2e::g_caFile = EmuClient::get().caFile();
    // TIMESTAMP cells are shown in local time; the expected values are UTC.
    setenv("TZ", "UTC", 1);
    tzset();
    // The driver reads the identity host when it asks for a token.
    setenv("VORN_IDENTITY_HOST", e2e::g_hostPort.c_str(), 1);
    e2e::writePrivateIni();
    int rc = RUN_ALL_TESTS();
    e2e::removePrivateIni();
    return rc;
}
