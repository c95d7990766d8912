#include "DiagInfo.h"

#include <string.h>

#include <new>

#include "RestMessage.h"

#define DIAG_SERVICE_PREFIX "VKL Service response: "

DiagInfo::DiagInfo() : code(0), sqlstate("00000"), message("VKL ODBC Success.") {}

void DiagInfo::set(int32_t newCode, const char* newSqlstate, const char* newMessage) {
    code = newCode;
    sqlstate = newSqlstate != NULL ? newSqlstate : "";
    if (newMessage != NULL) {
        message = newMessage;
    }
}

void DiagInfo::setServiceError(const char* text) {
    code = 4;
    sqlstate = "01000";
    if (text != NULL) {
        message = std::string(DIAG_SERVICE_PREFIX) + text;
    }
}

void DiagInfo::setCallError(const navixrest::CallError& error, bool connecting) {
    switch (error.kind) {
    case navixrest::CallError::TRANSPORT:
        set(error.code, connecting ? "08001" : "08S01",
            ("VKL ODBC Communication link failure: " + error.text + " (host " + error.host + ")")
                .c_str());
        break;
    case navixrest::CallError::IDENTITY_REFUSED:
        set(error.code, "HY000", ("VKL ODBC System ERROR. " + error.text).c_str());
        break;
    case navixrest::CallError::SETTING:
        set(error.code, connecting ? "08001" : "HY000", error.text.c_str());
        break;
    case navixrest::CallError::UNREADABLE:
        set(DIAG_CODE_UNREADABLE, "HY000",
            ("VKL ODBC Unreadable service answer: " + error.text).c_str());
        break;
    default:
        set(1, "HY000", "VKL ODBC System ERROR.");
        break;
    }
}

void DiagInfo::setException(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e) != NULL) {
        set(1, "HY001", "VKL ODBC Memory allocation error.");
    } else {
        set(1, "HY000", (std::string("VKL ODBC System ERROR. ") + e.what()).c_str());
    }
}

void fillDiagRecordFrom(const DiagInfo& info, DiagRecord* record) {
    if (record == NULL) {
        return;
    }
    record->nativeCode = info.code;
    // strncpy pads the rest of each field with NULs; the last byte is the
    // terminator that a full-length text needs.
    strncpy(record->sqlState, info.sqlstate.c_str(), DIAG_SQLSTATE_SIZE - 1);
    record->sqlState[DIAG_SQLSTATE_SIZE - 1] = '\0';
    strncpy(record->message, info.message.c_str(), DIAG_MESSAGE_SIZE - 1);
    record->message[DIAG_MESSAGE_SIZE - 1] = '\0';
}
