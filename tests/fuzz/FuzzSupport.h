// Shared by the fuzz targets: the checks that turn a wrong result into a
// crash that libFuzzer keeps, guarded output buffers, the process set-up
// (logging, time zone, code page) and a loopback HTTP server that answers
// the client's requests with fuzzed bodies.
#ifndef VORN_FUZZ_SUPPORT_H
#define VORN_FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A broken property of the code under test: says which and aborts, so that
// libFuzzer writes the input out like any crash.
[[noreturn]] void fuzzFail(const char* file, int line, const char* what, const std::string& detail);
#define FUZZ_CHECK(cond, detail)                                                                   \
    do {                                                                                           \
        if (!(cond)) fuzzFail(__FILE__, __LINE__, #cond, (detail));                                \
    } while (0)

// Once per process: every log entry formatted and handed to an appender that
// drops it (so that logging runs on fuzzed texts without filling a disk), a
// time zone with summer time, and ISO-8859-1 as the ANSI code page.
void fuzzInitProcess();

// A buffer of `size` bytes between two guard zones, all filled with a known
// pattern. intact() says whether anything outside the buffer was written;
// untouched() whether the buffer itself was.
class GuardedBuffer {
  public:
    enum { kGuard = 32 };
    explicit GuardedBuffer(size_t size, unsigned char fill = 0xA5);
    char* data() { return reinterpret_cast<char*>(storage_.data() + kGuard); }
    size_t size() const { return size_; }
    bool intact() const;
    bool untouched() const;

  private:
    size_t size_;
    unsigned char fill_;
    std::vector<unsigned char> storage_;
};

// Whether text is well-formed UTF-8.
bool isUtf8(const std::string& text);

// Whether an ini file keeps text as it is: no control character, no blank
// at either end.
bool iniStorable(const std::string& text);

// Occurrences of needle in hay, overlapping ones counted.
size_t occurrences(const std::string& hay, const std::string& needle);

// The parts of data between separator bytes, at most maxParts (the last one
// keeps the rest).
std::vector<std::string> splitParts(const uint8_t* data, size_t size, char separator,
                                    size_t maxParts);

// An HTTP/1.1 server on 127.0.0.1 in a thread of its own. Each connection
// gets the next queued answer (then "404" with an empty body) and is closed.
class LoopbackServer {
  public:
    struct Answer {
        int status;
        std::string headers; // whole header lines, each ending in "\r\n"
        std::string body;
    };

    static LoopbackServer& get();
    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string origin() const;
    // Replaces the queue and forgets the requests seen so far.
    void serve(const std::vector<Answer>& answers);
    // Request lines ("GET /path HTTP/1.1") received since serve().
    std::vector<std::string> requests();

  private:
    LoopbackServer();
    void run();
    void answer(int fd);

    int listenFd_;
    int port_;
    std::mutex mutex_;
    std::vector<Answer> queue_;
    size_t next_;
    std::vector<std::string> seen_;
    std::thread thread_;
};

#endif
