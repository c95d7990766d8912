#include "RestApiProxy.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <boost/algorithm/string/trim.hpp>
#include <boost/format.hpp>
#include <boost/optional.hpp>
#include <boost/property_tree/ptree.hpp>
#include <curl/curl.h>

#include "AsciiText.h"
#include "NavixLogging.h"

namespace pt = boost::property_tree;

namespace navixrest {

const std::string tokenRequestTemplate =
    "{\"auth\":{\"identity\":{\"methods\":[\"password\"],\"password\":{\"user\":{\"name\":\"%s\","
    "\"password\":\"%s\",\"domain\":{\"name\":\"%s\"}}}},\"scope\":{\"project\":{\"id\":\"%s\"}}}}";

namespace {
// Parsed once, at load: parsing narrows each character through the locale's
// ctype facet, which fills a cache without a lock on first use, so parsing
// on connections that open on several threads at once would race on it.
const boost::format tokenRequestFormat(tokenRequestTemplate);
} // namespace

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
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                out += buf;
            } else {
                out += static_cast<char>(c); // UTF-8 passes through unchanged
            }
        }
    }
    return out;
}

namespace {

int64_t currentTimeMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// At most this many bytes of an identity service's text go into a report.
const size_t kReasonLimit = 200;

// Blanks for line breaks and tabs, and a cut at a character boundary.
std::string shortened(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    }
    boost::algorithm::trim(out);
    if (out.size() <= kReasonLimit) return out;
    size_t cut = kReasonLimit;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
        --cut;
    return out.substr(0, cut) + "...";
}

// The "expires_at" stamp of an identity answer as seconds since the epoch
// (read as UTC); false with the reason when it cannot be read.
bool readTokenExpiry(const std::string& body, int64_t& expiry, std::string& problem) {
    const char* func = "navixrest::RestApiProxy::getTokenExpireTime";
    std::string stamp;
    try {
        pt::ptree root;
        readJsonText(body, root);
        stamp = root.get_child("token").get_child("expires_at").data();
    } catch (const pt::ptree_error& e) {
        NAVIX_LOG(NAVIX_ERROR, func, "Parser json error, %s", e.what());
        problem = readerError(e);
        return false;
    }
    NAVIX_LOG(NAVIX_INFO, func, "Get Token Expire time: %s", stamp.c_str());
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(stamp.c_str(), "%d-%d-%dT%d:%d:%d", &year, &month, &day, &hour, &minute,
                    &second) != 6 ||
        year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 24 || minute < 0 || minute > 59 || second < 0 || second > 60) {
        NAVIX_LOG(NAVIX_ERROR, func, "Unreadable expiry time: %s", stamp.c_str());
        problem = "token.expires_at is not a time: " + shortened(stamp);
        return false;
    }
    struct tm calendar = {};
    calendar.tm_year = year - 1900;
    calendar.tm_mon = month - 1;
    calendar.tm_mday = day;
    calendar.tm_hour = hour;
    calendar.tm_min = minute;
    calendar.tm_sec = second;
    expiry = static_cast<int64_t>(timegm(&calendar));
    return true;
}

} // namespace

bool tokenNeedsRenewal(int64_t nowMs, int64_t expiryMs, int64_t lifetimeMs) {
    const int64_t margin = lifetimeMs >= 120000 ? 60000 : lifetimeMs / 2;
    return nowMs >= expiryMs || expiryMs - nowMs < margin;
}

std::string identityRefusalReason(int32_t httpStatus, const std::string& body) {
    std::string reason;
    try {
        pt::ptree root;
        readJsonText(body, root);
        // The error bodies identity services send: {"error":{"message":..}},
        // {"error_msg":..}, {"message":..}, {"error":"..."}.
        for (const char* path :
             {"error.message", "error_msg", "message", "error_description", "error"}) {
            boost::optional<pt::ptree&> node = root.get_child_optional(path);
            if (node && node->empty() && !node->data().empty()) {
                reason = node->data();
                break;
            }
        }
    } catch (const pt::ptree_error&) {
        // Not JSON: the body itself is the reason.
    }
    if (reason.empty()) reason = body;
    reason = shortened(reason);
    std::string text = "Identity service answered " + std::to_string(httpStatus);
    return reason.empty() ? text : text + ": " + reason;
}

std::string hostProblem(const std::string& hostPort) {
    static const char kProblem[] = "is not host[:port]";
    if (hostPort.empty() || hostPort.find_first_of("/@?#\\ ") != std::string::npos ||
        hasControlCharacter(hostPort)) {
        return kProblem;
    }
    // libcurl reads it as it will read the URL: the host and port it finds
    // there must be all of it.
    CURLU* url = curl_url();
    if (url == nullptr) return "cannot be checked";
    std::string found;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_set(url, CURLUPART_URL, ("https://" + hostPort + "/").c_str(), 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
        found = host;
        if (curl_url_get(url, CURLUPART_PORT, &port, 0) == CURLUE_OK)
            found += ":" + std::string(port);
    }
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(url);
    return found == hostPort ? "" : kProblem;
}

