// The REST library against the VKL emulator: signing and tokens accepted by
// the emulator's own checks, the three outcomes of a call, headers on the
// wire and token renewal.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "EmuClient.h"
#include "LogCapture.h"
#include "RestApiProxy.h"

namespace pt = boost::property_tree;
using namespace navixrest;

namespace {

const char* const kAk = emu::kAk;
const char* const kSk = emu::kSk;

class RestEmu : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        project = std::string("rest-") + info->test_suite_name() + "-" + info->name() + "-" +
                  std::to_string(getpid());
        EmuClient::get().reset(project);
        setenv("VORN_IDENTITY_HOST", EmuClient::get().hostPort().c_str(), 1);
    }

    RestApiConf akskConf() const {
        RestApiConf c;
        c.authMode = 1;
        c.projectId = project;
        c.region = "emu-region-1";
        c.ak = kAk;
        c.sk = kSk;
        c.endpoint = EmuClient::get().hostPort();
        c.caFile = EmuClient::get().caFile();
        return c;
    }

    RestApiConf tokenConf(const std::string& user = emu::kUser,
                          const std::string& password = emu::kPassword) const {
        RestApiConf c;
        c.authMode = 0;
        c.user = user;
        c.password = password;
        c.account = emu::kAccount;
        c.projectId = project;
        c.region = "emu-region-1";
        c.endpoint = EmuClient::get().hostPort();
        c.caFile = EmuClient::get().caFile();
        return c;
    }

    std::vector<EmuRequest> requests() { return EmuClient::get().requests(project); }

    size_t tokenRequests() {
        size_t n = 0;
        for (const EmuRequest& r : requests()) {
            if (r.path == "/v3/auth/tokens") ++n;
        }
        return n;
    }

    void fault(const std::string& fields) {
        EmuClient::get().fault("{\"project\":\"" + project + "\"," + fields + "}");
    }

    // Names of the given headers in the order in which they came on the wire.
    static std::vector<std::string> wireOrder(const EmuRequest& r,
                                              const std::vector<std::string>& names) {
        std::vector<std::string> seen;
        for (const auto& h : r.headers) {
            if (std::find(names.begin(), names.end(), h.first) != names.end())
                seen.push_back(h.first);
        }
        return seen;
    }

    std::string project;
};

TEST_F(RestEmu, SignedRequestsOfAllFourKindsAreAccepted) {
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(akskConf()));

    SubmitJobReq submit("select id, label from numbers order by id", "db1", "default", {});
    SubmitJobResp submitted;
    ASSERT_EQ(0, proxy.call(submit, submitted));
    ASSERT_TRUE(submitted.isSuccess) << submitted.httpStatus << " " << submitted.message;
    EXPECT_EQ("QUERY", submitted.job_type);
    EXPECT_FALSE(submitted.hasRows);
    ASSERT_FALSE(submitted.job_id.empty());

    std::string status;
    for (int i = 0; i < 50 && status != "FINISHED"; ++i) {
        JobStatusReq req(submitted.job_id);
        JobStatusResp resp;
        ASSERT_EQ(0, proxy.call(req, resp));
        ASSERT_TRUE(resp.isSuccess) << resp.message;
        EXPECT_EQ(submitted.job_id, resp.job_id);
        status = resp.status;
    }
    ASSERT_EQ("FINISHED", status);

    GetJobResuleReq pageReq(submitted.job_id, 3);
    GetJobResuleResp page;
    ASSERT_EQ(0, proxy.call(pageReq, page));
    ASSERT_TRUE(page.isSuccess) << page.message;
    EXPECT_EQ(250, page.row_count);
    ASSERT_EQ(50u, page.rows.size());
    EXPECT_EQ("201", page.rows.front()[0]);
    ASSERT_EQ(2u, page.schema.size());
    EXPECT_EQ("id", page.schema[0].name);

    GetDescribeTableReq describeReq("db1", "customers");
    GetDescribeTableResp described;
    ASSERT_EQ(0, proxy.call(describeReq, described));
    ASSERT_TRUE(described.isSuccess) << described.message;
    ASSERT_GE(described.columns.size(), 2u);
    EXPECT_EQ("id", described.columns[0].column_name);
    EXPECT_EQ("name", described.columns[1].column_name);
    EXPECT_EQ("customer name", described.columns[1].description);

    // The header list goes to libcurl in ascending name order; libcurl itself
    // puts "Host" right after the request line, so it is checked apart.
    const std::vector<std::string> ours = {"Authorization", "Content-Type", "X-Project-Id",
                                           "X-Sdk-Date"};
    std::vector<EmuRequest> recorded = requests();
    ASSERT_GE(recorded.size(), 4u);
    for (const EmuRequest& r : recorded) {
        SCOPED_TRACE(r.method + " " + r.path);
        EXPECT_EQ(ours, wireOrder(r, ours));
        EXPECT_EQ(1u, r.headerCount("Host"));
        EXPECT_EQ(EmuClient::get().hostPort(), r.header("Host"));
        EXPECT_EQ(project, r.header("X-Project-Id"));
        EXPECT_EQ("application/json", r.header("Content-Type"));
        EXPECT_EQ(
            0u,
            r.header("Authorization").find(std::string("SDK-HMAC-SHA256 Credential=") + kAk + "/"));
        EXPECT_TRUE(r.header("X-Auth-Token").empty());
    }
    EXPECT_EQ("current-page=3&page-size=100", recorded[recorded.size() - 2].query);
    EXPECT_EQ("/v1.0/" + project + "/jobs/submit-job", recorded.front().path);
    EXPECT_EQ(submit.httpReq.body, recorded.front().body);
}

