// The setup entry points and the data-source dialog, against a scripted
// dialog backend and the real installer library with private ini files.
//
// The installer caches value reads for 20 seconds whatever the file, so
// every row uses data-source names of its own.
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <odbcinst.h>

#include "DialogBackend.h"
#include "LogCapture.h"
#include "Profile.h"
#include "TempDir.h"
#include "odbc.h"
#include "resource.h"

namespace {

std::string gDir;

std::string userIni() {
    return gDir + "/user.ini";
}

// Lines "key=value" of a section of the user's odbc.ini, in file order;
// empty when the section is missing.
std::vector<std::string> sectionLines(const std::string& name) {
    std::vector<std::string> lines;
    bool inside = false;
    for (const std::string& line : readLines(userIni())) {
        if (!line.empty() && line[0] == '[') {
            inside = line == "[" + name + "]";
            continue;
        }
        if (inside && !line.empty()) lines.push_back(line);
    }
    return lines;
}

void appendUserIni(const std::string& text) {
    writeFile(userIni(), readFile(userIni()) + text);
}

// An installer attribute list from "KEY=VALUE" pairs.
std::string attributes(const std::vector<std::string>& pairs) {
    std::string list;
    for (const std::string& p : pairs)
        list += p + '\0';
    return list + '\0';
}

std::string text(HWND dialog, int id) {
    char buf[2048];
    GetDlgItemTextA(dialog, id, buf, sizeof(buf));
    return buf;
}

int selection(HWND dialog) {
    return (int)SendDlgItemMessageA(dialog, IDC_LIST_AUTHMODE, CB_GETCURSEL, 0, 0);
}

// Plays the user: each step sees the open dialog and returns the next action.
class ScriptedBackend : public VornDialogBackend {
  public:
    typedef std::function<VornDialogInput(HWND)> Step;

    bool canOpen = true;
    std::vector<Step> steps;
    std::vector<std::string> boxes; // "caption: text"
    int opened = 0;
    int focus = 0; // id of the control with the focus at the last step

    bool open(VornDialog&) override {
        opened++;
        return canOpen;
    }
    VornDialogInput nextInput(VornDialog& dialog) override {
        focus = dialog.focus >= 0 ? dialog.controls[(size_t)dialog.focus].item->id : 0;
        if (next_ < steps.size()) return steps[next_++](static_cast<HWND>(&dialog));
        return {VORN_INPUT_CLOSE, 0}; // a script that ran out closes the window
    }
    void close(VornDialog&) override {}
    int messageBox(VornDialog*, const char* text, const char* caption) override {
        boxes.push_back(std::string(caption) + ": " + text);
        return IDOK;
    }

