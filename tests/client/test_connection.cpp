// NavixConnection without a service: settings copy, server settings, log
// masking and the choice of the REST proxy.
#include <string.h>

#include <gtest/gtest.h>

#include "ClientTestSupport.h"
#include "ClientText.h"
#include "NavixConnection.h"
#include "RestApiProxy.h"
#include "navixclient.h"

using clienttest::LogSpy;
using clienttest::makeProperty;
using clienttest::setText;

TEST(NavixConnectionSettings, CopiesTheWholeRecord) {
    ConnProperty p = makeProperty();
    p.jobTimeout = 17;
    p.charsetFlag = 1;
    setText(p.DATABASE, "db1");
    setText(p.PORT, "443");
    NavixConnection c(&p, "DSN=vkl");
    EXPECT_EQ(0, memcmp(&p, &c.connProperty, sizeof(p)));
    // The caller's record may go away at once.
    setText(p.DATABASE, "other");
    EXPECT_STREQ("db1", c.connProperty.DATABASE);
    EXPECT_FALSE(c.syncMode);
    EXPECT_EQ(nullptr, c.restApi);
    EXPECT_EQ(0, c.diag.code);
    EXPECT_EQ("00000", c.diag.sqlstate);
}

TEST(NavixConnectionSettings, ServerSettingsInKeyOrderAndModeSwitch) {
    ConnProperty p = makeProperty();
    NavixConnection c(&p, "DSN=x;vkl.sql.syncMode.enabled=TRUE;vkl.a=1");
    EXPECT_TRUE(c.syncMode);
    ASSERT_EQ(2u, c.serverConfList.size());
    EXPECT_EQ("vkl.a=1", c.serverConfList[0]);
    EXPECT_EQ("vkl.sql.syncMode.enabled=TRUE", c.serverConfList[1]);
    EXPECT_EQ(0u, c.serverConfMap.count("DSN"));
}

TEST(NavixConnectionSettings, PrefixInAnyCaseKeyAndValueTrimmed) {
    ConnProperty p = makeProperty();
    NavixConnection c(&p, "Vkl.B = 2   ;vkl.e=   ;DSN=x");
    ASSERT_EQ(1u, c.serverConfMap.count("Vkl.B"));
    EXPECT_EQ("2", c.serverConfMap["Vkl.B"]);
    // A value of blanks passes the emptiness test and is stored empty.
    ASSERT_EQ(1u, c.serverConfMap.count("vkl.e"));
    EXPECT_EQ("", c.serverConfMap["vkl.e"]);
    ASSERT_EQ(2u, c.serverConfList.size());
    EXPECT_EQ("Vkl.B=2", c.serverConfList[0]);
    EXPECT_EQ("vkl.e=", c.serverConfList[1]);
}

TEST(NavixConnectionSettings, MalformedSettingsAreLoggedAndSkipped) {
    LogSpy log;
    ConnProperty p = makeProperty();
    NavixConnection c(&p, "vkl.c;vkl.d=;vkl.f=1=2;vkl.g==3;vkl;vkl.ok=1");
    EXPECT_EQ(1u, log.count("Conf: vkl.c format error", clienttest::kLevelError));
    EXPECT_EQ(1u, log.count("Conf: vkl.d= is error", clienttest::kLevelError));
    EXPECT_EQ(1u, log.count("Conf: vkl.f=1=2 format error", clienttest::kLevelError));
    EXPECT_EQ(1u, log.count("Conf: vkl.g==3 format error", clienttest::kLevelError));
    EXPECT_EQ(0u, log.count("Conf: vkl "));
    ASSERT_EQ(1u, c.serverConfList.size());
    EXPECT_EQ("vkl.ok=1", c.serverConfList[0]);
}

TEST(NavixConnectionSettings, LaterValueWinsAndModeKeyIsCaseSensitive) {
    ConnProperty p = makeProperty();
    NavixConnection c(&p, "vkl.a=1;vkl.a=2;VKL.sql.syncMode.enabled=true");
    EXPECT_FALSE(c.syncMode);
    ASSERT_EQ(2u, c.serverConfList.size());
    EXPECT_EQ("VKL.sql.syncMode.enabled=true", c.serverConfList[0]);
    EXPECT_EQ("vkl.a=2", c.serverConfList[1]);

    EXPECT_TRUE(c.updateServerConfMap("vkl.sql.syncMode.enabled=True"));
    EXPECT_TRUE(c.syncMode);
    EXPECT_TRUE(c.updateServerConfMap("vkl.sql.syncMode.enabled=yes"));
    EXPECT_FALSE(c.syncMode);
    // The list changes only on a rebuild.
    EXPECT_EQ(2u, c.serverConfList.size());
    c.rebuildServerConfList();
    EXPECT_EQ(3u, c.serverConfList.size());
    EXPECT_EQ("vkl.sql.syncMode.enabled=yes", c.serverConfList[2]);
}