std::string settingProblem(const RestApiConf& conf) {
    for (char c : conf.region) {
        if (!isAsciiAlnum(c) && c != '-' && c != '.') {
            return "Value of REGION may hold only letters, digits, \"-\" and \".\"";
        }
    }
    if (!conf.endpoint.empty()) {
        const std::string problem = hostProblem(conf.endpoint);
        if (!problem.empty()) return "Value of HOST " + problem;
    }
    if (hasControlCharacter(conf.ak)) return "Value of AK holds a control character";
    if (hasControlCharacter(conf.projectId)) return "Value of PROJECTID holds a control character";
    if (isDotSegment(conf.projectId)) {
        return "Value of PROJECTID cannot be \".\" or \"..\": no name in a request path can";
    }
    if (conf.authMode != AUTH_MODE_AKSK) {
        const char* identityHost = std::getenv("VORN_IDENTITY_HOST");
        if (identityHost != nullptr && identityHost[0] != '\0') {
            const std::string problem = hostProblem(identityHost);
            if (!problem.empty()) return "VORN_IDENTITY_HOST " + problem;
        }
    }
    return std::string();
}

RestApiProxy::RestApiProxy() : tokenExpiry(0), tokenLifetimeMs(0), authMode(0) {}

RestApiProxy::RestApiProxy(const std::string& proxyText)
    : httpClient(proxyText), tokenExpiry(0), tokenLifetimeMs(0), authMode(0) {}

RestApiProxy::~RestApiProxy() {}

int RestApiProxy::init(const RestApiConf& conf, CallError* error) {
    NAVIX_LOG(NAVIX_INFO, "navixrest::RestApiProxy::init", "Region = %s", conf.region.c_str());
    if (!conf.caFile.empty()) {
        NAVIX_LOG(NAVIX_INFO, "navixrest::RestApiProxy::init", "SSLCA = %s", conf.caFile.c_str());
        // Checked here, so that a wrong path fails the connect in both modes
        // instead of the first request after it.
        const std::string problem = caFileProblem(conf.caFile);
        if (!problem.empty()) {
            NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::init", "SSLCA file %s: %s",
                      conf.caFile.c_str(), problem.c_str());
            if (error != nullptr) {
                error->kind = CallError::SETTING;
                error->code = CURLE_SSL_CACERT_BADFILE;
                error->text = "SSLCA file " + conf.caFile + ": " + problem;
            }
            return CURLE_SSL_CACERT_BADFILE;
        }
    }
    // Checked before any URL or header is built from them.
    const std::string refused = settingProblem(conf);
    if (!refused.empty()) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::init", "%s", refused.c_str());
        if (error != nullptr) {
            error->kind = CallError::SETTING;
            error->code = 0;
            error->text = refused;
        }
        return kRefusedSetting;
    }
    httpClient.caFile = conf.caFile;
    identityUrl = "https://" + identityServiceHost(conf.region) + "/v3/auth/tokens";
    endpoint = conf.endpoint.empty() ? defaultServiceHost(conf.region) : conf.endpoint;
    region = conf.region;
    projectId = conf.projectId;
    // The project is one path segment whatever it holds.
    projectPath = "/v1.0/" + encodePathSegment(projectId);
    baseUrl = "https://" + endpoint + projectPath;
    // The four values are escaped, so the body stays valid JSON whatever
    // quotes or backslashes a user name or password holds.
    tokenRequestBody =
        (boost::format(tokenRequestFormat) % jsonEscape(conf.user) % jsonEscape(conf.password) %
         jsonEscape(conf.account) % jsonEscape(conf.projectId))
            .str();
    authMode = conf.authMode;
    if (authMode == AUTH_MODE_AKSK) {
        aksk.ak = conf.ak;
        aksk.sk = conf.sk;
        aksk.region = conf.region;
        return 0;
    }
    return getToken(error);
}

