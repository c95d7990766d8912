// One key press read without echo, for kestrin's confirmation.
#ifndef KESTRIN_KEY_PRESS_H
#define KESTRIN_KEY_PRESS_H

// Prints `prompt`, then reads one key. On a terminal standard input is put
// into non-canonical mode without echo for the read (typeahead is discarded
// first, so only a key pressed after the prompt counts) and restored after it;
// when standard input is not a terminal, one byte is read from it. A NUL key
// is followed by a second read that replaces it, as with the function keys
// of a console. Returns the key's byte, or -1 at end of input or on a read
// error.
int readKeyPress(const char* prompt);

#endif
