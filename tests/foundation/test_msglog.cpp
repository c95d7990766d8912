// The per-handle message log and the list under it.
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MsgLog.h"
#include "TempDir.h"

namespace {

// Texts of the kept messages, oldest first.
std::vector<std::string> keptTexts(const MsgLog* log) {
    std::vector<std::string> texts;
    for (MsgListItem* it = log->list->first; it != NULL; it = it->next) {
        if (msgListVisible(it)) {
            texts.push_back(static_cast<LogMessage*>(it->data)->text);
        }
    }
    return texts;
}

// Walks the links both ways and checks that they agree with the count.
void expectConsistent(const MsgList* list) {
    int forward = 0;
    const MsgListItem* prev = NULL;
    for (const MsgListItem* it = list->first; it != NULL; it = it->next) {
        EXPECT_EQ(it->prev, prev);
        EXPECT_EQ(it->list, list);
        prev = it;
        forward++;
    }
    EXPECT_EQ(list->last, prev);
    EXPECT_EQ(forward, list->count);
}

class MsgLogTest : public testing::Test {
  protected:
    TempDir dir;
    ScopedChdir cwd{dir.path()};
    MsgLog* log = NULL;

    void SetUp() override {
        ASSERT_EQ(msgLogOpen(&log, NULL), 1);
        ASSERT_NE(log, nullptr);
        log->on = 1;
    }
    void TearDown() override {
        if (log != NULL) {
            EXPECT_EQ(msgLogClose(log), 1);
        }
    }
    int push(const char* text, int line = 7) {
        return msgLogPush(log, "src/A.cpp", "src/A.cpp", line, 1, 1, text);
    }
};

} // namespace

TEST_F(MsgLogTest, OpenSetsDefaults) {
    EXPECT_STREQ(log->programName, "[template]");
    EXPECT_STREQ(log->fileName, "vorn_odbc.log");
    EXPECT_EQ(log->cap, 50);
    ASSERT_NE(log->list, nullptr);
    EXPECT_EQ(log->list->count, 0);
    EXPECT_EQ(log->list->refCount, 1);
    EXPECT_EQ(log->list->freeFn, &msgLogFreeMsg);

    MsgLog* fresh = NULL;
    ASSERT_EQ(msgLogOpen(&fresh, "other.log"), 1);
    EXPECT_EQ(fresh->on, 0) << "a new log starts off";
    EXPECT_STREQ(fresh->fileName, "other.log");
    msgLogClose(fresh);

    EXPECT_EQ(msgLogOpen(NULL, NULL), 0);
    EXPECT_EQ(msgLogClose(NULL), 0);
}

TEST_F(MsgLogTest, PushWritesOneFormattedLine) {
    EXPECT_EQ(msgLogPush(log, "vorn/SQLFetch.cpp", "vorn/SQLFetch.cpp", 120, 0, 0, "SQL_SUCCESS"),
              1);
    EXPECT_EQ(readFile("vorn_odbc.log"),
              "[[template]][vorn/SQLFetch.cpp][vorn/SQLFetch.cpp][120]SQL_SUCCESS\n");
    ASSERT_EQ(log->list->count, 1);
    LogMessage* m = static_cast<LogMessage*>(log->list->first->data);
    EXPECT_STREQ(m->module, "vorn/SQLFetch.cpp");
    EXPECT_EQ(m->line, 120);
    EXPECT_EQ(m->severity, 0);
    EXPECT_EQ(m->code, 0);
}

TEST_F(MsgLogTest, PushCopiesTheTexts) {
    char text[] = "SQL_ERROR first";
    ASSERT_EQ(push(text), 1);
    strcpy(text, "overwritten!!!!");
    EXPECT_EQ(keptTexts(log), std::vector<std::string>{"SQL_ERROR first"});
}

