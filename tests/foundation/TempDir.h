// A scratch directory for one test, removed with everything in it.
#ifndef VORN_TEST_TEMP_DIR_H
#define VORN_TEST_TEMP_DIR_H

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/vorn-foundation-XXXXXX";
        char* made = mkdtemp(tmpl);
        EXPECT_NE(made, nullptr);
        path_ = made != nullptr ? made : "/tmp";
    }
    ~TempDir() {
        if (path_ != "/tmp") {
            std::string cmd = "rm -rf '" + path_ + "'";
            (void)system(cmd.c_str());
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// Runs the test body inside a directory and returns to the previous one.
class ScopedChdir {
  public:
    explicit ScopedChdir(const std::string& dir) {
        char buf[4096];
        old_ = getcwd(buf, sizeof(buf)) != nullptr ? buf : "/";
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~ScopedChdir() { (void)chdir(old_.c_str()); }

  private:
    std::string old_;
};

#endif
