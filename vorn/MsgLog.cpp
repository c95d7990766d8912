#include "MsgLog.h"
#include "_ListLinks.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// ---- list -----------------------------------------------------------------

MsgList* msgListOpen(void) {
    MsgList* list = static_cast<MsgList*>(calloc(1, sizeof(MsgList)));
    if (list == NULL) {
        return NULL;
    }
    list->refCount = 1;
    list->freeFn = free;
    return list;
}

void msgListLink(MsgList* list, MsgListItem* item) {
    item->list = list;
    item->next = NULL;
    item->prev = list->last;
    if (list->last != NULL) {
        list->last->next = item;
    } else {
        list->first = item;
    }
    list->last = item;
    list->count++;
    list->current = item;
}

int msgListAppend(MsgList* list, void* data) {
    if (list == NULL) {
        return 0;
    }
    MsgListItem* item = static_cast<MsgListItem*>(calloc(1, sizeof(MsgListItem)));
    if (item == NULL) {
        return 0;
    }
    item->data = data;
    msgListLink(list, item);
    return 1;
}

int msgListVisible(const MsgListItem* item) {
    return item != NULL && !item->deleted;
}

MsgListItem* msgListNextValid(MsgListItem* item) {
    if (item == NULL) {
        return NULL;
    }
    for (MsgListItem* it = item->next; it != NULL; it = it->next) {
        if (msgListVisible(it)) {
            return it;
        }
    }
    return NULL;
}

void msgListAdjustCurrent(MsgList* list) {
    if (list == NULL || list->current == NULL || !list->current->deleted) {
        return;
    }
    MsgListItem* from = list->current;
    for (MsgListItem* it = from->prev; it != NULL; it = it->prev) {
        if (msgListVisible(it)) {
            list->current = it;
            return;
        }
    }
    list->current = msgListNextValid(from);
}

void msgListFreeItem(MsgList* list, MsgListItem* item) {
    if (list == NULL || item == NULL) {
        return;
    }
    if (list->freeFn != NULL) {
        list->freeFn(item->data);
    }
    item->data = NULL;
    if (!item->deleted) {
        list->count--;
    }
    _ListUnlink(item, &list->first, &list->last);
    // Only a removal of the current item moves the position; other items
    // leave it where it was.
    if (list->current == item) {
        list->current = item->prev != NULL ? item->prev : item->next;
    }
    free(item);
    msgListAdjustCurrent(list);
}

int msgListDelete(MsgList* list) {
    if (list == NULL || list->current == NULL) {
        return 0;
    }
    MsgListItem* item = list->current;
    if (!item->deleted) {
        item->deleted = 1;
        list->count--;
    }
    msgListAdjustCurrent(list);
    msgListFreeItem(list, item);
    return 1;
}

int msgListClose(MsgList* list) {
    if (list == NULL) {
        return 0;
    }
    list->refCount--;
    if (list->refCount > 0) {
        return 1;
    }
    while (list->first != NULL) {
        msgListFreeItem(list, list->first);
    }
    free(list);
    return 1;
}

// ---- log ------------------------------------------------------------------

void msgLogFreeMsg(void* message) {
    LogMessage* msg = static_cast<LogMessage*>(message);
    if (msg == NULL) {
        return;
    }
    free(msg->module);
    free(msg->function);
    free(msg->text);
    free(msg);
}

int msgLogOpen(MsgLog** log, const char* fileName) {
    if (log == NULL) {
        return 0;
    }
    *log = NULL;
    MsgLog* created = static_cast<MsgLog*>(calloc(1, sizeof(MsgLog)));
    if (created == NULL) {
        return 0;
    }
    created->programName = strdup(MSGLOG_PROGRAM_NAME);
    created->fileName = strdup(fileName != NULL ? fileName : MSGLOG_DEFAULT_FILE);
    if (created->programName == NULL || created->fileName == NULL) {
        free(created->programName);
        free(created->fileName);
        free(created);
        return 0;
    }
    created->cap = MSGLOG_CAP;
    created->on = 0;
    // Without a list the log still exists; its pushes then fail.
    created->list = msgListOpen();
    if (created->list != NULL) {
        created->list->freeFn = msgLogFreeMsg;
    }
    *log = created;
    return 1;
}

int msgLogClose(MsgLog* log) {
    if (log == NULL) {
        return 0;
    }
    msgListClose(log->list);
    free(log->programName);
    free(log->fileName);
    free(log);
    return 1;
}

int msgLogPop(MsgLog* log) {
    if (log == NULL) {
        return 0;
    }
    MsgList* list = log->list;
    if (list == NULL) {
        return 2;
    }
    list->current = list->first;
    if (list->current != NULL && list->current->deleted) {
        list->current = msgListNextValid(list->current);
    }
    if (list->current == NULL) {
        return 2;
    }
    msgListDelete(list);
    return 1;
}

int msgLogPush(MsgLog* log, const char* module, const char* function, int32_t line,
               int32_t severity, int32_t code, const char* text) {
    if (log == NULL || log->list == NULL) {
        return 0;
    }
    if (!log->on) {
        return 1;
    }
    if (module == NULL || function == NULL || text == NULL) {
        return 0;
    }
    if (log->list->count >= log->cap) {
        msgLogPop(log);
    }

    LogMessage* msg = static_cast<LogMessage*>(calloc(1, sizeof(LogMessage)));
    if (msg == NULL) {
        return 0;
    }
    msg->module = strdup(module);
    msg->function = strdup(function);
    msg->text = strdup(text);
    if (msg->module == NULL || msg->function == NULL || msg->text == NULL) {
        msgLogFreeMsg(msg);
        return 0;
    }
    msg->line = line;
    msg->severity = severity;
    msg->code = code;

    // A message the list cannot hold is dropped whole, file line included,
    // so that the file never shows what the handle does not keep.
    if (!msgListAppend(log->list, msg)) {
        msgLogFreeMsg(msg);
        return 0;
    }
    if (log->fileName == NULL) {
        return 1;
    }
    FILE* file = fopen(log->fileName, "a");
    if (file == NULL) {
        return 0;
    }
    fprintf(file, "[%s][%s][%s][%d]%s\n", log->programName, module, function, line, text);
    fclose(file);
    return 1;
}
