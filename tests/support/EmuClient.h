// Client of the VKL emulator's control API, for tests.
//
// The emulator runs as the CTest fixture "emulator" (cmake/Emulator.cmake);
// tests that need it find its port through the file named by the environment
// variable VORN_EMULATOR_PORT_FILE. Everything is scoped by project id: each
// test uses a project id of its own (see uniqueProject) so tests can run in
// parallel. Failures throw std::runtime_error.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace emu {
// Seeded credentials of the emulator.
constexpr const char* kAk = "EMUAK0000000000000001";
constexpr const char* kSk = "emu-secret-key-0001";
constexpr const char* kAccount = "emuaccount";
constexpr const char* kUser = "emuuser";
constexpr const char* kPassword = "emu-Pass_01";
constexpr const char* kQuoteUser = "quoteuser";
constexpr const char* kQuotePassword = "pa\"ss\\word";
// PEM file of a CA that did not issue the emulator's certificate.
constexpr const char* kUnrelatedCaFile = VORN_UNRELATED_CA_FILE;
} // namespace emu

// One request as the emulator received it.
struct EmuRequest {
    std::string method;
    std::string path;  // without the query
    std::string query; // text after the first "?", empty when none
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // wire order

    // Value of the first header of that name (compared without regard to
    // case); empty when there is none.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
    // Number of headers of that name (without regard to case).
    size_t headerCount(const std::string& name) const;
};

class EmuClient {
  public:
    // The emulator of this test run; reads the port file on first use.
    static EmuClient& get();

    int port() const { return port_; }
    std::string hostPort() const; // "127.0.0.1:<port>"
    // PEM file of the CA that issued the emulator's certificate, for SSLCA
    // (the fixture writes it beside the port file).
    const std::string& caFile() const { return caFile_; }

    void reset(const std::string& project);
    std::vector<EmuRequest> requests(const std::string& project);
    // Requests of the project whose path ends with suffix (e.g. "/status").
    std::vector<EmuRequest> requests(const std::string& project, const std::string& pathSuffix);
    // Bodies as the control API takes them, e.g.
    // {"project":"p1","match":"status","kind":"status","status":503}
    void fault(const std::string& json);
    // e.g. {"project":"p1","running_polls":3,"token_ttl":2}
    void config(const std::string& json);

    // A project id unique to this process and call, e.g. "tag-1a2b-3";
    // the project starts from reset state.
    std::string uniqueProject(const std::string& tag);

    // One HTTPS exchange with the emulator, its certificate verified
    // against caFile().
    struct Response {
        long status = 0;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string header(const std::string& name) const;
    };
    Response send(const std::string& method, const std::string& target,
                  const std::vector<std::pair<std::string, std::string>>& headers,
                  const std::string& body);

    EmuClient(const EmuClient&) = delete;
    EmuClient& operator=(const EmuClient&) = delete;

  private:
    EmuClient(int port, const std::string& caFile);
    ~EmuClient();
    void post(const std::string& path, const std::string& json);

    int port_;
    std::string caFile_;
};

// JSON string literal of text (quotes included), for building control bodies.
std::string emuJsonString(const std::string& text);
