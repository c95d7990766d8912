// Client side of one ODBC connection: its settings, its server settings
// ("vkl." entries and SET statements) and the REST proxy it owns.
#ifndef NAVIX_CONNECTION_H
#define NAVIX_CONNECTION_H

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ConnProperty.h"
#include "DiagInfo.h"

namespace navixrest {
class RestApiProxy;
}

// Several statements of one connection may run on different threads at once:
// the settings that USE and SET change, and that every submission reads, are
// guarded by one lock and read through the accessors below.
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

    // The current database: DATABASE at connect, then the name of the last USE.
    std::string database() const;
    void setDatabase(const std::string& name);
    // The server settings as sent with a job ("key=value", in key order).
    std::vector<std::string> serverConfSnapshot() const;
    bool isSyncMode() const;
    // 0 on success, 1 on failure (diag then holds the proxy's init result).
    int createRestApi();
    int init();
    void fillDiagRecord(DiagRecord* record) const;

    // The connection string with the values of PASSWORD, PWD and SK replaced
    // by "****" (a braced value whole), for logging.
    static std::string maskSecrets(const std::string& connStr);

    ConnProperty connProperty;
    DiagInfo diag;
    bool syncMode;
    navixrest::RestApiProxy* restApi;
    std::vector<std::string> connConfList;
    std::vector<std::string> serverConfList;
    std::map<std::string, std::string> serverConfMap;

  private:
    void rebuildServerConfListLocked();

    mutable std::mutex
        stateMutex; // guards syncMode, serverConfList, serverConfMap, currentDatabase
    std::string currentDatabase;

    NavixConnection(const NavixConnection&);
    NavixConnection& operator=(const NavixConnection&);
};

#endif
