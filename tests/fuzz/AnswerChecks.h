// What every reader of a service answer promises, whatever the body: it
// never throws, and a body it cannot read is reported as such, with the
// reader's reason, and becomes an application's diagnostic that fits its
// record.
#ifndef VORN_FUZZ_ANSWER_CHECKS_H
#define VORN_FUZZ_ANSWER_CHECKS_H

#include <string.h>

#include <string>

#include <boost/property_tree/ptree.hpp>

#include "DiagInfo.h"
#include "FuzzSupport.h"
#include "RestMessage.h"

namespace fuzzanswer {

// A record filled from info: terminated fields, a five-character SQLSTATE.
inline void checkRecord(const DiagInfo& info) {
    DiagRecord record;
    memset(&record, 0x5A, sizeof(record));
    fillDiagRecordFrom(info, &record);
    FUZZ_CHECK(memchr(record.sqlState, '\0', sizeof(record.sqlState)) != NULL, "SQLSTATE");
    FUZZ_CHECK(memchr(record.message, '\0', sizeof(record.message)) != NULL, "message");
    FUZZ_CHECK(strlen(record.sqlState) == 5, record.sqlState);
}

// Parses body with resp's reader and checks the outcome; returns what the
// reader returned.
inline bool parse(navixrest::RestResp& resp, const std::string& body) {
    resp.httpResp.body = body;
    resp.httpStatus = 200;
    const bool ok = resp.parseSuccessRes();
    // Text that is not UTF-8 (overlong forms, surrogates and code points
    // above U+10FFFF included) never reaches a member.
    if (!isUtf8(body)) FUZZ_CHECK(!ok, "an answer that is not UTF-8 was read");
    if (!ok) {
        FUZZ_CHECK(resp.error.kind == navixrest::CallError::UNREADABLE,
                   "failure not marked unreadable");
        FUZZ_CHECK(!resp.error.text.empty(), "unreadable answer without a reason");
        DiagInfo info;
        info.setCallError(resp.error, false);
        FUZZ_CHECK(info.sqlstate == "HY000" && info.code == DIAG_CODE_UNREADABLE,
                   info.sqlstate + " " + info.message);
        checkRecord(info);
    } else {
        FUZZ_CHECK(resp.error.kind == navixrest::CallError::NONE, "read answer with an error");
        if (!resp.isSuccess) {
            // The service's refusal reaches the application as its message.
            DiagInfo info;
            info.setServiceError(resp.message.c_str());
            checkRecord(info);
        }
    }
    return ok;
}

// Whether a result set takes these rows: rows need columns, and no row
// holds more cells than there are columns (a missing cell fails when read).
inline bool rowsFit(const navixrest::SchemaList& schema, const navixrest::ResultRows& rows) {
    for (const navixrest::ResultRow& row : rows)
        if (row.size() > schema.size() || schema.empty()) return false;
    return true;
}

// The schema read from a readable body: one field per entry of its
// "schema", each entry a name and a type that is no object.
inline void checkSchema(const std::string& body, const navixrest::SchemaList& schema) {
    boost::property_tree::ptree root;
    navixrest::readAnswerJson(body, root);
    const auto node = root.find("schema");
    if (node == root.not_found()) return;
    FUZZ_CHECK(schema.size() == node->second.size(), "schema entries dropped");
    for (const auto& entry : node->second) {
        // An object or array (empty ones too) reads as a mark, not as its
        // text; a null reads as "null".
        const boost::property_tree::ptree* type =
            entry.second.empty() ? nullptr : &entry.second.front().second;
        const std::string text = type ? navixrest::answerText(*type) : std::string();
        FUZZ_CHECK(type && type->empty() && (text == type->data() || text == "null"),
                   "a schema entry that is no name and type was read");
    }
}

} // namespace fuzzanswer

#endif