  private:
    size_t next_ = 0;
};

VornDialogInput press(int id) {
    return {VORN_INPUT_COMMAND, id};
}

class Setup : public ::testing::Test {
  protected:
    void SetUp() override { vornSetDialogBackend(&backend); }
    void TearDown() override { vornSetDialogBackend(NULL); }
    ScriptedBackend backend;
};

std::string installerErrorText(DWORD* code) {
    char message[512] = "";
    WORD length = 0;
    *code = 0;
    if (SQLInstallerError(1, code, message, sizeof(message) - 1, &length) != SQL_SUCCESS) {
        return "";
    }
    return message;
}

// --- dsnFromAttributes ------------------------------------------------------

TEST(DsnFromAttributes, TakesTheLastDsnPair) {
    struct Row {
        const char* what;
        std::string list;
        std::string dsn;
    } rows[] = {
        {"one pair", attributes({"DSN=sales"}), "sales"},
        {"any case", attributes({"dsn=sales"}), "sales"},
        {"second DSN wins", attributes({"DSN=first", "HOST=h", "Dsn=second"}), "second"},
        {"first pair without = ends the scan", attributes({"NOEQUALS", "DSN=sales"}), ""},
        {"a later pair without = ends it too", attributes({"DSN=a", "BROKEN", "DSN=b"}), "a"},
        {"other keys only", attributes({"DSNX=a", "XDSN=b"}), ""},
        {"empty value", attributes({"DSN="}), ""},
        {"300 characters cut to 255", attributes({"DSN=" + std::string(300, 'n')}),
         std::string(255, 'n')},
        {"empty list", std::string(2, '\0'), ""},
    };
    for (const Row& row : rows) {
        char dsn[DSN_NAME_SIZE];
        memset(dsn, 0, sizeof(dsn));
        dsnFromAttributes(row.list.c_str(), dsn);
        EXPECT_EQ(row.dsn, dsn) << row.what;
    }
}

// --- getConfsFromIni ----------------------------------------------------------

TEST_F(Setup, GetConfsFromIniFillsTheDialog) {
    const std::string longValue(300, 'v');
    struct Row {
        const char* what;
        std::string section; // lines of the section "[<name>]" in odbc.ini
        std::vector<std::string> attrs;
        std::map<int, std::string> fields;
        int selection;
        std::string extra;
        std::string box; // part of the message box shown on opening, "" for none
    } rows[] = {
        {"AUTHMODE 1 selects AKSK", "AUTHMODE=1\n", {}, {}, 1, "", ""},
        {"AUTHMODE 0 selects TOKEN", "AUTHMODE=0\n", {}, {}, 0, "", ""},
        {"AUTHMODE abc selects TOKEN", "AUTHMODE=abc\n", {}, {}, 0, "", ""},
        {"no AUTHMODE leaves AKSK", "HOST=h\n", {}, {{IDC_EDIT_HOST, "h"}}, 1, "", ""},
        {"fields from the section, the name field from its DSN key",
         "DSN=other\nHOST=h\nREGION=r\nDATABASE=d\nPROJECTID=p\nQUEUENAME=q\nACCOUNT=a\n"
         "USER=u\nPASSWORD=pw\nAK=ak\nSK=sk\n",
         {},
         {{IDC_EDIT_DSN, "other"},
          {IDC_EDIT_HOST, "h"},
          {IDC_EDIT_REGION, "r"},
          {IDC_EDIT_DATABASE, "d"},
          {IDC_EDIT_PROJECTID, "p"},
          {IDC_EDIT_QUEUENAME, "q"},
          {IDC_EDIT_ACCOUNT, "a"},
          {IDC_EDIT_USER, "u"},
          {IDC_EDIT_PASSWORD, "pw"},
          {IDC_EDIT_AK, "ak"},
          {IDC_EDIT_SK, "sk"}},
         1,
         "",
         ""},
        {"extra keys first in their order, then the section's others; Driver is the "
         "installer's",
         "Driver=VKL\nvkl.a=1\nJOBTIMEOUT=60\nPORT=443\nPROXYHOST=px\nCHARSET=UTF-8\n",
         {},
         {},
         1,
         "PROXYHOST=px;CHARSET=UTF-8;JOBTIMEOUT=60;vkl.a=1;PORT=443;",
         ""},
        {"the attribute list goes over the section",
         "HOST=h1\nPORT=1\nAUTHMODE=1\n",
         {"DRIVER=VKL", "HOST=h2", "AUTHMODE=0", "PORT=2", "SVCNAME=VKL", "CHARSET=UTF-8"},
         {{IDC_EDIT_HOST, "h2"}},
         0,
         "PORT=2;SVCNAME=VKL;CHARSET=UTF-8;",
         ""},
        {"a data source not written yet shows the name it is added as",
         "",
         {"REGION=r"},
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_REGION, "r"}},
         1,
         "",
         ""},
        {"no name: a new data source, filled from the attributes",
         "",
         std::vector<std::string>{"DSN=", "REGION=r"},
         {{IDC_EDIT_DSN, ""}, {IDC_EDIT_REGION, "r"}},
         1,
         "",
         ""},
        {"values that cannot come back whole are left out, and said so",
         "HOST=" + longValue + "\nPORT=" + longValue + "\nvkl.x=a;b\nvkl.y=a=b\nvkl.z=ok\n",
         {},
         {{IDC_EDIT_HOST, ""}},
         1,
         "vkl.z=ok;",
         "HOST, PORT, vkl.x, vkl.y"},
        {"a pair without a key is left out, and named as it was written",
         "",
         {"=orphan", "REGION=r"},
         {{IDC_EDIT_REGION, "r"}},
         1,
         "",
         "=orphan"},
    };
    int n = 0;
    for (Row& row : rows) {
        std::string name = "ini" + std::to_string(++n);
        if (!row.section.empty()) appendUserIni("[" + name + "]\n" + row.section + "\n");
        std::vector<std::string> attrs = row.attrs;
        if (attrs.empty() || attrs[0] != "DSN=") {
            attrs.insert(attrs.begin(), "DSN=" + name);
        } else {
            attrs.erase(attrs.begin());
        }
        std::map<int, std::string> seen;
        int seenSelection = -2;
        std::string seenExtra;
        backend = ScriptedBackend();
        backend.steps.push_back([&](HWND d) {
            for (const auto& f : row.fields) {
                std::string t = text(d, f.first);
                seen[f.first] = t == name ? "@" : t;
            }
            seenSelection = selection(d);
            seenExtra = text(d, IDC_EDIT_EXTRA);
            return press(IDC_BUTTON_CANCEL);
        });
        std::string list = attributes(attrs);
        EXPECT_FALSE(ConfigDSN(NULL, ODBC_CONFIG_DSN, "VKL", list.c_str())) << row.what;
        EXPECT_EQ(row.fields, seen) << row.what;
        EXPECT_EQ(row.selection, seenSelection) << row.what;
        EXPECT_EQ(row.extra, seenExtra) << row.what;
        if (row.box.empty()) {
            EXPECT_TRUE(backend.boxes.empty()) << row.what;
        } else {
            ASSERT_EQ(1u, backend.boxes.size()) << row.what;
            EXPECT_NE(std::string::npos, backend.boxes[0].find(row.box))
                << row.what << ": " << backend.boxes[0];
        }
    }
}