TEST_F(RestEmu, WrongSecretKeyIsAServiceError) {
    RestApiConf c = akskConf();
    c.sk = "not-the-secret";
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(c));
    JobStatusReq req("no-such-job");
    JobStatusResp resp;
    ASSERT_EQ(0, proxy.call(req, resp));
    EXPECT_FALSE(resp.isSuccess);
    EXPECT_EQ(401, resp.httpStatus);
    EXPECT_EQ(resp.httpResp.body, resp.message);
    EXPECT_NE(std::string::npos, resp.message.find("VKL.0401"));
    EXPECT_TRUE(resp.status.empty());
}

TEST_F(RestEmu, TokenModeLogsInAndSendsTheToken) {
    LogCapture log;
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(tokenConf()));
    ASSERT_FALSE(proxy.token.empty());
    EXPECT_GT(proxy.tokenExpiry, static_cast<int64_t>(std::time(nullptr)));

    SubmitJobReq submit("select name from customers where id = 1", "db1", "default",
                        {"vkl.sql.syncMode.enabled=true"});
    SubmitJobResp resp;
    ASSERT_EQ(0, proxy.call(submit, resp));
    ASSERT_TRUE(resp.isSuccess) << resp.message;
    ASSERT_TRUE(resp.hasRows);
    ASSERT_EQ(1u, resp.rows.size());
    EXPECT_EQ("Anna M\xc3\xbcller", resp.rows[0][0]);

    std::vector<EmuRequest> recorded = requests();
    ASSERT_EQ(2u, recorded.size());
    const EmuRequest& tokenReq = recorded[0];
    EXPECT_EQ("POST", tokenReq.method);
    EXPECT_EQ("/v3/auth/tokens", tokenReq.path);
    EXPECT_EQ("application/json", tokenReq.header("Content-Type"));
    EXPECT_TRUE(tokenReq.header("X-Auth-Token").empty());
    EXPECT_EQ(proxy.tokenRequestBody, tokenReq.body);

    const EmuRequest& call = recorded[1];
    EXPECT_EQ(proxy.token, call.header("X-Auth-Token"));
    EXPECT_TRUE(call.header("Authorization").empty());
    EXPECT_EQ((std::vector<std::string>{"Content-Type", "X-Auth-Token"}),
              wireOrder(call, {"Content-Type", "X-Auth-Token"}));

    // Neither the token nor the password reaches the log.
    EXPECT_FALSE(log.contains(proxy.token));
    EXPECT_FALSE(log.contains(emu::kPassword));
    EXPECT_TRUE(log.contains("header: X-Auth-Token:****"));
    EXPECT_TRUE(log.contains("\"password\":\"****\""));
}

