#include "RestApiProxy.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <boost/format.hpp>
#include <boost/property_tree/ptree.hpp>

#include "NavixLogging.h"

namespace pt = boost::property_tree;

namespace navixrest {

const std::string tokenRequestTemplate =
    "{\"auth\":{\"identity\":{\"methods\":[\"password\"],\"password\":{\"user\":{\"name\":\"%s\","
    "\"password\":\"%s\",\"domain\":{\"name\":\"%s\"}}}},\"scope\":{\"project\":{\"id\":\"%s\"}}}}";

RestApiConf::RestApiConf() : authMode(0) {}

std::string httpMethodName(int method) {
    if (method == HTTP_METHOD_POST) return "POST";
    if (method == HTTP_METHOD_DELETE) return "DELETE";
    return "GET";
}

// The identity service of a region is "iam.<region>.orvelocloud.com". The
// environment variable VORN_IDENTITY_HOST (host or host:port), when set and
// not empty, replaces it for every region (private clouds, test services).
std::string identityServiceHost(const std::string& region) {
    const char* overrideHost = std::getenv("VORN_IDENTITY_HOST");
    if (overrideHost != nullptr && overrideHost[0] != '\0') return overrideHost;
    return "iam." + region + ".orvelocloud.com";
}

// Used when the data source gives no HOST.
std::string defaultServiceHost(const std::string& region) {
    return "vkl." + region + ".orvelocloud.com";
}

std::string jsonEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                out += buf;
            } else {
                out += static_cast<char>(c);  // UTF-8 passes through unchanged
            }
        }
    }
    return out;
}

RestApiProxy::RestApiProxy() : tokenExpiry(0), authMode(0) {}

RestApiProxy::RestApiProxy(const std::string& proxyText) : httpClient(proxyText), tokenExpiry(0), authMode(0) {}

RestApiProxy::~RestApiProxy() {}

int RestApiProxy::init(const RestApiConf& conf) {
    NAVIX_LOG(NAVIX_INFO, "navixrest::RestApiProxy::init", "Region = %s", conf.region.c_str());
    identityUrl = "https://" + identityServiceHost(conf.region) + "/v3/auth/tokens";
    endpoint = conf.endpoint.empty() ? defaultServiceHost(conf.region) : conf.endpoint;
    region = conf.region;
    projectId = conf.projectId;
    baseUrl = "https://" + endpoint + "/v1.0/" + projectId;
    // The four values are escaped, so the body stays valid JSON whatever
    // quotes or backslashes a user name or password holds.
    tokenRequestBody = (boost::format(tokenRequestTemplate) % jsonEscape(conf.user) % jsonEscape(conf.password) %
                        jsonEscape(conf.account) % jsonEscape(conf.projectId))
                           .str();
    authMode = conf.authMode;
    if (authMode == AUTH_MODE_AKSK) {
        aksk.ak = conf.ak;
        aksk.sk = conf.sk;
        aksk.region = conf.region;
        return 0;
    }
    return getToken();
}

// Without "X-Subject-Token" in the answer the result is the answer's HTTP
// status, or -1 when there is none; the connection shows it as the native
// code of its diagnostic.
int RestApiProxy::getToken() {
    HttpReq request;
    request.url = identityUrl;
    request.body = tokenRequestBody;
    request.headers["Content-Type"] = "application/json";
    HttpResp response;
    int ret = httpClient.call(HTTP_METHOD_POST, request, response);
    if (ret != 0) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::getToken", "HttpClient call getToken error, ret = %d", ret);
        return ret;
    }
    HeaderMap::const_iterator it = response.headers.find("X-Subject-Token");
    if (it == response.headers.end()) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::getToken",
                  "No X-Subject-Token in the identity answer, HTTP code: %d, body: %s", response.httpCode,
                  response.body.c_str());
        return response.httpCode != 0 ? response.httpCode : -1;
    }
    token = it->second;
    getTokenExpireTime(response.body);
    return 0;
}

// "expires_at" is read as UTC. Until a stamp with all six numbers has been
// read, tokenExpiry stays 0 and the token counts as expired.
void RestApiProxy::getTokenExpireTime(const std::string& body) {
    std::string stamp;
    try {
        pt::ptree root;
        readJsonText(body, root);
        stamp = root.get_child("token").get_child("expires_at").data();
    } catch (const pt::ptree_error& e) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::getTokenExpireTime", "Parser json error, %s", e.what());
        return;
    }
    NAVIX_LOG(NAVIX_INFO, "navixrest::RestApiProxy::getTokenExpireTime", "Get Token Expire time: %s", stamp.c_str());
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(stamp.c_str(), "%d-%d-%dT%d:%d:%d", &year, &month, &day, &hour, &minute, &second) != 6 ||
        year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 24 ||
        minute < 0 || minute > 59 || second < 0 || second > 60) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::getTokenExpireTime", "Unreadable expiry time: %s",
                  stamp.c_str());
        return;
    }
    struct tm calendar = {};
    calendar.tm_year = year - 1900;
    calendar.tm_mon = month - 1;
    calendar.tm_mday = day;
    calendar.tm_hour = hour;
    calendar.tm_min = minute;
    calendar.tm_sec = second;
    tokenExpiry = static_cast<int64_t>(timegm(&calendar));
}

const std::string& RestApiProxy::isTokenExpire() {
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    NAVIX_LOG(NAVIX_DEBUG, "navixrest::RestApiProxy::isTokenExpire", "now second: %d", static_cast<int32_t>(now));
    if (now >= tokenExpiry) getToken();
    return token;
}

int RestApiProxy::signRequest(RestReq& request) {
    const std::string& path = request.httpReq.url;
    const size_t question = path.find('?');
    const std::string resource = question == std::string::npos ? path : path.substr(0, question);
    const std::string query = question == std::string::npos ? std::string() : path.substr(question + 1);
    const std::string canonicalUri = "/v1.0/" + projectId + resource;

    const time_t now = std::time(nullptr);
    struct tm utc = {};
    gmtime_r(&now, &utc);
    char sdkDate[32];
    std::strftime(sdkDate, sizeof sdkDate, "%Y%m%dT%H%M%SZ", &utc);

    request.httpReq.headers["X-Sdk-Date"] = sdkDate;
    request.httpReq.headers["Host"] = endpoint;
    std::string authorization;
    aksk.sign(canonicalUri, httpMethodName(request.getMethod()), query, request.httpReq.headers,
              request.httpReq.body, sdkDate, authorization);
    request.httpReq.headers["Authorization"] = authorization;
    return 0;
}

int RestApiProxy::call(RestReq& request, RestResp& response) {
    request.httpReq.headers["Content-Type"] = "application/json";
    if (authMode == AUTH_MODE_AKSK) {
        request.httpReq.headers["X-Project-Id"] = projectId;
        signRequest(request);
    } else {
        request.httpReq.headers["X-Auth-Token"] = isTokenExpire();
    }
    request.httpReq.url = baseUrl + request.httpReq.url;
    NAVIX_LOG(NAVIX_INFO, "navixrest::RestApiProxy::call", "Rest call %s", request.httpReq.url.c_str());
    int ret = httpClient.call(request.getMethod(), request.httpReq, response.httpResp);
    if (ret != 0) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::call", "HttpClient call error, ret = %d", ret);
        return ret;
    }
    response.httpStatus = response.httpResp.httpCode;
    if (response.httpStatus == 200 || response.httpStatus == 201) {
        response.isSuccess = true;
        response.parseSuccessRes();
    } else {
        response.isSuccess = false;
        response.message = response.httpResp.body;
    }
    return 0;
}

}  // namespace navixrest
