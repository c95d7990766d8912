// The identity service's answer to a token request: read by getToken through
// the real HTTP client from the loopback server, and its two readers on their
// own (the expiry stamp, and the reason of a refusal).
// The input is three parts separated by NUL bytes: a byte choosing the HTTP
// status, the X-Subject-Token header's value (none when empty), the body.
//
// Beyond "no crash":
// - a token is taken only from a 200 or 201 answer, without control
//   characters and with a readable expiry, and then exactly as sent, with
//   the expiry that the stamp names (UTC);
// - without a token the failure names the status and a reason of at most
//   200 bytes on one line, cut at a character boundary; with an unreadable
//   stamp it is an unreadable answer; either way the previous token stays
//   and the diagnostic fits the application's record.
#include <stdio.h>
#include <time.h>

#include <string>

#include "AnswerChecks.h"
#include "FuzzSupport.h"
#include "RestApiProxy.h"

namespace {

navixrest::RestApiProxy& proxy() {
    static navixrest::RestApiProxy* p = [] {
        navixrest::RestApiProxy* made = new navixrest::RestApiProxy();
        made->identityUrl = LoopbackServer::get().origin() + "/v3/auth/tokens";
        made->tokenRequestBody = "{}";
        return made;
    }();
    return *p;
}

const std::string kPrefix = "Identity service answered ";

void checkReason(int status, const std::string& body) {
    const std::string text = navixrest::identityRefusalReason(status, body);
    const std::string head = kPrefix + std::to_string(status);
    FUZZ_CHECK(text.compare(0, head.size(), head) == 0, text);
    FUZZ_CHECK(text.find_first_of("\r\n\t") == std::string::npos,
               "reason on several lines: " + text);
    if (text.size() > head.size()) {
        FUZZ_CHECK(text.compare(head.size(), 2, ": ") == 0, text);
        FUZZ_CHECK(text.size() - head.size() - 2 <= 200 + 3, "reason too long: " + text);
    }
    // A body without escapes keeps its characters whole.
    if (isUtf8(body) && body.find('\\') == std::string::npos)
        FUZZ_CHECK(isUtf8(text), "cut inside a character");
}

// The stamp's own reading, when its six numbers name a real moment.
bool stampMoment(const std::string& body, int64_t* seconds) {
    // Only where the key occurs once, and no escape could hide another.
    if (occurrences(body, "\"expires_at\"") != 1 || body.find('\\') != std::string::npos)
        return false;
    size_t at = body.find("\"expires_at\"");
    at = body.find('"', body.find(':', at) + 1);
    int y, mo, d, h, mi, s;
    if (at == std::string::npos ||
        sscanf(body.c_str() + at + 1, "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6)
        return false;
    if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 28 || h > 23 || mi > 59 || s > 59)
        return false;
    struct tm t = {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    *seconds = (int64_t)timegm(&t);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    proxy();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int statuses[] = {201, 200, 401, 403, 500, 404, 202, 299};
    const std::vector<std::string> parts = splitParts(data, size, '\0', 3);
    const int status = statuses[(parts[0].empty() ? 0 : (unsigned char)parts[0][0]) % 8];
    std::string token = parts.size() > 1 ? parts[1] : std::string();
    for (char& c : token) {
        if (c == '\r' || c == '\n') c = ' '; // one header line
    }
    const std::string body = parts.size() > 2 ? parts[2] : std::string();

    // The readers on their own.
    checkReason(status, body);
    navixrest::RestApiProxy& p = proxy();
    p.tokenExpiry = 7;
    std::string problem;
    const bool stampRead = p.getTokenExpireTime(body, &problem);
    if (!stampRead) {
        FUZZ_CHECK(p.tokenExpiry == 7 && !problem.empty(), "a failed reading changed the expiry");
    }
    int64_t moment;
    if (stampRead && stampMoment(body, &moment)) {
        FUZZ_CHECK(p.tokenExpiry == moment,
                   "expiry " + std::to_string(p.tokenExpiry) + ", stamp " + std::to_string(moment));
    }
    const int64_t stamped = p.tokenExpiry;

    // The whole exchange.
    LoopbackServer::get().serve({LoopbackServer::Answer{
        status, token.empty() ? std::string() : "X-Subject-Token: " + token + "\r\n", body}});
    p.token = "previous";
    p.tokenExpiry = 7;
    navixrest::CallError error;
    const int r = p.getToken(&error);
    // libcurl hands on the header value without the blanks around it.
    const char* const blanks = " \t\v\f";
    const size_t b = token.find_first_not_of(blanks);
    const std::string sent =
        b == std::string::npos ? "" : token.substr(b, token.find_last_not_of(blanks) - b + 1);
    const bool success = status == 200 || status == 201;
    bool control = false;
    for (char c : sent)
        control = control || (unsigned char)c < 0x20 || c == 0x7F;
    if (r == 0) {
        FUZZ_CHECK(success && !sent.empty() && !control && stampRead && p.token == sent &&
                       p.tokenExpiry == stamped,
                   "token taken as '" + p.token + "'");
        return 0;
    }
    FUZZ_CHECK(p.token == "previous" && p.tokenExpiry == 7, "a failed request changed the token");
    if (sent.empty() || !success) {
        FUZZ_CHECK(error.kind == navixrest::CallError::IDENTITY_REFUSED && r == status &&
                       error.text == navixrest::identityRefusalReason(status, body),
                   "refusal reported as " + error.text);
    } else {
        FUZZ_CHECK((!stampRead || control) && error.kind == navixrest::CallError::UNREADABLE &&
                       r == navixrest::kUnreadableAnswer,
                   "token refused: " + error.text);
    }
    DiagInfo info;
    info.setCallError(error, true);
    fuzzanswer::checkRecord(info);
    return 0;
}