TEST_F(MsgLogTest, FiftyFirstPushDropsTheOldestButTheFileKeepsAll) {
    for (int i = 1; i <= 51; i++) {
        ASSERT_EQ(push(("message " + std::to_string(i)).c_str(), i), 1);
    }
    std::vector<std::string> kept = keptTexts(log);
    ASSERT_EQ(kept.size(), 50u);
    EXPECT_EQ(kept.front(), "message 2");
    EXPECT_EQ(kept.back(), "message 51");
    EXPECT_EQ(log->list->count, 50);
    expectConsistent(log->list);

    std::vector<std::string> lines = readLines("vorn_odbc.log");
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines[0], "[[template]][src/A.cpp][src/A.cpp][1]message 1");
    EXPECT_EQ(lines[50], "[[template]][src/A.cpp][src/A.cpp][51]message 51");
}

TEST_F(MsgLogTest, NullTextAtTheCapChangesNothing) {
    for (int i = 1; i <= 50; i++) {
        ASSERT_EQ(push(("m" + std::to_string(i)).c_str()), 1);
    }
    std::vector<std::string> before = keptTexts(log);
    EXPECT_EQ(push(NULL), 0);
    EXPECT_EQ(msgLogPush(log, NULL, "f", 1, 1, 1, "t"), 0);
    EXPECT_EQ(msgLogPush(log, "m", NULL, 1, 1, 1, "t"), 0);
    EXPECT_EQ(keptTexts(log), before) << "nothing dropped for a refused push";
    EXPECT_EQ(readLines("vorn_odbc.log").size(), 50u);
}

TEST_F(MsgLogTest, LogThatIsOffAcceptsAndIgnores) {
    log->on = 0;
    EXPECT_EQ(push("ignored"), 1);
    EXPECT_EQ(push(NULL), 1);
    EXPECT_EQ(log->list->count, 0);
    struct stat st;
    EXPECT_NE(stat("vorn_odbc.log", &st), 0) << "nothing written while off";
}

TEST_F(MsgLogTest, ChangedDirectoryWritesToANewFile) {
    TempDir second;
    ASSERT_EQ(push("in the first"), 1);
    {
        ScopedChdir moved(second.path());
        ASSERT_EQ(push("in the second"), 1);
    }
    EXPECT_EQ(readLines(dir.file("vorn_odbc.log")),
              std::vector<std::string>{"[[template]][src/A.cpp][src/A.cpp][7]in the first"});
    EXPECT_EQ(readLines(second.file("vorn_odbc.log")),
              std::vector<std::string>{"[[template]][src/A.cpp][src/A.cpp][7]in the second"});
}

TEST_F(MsgLogTest, LineBreakInTextIsWrittenUnchanged) {
    ASSERT_EQ(push("first line\nsecond line"), 1);
    EXPECT_EQ(readFile("vorn_odbc.log"),
              "[[template]][src/A.cpp][src/A.cpp][7]first line\nsecond line\n");
}

TEST_F(MsgLogTest, AppendsToAnExistingFile) {
    writeFile("vorn_odbc.log", "earlier process\n");
    ASSERT_EQ(push("later"), 1);
    EXPECT_EQ(readLines("vorn_odbc.log"),
              (std::vector<std::string>{"earlier process",
                                        "[[template]][src/A.cpp][src/A.cpp][7]later"}));
}

TEST_F(MsgLogTest, UnwritableFileKeepsTheMessage) {
    free(log->fileName);
    log->fileName = strdup("no-such-dir/vorn_odbc.log");
    EXPECT_EQ(push("kept anyway"), 0);
    EXPECT_EQ(keptTexts(log), std::vector<std::string>{"kept anyway"});

    // A log without a file name keeps messages and writes nothing.
    free(log->fileName);
    log->fileName = NULL;
    EXPECT_EQ(push("no file"), 1);
    EXPECT_EQ(log->list->count, 2);
}

