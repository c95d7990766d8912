// Gateway between the query client and the VKL service: builds URLs,
// authorises each call (request signing or identity token) and sorts the
// outcome into transport failure, service error or success.
#ifndef NAVIXREST_REST_API_PROXY_H
#define NAVIXREST_REST_API_PROXY_H

#include <cstdint>
#include <string>

#include "AkskAuth.h"
#include "HttpClient.h"
#include "RestMessage.h"

namespace navixrest {

enum { AUTH_MODE_AKSK = 1 };  // any other mode uses an identity token

struct RestApiConf {
    int32_t authMode;
    std::string user;
    std::string password;
    std::string account;
    std::string projectId;
    std::string region;
    std::string ak;
    std::string sk;
    std::string endpoint;  // service host[:port]; empty = the region's default

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

class RestApiProxy {
public:
    HttpClient httpClient;
    AkskAuth aksk;
    std::string identityUrl;
    std::string tokenRequestBody;
    std::string token;
    int64_t tokenExpiry;  // seconds since the epoch; 0 = expired
    int32_t authMode;
    std::string baseUrl;
    std::string endpoint;
    std::string region;
    std::string projectId;

    RestApiProxy();
    explicit RestApiProxy(const std::string& proxyText);
    ~RestApiProxy();
    RestApiProxy(const RestApiProxy&) = delete;
    RestApiProxy& operator=(const RestApiProxy&) = delete;

    // 0 in AK/SK mode; in token mode the result of getToken.
    int init(const RestApiConf& conf);
    // 0 when the service answered (the response says success or failure),
    // otherwise the non-zero result of HttpClient::call.
    int call(RestReq& request, RestResp& response);
    // 0 when a token was obtained.
    int getToken();
    void getTokenExpireTime(const std::string& body);
    // The token, renewed first when its expiry second has been reached.
    const std::string& isTokenExpire();
    // Adds "X-Sdk-Date", "Host" and "Authorization"; returns 0.
    int signRequest(RestReq& request);
};

}  // namespace navixrest

#endif
