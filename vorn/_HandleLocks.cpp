#include "_Diag.h"
#include "handles.h"

void _HandleLockInit(pthread_mutex_t* lock) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(lock, &attr);
    pthread_mutexattr_destroy(&attr);
}

void _HandleLockDestroy(pthread_mutex_t* lock) {
    pthread_mutex_destroy(lock);
}

NavixConnection* _StmtConnection(StmtHandle* stmt) {
    DbcHandle* dbc = stmt != NULL ? stmt->dbc : NULL;
    if (dbc == NULL) {
        return NULL;
    }
    VornHandleLock lock(&dbc->lock);
    return dbc->extras != NULL ? dbc->extras->conn : NULL;
}
