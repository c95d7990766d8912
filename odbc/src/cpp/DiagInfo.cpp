#include "DiagInfo.h"

#include <string.h>

#define DIAG_SERVICE_PREFIX "VKL Service response: "

DiagInfo::DiagInfo() : code(0), sqlstate("00000"), message("VKL ODBC Success.") {}

void DiagInfo::set(int32_t newCode, const char* newSqlstate, const char* newMessage)
{
    code = newCode;
    sqlstate = newSqlstate != NULL ? newSqlstate : "";
    if (newMessage != NULL) {
        message = newMessage;
    }
}

void DiagInfo::setServiceError(const char* text)
{
    code = 4;
    sqlstate = "01000";
    if (text != NULL) {
        message = std::string(DIAG_SERVICE_PREFIX) + text;
    }
}

void fillDiagRecordFrom(const DiagInfo& info, DiagRecord* record)
{
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
