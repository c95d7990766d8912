#include "EmuClient.h"

#include <curl/curl.h>
#include <unistd.h>

#include <atomic>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string findHeader(const std::vector<std::pair<std::string, std::string>>& headers,
                       const std::string& name) {
    for (const auto& h : headers)
        if (sameName(h.first, name)) return h.second;
    return std::string();
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* headers = static_cast<std::vector<std::pair<std::string, std::string>>*>(user);
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    size_t colon = line.find(':');
    if (colon != std::string::npos && line.compare(0, 5, "HTTP/") != 0) {
        std::string value = line.substr(colon + 1);
        size_t start = value.find_first_not_of(" \t");
        headers->emplace_back(line.substr(0, colon),
                              start == std::string::npos ? std::string() : value.substr(start));
    }
    return size * count;
}

std::string portFilePath() {
    const char* file = std::getenv("VORN_EMULATOR_PORT_FILE");
    if (file == nullptr || *file == '\0')
        throw std::runtime_error(
            "VORN_EMULATOR_PORT_FILE is not set: the test must require the emulator fixture "
            "(vorn_needs_emulator in its CMakeLists.txt)");
    return file;
}

int readPortFile() {
    const std::string file = portFilePath();
    std::ifstream in(file);
    int port = 0;
    if (!(in >> port) || port <= 0 || port > 65535)
        throw std::runtime_error("no emulator port in " + file);
    return port;
}

// The fixture writes the CA's PEM file beside the port file, before it.
std::string caFileBesidePortFile() {
    const std::string file = portFilePath();
    const size_t slash = file.rfind('/');
    std::string ca =
        (slash == std::string::npos ? std::string() : file.substr(0, slash + 1)) + "ca.pem";
    if (access(ca.c_str(), R_OK) != 0) throw std::runtime_error("no emulator CA file " + ca);
    return ca;
}

} // namespace

std::string EmuRequest::header(const std::string& name) const {
    return findHeader(headers, name);
}

bool EmuRequest::hasHeader(const std::string& name) const {
    return headerCount(name) > 0;
}

size_t EmuRequest::headerCount(const std::string& name) const {
    size_t n = 0;
    for (const auto& h : headers)
        if (sameName(h.first, name)) ++n;
    return n;
}

std::string EmuClient::Response::header(const std::string& name) const {
    return findHeader(headers, name);
}

EmuClient::EmuClient(int port, const std::string& caFile) : port_(port), caFile_(caFile) {
    // Held for the life of the process, so that the global clean-up of code
    // under test never tears libcurl down underneath this client.
    curl_global_init(CURL_GLOBAL_ALL);
}

EmuClient::~EmuClient() {
    curl_global_cleanup();
}

EmuClient& EmuClient::get() {
    static EmuClient client(readPortFile(), caFileBesidePortFile());
    return client;
}

std::string EmuClient::hostPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

EmuClient::Response EmuClient::send(const std::string& method, const std::string& target,
                                    const std::vector<std::pair<std::string, std::string>>& headers,
                                    const std::string& body) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) throw std::runtime_error("curl_easy_init failed");
    Response response;
    std::string url = "https://" + hostPort() + target;
    struct curl_slist* list = nullptr;
    for (const auto& h : headers)
        list = curl_slist_append(list, (h.first + ":" + h.second).c_str());
    // No automatic "Expect: 100-continue" or "Accept" header beyond the caller's.
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_CAINFO, caFile_.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    } else if (method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response.headers);
    CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK)
        throw std::runtime_error(std::string("emulator request ") + method + " " + target +
                                 " failed: " + curl_easy_strerror(rc));
    return response;
}

void EmuClient::post(const std::string& path, const std::string& json) {
    Response r = send("POST", path, {{"Content-Type", "application/json"}}, json);
    if (r.status != 200)
        throw std::runtime_error("emulator " + path + " answered " + std::to_string(r.status) +
                                 ": " + r.body);
}

void EmuClient::reset(const std::string& project) {
    post("/_emu/reset", "{\"project\":" + emuJsonString(project) + "}");
}

void EmuClient::fault(const std::string& json) {
    post("/_emu/fault", json);
}

void EmuClient::config(const std::string& json) {
    post("/_emu/config", json);
}

std::vector<EmuRequest> EmuClient::requests(const std::string& project) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) throw std::runtime_error("curl_easy_init failed");
    char* escaped = curl_easy_escape(curl, project.c_str(), static_cast<int>(project.size()));
    std::string target = std::string("/_emu/requests?project=") + (escaped ? escaped : "");
    curl_free(escaped);
    curl_easy_cleanup(curl);

    Response r = send("GET", target, {}, "");
    if (r.status != 200)
        throw std::runtime_error("emulator requests answered " + std::to_string(r.status) + ": " +
                                 r.body);
    namespace pt = boost::property_tree;
    pt::ptree root;
    std::istringstream in(r.body);
    try {
        pt::read_json(in, root);
    } catch (const pt::json_parser_error& e) {
        throw std::runtime_error(std::string("emulator requests: bad JSON: ") + e.what());
    }
    const pt::ptree none;
    std::vector<EmuRequest> out;
    for (const auto& item : root.get_child("requests", none)) {
        const pt::ptree& node = item.second;
        EmuRequest req;
        req.method = node.get<std::string>("method", "");
        req.path = node.get<std::string>("path", "");
        req.query = node.get<std::string>("query", "");
        req.body = node.get<std::string>("body", "");
        for (const auto& pair : node.get_child("headers", none)) {
            std::vector<std::string> parts;
            for (const auto& part : pair.second)
                parts.push_back(part.second.data());
            if (parts.size() == 2) req.headers.emplace_back(parts[0], parts[1]);
        }
        out.push_back(std::move(req));
    }
    return out;
}

std::vector<EmuRequest> EmuClient::requests(const std::string& project,
                                            const std::string& pathSuffix) {
    std::vector<EmuRequest> out;
    for (auto& r : requests(project)) {
        if (r.path.size() >= pathSuffix.size() &&
            r.path.compare(r.path.size() - pathSuffix.size(), pathSuffix.size(), pathSuffix) == 0)
            out.push_back(std::move(r));
    }
    return out;
}

std::string EmuClient::uniqueProject(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    char buf[64];
    std::snprintf(buf, sizeof buf, "-%x-%u", static_cast<unsigned>(getpid()), ++counter);
    std::string project = tag + buf;
    reset(project);
    return project;
}

std::string emuJsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}
