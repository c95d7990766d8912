// The built driver library: what it exports, and what loading it prints and
// logs. Every load happens in a child process of its own.
#include <stdio.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TempDir.h"

#ifndef VORN_DRIVER_LIBRARY
#error "VORN_DRIVER_LIBRARY must name the built driver library"
#endif

namespace {

const std::string kLibrary = VORN_DRIVER_LIBRARY;
const std::string kProbe = VORN_LOAD_PROBE;
const std::string kMap = VORN_EXPORT_MAP;
const std::string kNm = VORN_NM;
const std::string kLoadedLine = "VKL odbc loaded by application or driver manager.";

const char* const kFoundationEntryPoints[] = {"SQLAllocHandle", "SQLAllocEnv",   "SQLAllocConnect",
                                              "SQLAllocStmt",   "SQLFreeHandle", "SQLFreeEnv",
                                              "SQLFreeConnect", "SQLFreeStmt",   "DllMain",
                                              "ConfigDSN",      "ConfigDriver"};

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

void copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    ASSERT_TRUE(in.good()) << from;
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    ASSERT_TRUE(out.good()) << to;
}

// The global names of the version script.
std::set<std::string> mapNames() {
    std::set<std::string> names;
    std::istringstream in(readFile(kMap));
    std::string line;
    bool global = false;
    while (std::getline(in, line)) {
        if (line.find("global:") != std::string::npos) {
            global = true;
            continue;
        }
        if (line.find("local:") != std::string::npos) {
            global = false;
            continue;
        }
        size_t semi = line.find(';');
        if (!global || semi == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, semi);
        name.erase(0, name.find_first_not_of(" \t"));
        if (!name.empty()) {
            names.insert(name);
        }
    }
    return names;
}

// Defined dynamic symbols of the library, version suffix removed.
std::set<std::string> definedExports(const std::string& lib) {
    std::set<std::string> names;
    ChildResult nm = runChild({kNm, "-D", "--defined-only", lib});
    EXPECT_EQ(nm.exitCode, 0) << nm.err;
    std::istringstream in(nm.out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string addr, type, name;
        if (!(fields >> addr >> type >> name)) {
            continue;
        }
        if (type == "A") {
            continue; // the version node itself
        }
        size_t at = name.find('@');
        names.insert(at == std::string::npos ? name : name.substr(0, at));
    }
    return names;
}

std::string consoleFor(const std::string& dir) {
    return "VKL ODBC Driver path = " + dir + "\n" + kLoadedLine + "\nVKL odbc is being unloaded.\n";
}

// What the library printed: the probe's standard error without the probe's
// own first line ("pid N") and without log4cplus's complaints about a
// missing configuration, which share the stream.
std::string libraryConsole(const ChildResult& probe) {
    std::istringstream in(probe.err);
    std::string line, console;
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (line.rfind("log4cplus:", 0) != 0) {
            console += line + "\n";
        }
    }
    return console;
}

// A copy of the library alone in a scratch directory.
std::string copyLibraryTo(const std::string& dir) {
    std::string lib = dir + "/" + baseName(kLibrary);
    copyFile(kLibrary, lib);
    return lib;
}

} // namespace

TEST(DriverLibrary, ExportsOnlyTheMapNames) {
    std::set<std::string> allowed = mapNames();
    ASSERT_GT(allowed.size(), 60u) << "export map not read";
    std::set<std::string> exported = definedExports(kLibrary);
    ASSERT_FALSE(exported.empty());
    for (const std::string& name : exported) {
        EXPECT_TRUE(allowed.count(name)) << "exported but not in the map: " << name;
    }
    for (const char* name : kFoundationEntryPoints) {
        EXPECT_TRUE(exported.count(name)) << "not exported: " << name;
    }

    // Everything the library claims to define resolves at load time.
    std::vector<std::string> argv{kProbe, kLibrary};
    argv.insert(argv.end(), exported.begin(), exported.end());
    ChildResult probe = runChild(argv);
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
}

TEST(DriverLibrary, LoadsWithoutLogPropertiesAndPrintsTwoLinesOnStandardError) {
    TempDir dir;
    std::string lib = copyLibraryTo(dir.path());
    ChildResult probe = runChild({kProbe, lib, "SQLAllocHandle"});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_EQ(libraryConsole(probe), consoleFor(dir.path()));
    // The application's standard output stays its own.
    EXPECT_EQ(probe.out, "");
}