TEST(NavixConnectionSettings, EntriesSplitWithoutMerging) {
    ConnProperty p = makeProperty();
    NavixConnection c(&p, "  a;;b; ");
    ASSERT_EQ(4u, c.connConfList.size());
    EXPECT_EQ("a", c.connConfList[0]);
    EXPECT_EQ("", c.connConfList[1]);
    EXPECT_EQ("b", c.connConfList[2]);
    EXPECT_EQ("", c.connConfList[3]);
    EXPECT_TRUE(c.serverConfList.empty());
}

TEST(NavixConnectionSettings, NullArgumentsLeaveAnEmptyConnection) {
    LogSpy log;
    ConnProperty p = makeProperty();
    NavixConnection a(nullptr, "vkl.a=1");
    NavixConnection b(&p, nullptr);
    EXPECT_EQ(2u, log.count("NULL ptr.", clienttest::kLevelError));
    EXPECT_TRUE(a.serverConfMap.empty());
    EXPECT_STREQ("", a.connProperty.PROJECTID);
    EXPECT_STREQ("", b.connProperty.PROJECTID); // not copied either
}

TEST(NavixConnectionSettings, SecretsNeverReachTheLog) {
    LogSpy log;
    ConnProperty p = makeProperty();
    NavixConnection c(
        &p, "DSN=x;AK=MYACCESSKEY;SK=topSecretSK;password=hunter2;USER=u;Pwd={a;vkl.b=1};vkl.a=1");
    std::string all = log.all();
    EXPECT_EQ(std::string::npos, all.find("topSecretSK"));
    EXPECT_EQ(std::string::npos, all.find("hunter2"));
    EXPECT_EQ(std::string::npos, all.find("vkl.b"));
    EXPECT_EQ(
        1u,
        log.count("Conn string: DSN=x;AK=MYACCESSKEY;SK=****;password=****;USER=u;Pwd=****;vkl.a=1",
                  clienttest::kLevelDebug));
    EXPECT_EQ(1u, log.count("Conn conf: SK=****"));
    EXPECT_EQ(1u, log.count("Conn conf: password=****"));
    EXPECT_EQ(1u, log.count("Conn conf: Pwd=****"));
    EXPECT_EQ(1u, log.count("Conn conf: AK=MYACCESSKEY"));
    EXPECT_EQ(7u, log.count("Conn conf: "));
    // The rest of an unbraced secret that a ";" cut off is masked whole.
    NavixConnection cut(&p, "PWD=se;cret;USER=u");
    EXPECT_EQ(std::string::npos, log.all().find("cret"));
    EXPECT_EQ(1u, log.count("Conn conf: ****"));
    // What a braced value holds is a value, never an entry of its own.
    EXPECT_EQ((std::vector<std::string>{"vkl.a=1"}), c.serverConfList);
}

// Masking follows ODBC's connection-string grammar, so nothing of a secret
// stays, whatever it holds.
TEST(NavixConnectionSettings, MaskSecrets) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"PASSWORD=a=b", "PASSWORD=****"},
        {"sk=x;ak=1", "sk=****;ak=1"},
        {"PWD=x;UID=u", "PWD=****;UID=u"},
        {" pwd =x", " pwd =****"},
        {"PWD={a;b=c}", "PWD=****"},
        {"PWD={a;b=c};DSN=d", "PWD=****;DSN=d"},
        {"PWD={a}}b;c}}};DSN=d", "PWD=****;DSN=d"},
        {"PWD= {a;b};DSN=d", "PWD=****;DSN=d"},
        {"PWD={unclosed;DSN=d", "PWD=****"},
        {"PASSWORD={x}tail;DSN=d", "PASSWORD=****;DSN=d"},
        {"DSN={a;b};PWD=p", "DSN={a;b};PWD=****"},
        {"SK={}", "SK=****"},
        {"PWD=", "PWD=****"},
        {"SKIP=1;PASSWORDS=2", "SKIP=1;PASSWORDS=2"},
        // An entry without "=" names no key, but may be the rest of an
        // unbraced secret: masked whole.
        {"PASSWORD", "****"},
        {"a;;PWD=x;", "****;;PWD=****;"},
        {"PWD=se;cret;UID=u", "PWD=****;****;UID=u"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, NavixConnection::maskSecrets(c.in)) << c.in;
    }
}

TEST(NavixConnectionSettings, ConnectionStringGrammar) {
    std::vector<clienttext::ConnStringEntry> e =
        clienttext::splitConnectionString("DSN=x;PWD={a;b=c}}d};vkl.a={1};k;=v;");
    ASSERT_EQ(6u, e.size());
    EXPECT_EQ("PWD", e[1].key);
    EXPECT_EQ("a;b=c}d", e[1].value);
    EXPECT_TRUE(e[1].braced);
    EXPECT_EQ("PWD={a;b=c}}d}", e[1].text);
    EXPECT_EQ("1", e[2].value);
    EXPECT_FALSE(e[3].hasValue);
    EXPECT_EQ("k", e[3].key);
    EXPECT_EQ("", e[4].key);
    EXPECT_EQ("v", e[4].value);
    EXPECT_EQ("", e[5].text);
    for (const auto& entry : e)
        EXPECT_FALSE(entry.malformed) << entry.text;
    // A brace left open, or text behind the closing one, is flagged.
    EXPECT_TRUE(clienttext::splitConnectionString("PWD={a;DSN=x")[0].malformed);
    EXPECT_TRUE(clienttext::splitConnectionString("PWD={a}b;DSN=x")[0].malformed);
    EXPECT_FALSE(clienttext::splitConnectionString("PWD={a} ;DSN=x")[0].malformed);
    ConnProperty p = makeProperty();
    NavixConnection c(&p, "vkl.a={1};vkl.b={x;y}");
    EXPECT_EQ((std::vector<std::string>{"vkl.a=1", "vkl.b=x;y"}), c.serverConfList);
}

