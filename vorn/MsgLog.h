// Per-handle message log: the latest messages of one ODBC handle, each also
// appended as a line to a text file in the current directory.
#ifndef VORN_MSGLOG_H
#define VORN_MSGLOG_H

#include <stdint.h>

#define MSGLOG_DEFAULT_FILE "vorn_odbc.log"
#define MSGLOG_PROGRAM_NAME "[template]"
#define MSGLOG_CAP 50

struct MsgListItem;

typedef void (*MsgListFreeFn)(void* data);

// Doubly linked list of messages in arrival order.
struct MsgList {
    MsgListItem* first;
    MsgListItem* last;
    MsgListItem* current; // the position that removals work on
    int32_t count;        // items not marked deleted
    int32_t refCount;     // 1 at creation
    MsgListFreeFn freeFn; // applied to an item's data when the item is freed
};

struct MsgListItem {
    MsgListItem* next;
    MsgListItem* prev;
    int32_t deleted; // 1 once the item is being removed
    MsgList* list;
    void* data;
};

// One kept message; every text is an owned copy.
struct LogMessage {
    char* module;
    char* function;
    int32_t line;
    int32_t severity; // 1 with errors and warnings, 0 with successes
    int32_t code;     // stored, never written to the file
    char* text;
};

struct MsgLog {
    MsgList* list;     // NULL when the list could not be created
    char* programName; // "[template]"
    char* fileName;    // "vorn_odbc.log" unless the opener names another
    int32_t cap;       // most messages kept
    int32_t on;        // 0: pushes are accepted and ignored
};

// Log operations. msgLogOpen/msgLogClose return 1, or 0 on failure.
int msgLogOpen(MsgLog** log, const char* fileName);
int msgLogClose(MsgLog* log);
// 1 when kept and written, or when the log is off; 0 on any failure.
int msgLogPush(MsgLog* log, const char* module, const char* function, int32_t line,
               int32_t severity, int32_t code, const char* text);
// 1 when the oldest message was removed, 2 when there was none, 0 for NULL.
int msgLogPop(MsgLog* log);
void msgLogFreeMsg(void* message);

// List operations.
MsgList* msgListOpen(void);
int msgListAppend(MsgList* list, void* data);
void msgListLink(MsgList* list, MsgListItem* item);
int msgListDelete(MsgList* list);
void msgListFreeItem(MsgList* list, MsgListItem* item);
void msgListAdjustCurrent(MsgList* list);
MsgListItem* msgListNextValid(MsgListItem* item);
int msgListVisible(const MsgListItem* item);
int msgListClose(MsgList* list);

#endif
