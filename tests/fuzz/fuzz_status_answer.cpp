// The service's answer to a job status poll.
//
// Beyond "no crash": an unreadable body is reported as unreadable (so that a
// poll never waits for a job it cannot see), a refusal's message fits the
// application's record, and a readable success holds every member the poll
// reads, the counts as the 64-bit numbers that were sent.
#include <errno.h>
#include <stdlib.h>

#include <boost/property_tree/ptree.hpp>

#include "AnswerChecks.h"
#include "FuzzSupport.h"
#include "RestMessage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    navixrest::JobStatusResp resp;
    if (!fuzzanswer::parse(resp, body) || !resp.isSuccess) return 0;

    boost::property_tree::ptree root;
    navixrest::readJsonText(body, root);
    const auto text = [&](const char* key) { return root.find(key)->second.data(); };
    FUZZ_CHECK(resp.status == text("status") && resp.job_id == text("job_id") &&
                   resp.statement == text("statement"),
               "members read wrongly");
    for (const auto& count : {std::make_pair("input_size", resp.input_size),
                              std::make_pair("result_count", resp.result_count)}) {
        // Whatever the count's form, it was read whole: its digits give it back.
        const std::string sent = text(count.first);
        char* end = NULL;
        errno = 0;
        const long long value = strtoll(sent.c_str(), &end, 10);
        FUZZ_CHECK(errno == 0 && value == count.second,
                   sent + " read as " + std::to_string(count.second));
    }
    return 0;
}
