// Signing checked stage by stage against vectors computed by an independent
// script (vectors/make_vectors.py).
#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "AkskAuth.h"
#include "LogCapture.h"
#include "RestApiProxy.h"

namespace pt = boost::property_tree;
using namespace navixrest;

namespace {

struct Vector {
    std::string file;
    pt::ptree tree;
    std::string in(const char* key) const { return tree.get<std::string>(key); }
    std::string want(const char* key) const {
        return tree.get_child("expected").get<std::string>(key);
    }
    HeaderMap headers() const {
        HeaderMap map;
        for (const auto& pair : tree.get_child("headers")) {
            auto it = pair.second.begin();
            std::string name = it->second.data();
            ++it;
            map[name] = it->second.data();
        }
        return map;
    }
    AkskAuth signer() const {
        AkskAuth a;
        a.ak = in("ak");
        a.sk = in("sk");
        a.region = in("region");
        return a;
    }
};

std::vector<Vector> loadVectors() {
    std::vector<std::string> names;
    DIR* dir = opendir(REST_VECTOR_DIR);
    if (dir != nullptr) {
        while (dirent* e = readdir(dir)) {
            std::string n = e->d_name;
            if (n.size() > 5 && n.compare(n.size() - 5, 5, ".json") == 0) names.push_back(n);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<Vector> out;
    for (const std::string& n : names) {
        Vector v;
        v.file = n;
        std::ifstream f(std::string(REST_VECTOR_DIR) + "/" + n);
        pt::read_json(f, v.tree);
        out.push_back(v);
    }
    return out;
}

class SigningVectors : public ::testing::Test {
  protected:
    void SetUp() override {
        vectors = loadVectors();
        ASSERT_GE(vectors.size(), 6u) << "signing vectors missing in " << REST_VECTOR_DIR;
    }
    std::vector<Vector> vectors;
};

TEST_F(SigningVectors, BodyHashAndSignedHeaders) {
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.file);
        EXPECT_EQ(v.want("body_sha256"), sha256Hex(v.in("body")));
        EXPECT_EQ(v.want("signed_headers"), buildSignedHeaders(v.headers()));
    }
}

TEST_F(SigningVectors, CanonicalRequest) {
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.file);
        EXPECT_EQ(v.want("canonical_request"),
                  buildCanonicalRequest(v.in("canonical_uri"), v.in("method"), v.in("query"),
                                        v.headers(), v.in("body")));
    }
}

TEST_F(SigningVectors, StringToSignFromExpectedCanonicalRequest) {
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.file);
        EXPECT_EQ(v.want("string_to_sign"),
                  buildStringToSign(v.want("canonical_request"), v.want("credential_scope"),
                                    v.in("sdk_date")));
    }
}

TEST_F(SigningVectors, SigningKey) {
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.file);
        EXPECT_EQ(v.want("signing_key_hex"),
                  hexEncode(v.signer().deriveSigningKey(v.want("short_date"))));
    }
}

TEST_F(SigningVectors, SignatureFromExpectedKeyAndString) {
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.file);
        std::string key;
        const std::string hex = v.want("signing_key_hex");
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            key.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        EXPECT_EQ(v.want("signature"), buildSignature(v.want("string_to_sign"), key));
    }
}

TEST_F(SigningVectors, AuthorizationValue) {
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.file);
        EXPECT_EQ(v.want("authorization"),
                  v.signer().buildAuthorization(v.want("signature"), v.want("credential_scope"),
                                                v.want("signed_headers")));
        std::string authorization;
        EXPECT_EQ(0, v.signer().sign(v.in("canonical_uri"), v.in("method"), v.in("query"),
                                     v.headers(), v.in("body"), v.in("sdk_date"), authorization));
        EXPECT_EQ(v.want("authorization"), authorization);
    }
}

