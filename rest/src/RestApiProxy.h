// Gateway between the query client and the VKL service: builds URLs,
// authorises each call (request signing or identity token) and sorts the
// outcome into transport failure, service error or success.
#ifndef NAVIXREST_REST_API_PROXY_H
#define NAVIXREST_REST_API_PROXY_H

#include <cstdint>
#include <mutex>
#include <string>

#include "AkskAuth.h"
#include "HttpClient.h"
#include "RestMessage.h"

namespace navixrest {

enum { AUTH_MODE_AKSK = 1 }; // any other mode uses an identity token

struct RestApiConf {
    int32_t authMode;
    std::string user;
    std::string password;
    std::string account;
    std::string projectId;
    std::string region;
    std::string ak;
    std::string sk;
    std::string endpoint; // service host[:port]; empty = the region's default
    std::string caFile;   // PEM file of the CAs to trust; empty = the system store

    RestApiConf();
};

// Identity-service token request with four "%s" placeholders: user name,
// password, account (domain) name, project id.
extern const std::string tokenRequestTemplate;

// "POST" for 1, "DELETE" for 2, "GET" for every other code.
std::string httpMethodName(int method);
// Host of the region's identity service; VORN_IDENTITY_HOST overrides it.
std::string identityServiceHost(const std::string& region);
// Host of the region's VKL service, used when no endpoint is configured.
std::string defaultServiceHost(const std::string& region);
// A text as the contents of a JSON string (without the quotes).
std::string jsonEscape(const std::string& text);

// What RestApiProxy::call and getToken return for a 200/201 answer whose
// body cannot be read (CallError::UNREADABLE).
const int kUnreadableAnswer = -2;
// What RestApiProxy::init and call return for a setting or name that cannot
// go into a URL or a header (CallError::SETTING); nothing is sent.
const int kRefusedSetting = -3;

// Why a host[:port] (HOST, VORN_IDENTITY_HOST) cannot be the host of a URL,
// or "" when it can: it must be one host name or address, with an optional
// port, and nothing else ("/", "@", "?", "#", blanks or control characters
// would move the request to another host or path).
std::string hostProblem(const std::string& hostPort);
// Why the connection's settings cannot be sent, naming the key, or "" when
// they can: REGION is a host-name part (letters, digits, "-" and "."), HOST
// a host[:port], AK, REGION and PROJECTID go into headers without control
// characters, and PROJECTID is no dot segment.
std::string settingProblem(const RestApiConf& conf);

// Whether a token must be renewed before a request goes out: when less than
// a minute of its life remains, or less than half of it for a token that
// lives under two minutes, so that no request carries a token about to
// lapse. Times in milliseconds since the epoch; lifetime from the token
// request to the expiry.
bool tokenNeedsRenewal(int64_t nowMs, int64_t expiryMs, int64_t lifetimeMs);

// The reason an identity service gives for refusing a login: the message of
// its JSON error body, or the body itself, shortened.
std::string identityRefusalReason(int32_t httpStatus, const std::string& body);

class RestApiProxy {
  public:
    HttpClient httpClient;
    AkskAuth aksk;
    std::string identityUrl;
    std::string tokenRequestBody;
    std::string token;
    int64_t tokenExpiry;     // seconds since the epoch; 0 = expired
    int64_t tokenLifetimeMs; // from the request that obtained the token to its expiry
    int32_t authMode;
    std::string baseUrl;
    std::string endpoint;
    std::string region;
    std::string projectId;
    std::string projectPath; // "/v1.0/" and the encoded project id

    RestApiProxy();
    explicit RestApiProxy(const std::string& proxyText);
    ~RestApiProxy();
    RestApiProxy(const RestApiProxy&) = delete;
    RestApiProxy& operator=(const RestApiProxy&) = delete;

    // 0 in AK/SK mode; in token mode the result of getToken, whose failure
    // is described in *error when given. A CA file that cannot be used fails
    // it in both modes (CURLE_SSL_CACERT_BADFILE, CallError::SETTING) before
    // any request is sent.
    int init(const RestApiConf& conf, CallError* error = nullptr);
    // 0 when the service answered with a readable answer (the response says
    // success or failure). Otherwise non-zero, with response.error saying
    // why: the result of HttpClient::call for a transport failure,
    // kUnreadableAnswer for a body that cannot be read, getToken's result
    // when the token could not be renewed.
    int call(RestReq& request, RestResp& response);
    // 0 when a token was obtained; otherwise the token and its expiry stay
    // and *error (when given) says why. Not locked: init calls it before the
    // proxy is shared, isTokenExpire under the token lock.
    int getToken(CallError* error = nullptr);
    // Reads token.expires_at into tokenExpiry; false (the expiry unchanged,
    // the reader's error in *problem) when the body holds no readable stamp.
    bool getTokenExpireTime(const std::string& body, std::string* problem = nullptr);
    // Copies the token to send into current, renewing it first when it lapses
    // soon (tokenNeedsRenewal). Threads that find it lapsing renew it once:
    // the others wait and take the new one. 0, or getToken's failure.
    int isTokenExpire(std::string& current, CallError* error = nullptr);
    // Adds "X-Sdk-Date", "Host" and "Authorization"; returns 0.
    int signRequest(RestReq& request);

  private:
    std::mutex tokenMutex; // guards token, tokenExpiry and tokenLifetimeMs after init
};

} // namespace navixrest

#endif
