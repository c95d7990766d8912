#include "HttpClient.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/erase.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "AsciiText.h"
#include "NavixLogging.h"

namespace navixrest {

namespace {

// libcurl's global initialisation and clean-up must not overlap, and
// connections (each owning a client) are opened and closed on any thread.
// A count under one mutex makes the first client initialise libcurl and the
// last one clean it up.
std::mutex g_curlGlobalMutex;
int g_curlGlobalUsers = 0;

void curlGlobalAcquire() {
    std::lock_guard<std::mutex> lock(g_curlGlobalMutex);
    if (g_curlGlobalUsers++ == 0) curl_global_init(CURL_GLOBAL_ALL);
}

void curlGlobalRelease() {
    std::lock_guard<std::mutex> lock(g_curlGlobalMutex);
    if (g_curlGlobalUsers > 0 && --g_curlGlobalUsers == 0) curl_global_cleanup();
}

// Owns the easy handle and the header list of one call and frees both on
// every way out of HttpClient::call.
class CurlCallResources {
  public:
    CURL* handle;
    curl_slist* headerList;

    CurlCallResources() : handle(curl_easy_init()), headerList(nullptr) {}
    ~CurlCallResources() {
        if (handle != nullptr) curl_easy_cleanup(handle);
        if (headerList != nullptr) curl_slist_free_all(headerList);
    }
    CurlCallResources(const CurlCallResources&) = delete;
    CurlCallResources& operator=(const CurlCallResources&) = delete;
};

const char* const kMask = "****";

// The trust settings of one call. With a CA file of its own the client trusts
// that file alone: the CA directory that libcurl was built with is switched
// off too, or its certificates would still be trusted beside the file. A
// setting libcurl refuses fails the call rather than leaving the system
// store in place.
CURLcode setTrust(CURL* h, const std::string& caFile, bool useProxy) {
    CURLcode rc = CURLE_OK;
    const long verifyPeer = 1L;
    const long verifyHost = 2L; // the certificate must name the host
    if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, verifyPeer);
    if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, verifyHost);
    if (rc == CURLE_OK && !caFile.empty()) rc = curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str());
    if (rc == CURLE_OK && !caFile.empty())
        rc = curl_easy_setopt(h, CURLOPT_CAPATH, static_cast<char*>(nullptr));
    if (!useProxy) return rc;
    // A proxy given as "https://host:port" is itself a TLS peer.
    if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_PROXY_SSL_VERIFYPEER, verifyPeer);
    if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_PROXY_SSL_VERIFYHOST, verifyHost);
    if (rc == CURLE_OK && !caFile.empty())
        rc = curl_easy_setopt(h, CURLOPT_PROXY_CAINFO, caFile.c_str());
    if (rc == CURLE_OK && !caFile.empty()) {
        rc = curl_easy_setopt(h, CURLOPT_PROXY_CAPATH, static_cast<char*>(nullptr));
    }
    return rc;
}

// Both transfer callbacks refuse the call (and so stop the transfer) without
// a buffer or the response to fill.
bool callbackArgsGiven(const char* func, const char* data, const void* response) {
    if (data == nullptr) {
        NAVIX_LOG(NAVIX_ERROR, func, "buffer is NULL");
        return false;
    }
    if (response == nullptr) {
        NAVIX_LOG(NAVIX_ERROR, func, "userArg is NULL");
        return false;
    }
    return true;
}

} // namespace

std::string maskHeaderForLog(const std::string& name, const std::string& value) {
    if (strcasecmpAscii(name.c_str(), "X-Auth-Token") == 0 ||
        strcasecmpAscii(name.c_str(), "X-Subject-Token") == 0) {
        return name + ":" + kMask;
    }
    if (strcasecmpAscii(name.c_str(), "Authorization") == 0) {
        // The credential (access key and scope) may be shown; the signature not.
        static const std::string marker = "Signature=";
        size_t pos = value.find(marker);
        if (pos == std::string::npos) return name + ":" + kMask;
        return name + ":" + value.substr(0, pos + marker.size()) + kMask;
    }
    return name + ":" + value;
}