// The proxy splits the result-page path at "?": the query goes into the
// query line only, and the URI line gets the project prefix and a final "/".
TEST_F(SigningVectors, ProxySignsTheResultPagePathAsTheVectorSays) {
    for (const Vector& v : vectors) {
        if (v.in("query").empty()) continue;
        SCOPED_TRACE(v.file);
        const HeaderMap vectorHeaders = v.headers();
        RestApiConf c;
        c.authMode = 1;
        c.projectId = vectorHeaders.at("X-Project-Id");
        c.region = v.in("region");
        c.ak = v.in("ak");
        c.sk = v.in("sk");
        c.endpoint = vectorHeaders.at("Host");
        RestApiProxy proxy;
        ASSERT_EQ(0, proxy.init(c));
        GetJobResuleReq req("job-0001", 3);
        ASSERT_EQ(v.in("path"), req.httpReq.url);
        req.httpReq.headers["Content-Type"] = "application/json";
        req.httpReq.headers["X-Project-Id"] = c.projectId;

        LogCapture log;
        ASSERT_EQ(0, proxy.signRequest(req));
        const std::string marker = "canonical Request: ";
        std::string used;
        for (const std::string& e : log.entries()) {
            if (e.find(marker) != std::string::npos)
                used = e.substr(e.find(marker) + marker.size());
        }
        // The vector's canonical request, but with the date the proxy chose.
        std::string expected = v.want("canonical_request");
        const std::string oldDate = "x-sdk-date:" + v.in("sdk_date");
        ASSERT_NE(std::string::npos, expected.find(oldDate));
        expected.replace(expected.find(oldDate), oldDate.size(),
                         "x-sdk-date:" + req.httpReq.headers["X-Sdk-Date"]);
        EXPECT_EQ(expected, used);
        return;
    }
    FAIL() << "no vector with a query";
}

TEST(SigningPrimitives, KnownDigests) {
    EXPECT_EQ("000fff7f80", hexEncode(std::string("\x00\x0f\xff\x7f\x80", 5)));
    EXPECT_EQ("", hexEncode(""));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", sha256Hex("abc"));
    // HMAC-SHA256 test case 2 of RFC 4231.
    EXPECT_EQ("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
              hexEncode(hmacSha256("Jefe", "what do ya want for nothing?")));
    EXPECT_EQ(32u, hmacSha256("", "").size());
}

TEST(SigningPrimitives, HeaderEdgeCases) {
    EXPECT_EQ("", buildSignedHeaders(HeaderMap()));
    HeaderMap h;
    h["b"] = "2";
    h["A"] = "1";
    h["\xc3\x84x"] = "3"; // bytes above 127 are not lower-cased
    EXPECT_EQ("a;b;\xc3\x84x", buildSignedHeaders(h));
    EXPECT_EQ("GET\n//\n\na:1\nb:2\n\xc3\x84x:3\n\na;b;\xc3\x84x\n" + sha256Hex(""),
              buildCanonicalRequest("/", "GET", "", h, ""));
}

TEST(SigningPrimitives, ShortSdkDateIsUsedWhole) {
    AkskAuth a;
    a.ak = "AK";
    a.sk = "SK";
    a.region = "r";
    HeaderMap h;
    h["Host"] = "x";
    std::string authorization;
    EXPECT_EQ(0, a.sign("/u", "GET", "", h, "", "2024", authorization));
    EXPECT_EQ(0u, authorization.find(
                      "SDK-HMAC-SHA256 Credential=AK/2024/r/vkl/sdk_request, SignedHeaders=host, "
                      "Signature="));
}

TEST(SigningLog, KeyAndSignatureAreMasked) {
    std::vector<Vector> vectors = loadVectors();
    ASSERT_FALSE(vectors.empty());
    const Vector& v = vectors.front();
    LogCapture log;
    std::string authorization;
    v.signer().sign(v.in("canonical_uri"), v.in("method"), v.in("query"), v.headers(), v.in("body"),
                    v.in("sdk_date"), authorization);
    EXPECT_TRUE(log.contains("navixrest::AkskAuth::sign][key: ****"));
    EXPECT_TRUE(log.contains("navixrest::AkskAuth::sign][signature: ****"));
    EXPECT_TRUE(log.contains("navixrest::AkskAuth::sign][canonical Request: " +
                             v.want("canonical_request")));
    EXPECT_TRUE(log.contains("navixrest::AkskAuth::sign][to Sign: " + v.want("string_to_sign")));
    EXPECT_FALSE(log.contains(v.want("signing_key_hex")));
    EXPECT_FALSE(log.contains(v.want("signature")));
    EXPECT_FALSE(log.contains(v.in("sk")));
}

} // namespace
