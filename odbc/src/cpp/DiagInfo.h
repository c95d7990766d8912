// One diagnostic of the query client (native code, SQLSTATE, message) and the
// fixed-size record in which the ODBC layer keeps it per handle.
#ifndef VORN_DIAGINFO_H
#define VORN_DIAGINFO_H

#include <stdint.h>
#include <string>

#define DIAG_SQLSTATE_SIZE 6    // five characters and a NUL
#define DIAG_MESSAGE_SIZE 1025  // at most 1024 characters and a NUL

// Held by value in every connection and statement handle; plain and
// pointer-free. Its holder zero-fills it, so an unfilled record reads as
// code 0 with empty SQLSTATE and message.
struct DiagRecord {
    int32_t nativeCode;
    char sqlState[DIAG_SQLSTATE_SIZE];
    char message[DIAG_MESSAGE_SIZE];
};

// The client objects' own diagnostic: overwritten by the operations that meet
// a reportable condition, never reset, no length limit on the message.
class DiagInfo {
public:
    int32_t code;
    std::string sqlstate;
    std::string message;

    DiagInfo();

    // Stores code and SQLSTATE; replaces the message only when one is given.
    void set(int32_t code, const char* sqlstate, const char* message);

    // Code 4, "01000", and the service's text behind the fixed prefix; a NULL
    // text keeps the previous message.
    void setServiceError(const char* text);
};

// The copy that NavixConnection::fillDiagRecord and
// NavixQueryResultSet::fillDiagRecord share: SQLSTATE cut to 5 characters,
// message to 1024, both NUL-padded to the end of their fields.
void fillDiagRecordFrom(const DiagInfo& info, DiagRecord* record);

#endif
