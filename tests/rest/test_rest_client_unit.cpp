// HTTP client callbacks, log masking and proxy set-up, without a server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "HttpClient.h"
#include "LogCapture.h"
#include "RestApiProxy.h"

namespace pt = boost::property_tree;
using namespace navixrest;

namespace {

size_t feedHeader(HttpResp& resp, const std::string& line) {
    std::string copy(line);  // libcurl's buffers are not NUL-terminated
    return HttpClient::header_callback(&copy[0], 1, copy.size(), &resp);
}

TEST(HeaderCallback, StoresNameValuePairs) {
    LogCapture log;
    HttpResp resp;
    EXPECT_EQ(17u, feedHeader(resp, "HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(1u, log.count("Header format error: HTTP/1.1 200 OK"));
    feedHeader(resp, "Date: Mon, 01 Jan 2024 10:11:12 GMT\r\n");
    feedHeader(resp, "X-Padded: \t value  with  blanks \t\r\n");
    feedHeader(resp, "X-Blank:    \r\n");
    feedHeader(resp, "X-Nothing:\r\n");
    feedHeader(resp, ":no-name\r\n");
    feedHeader(resp, "X-Subject-Token: first\r\n");
    feedHeader(resp, "X-Subject-Token: second\r\n");
    feedHeader(resp, "x-subject-token: lower\r\n");
    feedHeader(resp, "X-Bare-LF: v\n");
    EXPECT_EQ(2u, feedHeader(resp, "\r\n"));

    EXPECT_EQ("Mon, 01 Jan 2024 10:11:12 GMT", resp.headers["Date"]);
    EXPECT_EQ("value  with  blanks", resp.headers["X-Padded"]);
    ASSERT_EQ(1u, resp.headers.count("X-Blank"));
    EXPECT_EQ("", resp.headers["X-Blank"]);
    EXPECT_EQ(0u, resp.headers.count("X-Nothing"));
    EXPECT_EQ(0u, resp.headers.count(""));
    EXPECT_EQ("second", resp.headers["X-Subject-Token"]);
    EXPECT_EQ("lower", resp.headers["x-subject-token"]);
    EXPECT_EQ("v", resp.headers["X-Bare-LF"]);
    EXPECT_EQ(6u, resp.headers.size());
    EXPECT_TRUE(log.contains("Header format error: X-Nothing:"));
    EXPECT_TRUE(log.contains("Header format error: :no-name"));
}

TEST(HeaderCallback, ItemSizeTimesCountAndNullArguments) {
    HttpResp resp;
    char data[] = "Ab: cd\r\nXXXX";  // only the first 8 bytes belong to the line
    EXPECT_EQ(8u, HttpClient::header_callback(data, 2, 4, &resp));
    EXPECT_EQ("cd", resp.headers["Ab"]);

    LogCapture log;
    EXPECT_EQ(0u, HttpClient::header_callback(nullptr, 1, 3, &resp));
    EXPECT_EQ(0u, HttpClient::header_callback(data, 1, 3, nullptr));
    EXPECT_TRUE(log.contains("header_callback][buffer is NULL"));
    EXPECT_TRUE(log.contains("header_callback][userArg is NULL"));
}

TEST(ResponseCallback, AppendsEveryByte) {
    HttpResp resp;
    char first[] = {'{', '"', 'a', '\0', 'b'};
    char second[] = "\":1}garbage";
    EXPECT_EQ(5u, HttpClient::response_callback(first, 1, 5, &resp));
    EXPECT_EQ(4u, HttpClient::response_callback(second, 2, 2, &resp));
    EXPECT_EQ(std::string("{\"a\0b\":1}", 9), resp.body);
    EXPECT_EQ(0u, HttpClient::response_callback(nullptr, 1, 1, &resp));
    EXPECT_EQ(0u, HttpClient::response_callback(first, 1, 1, nullptr));
    EXPECT_EQ(9u, resp.body.size());
}

TEST(LogMasking, HeadersWithSecrets) {
    EXPECT_EQ("X-Auth-Token:****", maskHeaderForLog("X-Auth-Token", "MIIsecret"));
    EXPECT_EQ("x-subject-token:****", maskHeaderForLog("x-subject-token", "MIIsecret"));
    EXPECT_EQ("Authorization:SDK-HMAC-SHA256 Credential=AK/20240101/r/vkl/sdk_request, SignedHeaders=host, "
              "Signature=****",
              maskHeaderForLog("Authorization", "SDK-HMAC-SHA256 Credential=AK/20240101/r/vkl/sdk_request, "
                                                "SignedHeaders=host, Signature=0123abcd"));
    EXPECT_EQ("Authorization:****", maskHeaderForLog("Authorization", "Bearer abc"));
    EXPECT_EQ("X-Project-Id:p1", maskHeaderForLog("X-Project-Id", "p1"));
    EXPECT_EQ("Content-Type:application/json", maskHeaderForLog("Content-Type", "application/json"));
}

TEST(LogMasking, PasswordInsideBodies) {
    const std::string body =
        R"({"auth":{"identity":{"methods":["password"],"password":{"user":{"name":"bob","password":"p\"w\\d\"x","domain":{"name":"acc"}}}}}})";
    const std::string masked = maskBodyForLog(body);
    EXPECT_EQ(R"({"auth":{"identity":{"methods":["password"],"password":{"user":{"name":"bob","password":"****","domain":{"name":"acc"}}}}}})",
              masked);
    EXPECT_EQ(R"({"password" : "****", "x":1})", maskBodyForLog(R"({"password" : "abc", "x":1})"));
    EXPECT_EQ(R"({"sql":"select \"password\":\"x\""})", maskBodyForLog(R"({"sql":"select \"password\":\"x\""})"));
    EXPECT_EQ("", maskBodyForLog(""));
    // A cut-off body must not lead the scan past its end.
    EXPECT_EQ(R"({"password":"****)", maskBodyForLog(R"({"password":"abc\)"));
    EXPECT_EQ(R"({"password")", maskBodyForLog(R"({"password")"));
}

