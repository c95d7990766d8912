// The control client against the running emulator: request record, faults,
// settings, project isolation and the identity service.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "EmuClient.h"

namespace {

std::string tokenBody(const std::string& user, const std::string& password,
                      const std::string& project) {
    return std::string(
               "{\"auth\":{\"identity\":{\"methods\":[\"password\"],\"password\":{\"user\":{") +
           "\"name\":" + emuJsonString(user) + ",\"password\":" + emuJsonString(password) +
           ",\"domain\":{\"name\":\"emuaccount\"}}}},\"scope\":{\"project\":{\"id\":" +
           emuJsonString(project) + "}}}}";
}

std::string getToken(EmuClient& emu, const std::string& project) {
    auto r = emu.send("POST", "/v3/auth/tokens", {{"Content-Type", "application/json"}},
                      tokenBody(emu::kUser, emu::kPassword, project));
    EXPECT_EQ(201, r.status) << r.body;
    return r.header("X-Subject-Token");
}

} // namespace

TEST(EmuClient, RecordsRequestsInWireOrderPerProject) {
    EmuClient& emu = EmuClient::get();
    EXPECT_GT(emu.port(), 0);
    EXPECT_EQ("127.0.0.1:" + std::to_string(emu.port()), emu.hostPort());
    std::string p1 = emu.uniqueProject("record");
    std::string p2 = emu.uniqueProject("record");
    ASSERT_NE(p1, p2);
    EXPECT_TRUE(emu.requests(p1).empty());

    auto r = emu.send("GET", "/v1.0/" + p1 + "/jobs/j1?current-page=2&page-size=100",
                      {{"Zeta", "1"}, {"Alpha", "two words"}, {"X-Mixed", "a:b"}}, "");
    EXPECT_EQ(401, r.status) << "an unsigned request must be refused";

    auto records = emu.requests(p1);
    ASSERT_EQ(1u, records.size());
    const EmuRequest& req = records[0];
    EXPECT_EQ("GET", req.method);
    EXPECT_EQ("/v1.0/" + p1 + "/jobs/j1", req.path);
    EXPECT_EQ("current-page=2&page-size=100", req.query);
    EXPECT_EQ("", req.body);
    EXPECT_EQ("two words", req.header("alpha"));
    EXPECT_EQ("a:b", req.header("X-MIXED"));
    EXPECT_EQ("", req.header("missing"));
    EXPECT_FALSE(req.hasHeader("missing"));
    // Wire order: Zeta was sent before Alpha.
    size_t zeta = req.headers.size(), alpha = req.headers.size();
    for (size_t i = 0; i < req.headers.size(); ++i) {
        if (req.headers[i].first == "Zeta") zeta = i;
        if (req.headers[i].first == "Alpha") alpha = i;
    }
    ASSERT_LT(zeta, req.headers.size());
    ASSERT_LT(alpha, req.headers.size());
    EXPECT_LT(zeta, alpha);

    EXPECT_TRUE(emu.requests(p2).empty()) << "another project saw the request";
    EXPECT_EQ(1u, emu.requests(p1, "/j1").size());
    EXPECT_TRUE(emu.requests(p1, "/status").empty());

    emu.reset(p1);
    EXPECT_TRUE(emu.requests(p1).empty());
}

TEST(EmuClient, RecordsPostBodyAndTokenRequestUnderItsProject) {
    EmuClient& emu = EmuClient::get();
    std::string p = emu.uniqueProject("body");
    std::string body = "{\"sql\":\"select 'Müller'\"}";
    emu.send("POST", "/v1.0/" + p + "/jobs/submit-job", {{"Content-Type", "application/json"}},
             body);
    getToken(emu, p);
    auto records = emu.requests(p);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("POST", records[0].method);
    EXPECT_EQ(body, records[0].body);
    EXPECT_EQ("/v3/auth/tokens", records[1].path);
    EXPECT_NE(std::string::npos, records[1].body.find(emu::kPassword));
}