TEST_F(Setup, GetConfsFromIniKeepsTheExtraTextWithinItsBounds) {
    // 25 keys of 250 characters each: neither 20 pieces nor 1284 characters
    // hold them all.
    std::string section;
    for (int i = 0; i < 25; i++) {
        section += "K" + std::to_string(i) + "=" + std::string(250, 'a' + i % 26) + "\n";
    }
    appendUserIni("[bounds1]\n" + section + "\n");
    std::string extra;
    backend.steps.push_back([&](HWND d) {
        extra = text(d, IDC_EDIT_EXTRA);
        return press(IDC_BUTTON_CANCEL);
    });
    std::string list = attributes({"DSN=bounds1"});
    ConfigDSN(NULL, ODBC_CONFIG_DSN, "VKL", list.c_str());
    EXPECT_LE(extra.size(), (size_t)DSN_EXTRA_TEXT_MAX);
    EXPECT_EQ(0u, extra.find("K0=" + std::string(250, 'a') + ";K1="));
    ASSERT_EQ(1u, backend.boxes.size());
    EXPECT_NE(std::string::npos, backend.boxes[0].find("K24"));
}

// --- getConfsFromDlg ------------------------------------------------------------

TEST_F(Setup, GetConfsFromDlgWritesWhatTheDialogShows) {
    const std::string blankFields =
        "REGION=|DATABASE=|PROJECTID=|QUEUENAME=|ACCOUNT=|USER=|PASSWORD=|AK=|SK=";
    struct Row {
        const char* what;
        std::string section;              // existing section of the same name
        std::map<int, std::string> edits; // typed into the dialog; "@" is the name
        int selection;                    // -1: left as it is
        bool written;
        std::string box;   // message box, "" for none
        std::string lines; // the section afterwards, "|" between lines
    } rows[] = {
        {"every field is written, empty ones empty; AUTHMODE from the list",
         "",
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_HOST, "h"}},
         0,
         true,
         "",
         "Driver=VKL Test|DSN=@|HOST=h|" + blankFields + "|AUTHMODE=0"},
        {"no name: nothing written",
         "",
         {{IDC_EDIT_DSN, ""}, {IDC_EDIT_HOST, "h"}},
         -1,
         false,
         "VKL ODBC Congifuration: Missing the Data Source Name",
         ""},
        {"empty pieces give nothing; no = gives an empty value",
         "",
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_EXTRA, ";;A=1;;C"}},
         -1,
         true,
         "",
         "Driver=VKL Test|DSN=@|HOST=|" + blankFields + "|AUTHMODE=1|A=1|C="},
        {"a second = is refused",
         "",
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_EXTRA, "SSLCA=/p/a=b.pem"}},
         -1,
         false,
         "value of SSLCA in the extra configuration holds a second \"=\"",
         ""},
        {"a blank key is refused",
         "",
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_EXTRA, " =evil"}},
         -1,
         false,
         "has no key:  =evil",
         ""},
        {"a piece without a key is refused",
         "",
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_EXTRA, "A=1;=z"}},
         -1,
         false,
         "has no key: =z",
         ""},
        {"a key taken out of the extra text is gone (the section is written whole)",
         "PORT=1\nvkl.a=2\n",
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_EXTRA, "vkl.a=2;"}},
         -1,
         true,
         "",
         "Driver=VKL Test|DSN=@|HOST=|" + blankFields + "|AUTHMODE=1|vkl.a=2"},
        {"21 pieces are refused",
         "",
         {{IDC_EDIT_DSN, "@"},
          {IDC_EDIT_EXTRA, "a=1;b=1;c=1;d=1;e=1;f=1;g=1;h=1;i=1;j=1;k=1;l=1;m=1;n=1;o=1;p=1;"
                           "q=1;r=1;s=1;t=1;u=1;"}},
         -1,
         false,
         "more than 20 keys",
         ""},
        {"a key over 64 characters is refused",
         "",
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_EXTRA, std::string(65, 'k') + "=1;"}},
         -1,
         false,
         "longer than 64",
         ""},
        {"a value over 256 characters is refused",
         "",
         {{IDC_EDIT_DSN, "@"}, {IDC_EDIT_EXTRA, "k=" + std::string(257, 'v') + ";"}},
         -1,
         false,
         "longer than 256",
         ""},
        {"values of 64 and 256 characters fit",
         "",
         {{IDC_EDIT_DSN, "@"},
          {IDC_EDIT_EXTRA, std::string(64, 'k') + "=" + std::string(256, 'v')}},
         -1,
         true,
         "",
         "Driver=VKL Test|DSN=@|HOST=|" + blankFields + "|AUTHMODE=1|" + std::string(64, 'k') +
             "=" + std::string(256, 'v')},
    };
    int n = 0;
    for (Row& row : rows) {
        std::string name = "dlg" + std::to_string(++n);
        if (!row.section.empty()) appendUserIni("[" + name + "]\n" + row.section + "\n");
        backend = ScriptedBackend();
        backend.steps.push_back([&](HWND d) {
            for (const auto& e : row.edits) {
                SetDlgItemTextA(d, e.first, e.second == "@" ? name.c_str() : e.second.c_str());
            }
            if (row.selection >= 0) {
                SendDlgItemMessageA(d, IDC_LIST_AUTHMODE, CB_SETCURSEL, (WPARAM)row.selection, 0);
            }
            return press(IDC_BUTTON_OK);
        });
        // A refusal keeps the dialog open; the script then closes it.
        std::string list = attributes({"DSN=" + name});
        BOOL ok = ConfigDSN(NULL, ODBC_ADD_DSN, "VKL Test", list.c_str());
        EXPECT_EQ(row.written, ok == TRUE) << row.what;
        std::string lines;
        for (const std::string& l : sectionLines(name))
            lines += (lines.empty() ? "" : "|") + l;
        std::string expected = row.lines;
        for (size_t at; (at = expected.find('@')) != std::string::npos;) {
            expected.replace(at, 1, name);
        }
        if (row.written || row.section.empty()) {
            EXPECT_EQ(expected, lines) << row.what;
        }
        if (row.box.empty()) {
            EXPECT_TRUE(backend.boxes.empty()) << row.what;
        } else {
            ASSERT_EQ(1u, backend.boxes.size()) << row.what;
            EXPECT_NE(std::string::npos, backend.boxes[0].find(row.box)) << backend.boxes[0];
        }
    }
}