TEST(MethodNames, Codes) {
    EXPECT_EQ("GET", httpMethodName(0));
    EXPECT_EQ("POST", httpMethodName(1));
    EXPECT_EQ("DELETE", httpMethodName(2));
    EXPECT_EQ("GET", httpMethodName(7));
    EXPECT_EQ("GET", httpMethodName(-1));
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (hadOld_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    bool hadOld_;
    std::string old_;
};

// A local port that nothing listens on.
int closedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    int port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

RestApiConf akskConf() {
    RestApiConf c;
    c.authMode = 1;
    c.user = "u";
    c.password = "pw";
    c.account = "acc";
    c.projectId = "proj1";
    c.region = "region-7";
    c.ak = "AKID";
    c.sk = "SECRET";
    return c;
}

TEST(ProxyInit, AkskModeBuildsUrlsAndSendsNothing) {
    const std::string closed = "127.0.0.1:" + std::to_string(closedPort());
    ScopedEnv env("VORN_IDENTITY_HOST", closed.c_str());
    RestApiProxy proxy;
    EXPECT_EQ(0, proxy.init(akskConf()));
    EXPECT_EQ("https://vkl.region-7.orvelocloud.com/v1.0/proj1", proxy.baseUrl);
    EXPECT_EQ("vkl.region-7.orvelocloud.com", proxy.endpoint);
    EXPECT_EQ("https://" + closed + "/v3/auth/tokens", proxy.identityUrl);
    EXPECT_EQ("AKID", proxy.aksk.ak);
    EXPECT_EQ("SECRET", proxy.aksk.sk);
    EXPECT_EQ("region-7", proxy.aksk.region);
    EXPECT_EQ("region-7", proxy.region);
    EXPECT_EQ("proj1", proxy.projectId);
    EXPECT_EQ(1, proxy.authMode);
    EXPECT_TRUE(proxy.token.empty());
}

TEST(ProxyInit, EndpointAndIdentityHosts) {
    ScopedEnv env("VORN_IDENTITY_HOST", nullptr);
    RestApiConf c = akskConf();
    c.endpoint = "127.0.0.1:8443";
    RestApiProxy proxy;
    EXPECT_EQ(0, proxy.init(c));
    EXPECT_EQ("https://127.0.0.1:8443/v1.0/proj1", proxy.baseUrl);
    EXPECT_EQ("127.0.0.1:8443", proxy.endpoint);
    EXPECT_EQ("https://iam.region-7.orvelocloud.com/v3/auth/tokens", proxy.identityUrl);

    ScopedEnv empty("VORN_IDENTITY_HOST", "");
    EXPECT_EQ("iam.r.orvelocloud.com", identityServiceHost("r"));
    ScopedEnv set("VORN_IDENTITY_HOST", "id.example:99");
    EXPECT_EQ("id.example:99", identityServiceHost("r"));
    EXPECT_EQ("vkl.r.orvelocloud.com", defaultServiceHost("r"));
}

TEST(ProxyInit, TokenBodyIsValidJsonWhateverTheValues) {
    EXPECT_EQ(151u, tokenRequestTemplate.size());
    RestApiConf c = akskConf();
    c.user = "we\"ird\\user";
    c.password = "pa\"ss\\word%s%d\n\x01 \xc3\xa9";
    c.account = "acc{}";
    c.projectId = "p\"1";
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(c));
    pt::ptree tree;
    std::istringstream in(proxy.tokenRequestBody);
    ASSERT_NO_THROW(pt::read_json(in, tree)) << proxy.tokenRequestBody;
    EXPECT_EQ(c.user, tree.get<std::string>("auth.identity.password.user.name"));
    EXPECT_EQ(c.password, tree.get<std::string>("auth.identity.password.user.password"));
    EXPECT_EQ(c.account, tree.get<std::string>("auth.identity.password.user.domain.name"));
    EXPECT_EQ(c.projectId, tree.get<std::string>("auth.scope.project.id"));
    EXPECT_EQ("password", tree.get_child("auth.identity.methods").front().second.data());
}

