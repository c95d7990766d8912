// What libcurl hands the client from the wire: header lines and body chunks,
// in pieces of any size, through HttpClient::header_callback and
// response_callback; and the log renderings of what the client sends
// (maskHeaderForLog, maskBodyForLog), which must never show a secret.
// The first input byte picks the part; the rest is read with
// FuzzedDataProvider.
//
// Beyond "no crash":
// - each callback takes every byte it is given (its result is the size);
// - the body is the chunks joined, nothing lost or added;
// - every header line "name:value" is kept under its trimmed name with its
//   trimmed value (a later line with the same name replaces it);
// - a callback without a buffer or a response refuses (returns 0);
// - a token header is logged as "****"; nothing after "Signature=" of an
//   Authorization header is logged; the password of a token request body
//   (as RestApiProxy builds it, any user, password, account and project)
//   never shows in the logged body.
#include <fuzzer/FuzzedDataProvider.h>

#include <boost/algorithm/string/erase.hpp>
#include <boost/format.hpp>

#include "FuzzSupport.h"
#include "HttpClient.h"
#include "RestApiProxy.h"

namespace {

using navixrest::HttpClient;

std::string trimmedBlanks(const std::string& text) {
    const char* const blanks = " \t\r\n\v\f";
    const size_t b = text.find_first_not_of(blanks);
    if (b == std::string::npos) return std::string();
    return text.substr(b, text.find_last_not_of(blanks) - b + 1);
}

void headers(FuzzedDataProvider& in) {
    navixrest::HttpResp resp;
    navixrest::HeaderMap expected;
    while (in.remaining_bytes() > 0) {
        std::string line = in.ConsumeRandomLengthString(200);
        const bool asSize = in.ConsumeBool();
        const size_t got = asSize ? HttpClient::header_callback(&line[0], line.size(), 1, &resp)
                                  : HttpClient::header_callback(&line[0], 1, line.size(), &resp);
        FUZZ_CHECK(got == line.size(), "took " + std::to_string(got));
        boost::algorithm::erase_all(line, "\r\n");
        const size_t colon = line.find(':');
        if (colon != std::string::npos && colon != 0 && colon + 1 != line.size()) {
            expected[trimmedBlanks(line.substr(0, colon))] = trimmedBlanks(line.substr(colon + 1));
        }
        FUZZ_CHECK(resp.headers == expected, "headers differ after: " + line);
    }
    char byte = 'x';
    FUZZ_CHECK(HttpClient::header_callback(NULL, 1, 1, &resp) == 0, "NULL buffer taken");
    FUZZ_CHECK(HttpClient::header_callback(&byte, 1, 1, NULL) == 0, "NULL response taken");
}

void body(FuzzedDataProvider& in) {
    navixrest::HttpResp resp;
    std::string joined;
    while (in.remaining_bytes() > 0) {
        std::string chunk = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 600));
        const size_t got = HttpClient::response_callback(&chunk[0], 1, chunk.size(), &resp);
        FUZZ_CHECK(got == chunk.size(), "took " + std::to_string(got));
        joined += chunk;
    }
    FUZZ_CHECK(resp.body == joined, "body is not the chunks joined");
    char byte = 'x';
    FUZZ_CHECK(HttpClient::response_callback(NULL, 1, 1, &resp) == 0, "NULL buffer taken");
    FUZZ_CHECK(HttpClient::response_callback(&byte, 1, 1, NULL) == 0, "NULL response taken");
}

bool traceable(const std::string& whole, const std::string& secret) {
    return secret.size() >= 4 && secret.find('*') == std::string::npos &&
           occurrences(whole, secret) == 1;
}

void logMasking(FuzzedDataProvider& in) {
    const std::string user = in.ConsumeRandomLengthString(40);
    const std::string password = in.ConsumeRandomLengthString(40);
    const std::string account = in.ConsumeRandomLengthString(40);
    const std::string project = in.ConsumeRandomLengthString(40);
    const std::string tokenBody = (boost::format(navixrest::tokenRequestTemplate) %
                                   navixrest::jsonEscape(user) % navixrest::jsonEscape(password) %
                                   navixrest::jsonEscape(account) % navixrest::jsonEscape(project))
                                      .str();
    const std::string logged = navixrest::maskBodyForLog(tokenBody);
    // The password stands in the body escaped; the template's own text may
    // hold the unescaped one.
    const std::string secret = navixrest::jsonEscape(password);
    if (traceable(tokenBody, secret)) {
        FUZZ_CHECK(logged.find(secret) == std::string::npos, "password logged: " + logged);
    }

    const std::string name = in.ConsumeRandomLengthString(30);
    const std::string value = in.ConsumeRandomLengthString(200);
    const std::string header = navixrest::maskHeaderForLog(name, value);
    if (strcasecmp(name.c_str(), "X-Auth-Token") == 0 ||
        strcasecmp(name.c_str(), "X-Subject-Token") == 0) {
        if (name.find('\0') == std::string::npos) FUZZ_CHECK(header == name + ":****", header);
    }
    if (strcasecmp(name.c_str(), "Authorization") == 0 && name.find('\0') == std::string::npos) {
        const size_t at = value.find("Signature=");
        const std::string signature = at == std::string::npos ? value : value.substr(at + 10);
        if (traceable(name + ":" + value, signature)) {
            FUZZ_CHECK(header.find(signature) == std::string::npos, "signature logged: " + header);
        }
    }

    // Any other body: no crash, and one without a password member unchanged.
    const std::string other = in.ConsumeRemainingBytesAsString();
    const std::string otherLogged = navixrest::maskBodyForLog(other);
    if (other.find("\"password\"") == std::string::npos)
        FUZZ_CHECK(otherLogged == other, "body changed");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FuzzedDataProvider in(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        headers(in);
        break;
    case 1:
        body(in);
        break;
    default:
        logMasking(in);
        break;
    }
    return 0;
}