TEST_F(Setup, ANewNameWritesANewDataSourceAndLeavesTheOldOne) {
    appendUserIni("[rename1]\nDSN=rename1\nHOST=old\n\n");
    backend.steps.push_back([](HWND d) {
        SetDlgItemTextA(d, IDC_EDIT_DSN, "rename2");
        SetDlgItemTextA(d, IDC_EDIT_HOST, "new");
        return press(IDC_BUTTON_OK);
    });
    std::string list = attributes({"DSN=rename1"});
    EXPECT_TRUE(ConfigDSN(NULL, ODBC_CONFIG_DSN, "VKL Test", list.c_str()));
    EXPECT_EQ((std::vector<std::string>{"DSN=rename1", "HOST=old"}), sectionLines("rename1"));
    std::vector<std::string> renamed = sectionLines("rename2");
    ASSERT_GE(renamed.size(), 3u);
    EXPECT_EQ("HOST=new", renamed[2]);
}

// --- ConfigDSN and ConfigDriver ---------------------------------------------------

TEST_F(Setup, ConfigDsnEndsAsTheUserEndsTheDialog) {
    struct Row {
        const char* what;
        std::vector<ScriptedBackend::Step> steps;
        const char* driver;
        BOOL result;
        std::vector<std::string> boxes;
        std::string driverLine; // the section's Driver line when written
    } rows[] = {
        {"OK",
         {[](HWND) { return press(IDC_BUTTON_OK); }},
         "VKL Test",
         TRUE,
         {},
         "Driver=VKL Test"},
        {"Cancel", {[](HWND) { return press(IDC_BUTTON_CANCEL); }}, "VKL Test", FALSE, {}, ""},
        {"close box",
         {[](HWND) {
             return VornDialogInput{VORN_INPUT_CLOSE, 0};
         }},
         "VKL Test",
         FALSE,
         {},
         ""},
        {"Escape does nothing",
         {[](HWND) { return press(IDCANCEL); }, [](HWND) { return press(IDC_BUTTON_OK); }},
         "VKL Test",
         TRUE,
         {},
         "Driver=VKL Test"},
        {"no driver name: said so, then the driver of the dialog",
         {[](HWND) { return press(IDC_BUTTON_OK); }},
         NULL,
         TRUE,
         {"VKL odbc driver: No driver name"},
         "Driver=Orvelo Cloud VKL Driver"},
    };
    int n = 0;
    for (Row& row : rows) {
        std::string name = "end" + std::to_string(++n);
        backend = ScriptedBackend();
        backend.steps = row.steps;
        std::string list = attributes({"DSN=" + name});
        EXPECT_EQ(row.result, ConfigDSN(NULL, ODBC_ADD_DSN, row.driver, list.c_str())) << row.what;
        EXPECT_EQ(row.boxes, backend.boxes) << row.what;
        std::vector<std::string> lines = sectionLines(name);
        EXPECT_EQ(row.driverLine, lines.empty() ? "" : lines[0]) << row.what;
    }
}