TEST(ProxyInit, PlainValuesFillTheTemplateExactly) {
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(akskConf()));
    EXPECT_EQ("{\"auth\":{\"identity\":{\"methods\":[\"password\"],\"password\":{\"user\":{\"name\":\"u\","
              "\"password\":\"pw\",\"domain\":{\"name\":\"acc\"}}}},\"scope\":{\"project\":{\"id\":\"proj1\"}}}}",
              proxy.tokenRequestBody);
}

TEST(TokenExpiry, ReadAsUtc) {
    RestApiProxy proxy;
    EXPECT_EQ(0, proxy.tokenExpiry);
    proxy.getTokenExpireTime(R"({"token":{"expires_at":"2030-01-02T03:04:05.123000Z","methods":["password"]}})");
    EXPECT_EQ(1893553445, proxy.tokenExpiry);
    proxy.getTokenExpireTime(R"({"token":{"expires_at":"1970-01-01T00:00:10Z"}})");
    EXPECT_EQ(10, proxy.tokenExpiry);
}

TEST(TokenExpiry, UnreadableAnswersKeepThePreviousValue) {
    LogCapture log;
    RestApiProxy proxy;
    proxy.tokenExpiry = 777;
    proxy.getTokenExpireTime("not json");
    proxy.getTokenExpireTime(R"({"token":{}})");
    proxy.getTokenExpireTime(R"({"expires_at":"2030-01-02T03:04:05Z"})");
    EXPECT_EQ(3u, log.count("navixrest::RestApiProxy::getTokenExpireTime][Parser json error, "));
    proxy.getTokenExpireTime(R"({"token":{"expires_at":"2030-01-02"}})");
    proxy.getTokenExpireTime(R"({"token":{"expires_at":"garbage"}})");
    proxy.getTokenExpireTime(R"({"token":{"expires_at":"-2147483648-99-99T99:99:99Z"}})");
    proxy.getTokenExpireTime("{\"token\":" + std::string(1000000, '[') + std::string(1000000, ']') + "}");
    EXPECT_EQ(4u, log.count("navixrest::RestApiProxy::getTokenExpireTime][Parser json error, "));
    EXPECT_EQ(777, proxy.tokenExpiry);
    EXPECT_TRUE(log.contains("Get Token Expire time: 2030-01-02"));
}

TEST(TokenMode, UnreachableIdentityServiceFailsInit) {
    const std::string closed = "127.0.0.1:" + std::to_string(closedPort());
    ScopedEnv env("VORN_IDENTITY_HOST", closed.c_str());
    LogCapture log;
    RestApiConf c = akskConf();
    c.authMode = 0;
    RestApiProxy proxy;
    EXPECT_EQ(7, proxy.init(c));  // CURLE_COULDNT_CONNECT
    EXPECT_TRUE(proxy.token.empty());
    EXPECT_TRUE(log.contains("navixrest::RestApiProxy::getToken][HttpClient call getToken error, ret = 7"));
    EXPECT_TRUE(log.contains("curl_easy_perform() failed: "));
    // The token request body is logged with its password hidden.
    EXPECT_TRUE(log.contains("\"password\":\"****\""));
    EXPECT_FALSE(log.contains("\"pw\""));
}

