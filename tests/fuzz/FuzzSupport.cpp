#include "FuzzSupport.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>

void fuzzFail(const char* file, int line, const char* what, const std::string& detail) {
    fprintf(stderr, "\n==== FUZZ CHECK FAILED at %s:%d\n  %s\n  %s\n", file, line, what,
            detail.c_str());
    fflush(stderr);
    abort();
}

void fuzzInitProcess() {
    static log4cplus::Initializer* initializer = new log4cplus::Initializer();
    (void)initializer;
    log4cplus::Logger root = log4cplus::Logger::getRoot();
    root.removeAllAppenders();
    root.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
    root.setLogLevel(log4cplus::TRACE_LOG_LEVEL);
    // Central European time, rules given inline so that no zone database is needed.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    // The code page that a CHARSET other than UTF-8 converts to.
    setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
}

GuardedBuffer::GuardedBuffer(size_t size, unsigned char fill)
    : size_(size), fill_(fill), storage_(size + 2 * kGuard, fill) {}

bool GuardedBuffer::intact() const {
    for (size_t i = 0; i < kGuard; ++i) {
        if (storage_[i] != fill_ || storage_[kGuard + size_ + i] != fill_) return false;
    }
    return true;
}

bool GuardedBuffer::untouched() const {
    for (size_t i = 0; i < size_; ++i) {
        if (storage_[kGuard + i] != fill_) return false;
    }
    return true;
}

bool iniStorable(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return text.empty() || (text.front() != ' ' && text.back() != ' ');
}

bool isUtf8(const std::string& text) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        size_t need;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + need >= n) return false;
        for (size_t k = 1; k <= need; ++k) {
            const unsigned char t = s[i + k];
            if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return false;
        }
        i += need + 1;
    }
    return true;
}

size_t occurrences(const std::string& hay, const std::string& needle) {
    if (needle.empty()) return 0;
    size_t count = 0;
    for (size_t pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + 1)) {
        ++count;
    }
    return count;
}

std::vector<std::string> splitParts(const uint8_t* data, size_t size, char separator,
                                    size_t maxParts) {
    std::vector<std::string> parts;
    const char* p = reinterpret_cast<const char*>(data);
    const char* end = p + size;
    while (parts.size() + 1 < maxParts) {
        const char* sep = static_cast<const char*>(memchr(p, separator, (size_t)(end - p)));
        if (sep == NULL) break;
        parts.emplace_back(p, sep);
        p = sep + 1;
    }
    parts.emplace_back(p, end);
    return parts;
}

// ---------------------------------------------------------------- server

LoopbackServer& LoopbackServer::get() {
    // Never destroyed: the thread serves until the process ends.
    static LoopbackServer* server = new LoopbackServer();
    return *server;
}

LoopbackServer::LoopbackServer() : listenFd_(-1), port_(0), next_(0) {
    listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (listenFd_ < 0) fuzzFail(__FILE__, __LINE__, "socket", strerror(errno));
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(listenFd_, 16) != 0) {
        fuzzFail(__FILE__, __LINE__, "bind/listen", strerror(errno));
    }
    socklen_t len = sizeof(addr);
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread(&LoopbackServer::run, this);
    thread_.detach();
}

std::string LoopbackServer::origin() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void LoopbackServer::serve(const std::vector<Answer>& answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_ = answers;
    next_ = 0;
    seen_.clear();
}

std::vector<std::string> LoopbackServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void LoopbackServer::run() {
    for (;;) {
        int fd = accept(listenFd_, NULL, NULL);
        if (fd < 0) continue;
        answer(fd);
        close(fd);
    }
}

void LoopbackServer::answer(int fd) {
    // The request: headers, then as many body bytes as Content-Length says.
    std::string request;
    char buf[4096];
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n <= 0) return;
        request.append(buf, (size_t)n);
        headEnd = request.find("\r\n\r\n");
    }
    size_t bodyLength = 0;
    const char* cl = strcasestr(request.c_str(), "\r\nContent-Length:");
    if (cl != NULL && (size_t)(cl - request.c_str()) < headEnd)
        bodyLength = strtoul(cl + 17, NULL, 10);
    while (request.size() < headEnd + 4 + bodyLength) {
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n <= 0) break;
        request.append(buf, (size_t)n);
    }

    Answer a = {404, "", ""};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(request.substr(0, request.find("\r\n")));
        if (next_ < queue_.size()) a = queue_[next_++];
    }
    std::string out = "HTTP/1.1 " + std::to_string(a.status) +
                      " Fuzz\r\nContent-Length: " + std::to_string(a.body.size()) +
                      "\r\nConnection: close\r\n" + a.headers + "\r\n" + a.body;
    size_t sent = 0;
    while (sent < out.size()) {
        ssize_t n = send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += (size_t)n;
    }
    shutdown(fd, SHUT_WR);
    // Let the client read everything before the socket goes.
    while (recv(fd, buf, sizeof(buf), 0) > 0) {
    }
}