TEST_F(RestEmu, SigningSecretsStayOutOfTheLog) {
    LogCapture log;
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(akskConf()));
    JobStatusReq req("j");
    JobStatusResp resp;
    ASSERT_EQ(0, proxy.call(req, resp));
    const std::string& auth = req.httpReq.headers["Authorization"];
    const std::string signature = auth.substr(auth.find("Signature=") + 10);
    ASSERT_EQ(64u, signature.size());
    EXPECT_FALSE(log.contains(signature));
    EXPECT_FALSE(log.contains(kSk));
    EXPECT_TRUE(log.contains("header: Authorization:SDK-HMAC-SHA256 Credential="));
    EXPECT_TRUE(log.contains("Signature=****"));
    EXPECT_TRUE(log.contains("header: X-Project-Id:" + project));
}

TEST_F(RestEmu, IdentityRefusalsFailInit) {
    {
        LogCapture log;
        RestApiProxy wrong;
        CallError error;
        EXPECT_EQ(401, wrong.init(tokenConf("emuuser", "wrong-password"), &error));
        EXPECT_TRUE(wrong.token.empty());
        EXPECT_EQ(0, wrong.tokenExpiry);
        EXPECT_EQ(CallError::IDENTITY_REFUSED, error.kind);
        EXPECT_EQ(401, error.code);
        EXPECT_EQ("Identity service answered 401: The username or password is wrong.", error.text);
        // An answer without a token is an ordinary HTTP exchange (INFO) and a
        // failed token request (ERROR, with the status).
        EXPECT_EQ(log4cplus::INFO_LOG_LEVEL,
                  log.levelOf("HttpClient::call][http call success. HTTP code: 401"));
        EXPECT_EQ(log4cplus::ERROR_LOG_LEVEL,
                  log.levelOf("RestApiProxy::getToken][An error status in the identity answer, "
                              "HTTP code: 401"));
    }

    fault("\"match\":\"token\",\"kind\":\"not_success\"");
    RestApiProxy refused;
    EXPECT_EQ(401, refused.init(tokenConf()));

    fault("\"match\":\"token\",\"kind\":\"status\",\"status\":200,\"body\":\"{}\"");
    RestApiProxy noHeader;
    EXPECT_EQ(200, noHeader.init(tokenConf()));
    EXPECT_TRUE(noHeader.token.empty());

    // A token whose answer cannot be read is not taken: its expiry is unknown.
    for (const char* form : {"html", "truncated", "empty"}) {
        fault(std::string("\"match\":\"token\",\"kind\":\"unreadable\",\"form\":\"") + form + "\"");
        RestApiProxy unreadable;
        CallError error;
        EXPECT_EQ(kUnreadableAnswer, unreadable.init(tokenConf(), &error)) << form;
        EXPECT_EQ(CallError::UNREADABLE, error.kind) << form;
        EXPECT_FALSE(error.text.empty()) << form;
        EXPECT_TRUE(unreadable.token.empty()) << form;
    }
}

TEST_F(RestEmu, PasswordWithQuoteAndBackslashLogsIn) {
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(tokenConf(emu::kQuoteUser, emu::kQuotePassword)));
    EXPECT_FALSE(proxy.token.empty());
    JobStatusReq req("none");
    JobStatusResp resp;
    ASSERT_EQ(0, proxy.call(req, resp));
    EXPECT_EQ(404, resp.httpStatus); // authorised; the job does not exist
}