// Without "X-Subject-Token" in the answer the result is the answer's HTTP
// status, or -1 when there is none; the connection shows it as the native
// code of its diagnostic. A token whose expiry cannot be read is not taken:
// without it the proxy could not tell when to renew.
int RestApiProxy::getToken(CallError* error) {
    const char* func = "navixrest::RestApiProxy::getToken";
    CallError ignored;
    CallError& failure = error != nullptr ? *error : ignored;
    HttpReq request;
    request.url = identityUrl;
    request.body = tokenRequestBody;
    request.headers["Content-Type"] = "application/json";
    HttpResp response;
    const int64_t sentMs = currentTimeMs();
    int ret = httpClient.call(HTTP_METHOD_POST, request, response);
    if (ret != 0) {
        NAVIX_LOG(NAVIX_ERROR, func, "HttpClient call getToken error, ret = %d", ret);
        failure.kind = CallError::TRANSPORT;
        failure.code = ret;
        failure.text = response.errorText;
        failure.host = hostOfUrl(identityUrl);
        return ret;
    }
    // Only a success answer logs in: a token beside an error status is none.
    HeaderMap::const_iterator it = response.headers.find("X-Subject-Token");
    const bool success = response.httpCode == 200 || response.httpCode == 201;
    if (!success || it == response.headers.end() || it->second.empty()) {
        NAVIX_LOG(NAVIX_ERROR, func, "%s in the identity answer, HTTP code: %d, body: %s",
                  success ? "No X-Subject-Token" : "An error status", response.httpCode,
                  response.body.c_str());
        const int result = response.httpCode != 0 ? response.httpCode : -1;
        failure.kind = CallError::IDENTITY_REFUSED;
        failure.code = result;
        failure.text = identityRefusalReason(response.httpCode, response.body);
        return result;
    }
    int64_t expiry = 0;
    std::string problem;
    if (hasControlCharacter(it->second)) {
        // It goes into the header of every request.
        problem = "X-Subject-Token holds a control character";
    }
    if (!problem.empty() || !readTokenExpiry(response.body, expiry, problem)) {
        failure.kind = CallError::UNREADABLE;
        failure.code = kUnreadableAnswer;
        failure.text = problem;
        return kUnreadableAnswer;
    }
    token = it->second;
    tokenExpiry = expiry;
    tokenLifetimeMs = expiry * 1000 - sentMs;
    return 0;
}

// "expires_at" is read as UTC. Until a stamp with all six numbers has been
// read, tokenExpiry stays 0 and the token counts as expired.
bool RestApiProxy::getTokenExpireTime(const std::string& body, std::string* problem) {
    int64_t expiry = 0;
    std::string reason;
    if (!readTokenExpiry(body, expiry, reason)) {
        if (problem != nullptr) *problem = reason;
        return false;
    }
    tokenExpiry = expiry;
    return true;
}

int RestApiProxy::isTokenExpire(std::string& current, CallError* error) {
    // One lock for reading and renewing: a thread that arrives while another
    // renews waits, then finds the new token and sends it.
    std::lock_guard<std::mutex> lock(tokenMutex);
    const int64_t nowMs = currentTimeMs();
    NAVIX_LOG(NAVIX_DEBUG, "navixrest::RestApiProxy::isTokenExpire", "now second: %d",
              static_cast<int32_t>(nowMs / 1000));
    if (tokenNeedsRenewal(nowMs, tokenExpiry * 1000, tokenLifetimeMs)) {
        const int ret = getToken(error);
        if (ret != 0) return ret;
    }
    current = token;
    return 0;
}

int RestApiProxy::signRequest(RestReq& request) {
    const std::string& path = request.httpReq.url;
    const size_t question = path.find('?');
    const std::string resource = question == std::string::npos ? path : path.substr(0, question);
    const std::string query =
        question == std::string::npos ? std::string() : path.substr(question + 1);
    const std::string canonicalUri = projectPath + resource;

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
    if (!request.refusal.empty()) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::call", "%s", request.refusal.c_str());
        response.error.kind = CallError::SETTING;
        response.error.code = 0;
        response.error.text = request.refusal;
        return kRefusedSetting;
    }
    request.httpReq.headers["Content-Type"] = "application/json";
    if (authMode == AUTH_MODE_AKSK) {
        request.httpReq.headers["X-Project-Id"] = projectId;
        signRequest(request);
    } else {
        // A request never goes out with a token about to lapse: when it
        // cannot be renewed, the request fails with the renewal's reason.
        std::string current;
        const int renewed = isTokenExpire(current, &response.error);
        if (renewed != 0) {
            NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::call",
                      "Token renewal failed, ret = %d", renewed);
            return renewed;
        }
        request.httpReq.headers["X-Auth-Token"] = current;
    }
    request.httpReq.url = baseUrl + request.httpReq.url;
    NAVIX_LOG(NAVIX_INFO, "navixrest::RestApiProxy::call", "Rest call %s",
              request.httpReq.url.c_str());
    int ret = httpClient.call(request.getMethod(), request.httpReq, response.httpResp);
    if (ret != 0) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::call", "HttpClient call error, ret = %d",
                  ret);
        response.error.kind = CallError::TRANSPORT;
        response.error.code = ret;
        response.error.text = response.httpResp.errorText;
        response.error.host = hostOfUrl(request.httpReq.url);
        return ret;
    }
    response.httpStatus = response.httpResp.httpCode;
    if (response.httpStatus == 200 || response.httpStatus == 201) {
        // A success status whose body cannot be read is no answer: taking it
        // as an empty success would lose rows.
        response.isSuccess = true;
        if (!response.parseSuccessRes()) {
            response.isSuccess = false;
            NAVIX_LOG(NAVIX_ERROR, "navixrest::RestApiProxy::call",
                      "Unreadable answer, HTTP code: %d", response.httpStatus);
            return kUnreadableAnswer;
        }
    } else {
        response.isSuccess = false;
        response.message = response.httpResp.body;
    }
    return 0;
}

} // namespace navixrest