TEST(EmuClient, FaultAnswersTheNextMatchingCallOnly) {
    EmuClient& emu = EmuClient::get();
    std::string p = emu.uniqueProject("fault");
    emu.fault("{\"project\":" + emuJsonString(p) +
              ",\"match\":\"status\",\"kind\":\"status\",\"status\":503,\"body\":\"busy\"}");
    // A call of another kind is not affected.
    auto other = emu.send("GET", "/v1.0/" + p + "/jobs/j", {}, "");
    EXPECT_EQ(401, other.status);
    auto hit = emu.send("GET", "/v1.0/" + p + "/jobs/j/status", {}, "");
    EXPECT_EQ(503, hit.status);
    EXPECT_EQ("busy", hit.body);
    auto after = emu.send("GET", "/v1.0/" + p + "/jobs/j/status", {}, "");
    EXPECT_EQ(401, after.status);
}

TEST(EmuClient, DroppedConnectionIsReportedAsAnError) {
    EmuClient& emu = EmuClient::get();
    std::string p = emu.uniqueProject("drop");
    emu.fault("{\"project\":" + emuJsonString(p) + ",\"match\":\"any\",\"kind\":\"drop\"}");
    EXPECT_THROW(emu.send("GET", "/v1.0/" + p + "/jobs/j/status", {}, ""), std::runtime_error);
    EXPECT_EQ(401, emu.send("GET", "/v1.0/" + p + "/jobs/j/status", {}, "").status);
}

TEST(EmuClient, RejectsBadControlBodies) {
    EmuClient& emu = EmuClient::get();
    std::string p = emu.uniqueProject("bad");
    EXPECT_THROW(emu.fault("{\"project\":\"" + p + "\",\"match\":\"status\",\"kind\":\"boom\"}"),
                 std::runtime_error);
    EXPECT_THROW(emu.fault("{\"match\":\"status\",\"kind\":\"drop\"}"), std::runtime_error);
    EXPECT_THROW(emu.config("{\"project\":\"" + p + "\",\"running_polls\":-1}"),
                 std::runtime_error);
    EXPECT_THROW(emu.config("not json"), std::runtime_error);
}

TEST(EmuClient, TokensAreCheckedForCredentialsProjectAndLifetime) {
    EmuClient& emu = EmuClient::get();
    std::string p = emu.uniqueProject("token");
    std::string other = emu.uniqueProject("token");

    auto refused = emu.send("POST", "/v3/auth/tokens", {{"Content-Type", "application/json"}},
                            tokenBody(emu::kUser, "wrong", p));
    EXPECT_EQ(401, refused.status);
    EXPECT_EQ("", refused.header("X-Subject-Token"));

    auto quoted = emu.send("POST", "/v3/auth/tokens", {{"Content-Type", "application/json"}},
                           tokenBody(emu::kQuoteUser, emu::kQuotePassword, p));
    EXPECT_EQ(201, quoted.status) << quoted.body;
    EXPECT_NE("", quoted.header("X-Subject-Token"));
    EXPECT_NE(std::string::npos, quoted.body.find("\"expires_at\":\"")) << quoted.body;

    std::string token = getToken(emu, p);
    ASSERT_NE("", token);
    // Authorised: an unknown job is a 404, not a 401.
    EXPECT_EQ(
        404,
        emu.send("GET", "/v1.0/" + p + "/jobs/none/status", {{"X-Auth-Token", token}}, "").status);
    EXPECT_EQ(401,
              emu.send("GET", "/v1.0/" + other + "/jobs/none/status", {{"X-Auth-Token", token}}, "")
                  .status)
        << "a token is valid only for its own project";
    EXPECT_EQ(401, emu.send("GET", "/v1.0/" + p + "/jobs/none/status",
                            {{"X-Auth-Token", token + "x"}}, "")
                       .status);

    emu.config("{\"project\":" + emuJsonString(p) + ",\"token_ttl\":0}");
    std::string expired = getToken(emu, p);
    EXPECT_EQ(401,
              emu.send("GET", "/v1.0/" + p + "/jobs/none/status", {{"X-Auth-Token", expired}}, "")
                  .status);
}
