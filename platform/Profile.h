// Data-source profile look-ups through the ODBC installer library, which is
// loaded on first use rather than linked, so the driver still loads on a
// system without it.
#ifndef VORN_PLATFORM_PROFILE_H
#define VORN_PLATFORM_PROFILE_H

// Same contract as the installer's SQLGetPrivateProfileString: copies the
// value of `entry` in `section` of `fileName` (or `defaultValue`) into
// `retBuffer` of `retBufferSize` bytes and returns the number of characters
// written. When the installer library or the function is missing, returns 0
// and leaves retBuffer holding the empty text (when it has room for it).
int vornGetPrivateProfileString(const char* section, const char* entry, const char* defaultValue,
                                char* retBuffer, int retBufferSize, const char* fileName);

// Whether the installer's look-up function could be found (for diagnostics).
bool vornProfileAvailable();

#endif
