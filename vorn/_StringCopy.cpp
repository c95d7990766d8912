#include "_StringCopy.h"

#include <string.h>

int64_t vornCopyStringN(char* dst, int64_t dstSize, const char* src, int64_t srcLen) {
    if (src == NULL) {
        src = "";
        srcLen = 0;
    }
    int64_t full = srcLen < 0 ? (int64_t)strlen(src) : srcLen;
    if (dst == NULL || dstSize <= 0) {
        return full;
    }
    int64_t n = full < dstSize - 1 ? full : dstSize - 1;
    if (n > 0) {
        memcpy(dst, src, (size_t)n);
    }
    dst[n] = '\0';
    return full;
}

int64_t vornCopyString(char* dst, int64_t dstSize, const char* src) {
    return vornCopyStringN(dst, dstSize, src, -1);
}