TEST_F(RestEmu, TokenIsRenewedBeforeItLapses) {
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(tokenConf()));
    const std::string first = proxy.token;
    ASSERT_EQ(1u, tokenRequests());
    EXPECT_GT(proxy.tokenLifetimeMs, 3590 * 1000);

    // Far from its expiry: no renewal.
    {
        JobStatusReq req("j");
        JobStatusResp resp;
        ASSERT_EQ(0, proxy.call(req, resp));
        EXPECT_EQ(1u, tokenRequests());
        EXPECT_EQ(first, req.httpReq.headers["X-Auth-Token"]);
    }
    // Less than a minute left: renewed before the request goes out.
    proxy.tokenExpiry = static_cast<int64_t>(std::time(nullptr)) + 59;
    {
        JobStatusReq req("j");
        JobStatusResp resp;
        ASSERT_EQ(0, proxy.call(req, resp));
        EXPECT_EQ(2u, tokenRequests());
        EXPECT_NE(first, proxy.token);
        EXPECT_EQ(proxy.token, req.httpReq.headers["X-Auth-Token"]);
        EXPECT_EQ(404, resp.httpStatus);
    }
    // A token that lives 4 s is renewed at half its life, so none of a run
    // of requests across several of its lives is refused as expired.
    EmuClient::get().config("{\"project\":\"" + project + "\",\"token_ttl\":4}");
    proxy.tokenExpiry = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(7);
    int calls = 0;
    while (std::chrono::steady_clock::now() < end) {
        JobStatusReq req("j");
        JobStatusResp resp;
        ASSERT_EQ(0, proxy.call(req, resp));
        ASSERT_EQ(404, resp.httpStatus)
            << resp.message; // authorised; 401 would mean a lapsed token
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_GT(calls, 10);
    EXPECT_GE(tokenRequests(), 5u); // 2 above, and at least one more per half life
}

TEST_F(RestEmu, FailedRenewalFailsTheRequest) {
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(tokenConf()));
    const std::string first = proxy.token;
    const std::string identity = EmuClient::get().hostPort();
    proxy.tokenExpiry = static_cast<int64_t>(std::time(nullptr));
    const int64_t forced = proxy.tokenExpiry;
    const struct {
        const char* fault;
        CallError::Kind kind;
        const char* text; // part of the error's text
    } cases[] = {
        {"\"kind\":\"drop\"", CallError::TRANSPORT, ""},
        {"\"kind\":\"not_success\",\"message\":\"Account locked\"", CallError::IDENTITY_REFUSED,
         "Identity service answered 401: Account locked"},
        {"\"kind\":\"unreadable\",\"form\":\"truncated\"", CallError::UNREADABLE, ""},
    };
    for (const auto& c : cases) {
        fault(std::string("\"match\":\"token\",") + c.fault);
        JobStatusReq req("j");
        JobStatusResp resp;
        EXPECT_NE(0, proxy.call(req, resp)) << c.fault;
        EXPECT_EQ(c.kind, resp.error.kind) << c.fault;
        EXPECT_NE(std::string::npos, resp.error.text.find(c.text)) << resp.error.text;
        if (c.kind == CallError::TRANSPORT) {
            EXPECT_EQ(identity, resp.error.host);
        }
        EXPECT_EQ(first, proxy.token);
        EXPECT_EQ(forced, proxy.tokenExpiry);
    }
    EXPECT_TRUE(EmuClient::get()
                    .requests(project, "/status")
                    .empty()); // nothing went out with the old token
    // The next call renews and goes through.
    JobStatusReq req("j");
    JobStatusResp resp;
    ASSERT_EQ(0, proxy.call(req, resp));
    EXPECT_EQ(404, resp.httpStatus);
    EXPECT_NE(first, proxy.token);
}

