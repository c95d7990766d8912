// One diagnostic of the query client (native code, SQLSTATE, message) and the
// fixed-size record in which the ODBC layer keeps it per handle.
#ifndef VORN_DIAGINFO_H
#define VORN_DIAGINFO_H

#include <stdint.h>
#include <exception>
#include <string>

namespace navixrest {
struct CallError;
}

#define DIAG_SQLSTATE_SIZE 6   // five characters and a NUL
#define DIAG_MESSAGE_SIZE 1025 // at most 1024 characters and a NUL

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

    // A REST call that gave no usable answer:
    //   transport failure: CURLcode, "08001" while connecting, else "08S01",
    //     "VKL ODBC Communication link failure: <libcurl's text> (host <host[:port]>)";
    //   login refused: the token request's result, "HY000",
    //     "VKL ODBC System ERROR. Identity service answered <status>: <reason>";
    //   unreadable answer: 5, "HY000", "VKL ODBC Unreadable service answer: <reader's error>";
    //   unusable setting (an SSLCA file): the code given, "08001" while connecting, else "HY000",
    //     the reason ("SSLCA file <path>: No such file or directory").
    void setCallError(const navixrest::CallError& error, bool connecting);

    // An unexpected failure inside the client: "HY001" for lack of memory,
    // else "HY000" "VKL ODBC System ERROR. " and the exception's text.
    void setException(const std::exception& e);
};

// Native code of a diagnostic about an answer that could not be read.
#define DIAG_CODE_UNREADABLE 5

// The copy that NavixConnection::fillDiagRecord and
// NavixQueryResultSet::fillDiagRecord share: SQLSTATE cut to 5 characters,
// message to 1024, both NUL-padded to the end of their fields.
void fillDiagRecordFrom(const DiagInfo& info, DiagRecord* record);

#endif