// ConfigDSN logs the first attribute pair, with no secret in it.
TEST_F(Setup, ConfigDsnLogsNoSecretOfItsAttributes) {
    const struct {
        const char* pair;
        const char* logged;
        const char* secret; // or nullptr
    } rows[] = {
        {"PASSWORD=hunter2", "Attributes = PASSWORD=****", "hunter2"},
        {"pwd=se;cret", "Attributes = pwd=****", "cret"},
        {"SK={a;b}", "Attributes = SK=****", "a;b"},
        {"AK=MYACCESSKEY", "Attributes = AK=****", "MYACCESSKEY"},
        {"DSN=mask1", "Attributes = DSN=mask1", nullptr},
    };
    for (const auto& r : rows) {
        backend = ScriptedBackend();
        backend.steps = {[](HWND) { return press(IDC_BUTTON_CANCEL); }};
        LogCapture log;
        std::string list = attributes({r.pair, "DSN=mask1"});
        EXPECT_FALSE(ConfigDSN(NULL, ODBC_ADD_DSN, "VKL Test", list.c_str())) << r.pair;
        EXPECT_EQ(1u, log.count(r.logged)) << r.pair;
        if (r.secret != nullptr) {
            EXPECT_EQ(0u, log.count(r.secret)) << r.pair;
        }
    }
}

