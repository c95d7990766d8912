// The service's answer to a submitted statement. A DDL or DCL job, and a
// query answered synchronously, become a result set straight from it, which
// is then read to its end through every getter.
//
// Beyond "no crash": an unreadable body is reported as unreadable; a readable
// success keeps every row it carries and every schema entry; the result set
// refuses rows without columns or wider than them, and otherwise delivers
// exactly those rows, cell for cell, and then reports "no row left".
#include <boost/property_tree/ptree.hpp>

#include "AnswerChecks.h"
#include "FuzzSupport.h"
#include "NavixResultSet.h"
#include "ReadResultSet.h"
#include "RestMessage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    navixrest::SubmitJobResp resp;
    if (!fuzzanswer::parse(resp, body) || !resp.isSuccess) return 0;

    boost::property_tree::ptree root;
    navixrest::readJsonText(body, root);
    auto rows = root.find("rows");
    FUZZ_CHECK(resp.hasRows == (rows != root.not_found()), "rows member seen wrongly");
    if (resp.hasRows) FUZZ_CHECK(resp.rows.size() == rows->second.size(), "rows dropped");
    fuzzanswer::checkSchema(body, resp.schema);

    NavixQueryResultSet rs;
    const int r = rs.procSyncStatement(resp);
    const int expected = !fuzzanswer::rowsFit(resp.schema, resp.rows) ? 1
                         : resp.rows.empty()                          ? 2
                                                                      : 0;
    FUZZ_CHECK(r == expected, "procSyncStatement gave " + std::to_string(r));
    if (r == 1) fuzzread::checkFailureRecord(&rs);
    if (r != 0) return 0;
    fuzzread::Outcome out = fuzzread::readAll(&rs, resp.rows.size() + 1);
    FUZZ_CHECK(out.last == 2 && out.rows == resp.rows.size(),
               std::to_string(out.rows) + " of " + std::to_string(resp.rows.size()) + " rows");
    for (size_t i = 0; i < out.rows; ++i)
        FUZZ_CHECK(out.cells[i] == resp.rows[i], "row changed");
    return 0;
}