TEST_F(RestEmu, ThreeOutcomesOfACall) {
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(akskConf()));

    // Service error with the whole body as the message.
    fault("\"match\":\"submit\",\"kind\":\"status\",\"status\":500,\"body\":\"boom\"");
    {
        SubmitJobReq req("select 1", "db1", "default", {});
        SubmitJobResp resp;
        ASSERT_EQ(0, proxy.call(req, resp));
        EXPECT_FALSE(resp.isSuccess);
        EXPECT_EQ(500, resp.httpStatus);
        EXPECT_EQ("boom", resp.message);
        EXPECT_TRUE(resp.job_id.empty());
    }
    // 400 with a JSON error body.
    fault("\"match\":\"submit\",\"kind\":\"status\",\"status\":400,"
          "\"body\":\"{\\\"error_code\\\":\\\"VKL.0400\\\",\\\"error_msg\\\":\\\"bad\\\"}\"");
    {
        SubmitJobReq req("select 1", "db1", "default", {});
        SubmitJobResp resp;
        ASSERT_EQ(0, proxy.call(req, resp));
        EXPECT_FALSE(resp.isSuccess);
        EXPECT_EQ(400, resp.httpStatus);
        EXPECT_EQ("{\"error_code\":\"VKL.0400\",\"error_msg\":\"bad\"}", resp.message);
    }
    // 201 is a success and is parsed.
    fault("\"match\":\"submit\",\"kind\":\"status\",\"status\":201,"
          "\"body\":\"{\\\"job_id\\\":\\\"j201\\\",\\\"job_type\\\":\\\"DDL\\\",\\\"is_success\\\":"
          "true,"
          "\\\"message\\\":\\\"\\\"}\"");
    {
        SubmitJobReq req("create table x (a INT)", "db1", "default", {});
        SubmitJobResp resp;
        ASSERT_EQ(0, proxy.call(req, resp));
        EXPECT_TRUE(resp.isSuccess);
        EXPECT_EQ(201, resp.httpStatus);
        EXPECT_EQ("j201", resp.job_id);
    }
    // 204 is a service error with an empty message.
    fault("\"match\":\"submit\",\"kind\":\"status\",\"status\":204,\"body\":\"\"");
    {
        SubmitJobReq req("select 1", "db1", "default", {});
        SubmitJobResp resp;
        ASSERT_EQ(0, proxy.call(req, resp));
        EXPECT_FALSE(resp.isSuccess);
        EXPECT_EQ(204, resp.httpStatus);
        EXPECT_TRUE(resp.message.empty());
    }
    // A success status with a body that is not JSON is no answer: the call
    // fails with the reader's error.
    fault("\"match\":\"status\",\"kind\":\"not_json\"");
    {
        JobStatusReq req("j");
        JobStatusResp resp;
        ASSERT_EQ(kUnreadableAnswer, proxy.call(req, resp));
        EXPECT_FALSE(resp.isSuccess);
        EXPECT_EQ(200, resp.httpStatus);
        EXPECT_EQ(CallError::UNREADABLE, resp.error.kind);
        EXPECT_FALSE(resp.error.text.empty());
        EXPECT_TRUE(resp.status.empty());
    }
    // Transport failure: the connection closes without an answer.
    fault("\"match\":\"status\",\"kind\":\"drop\"");
    {
        JobStatusReq req("j");
        JobStatusResp resp;
        int ret = proxy.call(req, resp);
        EXPECT_NE(0, ret);
        EXPECT_FALSE(resp.isSuccess);
        EXPECT_EQ(0, resp.httpStatus);
        EXPECT_TRUE(resp.message.empty());
        EXPECT_EQ(CallError::TRANSPORT, resp.error.kind);
        EXPECT_EQ(ret, resp.error.code);
        EXPECT_EQ(EmuClient::get().hostPort(), resp.error.host);
        EXPECT_FALSE(resp.error.text.empty());
    }
}

TEST_F(RestEmu, ClientSendsBodiesOnlyForPost) {
    HttpClient client;
    client.caFile = EmuClient::get().caFile();
    const std::string base = "https://" + EmuClient::get().hostPort() + "/v1.0/" + project;
    for (int method : {0, 2, 5, 1}) {
        HttpReq req;
        req.url = base + "/jobs/x/status";
        req.body = "{\"sent\":true}";
        req.headers["Host"] = EmuClient::get().hostPort();
        req.headers["Content-Type"] = "application/json";
        HttpResp resp;
        ASSERT_EQ(0, client.call(method, req, resp)) << method;
        EXPECT_EQ(401, resp.httpCode); // no authorisation
    }
    std::vector<EmuRequest> recorded = requests();
    ASSERT_EQ(4u, recorded.size());
    EXPECT_EQ("GET", recorded[0].method);
    EXPECT_EQ("", recorded[0].body);
    EXPECT_EQ("DELETE", recorded[1].method);
    EXPECT_EQ("", recorded[1].body);
    EXPECT_EQ("GET", recorded[2].method);
    EXPECT_EQ("POST", recorded[3].method);
    EXPECT_EQ("{\"sent\":true}", recorded[3].body);
    for (const EmuRequest& r : recorded) {
        EXPECT_EQ(1u, r.headerCount("Host"));
        EXPECT_EQ(1u, r.headerCount("Content-Type"));
        EXPECT_EQ("application/json", r.header("Content-Type"));
    }
}

