// Result pages of a finished query, fed on into a result set as the job flow
// does: the first page through fetchSinglePageResult, later pages through
// DBFetch, every cell read through every getter. The input is up to four
// page bodies separated by NUL bytes; the loopback server hands them out in
// order (and 404 after them), so the real HTTP client, the request signing
// and the proxy's reading of the status take part.
//
// Beyond "no crash":
// - pages are asked for in order (current-page=1, 2, ...) for the job;
// - the delivered rows are the pages' rows in order, every page but the last
//   one read whole: no row is skipped or altered;
// - a page that cannot be read or that the service refused ends the rows
//   with a failure and a diagnostic, never with "no row left";
// - "no row left" comes only once the first page's row count is delivered,
//   and no more rows than that count are ever delivered;
// - the first page's outcome follows from its body: refused or unreadable
//   is a failure, so are no rows with a count; no count is "done without
//   rows"; rows beyond the count are a failure, so are rows without columns
//   or wider than them;
// - a readable page keeps every schema entry, and no page whose rows do not
//   fit the first page's columns delivers any.
#include <boost/property_tree/ptree.hpp>

#include "AnswerChecks.h"
#include "FuzzSupport.h"
#include "NavixResultSet.h"
#include "ReadResultSet.h"
#include "RestMessage.h"
#include "ServedConnection.h"

namespace {

const char* const kJob = "job-1";

struct Page {
    bool readable; // read, and a success
    navixrest::GetJobResuleResp resp;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    fuzzserved::connection(false);
    fuzzserved::connection(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> bodies = splitParts(data, size, '\0', 4);
    std::vector<LoopbackServer::Answer> answers;
    std::vector<Page> pages(bodies.size());
    for (size_t i = 0; i < bodies.size(); ++i) {
        answers.push_back(fuzzserved::ok(bodies[i]));
        pages[i].readable = fuzzanswer::parse(pages[i].resp, bodies[i]) && pages[i].resp.isSuccess;
        if (pages[i].readable) fuzzanswer::checkSchema(bodies[i], pages[i].resp.schema);
    }
    LoopbackServer& server = LoopbackServer::get();
    server.serve(answers);

    NavixQueryResultSet rs;
    rs.m_conn = fuzzserved::connection((size & 1) != 0);
    rs.m_jobId = kJob;
    const int first = rs.fetchSinglePageResult(kJob);
    const navixrest::GetJobResuleResp& head = pages[0].resp;
    const uint64_t count = head.row_count > 0 ? (uint64_t)head.row_count : 0;
    const int expected = !pages[0].readable                             ? 1
                         : head.rows.size() > count                     ? 1
                         : !fuzzanswer::rowsFit(head.schema, head.rows) ? 1
                         : head.row_count <= 0                          ? 2
                         : head.rows.empty()                            ? 1
                                                                        : 0;
    FUZZ_CHECK(first == expected,
               "first page gave " + std::to_string(first) + ", not " + std::to_string(expected));
    if (first == 1) fuzzread::checkFailureRecord(&rs);
    if (first != 0) return 0;

    const fuzzread::Outcome out = fuzzread::readAll(&rs, 1000000);
    const std::vector<std::string> requests = server.requests();
    for (size_t i = 0; i < requests.size(); ++i) {
        const std::string expectedLine =
            "GET /v1.0/" + std::string(fuzzserved::kProject) + "/jobs/" + kJob +
            "?current-page=" + std::to_string(i + 1) + "&page-size=100 HTTP/1.1";
        FUZZ_CHECK(requests[i] == expectedLine, "request " + requests[i]);
    }
    // The rows, page by page: all of each page that was left, part of the last.
    size_t delivered = 0;
    for (size_t p = 0; p < requests.size() && delivered < out.rows; ++p) {
        FUZZ_CHECK(p < pages.size() && pages[p].readable &&
                       fuzzanswer::rowsFit(head.schema, pages[p].resp.rows),
                   "rows from a page that was not read or does not fit");
        const navixrest::ResultRows& rows = pages[p].resp.rows;
        size_t k = 0;
        for (; k < rows.size() && delivered < out.rows; ++k, ++delivered) {
            FUZZ_CHECK(out.cells[delivered] == rows[k],
                       "row " + std::to_string(delivered) + " changed");
        }
        FUZZ_CHECK(k == rows.size() || delivered == out.rows || p + 1 == requests.size(),
                   "page " + std::to_string(p + 1) + " left before its end");
    }
    FUZZ_CHECK(delivered == out.rows, "rows from nowhere");
    // Never more rows than the count: a page holding more than it leaves
    // fails instead of losing or inventing rows.
    FUZZ_CHECK(out.rows <= count, "rows beyond the count " + std::to_string(count));
    // The result ends only complete: short of its count it fails.
    if (out.last == 2)
        FUZZ_CHECK(out.rows >= (uint64_t)head.row_count,
                   "no row left after " + std::to_string(out.rows) + " of " +
                       std::to_string(head.row_count) + " rows");
    // A page asked for last that could not be read never ends in "no row left".
    if (out.last == 2 && requests.size() > 1) {
        const size_t lastAsked = requests.size() - 1;
        FUZZ_CHECK(lastAsked < pages.size() && pages[lastAsked].readable,
                   "an unreadable or refused page ended the rows as if complete");
    }
    return 0;
}
