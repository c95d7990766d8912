#include "KeyPress.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Signals that may arrive while the terminal is in our mode: the terminal
// is restored before any of them takes its usual effect.
const int kSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP, SIGTTIN, SIGTTOU, SIGALRM};
const int kSignalCount = (int)(sizeof(kSignals) / sizeof(kSignals[0]));

volatile sig_atomic_t gCaught[NSIG];

void onSignal(int sig) {
    gCaught[sig] = 1;
}

int readByte(int fd) {
    unsigned char c;
    for (;;) {
        ssize_t n = read(fd, &c, 1);
        if (n == 1) return c;
        if (n < 0 && errno == EINTR) {
            for (int i = 0; i < kSignalCount; i++) {
                if (gCaught[kSignals[i]]) return -2; // handled by the caller
            }
            continue;
        }
        return -1;
    }
}

int readKey(int fd) {
    int c = readByte(fd);
    if (c == 0) {
        c = readByte(fd);
    }
    return c;
}

} // namespace

int readKeyPress(const char* prompt) {
    const int fd = STDIN_FILENO;
    struct termios saved;
    if (!isatty(fd) || tcgetattr(fd, &saved) != 0) {
        fputs(prompt, stdout);
        fflush(stdout);
        int c = readKey(fd);
        return c < 0 ? -1 : c;
    }
    for (;;) {
        struct termios raw = saved;
        raw.c_lflag &= (tcflag_t) ~(ICANON | ECHO | ECHONL);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        // The terminal mode first, then the handlers; the prompt only once
        // the terminal is ready, so a key pressed after it is never flushed.
        tcsetattr(fd, TCSAFLUSH, &raw);
        struct sigaction actions[kSignalCount];
        struct sigaction catcher;
        memset(&catcher, 0, sizeof(catcher));
        catcher.sa_handler = onSignal;
        sigemptyset(&catcher.sa_mask);
        for (int i = 0; i < kSignalCount; i++) {
            gCaught[kSignals[i]] = 0;
            sigaction(kSignals[i], &catcher, &actions[i]);
        }
        fputs(prompt, stdout);
        fflush(stdout);
        int c = readKey(fd);

        // Whatever else was typed is not an answer to this question.
        tcsetattr(fd, TCSAFLUSH, &saved);
        for (int i = 0; i < kSignalCount; i++) {
            sigaction(kSignals[i], &actions[i], NULL);
        }
        if (c != -2) {
            return c;
        }
        // Let each caught signal act as it would have, with the terminal
        // restored; after a stop and continue, ask again.
        bool again = false;
        for (int i = 0; i < kSignalCount; i++) {
            int sig = kSignals[i];
            if (!gCaught[sig]) continue;
            kill(getpid(), sig);
            again = again || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
        }
        if (!again) {
            return -1;
        }
        fputs("\n", stdout);
    }
}
