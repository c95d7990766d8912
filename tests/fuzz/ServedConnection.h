// A client connection whose requests go to the loopback server: opened as
// the ODBC layer opens one (request signing, so that opening asks nothing of
// any service), then pointed at the server over plain HTTP.
#ifndef VORN_FUZZ_SERVED_CONNECTION_H
#define VORN_FUZZ_SERVED_CONNECTION_H

#include <string.h>

#include "ConnProperty.h"
#include "DiagInfo.h"
#include "FuzzSupport.h"
#include "NavixConnection.h"
#include "RestApiProxy.h"
#include "navixclient.h"

namespace fuzzserved {

const char* const kProject = "fuzz";

// Opened once per process and kept: each connection owns a libcurl user.
inline NavixConnection* connection(bool ansi) {
    static NavixConnection* conns[2] = {NULL, NULL};
    NavixConnection*& conn = conns[ansi ? 1 : 0];
    if (conn != NULL) return conn;
    ConnProperty prop;
    memset(&prop, 0, sizeof(prop));
    prop.authMode = 1;
    prop.charsetFlag = ansi ? 1 : 0;
    prop.jobTimeout = 300;
    strcpy(prop.DRIVER, "VKL");
    strcpy(prop.PROJECTID, kProject);
    strcpy(prop.REGION, "region-1");
    strcpy(prop.QUEUENAME, "default");
    strcpy(prop.AK, "FUZZAK");
    strcpy(prop.SK, "fuzz-secret-key");
    strcpy(prop.USEPROXY, "0");
    DiagRecord diag;
    conn = NavixOpenConnection(&prop, "DRIVER=VKL", &diag);
    if (conn == NULL || conn->restApi == NULL) fuzzFail(__FILE__, __LINE__, "open", diag.message);
    conn->restApi->baseUrl = LoopbackServer::get().origin() + "/v1.0/" + kProject;
    return conn;
}

// Answers with status 200 and a JSON content type.
inline LoopbackServer::Answer ok(const std::string& body) {
    return LoopbackServer::Answer{200, "Content-Type: application/json;charset=UTF-8\r\n", body};
}

} // namespace fuzzserved

#endif