TEST(TokenMode, ValidTokenIsNotRenewedExpiredOneIs) {
    const std::string closed = "127.0.0.1:" + std::to_string(closedPort());
    ScopedEnv env("VORN_IDENTITY_HOST", closed.c_str());
    RestApiConf c = akskConf();
    c.authMode = 1;
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(c));
    proxy.token = "old";
    proxy.tokenExpiry = static_cast<int64_t>(std::time(nullptr)) + 100;
    {
        LogCapture log;
        EXPECT_EQ("old", proxy.isTokenExpire());
        EXPECT_EQ(0u, log.count("getToken error"));
    }
    proxy.tokenExpiry = static_cast<int64_t>(std::time(nullptr));
    {
        LogCapture log;
        // The renewal fails (nothing listens), so the old token is kept.
        EXPECT_EQ("old", proxy.isTokenExpire());
        EXPECT_EQ(1u, log.count("getToken error"));
    }
}

TEST(ProxyCall, TransportFailureLeavesResponseUnmarked) {
    RestApiConf c = akskConf();
    c.endpoint = "127.0.0.1:" + std::to_string(closedPort());
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(c));
    JobStatusReq req("j1");
    JobStatusResp resp;
    LogCapture log;
    EXPECT_EQ(7, proxy.call(req, resp));
    EXPECT_FALSE(resp.isSuccess);
    EXPECT_EQ(0, resp.httpStatus);
    EXPECT_TRUE(resp.message.empty());
    EXPECT_EQ("https://" + c.endpoint + "/v1.0/proj1/jobs/j1/status", req.httpReq.url);
    EXPECT_TRUE(log.contains("navixrest::RestApiProxy::call][HttpClient call error, ret = 7"));
    EXPECT_TRUE(log.contains("Rest call https://" + c.endpoint + "/v1.0/proj1/jobs/j1/status"));
}

TEST(ProxySign, HeadersOfASignedRequest) {
    RestApiConf c = akskConf();
    c.endpoint = "127.0.0.1:8443";
    RestApiProxy proxy;
    ASSERT_EQ(0, proxy.init(c));
    GetJobResuleReq req("j1", 2);
    req.httpReq.headers["Content-Type"] = "application/json";
    req.httpReq.headers["X-Project-Id"] = "proj1";
    EXPECT_EQ(0, proxy.signRequest(req));
    const HeaderMap& h = req.httpReq.headers;
    ASSERT_EQ(5u, h.size());
    EXPECT_EQ("127.0.0.1:8443", h.at("Host"));
    const std::string date = h.at("X-Sdk-Date");
    ASSERT_EQ(16u, date.size());
    EXPECT_EQ('T', date[8]);
    EXPECT_EQ('Z', date[15]);
    const std::string& auth = h.at("Authorization");
    EXPECT_EQ(0u, auth.find("SDK-HMAC-SHA256 Credential=AKID/" + date.substr(0, 8) +
                            "/region-7/vkl/sdk_request, SignedHeaders=content-type;host;x-project-id;x-sdk-date, "
                            "Signature="));
    // The signature is that of the relative path split at "?".
    std::string expected;
    HeaderMap signedHeaders = h;
    signedHeaders.erase("Authorization");
    proxy.aksk.sign("/v1.0/proj1/jobs/j1", "GET", "current-page=2&page-size=100", signedHeaders, "", date, expected);
    EXPECT_EQ(expected, auth);
    EXPECT_EQ("/jobs/j1?current-page=2&page-size=100", req.httpReq.url);
}