TEST_F(MsgLogTest, PopRemovesOldestAndReportsEmpty) {
    EXPECT_EQ(msgLogPop(log), 2);
    push("a");
    push("b");
    push("c");
    EXPECT_EQ(msgLogPop(log), 1);
    EXPECT_EQ(keptTexts(log), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(msgLogPop(log), 1);
    EXPECT_EQ(msgLogPop(log), 1);
    EXPECT_EQ(msgLogPop(log), 2);
    EXPECT_EQ(log->list->first, nullptr);
    EXPECT_EQ(log->list->last, nullptr);
    EXPECT_EQ(log->list->count, 0);
    EXPECT_EQ(msgLogPop(NULL), 0);
}

TEST(MsgLogNoList, PushesFail) {
    MsgLog* log = NULL;
    ASSERT_EQ(msgLogOpen(&log, NULL), 1);
    log->on = 1;
    msgListClose(log->list);
    log->list = NULL;
    EXPECT_EQ(msgLogPush(log, "m", "f", 1, 1, 1, "t"), 0);
    EXPECT_EQ(msgLogPush(NULL, "m", "f", 1, 1, 1, "t"), 0);
    EXPECT_EQ(msgLogPop(log), 2);
    EXPECT_EQ(msgLogClose(log), 1);
}

// ---- the list itself, with plain malloc'd data freed by the default callback

namespace {

MsgList* listOf(std::vector<const char*> items) {
    MsgList* list = msgListOpen();
    for (const char* s : items) {
        EXPECT_EQ(msgListAppend(list, strdup(s)), 1);
    }
    return list;
}

const char* dataOf(const MsgListItem* item) {
    return item != NULL ? static_cast<const char*>(item->data) : "(none)";
}

} // namespace

TEST(MsgList, AppendLinksAtTheTailAndBecomesCurrent) {
    MsgList* list = listOf({"a", "b", "c"});
    EXPECT_EQ(list->freeFn, &free);
    EXPECT_STREQ(dataOf(list->first), "a");
    EXPECT_STREQ(dataOf(list->last), "c");
    EXPECT_EQ(list->current, list->last);
    expectConsistent(list);
    EXPECT_EQ(msgListAppend(NULL, NULL), 0);
    EXPECT_EQ(msgListClose(list), 1);
}

TEST(MsgList, DeletingTheCurrentItemMovesBackwardsFirst) {
    MsgList* list = listOf({"a", "b", "c"});
    list->current = list->first->next; // "b"
    EXPECT_EQ(msgListDelete(list), 1);
    EXPECT_STREQ(dataOf(list->current), "a");
    EXPECT_EQ(list->count, 2);
    expectConsistent(list);

    // At the head there is nothing behind: the position moves forwards.
    EXPECT_EQ(msgListDelete(list), 1);
    EXPECT_STREQ(dataOf(list->current), "c");
    EXPECT_EQ(msgListDelete(list), 1);
    EXPECT_EQ(list->current, nullptr);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->first, nullptr);
    EXPECT_EQ(list->last, nullptr);
    EXPECT_EQ(msgListDelete(list), 0);
    msgListClose(list);
}

TEST(MsgList, FreeingAnotherItemKeepsTheCurrentPosition) {
    MsgList* list = listOf({"a", "b", "c"});
    MsgListItem* c = list->last;
    msgListFreeItem(list, list->first);
    EXPECT_EQ(list->current, c);
    EXPECT_STREQ(dataOf(list->first), "b");
    EXPECT_EQ(list->count, 2);
    expectConsistent(list);
    msgListClose(list);
}

TEST(MsgList, CloseWaitsForTheLastReference) {
    MsgList* list = listOf({"a"});
    list->refCount = 2;
    EXPECT_EQ(msgListClose(list), 1);
    EXPECT_EQ(list->refCount, 1);
    EXPECT_STREQ(dataOf(list->first), "a") << "still alive after the first close";
    EXPECT_EQ(msgListClose(list), 1);
    EXPECT_EQ(msgListClose(NULL), 0);
}