std::string maskBodyForLog(const std::string& body) {
    // Replaces the contents of every string value of a "password" member.
    // Inside a JSON string a quote is always escaped, so the unescaped key
    // pattern below can only be a real member name.
    static const std::string key = "\"password\"";
    std::string out;
    size_t copied = 0;
    size_t pos = 0;
    while ((pos = body.find(key, pos)) != std::string::npos) {
        size_t i = pos + key.size();
        while (i < body.size() &&
               (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' || body[i] == '\n'))
            ++i;
        if (i >= body.size() || body[i] != ':') {
            pos += key.size();
            continue;
        }
        ++i;
        while (i < body.size() &&
               (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' || body[i] == '\n'))
            ++i;
        if (i >= body.size() || body[i] != '"') {
            pos = i;
            continue;
        }
        size_t start = i + 1;
        size_t end = start;
        while (end < body.size() && body[end] != '"') {
            end += (body[end] == '\\') ? 2 : 1;
        }
        if (end > body.size()) end = body.size();
        out.append(body, copied, start - copied);
        out += kMask;
        copied = end;
        pos = end;
    }
    out.append(body, copied, std::string::npos);
    return out;
}

std::string caFileProblem(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::strerror(errno);
    // Read whole, so that a read error (a directory, say) is told as such
    // rather than as a file without certificates. A bundle of every public
    // CA is a few hundred kilobytes; the limit keeps a device such as
    // /dev/zero from being read for ever.
    const size_t limit = 16u << 20;
    std::string text;
    char chunk[8192];
    size_t n = 0;
    while (text.size() <= limit && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, n);
    const int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError != 0) return std::strerror(readError);
    if (text.size() > limit) return "is larger than 16 MiB";
    // The same reader that OpenSSL uses when libcurl loads the file.
    int certificates = 0;
    BIO* in = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
    if (in != nullptr) {
        STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(in, nullptr, nullptr, nullptr);
        if (infos != nullptr) {
            for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
                if (sk_X509_INFO_value(infos, i)->x509 != nullptr) ++certificates;
            }
            sk_X509_INFO_pop_free(infos, X509_INFO_free);
        }
        BIO_free(in);
    }
    // Nothing of this check may be taken for a failure of a later TLS call.
    ERR_clear_error();
    return certificates > 0 ? std::string() : std::string("holds no PEM certificate");
}

HttpClient::HttpClient() : useProxy(false) {
    curlGlobalAcquire();
}

HttpClient::HttpClient(const std::string& proxyText) : useProxy(true), proxy(proxyText) {
    NAVIX_LOG(NAVIX_INFO, "navixrest::HttpClient::HttpClient", "Create client, proxy: %s",
              proxy.c_str());
    curlGlobalAcquire();
}

HttpClient::~HttpClient() {
    NAVIX_LOG(NAVIX_DEBUG, "navixrest::HttpClient::~HttpClient", "Release client");
    curlGlobalRelease();
}

std::string hostOfUrl(const std::string& url) {
    std::string out;
    CURLU* parsed = curl_url();
    if (parsed != nullptr && curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* host = nullptr;
        char* port = nullptr;
        if (curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) out = host;
        if (!out.empty() && curl_url_get(parsed, CURLUPART_PORT, &port, 0) == CURLUE_OK) {
            out += ":";
            out += port;
        }
        curl_free(host);
        curl_free(port);
    }
    curl_url_cleanup(parsed);
    if (!out.empty()) return out;
    // A URL that libcurl does not take: the text between "://" and the path,
    // without any user information in front of an "@".
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    const size_t end = url.find_first_of("/?#", start);
    std::string authority =
        url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t at = authority.rfind('@');
    return at == std::string::npos ? authority : authority.substr(at + 1);
}

int HttpClient::call(int method, const HttpReq& request, HttpResp& response) {
    NAVIX_LOG(NAVIX_DEBUG, "navixrest::HttpClient::call", "http call method %d", method);
    CurlCallResources curl;
    if (curl.handle == nullptr) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::HttpClient::call", "curl_easy_init error");
        response.errorText = curl_easy_strerror(CURLE_FAILED_INIT);
        return 2;
    }
    CURL* h = curl.handle;
    // libcurl writes the detail of a failure here ("Failed to connect to
    // host port 1 after 0 ms: Connection refused"); its generic text for the
    // code is the fallback.
    char errorBuffer[CURL_ERROR_SIZE];
    errorBuffer[0] = '\0';
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    if (useProxy) curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 300L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 300L);
    const CURLcode trust = setTrust(h, caFile, useProxy);
    if (trust != CURLE_OK) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::HttpClient::call", "certificate settings refused: %s",
                  curl_easy_strerror(trust));
        response.errorText = curl_easy_strerror(trust);
        return static_cast<int>(trust);
    }
    // HTTP/1.1 keeps the header names as sent by the service (the token
    // header is looked up by its exact name) and the header lines in order.
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    if (method == HTTP_METHOD_POST) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        NAVIX_LOG(NAVIX_DEBUG, "navixrest::HttpClient::call", "Send body: %s",
                  maskBodyForLog(request.body).c_str());
        // The length is given so that the whole body goes out, whatever it holds.
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.c_str());
    } else if (method == HTTP_METHOD_DELETE) {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "DELETE");
    }
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpClient::header_callback);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, static_cast<void*>(&response));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpClient::response_callback);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, static_cast<void*>(&response));

    std::vector<std::string> lines;
    request.buildHeaderList(lines);
    HeaderMap::const_iterator header = request.headers.begin();
    for (size_t i = 0; i < lines.size(); ++i, ++header) {
        NAVIX_LOG(NAVIX_DEBUG, "navixrest::HttpClient::call", "header: %s",
                  maskHeaderForLog(header->first, header->second).c_str());
        curl_slist* extended = curl_slist_append(curl.headerList, lines[i].c_str());
        if (extended == nullptr) {
            NAVIX_LOG(NAVIX_ERROR, "navixrest::HttpClient::call", "curl_slist_append error");
            response.errorText = curl_easy_strerror(CURLE_FAILED_INIT);
            return 2;
        }
        curl.headerList = extended;
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, curl.headerList);

    CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        NAVIX_LOG(NAVIX_ERROR, "navixrest::HttpClient::call", "curl_easy_perform() failed: %s\n",
                  curl_easy_strerror(rc));
        response.errorText = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(rc);
        boost::algorithm::trim_right(response.errorText);
        return static_cast<int>(rc);
    }
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    response.httpCode = static_cast<int32_t>(code);
    NAVIX_LOG(NAVIX_INFO, "navixrest::HttpClient::call", "http call success. HTTP code: %d",
              response.httpCode);
    return 0;
}