TEST(DriverLibrary, FirstLogEntryFollowsLogPropertiesBesideTheLibrary) {
    TempDir dir;
    std::string lib = copyLibraryTo(dir.path());
    writeFile(dir.file("log.properties"),
              "log4cplus.rootLogger=TRACE, F\n"
              "log4cplus.appender.F=log4cplus::FileAppender\n"
              "log4cplus.appender.F.File=" +
                  dir.file("driver.log") +
                  "\n"
                  "log4cplus.appender.F.layout=log4cplus::PatternLayout\n"
                  "log4cplus.appender.F.layout.ConversionPattern=%p|%m|%b|%M%n\n");
    ChildResult probe = runChild({kProbe, lib});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_EQ(libraryConsole(probe), consoleFor(dir.path()));

    std::vector<std::string> lines = readLines(dir.file("driver.log"));
    ASSERT_FALSE(lines.empty()) << "nothing logged; stderr: " << probe.err;
    const std::string head = "INFO|DllMain][" + kLoadedLine + "|odbc.cpp|";
    EXPECT_EQ(lines[0].substr(0, head.size()), head) << lines[0];
    EXPECT_NE(lines[0].find("NavixLogging"), std::string::npos) << lines[0];
}

TEST(DriverLibrary, ShippedConfigurationLogsBesideTheBuild) {
    std::string dir = kLibrary.substr(0, kLibrary.rfind('/'));
    struct stat st;
    ASSERT_EQ(stat((dir + "/log.properties").c_str(), &st), 0)
        << "no log.properties beside " << kLibrary;
    ChildResult probe = runChild({kProbe, kLibrary});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    // The probe names its pid first; the shipped layout carries it.
    long pid = 0;
    ASSERT_EQ(sscanf(probe.err.c_str(), "pid %ld", &pid), 1) << probe.err;
    std::string tag = "[" + std::to_string(pid) + ":";
    // The log rolls over: other tests' entries may have pushed the probe's
    // into the first backup since.
    bool found = false;
    for (const char* name : {"/vornodbc.log", "/vornodbc.log.1"}) {
        for (const std::string& line : readLines(dir + name)) {
            if (line.find(tag) != std::string::npos &&
                line.find("DllMain][" + kLoadedLine) != std::string::npos &&
                line.find("INFO") != std::string::npos) {
                found = true;
            }
        }
    }
    EXPECT_TRUE(found) << "no entry of pid " << pid << " in " << dir << "/vornodbc.log";
}

TEST(DriverLibrary, DirectoryTooLongForTheConfigPathStillLoads) {
    TempDir base;
    // The library's name fits its 260-byte buffer, the configuration path
    // (directory + "/log.properties") does not fit its 256 bytes.
    std::string dir = base.path() + "/";
    dir += std::string(243 - dir.size(), 'd');
    ASSERT_EQ(dir.size(), 243u);
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    std::string lib = copyLibraryTo(dir);
    writeFile(dir + "/log.properties", "log4cplus.rootLogger=TRACE, F\n"
                                       "log4cplus.appender.F=log4cplus::FileAppender\n"
                                       "log4cplus.appender.F.File=" +
                                           base.file("long.log") + "\n");
    ChildResult probe = runChild({kProbe, lib});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_EQ(libraryConsole(probe), consoleFor(dir));
    struct stat st;
    EXPECT_NE(stat(base.file("long.log").c_str(), &st), 0)
        << "a cut configuration path must not be read";
}

TEST(DriverLibrary, NameLongerThanItsBufferStillLoads) {
    TempDir base;
    std::string outer = base.path() + "/" + std::string(200, 'a');
    ASSERT_EQ(mkdir(outer.c_str(), 0700), 0);
    std::string dir = outer + "/" + std::string(100, 'b');
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    std::string lib = copyLibraryTo(dir);
    // The name cut to its buffer ends inside the inner directory, so its last
    // separator names the outer one: a configuration there is not the
    // library's and must not be read.
    ASSERT_LT(outer.size() + 1 + 15, 256u);
    writeFile(outer + "/log.properties", "log4cplus.rootLogger=TRACE, F\n"
                                         "log4cplus.appender.F=log4cplus::FileAppender\n"
                                         "log4cplus.appender.F.File=" +
                                             base.file("wrong.log") + "\n");
    ChildResult probe = runChild({kProbe, lib});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    std::string console = libraryConsole(probe);
    EXPECT_EQ(console.rfind("VKL ODBC Driver path = ", 0), 0u) << console;
    EXPECT_NE(console.find("\n" + kLoadedLine + "\n"), std::string::npos) << console;
    struct stat st;
    EXPECT_NE(stat(base.file("wrong.log").c_str(), &st), 0)
        << "the configuration of another directory was read";
}