// Operators filter the log by level, so each entry's level is part of what
// the library promises: failures at ERROR, progress at INFO, wire detail at
// DEBUG.
TEST(LogLevels, EntriesOfCallsAndTheirFailures) {
    using namespace log4cplus;
    const std::string closed = "127.0.0.1:" + std::to_string(closedPort());
    ScopedEnv env("VORN_IDENTITY_HOST", closed.c_str());
    LogCapture log;
    {
        RestApiConf c = akskConf();
        c.endpoint = closed;
        RestApiProxy proxy(closed);
        ASSERT_EQ(0, proxy.init(c));
        JobStatusReq req("j1");
        JobStatusResp resp;
        ASSERT_EQ(7, proxy.call(req, resp));
    }
    {
        RestApiConf c = akskConf();
        c.authMode = 0;
        RestApiProxy proxy;
        ASSERT_EQ(7, proxy.init(c));
        proxy.isTokenExpire();
        proxy.getTokenExpireTime(R"({"token":{"expires_at":"2030-01-02T03:04:05Z"}})");
        proxy.getTokenExpireTime("{");
    }
    JobStatusResp unreadable;
    unreadable.httpResp.body = "x";
    unreadable.parseSuccessRes();
    HttpResp resp;
    std::string line = "HTTP/1.1 200 OK\r\n";
    HttpClient::header_callback(&line[0], 1, line.size(), &resp);
    HttpClient::header_callback(nullptr, 1, 1, &resp);
    HttpClient::response_callback(&line[0], 1, line.size(), &resp);
    HttpClient::response_callback(&line[0], 1, 1, nullptr);

    const struct {
        const char* entry;
        int level;
    } expected[] = {
        {"HttpClient::HttpClient][Create client, proxy: ", INFO_LOG_LEVEL},
        {"RestApiProxy::init][Region = region-7", INFO_LOG_LEVEL},
        {"AkskAuth::sign][key: ****", INFO_LOG_LEVEL},
        {"AkskAuth::sign][canonical Request: GET", DEBUG_LOG_LEVEL},
        {"AkskAuth::sign][to Sign: SDK-HMAC-SHA256", DEBUG_LOG_LEVEL},
        {"AkskAuth::sign][signature: ****", DEBUG_LOG_LEVEL},
        {"RestApiProxy::call][Rest call https://", INFO_LOG_LEVEL},
        {"HttpClient::call][http call method 0", DEBUG_LOG_LEVEL},
        {"HttpClient::call][header: Content-Type:application/json", DEBUG_LOG_LEVEL},
        {"HttpClient::call][curl_easy_perform() failed: ", ERROR_LOG_LEVEL},
        {"RestApiProxy::call][HttpClient call error, ret = 7", ERROR_LOG_LEVEL},
        {"HttpClient::~HttpClient][Release client", DEBUG_LOG_LEVEL},
        {"HttpClient::call][Send body: {", DEBUG_LOG_LEVEL},
        {"RestApiProxy::getToken][HttpClient call getToken error, ret = 7", ERROR_LOG_LEVEL},
        {"RestApiProxy::isTokenExpire][now second: ", DEBUG_LOG_LEVEL},
        {"RestApiProxy::getTokenExpireTime][Get Token Expire time: 2030", INFO_LOG_LEVEL},
        {"RestApiProxy::getTokenExpireTime][Parser json error, ", ERROR_LOG_LEVEL},
        {"JobStatusResp::parseSuccessRes][Parser json error, ", ERROR_LOG_LEVEL},
        {"header_callback][Header format error: HTTP/1.1 200 OK", DEBUG_LOG_LEVEL},
        {"header_callback][buffer is NULL", ERROR_LOG_LEVEL},
        {"response_callback][get body: HTTP/1.1 200 OK", DEBUG_LOG_LEVEL},
        {"response_callback][userArg is NULL", ERROR_LOG_LEVEL},
    };
    for (const auto& e : expected) EXPECT_EQ(e.level, log.levelOf(e.entry)) << e.entry;
}

TEST(HttpClientLifecycle, TwoClientsOneDestroyed) {
    HttpClient* first = new HttpClient();
    HttpClient second("127.0.0.1:1");
    EXPECT_TRUE(second.useProxy);
    EXPECT_EQ("127.0.0.1:1", second.proxy);
    EXPECT_FALSE(first->useProxy);
    delete first;
    HttpClient third;
    HttpReq req;
    req.url = "https://127.0.0.1:" + std::to_string(closedPort()) + "/";
    HttpResp resp;
    EXPECT_EQ(7, third.call(0, req, resp));
}

}  // namespace