TEST_F(Setup, ConfigDsnWithoutATerminalFailsAtOnceAndWritesNothing) {
    backend.canOpen = false;
    std::string list = attributes({"DSN=noterm1", "HOST=h"});
    EXPECT_FALSE(ConfigDSN(NULL, ODBC_ADD_DSN, "VKL Test", list.c_str()));
    DWORD code = 0;
    std::string message = installerErrorText(&code);
    EXPECT_EQ((DWORD)ODBC_ERROR_REQUEST_FAILED, code);
    EXPECT_NE(std::string::npos, message.find("terminal")) << message;
    EXPECT_TRUE(sectionLines("noterm1").empty());
    EXPECT_EQ(1, backend.opened);
}

TEST_F(Setup, TextTheInstallerCannotStoreIsRefused) {
    appendUserIni("[a]\nDriver=VKL\n\n");
    const std::string before = readFile(userIni());
    std::string e17;
    for (int i = 0; i < 17; i++)
        e17 += "\xC3\xA9"; // 34 bytes
    const DWORD name = ODBC_ERROR_INVALID_DSN, value = ODBC_ERROR_INVALID_KEYWORD_VALUE;
    const struct {
        std::string key, value;
        int control; // where the text is typed: its value, or "key=value" in the extra text
        DWORD code;
        std::string said;
    } rows[] = {
        {"DSN", "a]b", IDC_EDIT_DSN, name,
         "\"a]b\" cannot be stored: the installer takes 1 to 32 bytes"},
        {"DSN", std::string(33, 'n'), IDC_EDIT_DSN, name, "cannot be stored"},
        {"DSN", "a;b", IDC_EDIT_DSN, name, "\"a;b\" cannot be stored"},
        {"DSN", " lead", IDC_EDIT_DSN, name, "\" lead\" cannot be stored"},
        {"DSN", "trail ", IDC_EDIT_DSN, name, "\"trail \" cannot be stored"},
        {"DSN", "a\nb", IDC_EDIT_DSN, name, "\"a\\nb\" cannot be stored"},
        {"DSN", e17, IDC_EDIT_DSN, name, "1 to 32 bytes"},
        {"HOST", "h1\n[evil]\nDriver=/tmp/evil.so", IDC_EDIT_HOST, value, "value of HOST"},
        {"PASSWORD", "  pw  ", IDC_EDIT_PASSWORD, value, "value of PASSWORD cannot be stored"},
        {"X\x7f", "1", IDC_EDIT_EXTRA, value, "key \"X\\x7F\" cannot be stored"},
        {"K", " v", IDC_EDIT_EXTRA, value, "value of K cannot be stored"},
        {"[evil]", "1", IDC_EDIT_EXTRA, value, "key \"[evil]\" cannot be stored: it begins"},
    };
    for (const auto& row : rows) {
        const std::string pair = row.key + "=" + row.value;
        backend = ScriptedBackend();
        for (WORD request : {ODBC_ADD_DSN, ODBC_REMOVE_DSN}) {            // named by the attributes
            if (request == ODBC_REMOVE_DSN && row.code != name) continue; // values go unread
            std::string list = attributes({"DSN=refused1", pair});
            EXPECT_FALSE(ConfigDSN(NULL, request, "VKL", list.c_str())) << pair;
            DWORD code = 0;
            EXPECT_NE(std::string::npos, installerErrorText(&code).find(row.said)) << pair;
            EXPECT_EQ(row.code, code) << pair;
        }
        EXPECT_EQ(0, backend.opened) << pair;
        backend.steps.push_back([&](HWND d) { // typed into the dialog
            SetDlgItemTextA(d, row.control,
                            (row.control == IDC_EDIT_EXTRA ? pair : row.value).c_str());
            return press(IDC_BUTTON_OK);
        });
        std::string list = attributes({"DSN=refused1"});
        EXPECT_FALSE(ConfigDSN(NULL, ODBC_ADD_DSN, "VKL", list.c_str())) << pair;
        ASSERT_EQ(1u, backend.boxes.size()) << pair;
        EXPECT_NE(std::string::npos, backend.boxes[0].find(row.said)) << backend.boxes[0];
        EXPECT_EQ(row.control, backend.focus) << pair; // still open, on the text
        EXPECT_EQ(before, readFile(userIni())) << pair;
    }
}

