// The driver talks only to a service whose certificate it can verify: with
// the system store or with the CAs of the SSLCA file. A peer that fails the
// check is a communication link failure and never receives a request; an
// SSLCA file that cannot be used fails the connect before anything is sent.
#include "OdbcHarness.h"

using namespace e2e;

namespace {

enum Outcome {
    ROWS,        // the query answers
    UNVERIFIED,  // 08001 at connect in token mode, 08S01 at execute with signing
    BAD_CA_FILE, // 08001 at connect in both modes
};

// The harness's string without its SSLCA entry, naming a data source that
// has no section in odbc.ini: no SSLCA from anywhere.
std::string withoutSslCa(std::string cs) {
    const std::string entry = ";SSLCA=" + caFile();
    const size_t at = cs.rfind(entry);
    if (at != std::string::npos && at + entry.size() == cs.size()) cs.erase(at);
    const size_t dsn = cs.find(";DSN=e2e;");
    if (dsn != std::string::npos) cs.replace(dsn, 9, ";DSN=e2e_no_sslca;");
    return cs;
}

} // namespace

TEST(Certificates, OnlyAVerifiedServiceIsReached) {
    const struct Row {
        const char* name;
        const char* sslca; // nullptr: no SSLCA at all; "" : the emulator's CA
        Outcome outcome;
        const char* text; // part of the record's message
    } rows[] = {
        {"no SSLCA: the system store", nullptr, UNVERIFIED, "SSL certificate problem"},
        {"SSLCA of an unrelated CA", emu::kUnrelatedCaFile, UNVERIFIED, "SSL certificate problem"},
        {"SSLCA of the emulator's CA", "", ROWS, ""},
        {"SSLCA file missing", "/nonexistent-dir/ca.pem", BAD_CA_FILE,
         "SSLCA file /nonexistent-dir/ca.pem: No such file or directory"},
        {"SSLCA file without a certificate", "/dev/null", BAD_CA_FILE,
         "SSLCA file /dev/null: holds no PEM certificate"},
    };
    const std::string project = testProject();
    for (const Row& r : rows) {
        for (bool token : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (token ? ", token mode" : ", signing mode"));
            emulator().reset(project);
            const std::string extra =
                r.sslca == nullptr || r.sslca[0] == '\0' ? "" : std::string("SSLCA=") + r.sslca;
            std::string cs = token ? tokenConnStr(project, extra) : akskConnStr(project, extra);
            if (r.sslca == nullptr) cs = withoutSslCa(cs);

            Connection conn;
            const SQLRETURN connected = conn.driverConnect(cs);
            if (r.outcome == BAD_CA_FILE || (r.outcome == UNVERIFIED && token)) {
                ASSERT_EQ(SQL_ERROR, connected);
                Diag d = diag(SQL_HANDLE_DBC, conn.dbc);
                EXPECT_EQ("08001", d.state);
                EXPECT_EQ(r.outcome == BAD_CA_FILE ? 77 : 60, d.native) << d.text;
                EXPECT_NE(std::string::npos, d.text.find(r.text)) << d.text;
                EXPECT_TRUE(emulator().requests(project).empty());
                continue;
            }
            ASSERT_TRUE(SQL_SUCCEEDED(connected)) << diagText(SQL_HANDLE_DBC, conn.dbc);
            Statement st(conn);
            const SQLRETURN executed = st.exec("select id from numbers where id < 3 order by id");
            if (r.outcome == ROWS) {
                ASSERT_EQ(SQL_SUCCESS, executed) << st.diagText();
                EXPECT_EQ((std::vector<std::vector<std::string>>{{"1"}, {"2"}}), st.fetchAllText());
                EXPECT_FALSE(emulator().requests(project).empty());
                continue;
            }
            ASSERT_EQ(SQL_ERROR, executed);
            Diag d = diag(SQL_HANDLE_STMT, st.h);
            EXPECT_EQ("08S01", d.state);
            EXPECT_EQ(60, d.native) << d.text; // CURLE_PEER_FAILED_VERIFICATION
            EXPECT_EQ(0u, d.text.find("VKL ODBC Communication link failure: ")) << d.text;
            EXPECT_NE(std::string::npos, d.text.find(r.text)) << d.text;
            EXPECT_TRUE(emulator().requests(project).empty());
        }
    }
}
