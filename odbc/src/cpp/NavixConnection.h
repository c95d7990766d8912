// Client side of one ODBC connection: its settings, its server settings
// ("vkl." entries and SET statements) and the REST proxy it owns.
#ifndef NAVIX_CONNECTION_H
#define NAVIX_CONNECTION_H

#include <map>
#include <string>
#include <vector>

#include "ConnProperty.h"
#include "DiagInfo.h"

namespace navixrest {
class RestApiProxy;
}

class NavixConnection {
public:
    // Copies *prop whole and parses the connection string; a NULL argument
    // leaves an empty (zero-filled) property record and no settings.
    NavixConnection(const ConnProperty* prop, const char* connStr);
    ~NavixConnection();

    void parseConnConf(const std::string& connStr);
    // Takes one "key=value" server setting; false when it is malformed.
    bool updateServerConfMap(const std::string& conf);
    void rebuildServerConfList();
    // 0 on success, 1 on failure (diag then holds the proxy's init result).
    int createRestApi();
    int init();
    void fillDiagRecord(DiagRecord* record) const;

    // The connection string with the values of PASSWORD and SK replaced by
    // "****", for logging.
    static std::string maskSecrets(const std::string& connStr);

    ConnProperty connProperty;
    DiagInfo diag;
    bool syncMode;
    navixrest::RestApiProxy* restApi;
    std::vector<std::string> connConfList;
    std::vector<std::string> serverConfList;
    std::map<std::string, std::string> serverConfMap;

private:
    NavixConnection(const NavixConnection&);
    NavixConnection& operator=(const NavixConnection&);
};

#endif