TEST_F(Setup, ConfigDsnRemovesADataSource) {
    appendUserIni("[remove1]\nDriver=VKL\nHOST=h\n\n");
    std::string list = attributes({"DSN=remove1"});
    EXPECT_TRUE(ConfigDSN(NULL, ODBC_REMOVE_DSN, "VKL", list.c_str()));
    EXPECT_TRUE(sectionLines("remove1").empty());
    EXPECT_EQ(0, backend.opened);
}

TEST_F(Setup, ConfigDriverAnswersByRequest) {
    struct Row {
        WORD request;
        BOOL result;
        std::vector<std::string> boxes;
        DWORD error;
    } rows[] = {
        {ODBC_INSTALL_DRIVER, TRUE, {"Vorn odbc driver: Install OBDC driver...."}, 0},
        {ODBC_REMOVE_DRIVER, TRUE, {}, 0},
        {ODBC_CONFIG_DRIVER,
         FALSE,
         {"Vorn odbc driver: Other in OBDC driver...."},
         ODBC_ERROR_INVALID_REQUEST_TYPE},
    };
    for (const Row& row : rows) {
        backend = ScriptedBackend();
        SQLSetConfigMode(ODBC_USER_DSN); // clears the installer's error record
        char message[16];
        memset(message, 'x', sizeof(message));
        WORD length = 99;
        EXPECT_EQ(row.result,
                  ConfigDriver(NULL, row.request, "VKL", "", message, sizeof(message), &length))
            << row.request;
        EXPECT_EQ('\0', message[0]);
        EXPECT_EQ(0, length);
        EXPECT_EQ(row.boxes, backend.boxes) << row.request;
        DWORD code = 0;
        installerErrorText(&code);
        EXPECT_EQ(row.error, code) << row.request;
    }
}

// --- the installer lock ------------------------------------------------------------

TEST(InstallerLock, ThreadsShareTheInstallerSafely) {
    const int kThreads = 8, kRounds = 100;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([t, &mismatches]() {
            std::string section = "thread" + std::to_string(t);
            for (int i = 0; i < kRounds; i++) {
                std::string value = std::to_string(i);
                vornWritePrivateProfileString(section.c_str(), "N", value.c_str(), "ODBC.INI");
                char buf[64];
                vornGetPrivateProfileString(section.c_str(), "N", "", buf, sizeof(buf), "odbc.ini");
                if (value != buf) mismatches[(size_t)t]++;
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(std::vector<int>(kThreads, 0), mismatches);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Private ini files for this process, before the first installer call.
    char tmpl[] = "/tmp/vorn-setup-XXXXXX";
    if (mkdtemp(tmpl) == NULL) return 1;
    gDir = tmpl;
    writeFile(gDir + "/user.ini", "");
    setenv("ODBCSYSINI", gDir.c_str(), 1);
    setenv("ODBCINI", (gDir + "/user.ini").c_str(), 1);
    setenv("HOME", gDir.c_str(), 1);
    unsetenv("ODBCSEARCH");
    SQLSetConfigMode(ODBC_USER_DSN);
    int result = RUN_ALL_TESTS();
    std::string cmd = "rm -rf '" + gDir + "'";
    (void)system(cmd.c_str());
    return result;
}
