// Bounded text copy shared by the entry points that hand text to the
// application.
#ifndef VORN_STRINGCOPY_H
#define VORN_STRINGCOPY_H

#include <stddef.h>
#include <stdint.h>

// Copies src into dst of dstSize bytes. Writes at most dstSize bytes, the
// last of them always a NUL; with dstSize <= 0 or dst NULL nothing is
// written. A NULL src counts as "". Returns the full length of src (not
// what was copied), so `result >= dstSize` means the text was cut.
int64_t vornCopyString(char* dst, int64_t dstSize, const char* src);

// Same, for a source of known length srcLen (need not be NUL-terminated;
// a negative srcLen means "read up to the NUL").
int64_t vornCopyStringN(char* dst, int64_t dstSize, const char* src, int64_t srcLen);

#endif