size_t HttpClient::header_callback(char* data, size_t size, size_t count, void* response) {
    if (!callbackArgsGiven("navixrest::HttpClient::header_callback", data, response)) {
        return 0;
    }
    const size_t length = size * count;
    std::string line(data, length);
    boost::algorithm::erase_all(line, "\r\n");
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == line.size()) {
        NAVIX_LOG(NAVIX_DEBUG, "navixrest::HttpClient::header_callback", "Header format error: %s",
                  line.c_str());
        return length;
    }
    std::string name = line.substr(0, colon);
    std::string value = line.substr(colon + 1);
    boost::algorithm::trim_if(name, boost::algorithm::is_any_of(" \t\r\n\v\f"));
    boost::algorithm::trim_if(value, boost::algorithm::is_any_of(" \t\r\n\v\f"));
    static_cast<HttpResp*>(response)->headers[name] = value;
    return length;
}

size_t HttpClient::response_callback(char* data, size_t size, size_t count, void* response) {
    if (!callbackArgsGiven("navixrest::HttpClient::response_callback", data, response)) {
        return 0;
    }
    const size_t length = size * count;
    NAVIX_LOG(NAVIX_DEBUG, "navixrest::HttpClient::response_callback", "get body: %.*s",
              static_cast<int>(length > 0x7fffffff ? 0x7fffffff : length), data);
    static_cast<HttpResp*>(response)->body.append(data, length);
    return length;
}

} // namespace navixrest
