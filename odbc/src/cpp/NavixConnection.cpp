// Client connection: settings copy, server settings and the REST proxy.
#include "NavixConnection.h"

#include <stdlib.h>
#include <string.h>

#include <new>

#include "ClientText.h"
#include "NavixLogging.h"
#include "RestApiProxy.h"

namespace {

using clienttext::ConnStringEntry;
using clienttext::fieldText;
using clienttext::lowerAscii;
using clienttext::trimmed;

std::vector<std::string> splitAll(const std::string& text, char sep) {
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
bool proxyRequested(const std::string& useProxy) {
    return strtol(useProxy.c_str(), NULL, 10) == 1;
}

// One entry as the log shows it: secrets masked (navixMaskedEntry). A brace
// left open runs to the end of the string and swallows the entries after it,
// secrets among them, so such a value is masked whatever its key (as is a
// braced value with text after its closing brace).
std::string maskEntry(const ConnStringEntry& entry) {
    if (entry.braced && entry.malformed) {
        return entry.key + "=****";
    }
    return navixMaskedEntry(entry.text);
}

} // namespace

NavixConnection::NavixConnection(const ConnProperty* prop, const char* connStr)
    : diag(), syncMode(false), restApi(NULL) {
    memset(&connProperty, 0, sizeof(connProperty));
    if (prop == NULL || connStr == NULL) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::NavixConnection", "NULL ptr.");
        return;
    }
    memcpy(&connProperty, prop, sizeof(connProperty));
    currentDatabase = fieldText(connProperty.DATABASE);
    parseConnConf(connStr);
}

NavixConnection::~NavixConnection() {
    connConfList.clear();
    serverConfList.clear();
    serverConfMap.clear();
    delete restApi;
    restApi = NULL;
}

std::string NavixConnection::maskSecrets(const std::string& connStr) {
    std::vector<ConnStringEntry> entries = clienttext::splitConnectionString(connStr);
    std::string out;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            out += ';';
        }
        out += maskEntry(entries[i]);
    }
    return out;
}

void NavixConnection::parseConnConf(const std::string& connStr) {
    // Credentials never reach the log: PASSWORD, PWD and SK are masked.
    NAVIX_LOG(NAVIX_DEBUG, "NavixConnection::parseConnConf", "Conn string: %s",
              maskSecrets(connStr).c_str());
    // Entries follow ODBC's grammar, so a ";" inside a braced value (a
    // password, say) never starts an entry of its own.
    std::vector<ConnStringEntry> entries = clienttext::splitConnectionString(trimmed(connStr));
    connConfList.clear();
    for (const ConnStringEntry& entry : entries) {
        connConfList.push_back(entry.text);
        if (entry.text.empty()) {
            continue;
        }
        NAVIX_LOG(NAVIX_DEBUG, "NavixConnection::parseConnConf", "Conn conf: %s",
                  maskEntry(entry).c_str());
        if (clienttext::isServerSetting(entry)) {
            updateServerConfMap(entry.braced ? entry.key + "=" + entry.value : entry.text);
        }
    }
    rebuildServerConfList();
}

bool NavixConnection::updateServerConfMap(const std::string& conf) {
    std::vector<std::string> parts = splitAll(conf, '=');
    if (parts.size() != 2) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::updateServerConfMap", "Conf: %s format error",
                  conf.c_str());
        return false;
    }
    if (parts[0].empty() || parts[1].empty()) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::updateServerConfMap", "Conf: %s is error",
                  conf.c_str());
        return false;
    }
    std::string key = trimmed(parts[0]);
    std::string value = trimmed(parts[1]);
    std::lock_guard<std::mutex> lock(stateMutex);
    if (key == "vkl.sql.syncMode.enabled") {
        std::string mode = lowerAscii(value);
        NAVIX_LOG(NAVIX_DEBUG, "NavixConnection::updateServerConfMap", "syncMode: %s",
                  mode.c_str());
        syncMode = (mode == "true");
    }
    serverConfMap[key] = value;
    return true;
}

void NavixConnection::rebuildServerConfList() {
    std::lock_guard<std::mutex> lock(stateMutex);
    rebuildServerConfListLocked();
}

void NavixConnection::rebuildServerConfListLocked() {
    serverConfList.clear();
    for (const auto& kv : serverConfMap) {
        serverConfList.push_back(kv.first + "=" + kv.second);
    }
}

std::string NavixConnection::database() const {
    std::lock_guard<std::mutex> lock(stateMutex);
    return currentDatabase;
}

void NavixConnection::setDatabase(const std::string& name) {
    std::lock_guard<std::mutex> lock(stateMutex);
    currentDatabase = name;
}

std::vector<std::string> NavixConnection::serverConfSnapshot() const {
    std::lock_guard<std::mutex> lock(stateMutex);
    return serverConfList;
}

bool NavixConnection::isSyncMode() const {
    std::lock_guard<std::mutex> lock(stateMutex);
    return syncMode;
}

int NavixConnection::createRestApi() {
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
    conf.caFile = fieldText(connProperty.SSLCA);

    std::string useProxy = fieldText(connProperty.USEPROXY);
    delete restApi;
    restApi = NULL;
    try {
        if (proxyRequested(useProxy)) {
            std::string proxyText =
                fieldText(connProperty.PROXYHOST) + ":" + fieldText(connProperty.PROXYPORT);
            restApi = new (std::nothrow) navixrest::RestApiProxy(proxyText);
        } else {
            restApi = new (std::nothrow) navixrest::RestApiProxy();
        }
    } catch (const std::exception& e) {
        restApi = NULL;
    }
    if (restApi == NULL) {
        diag.set(1, "HY001", "VKL ODBC Memory allocation error.");
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::createRestApi", "new Rest API is NULL");
        return 1;
    }
    navixrest::CallError error;
    int r = restApi->init(conf, &error);
    if (r != 0) {
        // The init result stays the native code; the record says why.
        if (error.kind == navixrest::CallError::NONE) {
            diag.set(r, "HY000", "VKL ODBC System ERROR.");
        } else {
            diag.setCallError(error, true);
        }
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::createRestApi",
                  "Call Rest Api init error, ret = %d", r);
        return 1;
    }
    return 0;
}

int NavixConnection::init() {
    // The current database names the path of every table description.
    if (navixrest::isDotSegment(currentDatabase)) {
        diag.set(0, "08001",
                 "Value of DATABASE cannot be \".\" or \"..\": no name in a request path can");
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::init", "%s", diag.message.c_str());
        return 1;
    }
    int r = createRestApi();
    if (r != 0) {
        NAVIX_LOG(NAVIX_ERROR, "NavixConnection::init",
                  "Call NavixConnection::createRestApi error. ret = %d", r);
        return r;
    }
    return 0;
}

void NavixConnection::fillDiagRecord(DiagRecord* record) const {
    fillDiagRecordFrom(diag, record);
}
