// Client connection: settings copy, server settings and the REST proxy.
#include "NavixConnection.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <new>

#include "ClientText.h"
#include "NavixLogging.h"
#include "RestApiProxy.h"

namespace {

using clienttext::fieldText;
using clienttext::lowerAscii;
using clienttext::trimmed;

std::vector<std::string> splitAll(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t pos = text.find(sep, start);
        if (pos == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

// USEPROXY read as atoi reads it (blanks, sign, leading digits; none gives 0).
// strtol saturates where atoi would overflow, so only a true 1 asks for a proxy.
bool proxyRequested(const std::string& useProxy)
{
    return strtol(useProxy.c_str(), NULL, 10) == 1;
}

bool isSecretKey(const std::string& key)
{
    std::string k = trimmed(key);
    return strcasecmp(k.c_str(), "PASSWORD") == 0 || strcasecmp(k.c_str(), "SK") == 0;
}

// One "key=value" entry with a secret value replaced.
std::string maskEntry(const std::string& entry)
{
    size_t eq = entry.find('=');
    if (eq == std::string::npos || !isSecretKey(entry.substr(0, eq))) {
        return entry;
    }
    return entry.substr(0, eq + 1) + "****";
}

}  // namespace

NavixConnection::NavixConnection(const ConnProperty* prop, const char* connStr)
    : diag(), syncMode(false), restApi(NULL)
{
    memset(&connProperty, 0, sizeof(connProperty));
    if (prop == NULL || connStr == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::NavixConnection", "NULL ptr.");
        return;
    }
    memcpy(&connProperty, prop, sizeof(connProperty));
    parseConnConf(connStr);
}

NavixConnection::~NavixConnection()
{
    connConfList.clear();
    serverConfList.clear();
    serverConfMap.clear();
    delete restApi;
    restApi = NULL;
}

std::string NavixConnection::maskSecrets(const std::string& connStr)
{
    std::vector<std::string> entries = splitAll(connStr, ';');
    std::string out;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            out += ';';
        }
        out += maskEntry(entries[i]);
    }
    return out;
}

void NavixConnection::parseConnConf(const std::string& connStr)
{
    // Credentials never reach the log: PASSWORD and SK are masked.
    NAVIX_LOG(NAVIX_DEBUG, "NavixConnection::parseConnConf", "Conn string: %s", maskSecrets(connStr).c_str());
    connConfList = splitAll(trimmed(connStr), ';');
    for (const std::string& entry : connConfList) {
        if (entry.empty()) {
            continue;
        }
        NAVIX_LOG(NAVIX_DEBUG, "NavixConnection::parseConnConf", "Conn conf: %s", maskEntry(entry).c_str());
        if (entry.size() >= 4 && lowerAscii(entry.substr(0, 4)) == "vkl.") {
            updateServerConfMap(entry);
        }
    }
    rebuildServerConfList();
}

bool NavixConnection::updateServerConfMap(const std::string& conf)
{
    std::vector<std::string> parts = splitAll(conf, '=');
    if (parts.size() != 2) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::updateServerConfMap", "Conf: %s format error", conf.c_str());
        return false;
    }
    if (parts[0].empty() || parts[1].empty()) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::updateServerConfMap", "Conf: %s is error", conf.c_str());
        return false;
    }
    std::string key = trimmed(parts[0]);
    std::string value = trimmed(parts[1]);
    if (key == "vkl.sql.syncMode.enabled") {
        std::string mode = lowerAscii(value);
        NAVIX_LOG(NAVIX_DEBUG, "NavixConnection::updateServerConfMap", "syncMode: %s", mode.c_str());
        syncMode = (mode == "true");
    }
    serverConfMap[key] = value;
    return true;
}

void NavixConnection::rebuildServerConfList()
{
    serverConfList.clear();
    for (const auto& kv : serverConfMap) {
        serverConfList.push_back(kv.first + "=" + kv.second);
    }
}

int NavixConnection::createRestApi()
{
    navixrest::RestApiConf conf;
    conf.authMode = connProperty.authMode;
    conf.user = fieldText(connProperty.USER);
    conf.password = fieldText(connProperty.PASSWORD);
    conf.account = fieldText(connProperty.ACCOUNT);
    conf.projectId = fieldText(connProperty.PROJECTID);
    conf.region = fieldText(connProperty.REGION);
    conf.ak = fieldText(connProperty.AK);
    conf.sk = fieldText(connProperty.SK);
    conf.endpoint = fieldText(connProperty.HOST);

    std::string useProxy = fieldText(connProperty.USEPROXY);
    delete restApi;
    restApi = NULL;
    try {
        if (proxyRequested(useProxy)) {
            std::string proxyText = fieldText(connProperty.PROXYHOST) + ":" + fieldText(connProperty.PROXYPORT);
            restApi = new (std::nothrow) navixrest::RestApiProxy(proxyText);
        } else {
            restApi = new (std::nothrow) navixrest::RestApiProxy();
        }
    } catch (const std::exception& e) {
        restApi = NULL;
    }
    if (restApi == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::createRestApi", "new Rest API is NULL");
        return 1;
    }
    int r = restApi->init(conf);
    if (r != 0) {
        diag.set(r, "HY000", "VKL ODBC System ERROR.");
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::createRestApi", "Call Rest Api init error, ret = %d", r);
        return 1;
    }
    return 0;
}

int NavixConnection::init()
{
    int r = createRestApi();
    if (r != 0) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::init", "Call NavixConnection::createRestApi error. ret = %d", r);
        return r;
    }
    return 0;
}

void NavixConnection::fillDiagRecord(DiagRecord* record) const
{
    fillDiagRecordFrom(diag, record);
}