TEST(NavixConnectionProxy, UseProxyOneBuildsHostColonPort) {
    struct {
        const char* use;
        const char* host;
        const char* port;
        bool proxied;
        const char* text;
    } cases[] = {
        {"1", "gateway", "", true, "gateway:"},
        {"01", "gw", "8080", true, "gw:8080"},
        {"1", "", "", true, ":"},
        {"yes", "gw", "8080", false, ""},
        {"", "gw", "8080", false, ""},
        {"2", "gw", "8080", false, ""},
        {" +1x", "gw", "1", true, "gw:1"},
        {"-1", "gw", "8080", false, ""},
        {"10", "gw", "8080", false, ""},
        {"0001", "gw", "8080", true, "gw:8080"},
        {"4294967297", "gw", "8080", false, ""}, // 2^32 + 1: not 1 however atoi wraps
    };
    for (const auto& c : cases) {
        ConnProperty p = makeProperty(1);
        setText(p.USEPROXY, c.use);
        setText(p.PROXYHOST, c.host);
        setText(p.PROXYPORT, c.port);
        NavixConnection conn(&p, "");
        ASSERT_EQ(0, conn.init()) << c.use; // signing mode sends nothing
        ASSERT_NE(nullptr, conn.restApi);
        EXPECT_EQ(c.proxied, conn.restApi->httpClient.useProxy) << c.use;
        if (c.proxied) {
            EXPECT_EQ(c.text, conn.restApi->httpClient.proxy) << c.use;
        }
    }
}

TEST(NavixConnectionProxy, ConfigurationReachesTheProxy) {
    ConnProperty p = makeProperty(1, "project-9");
    setText(p.HOST, "127.0.0.1:1");
    setText(p.SSLCA, VORN_UNRELATED_CA_FILE);
    NavixConnection conn(&p, "");
    ASSERT_EQ(0, conn.init());
    EXPECT_EQ("https://127.0.0.1:1/v1.0/project-9", conn.restApi->baseUrl);
    EXPECT_EQ(1, conn.restApi->authMode);
    EXPECT_EQ("region-1", conn.restApi->region);
    EXPECT_EQ(VORN_UNRELATED_CA_FILE, conn.restApi->httpClient.caFile);
}

TEST(NavixOpenConnectionUnit, TokenFailureReportsInitResult) {
    clienttest::EnvGuard identity("VORN_IDENTITY_HOST", "127.0.0.1:1"); // nothing listens there
    ConnProperty p = makeProperty(2);
    setText(p.USER, "u");
    setText(p.PASSWORD, "p");
    DiagRecord rec;
    memset(&rec, 0, sizeof(rec));
    EXPECT_EQ(nullptr, NavixOpenConnection(&p, "DSN=x", &rec));
    EXPECT_EQ(7, rec.nativeCode); // CURLE_COULDNT_CONNECT
    EXPECT_STREQ("08001", rec.sqlState);
    const std::string message = rec.message;
    EXPECT_EQ(0u, message.find("VKL ODBC Communication link failure: ")) << message;
    EXPECT_NE(std::string::npos, message.find(" (host 127.0.0.1:1)")) << message;
}

TEST(NavixOpenConnectionUnit, SuccessLeavesTheRecordAlone) {
    ConnProperty p = makeProperty(1);
    DiagRecord rec;
    memset(&rec, 0x5A, sizeof(rec));
    NavixConnection* c = NavixOpenConnection(&p, "DSN=x", &rec);
    ASSERT_NE(nullptr, c);
    DiagRecord same;
    memset(&same, 0x5A, sizeof(same));
    EXPECT_EQ(0, memcmp(&rec, &same, sizeof(rec)));
    EXPECT_EQ(0, NavixCloseConnection(c));
}

TEST(NavixOpenConnectionUnit, NullArguments) {
    LogSpy log;
    DiagRecord rec;
    memset(&rec, 0, sizeof(rec));
    EXPECT_EQ(nullptr, NavixOpenConnection(nullptr, "DSN=x", &rec));
    EXPECT_EQ(1u, log.count("Conn property is NULL", clienttest::kLevelError));
    EXPECT_EQ(1, NavixCloseConnection(nullptr));
    EXPECT_EQ(1u, log.count("Navix connection cannot be NULL.", clienttest::kLevelError));
}
