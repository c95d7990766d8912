// Blocking HTTP(S) transport over the libcurl easy interface: one easy
// handle per call, nothing kept between calls.
#ifndef NAVIXREST_HTTP_CLIENT_H
#define NAVIXREST_HTTP_CLIENT_H

#include <cstddef>
#include <string>

#include "RestMessage.h"

namespace navixrest {

// Every HTTPS peer (the service, the identity service, an HTTPS proxy) must
// present a certificate that verifies for its host name; there is no way to
// switch that off.
class HttpClient {
  public:
    bool useProxy;
    std::string proxy; // "host:port", used unchanged by libcurl
    // PEM file of the CA certificates to trust instead of the system store;
    // empty = the system store. Set before the client is first used.
    std::string caFile;

    HttpClient();
    explicit HttpClient(const std::string& proxyText);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // 0 when an HTTP exchange completed (any status), 2 when no easy handle
    // could be created, otherwise libcurl's CURLcode of the failed transfer;
    // on failure response.errorText says why. Safe to call from several
    // threads at once: each call has its own handle.
    int call(int method, const HttpReq& request, HttpResp& response);

    // libcurl callbacks; the user pointer is the HttpResp being filled.
    static size_t header_callback(char* data, size_t size, size_t count, void* response);
    static size_t response_callback(char* data, size_t size, size_t count, void* response);
};

// Why a CA file cannot serve as the trust store: empty when it can be read
// and holds at least one PEM certificate, otherwise the reason ("No such file
// or directory", "holds no PEM certificate").
std::string caFileProblem(const std::string& path);

// "host" or "host:port" of a URL, as a failure report names it; never the
// user information, path or query.
std::string hostOfUrl(const std::string& url);

// Log-safe renderings: secrets are replaced by "****" before anything is
// written to the log.
std::string maskHeaderForLog(const std::string& name, const std::string& value);
std::string maskBodyForLog(const std::string& body);

} // namespace navixrest

#endif