// The client talks only to a peer whose certificate chains to a trusted CA
// and names the host it asked for, and an HTTPS proxy is such a peer too; a
// refused peer never sees the request.
TEST_F(RestEmu, ClientVerifiesThePeersCertificate) {
    const std::string ca = EmuClient::get().caFile();
    const std::string port = std::to_string(EmuClient::get().port());
    const struct {
        const char* name;
        std::string caFile;
        bool viaProxy; // through the emulator as an HTTPS proxy
        const char* host;
        int code;         // CURLcode of the call
        const char* text; // part of libcurl's text
    } rows[] = {
        {"system store", "", false, "127.0.0.1", CURLE_PEER_FAILED_VERIFICATION,
         "SSL certificate problem"},
        {"unrelated CA", emu::kUnrelatedCaFile, false, "127.0.0.1", CURLE_PEER_FAILED_VERIFICATION,
         "SSL certificate problem"},
        {"CA file gone", "/nonexistent-dir/ca.pem", false, "127.0.0.1", CURLE_SSL_CACERT_BADFILE,
         ""},
        {"emulator's CA", ca, false, "127.0.0.1", CURLE_OK, ""},
        {"emulator's CA, by name", ca, false, "localhost", CURLE_OK, ""},
        {"proxy, system store", "", true, "127.0.0.1", CURLE_PEER_FAILED_VERIFICATION,
         "SSL certificate problem"},
        {"proxy, unrelated CA", emu::kUnrelatedCaFile, true, "127.0.0.1",
         CURLE_PEER_FAILED_VERIFICATION, "SSL certificate problem"},
        // The proxy's certificate passes; the emulator then refuses to be a proxy.
        {"proxy, emulator's CA", ca, true, "127.0.0.1", CURLE_RECV_ERROR, "CONNECT tunnel failed"},
        // The same server under an address its certificate does not name.
        {"emulator's CA, other name", ca, false, "[::ffff:127.0.0.1]",
         CURLE_PEER_FAILED_VERIFICATION, "no alternative certificate subject name"},
    };
    size_t reached = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::unique_ptr<HttpClient> client(r.viaProxy ? new HttpClient("https://127.0.0.1:" + port)
                                                      : new HttpClient());
        client->caFile = r.caFile;
        HttpReq req;
        req.url =
            std::string("https://") + r.host + ":" + port + "/v1.0/" + project + "/jobs/x/status";
        HttpResp resp;
        const int ret = client->call(0, req, resp);
        if (ret == CURLE_COULDNT_CONNECT && r.host[0] == '[') {
            GTEST_SKIP() << "no IPv6 on this machine: " << resp.errorText;
        }
        EXPECT_EQ(r.code, ret) << resp.errorText;
        EXPECT_NE(std::string::npos, resp.errorText.find(r.text)) << resp.errorText;
        if (ret == CURLE_OK) {
            EXPECT_EQ(401, resp.httpCode); // no authorisation
            ++reached;
        }
        EXPECT_EQ(reached, requests().size());
    }
}

TEST_F(RestEmu, ClientReportsStatusBodyAndHeaders) {
    HttpClient client;
    client.caFile = EmuClient::get().caFile();
    HttpReq req;
    req.url = "https://" + EmuClient::get().hostPort() + "/not-a-service-path";
    HttpResp resp;
    ASSERT_EQ(0, client.call(0, req, resp));
    EXPECT_EQ(404, resp.httpCode);
    EXPECT_NE(std::string::npos, resp.body.find("VKL.0404"));
    pt::ptree tree;
    std::istringstream in(resp.body);
    EXPECT_NO_THROW(pt::read_json(in, tree));
    // The date header holds a time of day; its further colons stay in the value.
    const std::string date = resp.headers["Date"];
    EXPECT_EQ(29u, date.size()) << date;
    EXPECT_EQ(':', date[19]);
    EXPECT_EQ(std::to_string(resp.body.size()), resp.headers["Content-Length"]);
}

TEST_F(RestEmu, ProxiesOnSeveralThreads) {
    std::atomic<int> ok(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([this, &ok]() {
            for (int i = 0; i < 3; ++i) {
                RestApiProxy proxy;
                if (proxy.init(akskConf()) != 0) continue;
                JobStatusReq req("none");
                JobStatusResp resp;
                if (proxy.call(req, resp) == 0 && resp.httpStatus == 404) ++ok;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(24, ok.load());
}

} // namespace
