// The service's description of a table, as SQLColumns asks for it: through
// the real HTTP client from the loopback server into the column result set,
// which is then read through every getter.
//
// Beyond "no crash": the table's names reach the service as one encoded path
// segment each; an unreadable description is a failure with a diagnostic; a
// readable one whose count disagrees with its columns is a failure too;
// otherwise one row per listed column, in order, with the name, type text
// and description as sent.
#include "AnswerChecks.h"
#include "FuzzSupport.h"
#include "NavixResultSet.h"
#include "ReadResultSet.h"
#include "RestMessage.h"
#include "ServedConnection.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    fuzzserved::connection(false);
    fuzzserved::connection(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    navixrest::GetDescribeTableResp own;
    const bool readable = fuzzanswer::parse(own, body);

    LoopbackServer& server = LoopbackServer::get();
    server.serve({fuzzserved::ok(body)});
    NavixColumnResultSet rs;
    const int r = rs.describeTable(fuzzserved::connection((size & 1) != 0), "db 1/ü", "t?x#%");
    const std::vector<std::string> requests = server.requests();
    FUZZ_CHECK(requests.size() == 1 &&
                   requests[0] ==
                       "GET /v1.0/fuzz/databases/db%201%2F%C3%BC/tables/t%3Fx%23%25 HTTP/1.1",
               requests.empty() ? "no request" : requests[0]);
    const bool agrees = own.column_count >= 0 && (uint64_t)own.column_count == own.columns.size();
    FUZZ_CHECK(r == (readable && agrees ? 0 : 1), "describeTable gave " + std::to_string(r));
    if (r != 0) {
        fuzzread::checkFailureRecord(&rs);
        return 0;
    }
    const size_t expected = own.columns.size();
    const fuzzread::Outcome out = fuzzread::readAll(&rs, own.columns.size() + 1);
    FUZZ_CHECK(out.rows == expected,
               std::to_string(out.rows) + " rows for " + std::to_string(expected) + " columns");
    for (size_t i = 0; i < out.rows; ++i) {
        const navixrest::ColumnInfo& c = own.columns[i];
        FUZZ_CHECK(out.cells[i].size() == COLUMN_RESULT_COLUMN_COUNT &&
                       out.cells[i][3] == c.column_name && out.cells[i][5] == c.type &&
                       out.cells[i][11] == c.description &&
                       out.cells[i][16] == std::to_string(i + 1),
                   "column row " + std::to_string(i) + " does not show column " + c.column_name);
    }
    return 0;
}
