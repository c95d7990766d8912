"""A program run on a pseudo-terminal of its own, driven like a user would.

The terminal is the program's controlling terminal (so /dev/tty opens), with
a fixed size, TERM and ESCDELAY. expect() waits for a text to appear on the
screen, with a timeout, and never sleeps: a test sends a key only once the
program has shown that it waits for one.
"""

import fcntl
import os
import re
import select
import struct
import subprocess
import termios
import time

DEFAULT_TIMEOUT = 5.0
TERM = "xterm"
ESCDELAY = "25"

# Escape sequences of the terminal (CSI, OSC, charset selection, keypad
# modes), removed when looking for text.
_ESCAPES = re.compile(rb"\x1b(\[[0-?]*[ -/]*[@-~]|\][^\x07]*\x07|[()][0-9A-Za-z]|[=>78DEHM])")


class ExpectTimeout(AssertionError):
    pass


class PtySession:
    def __init__(self, args, env, rows=24, cols=80, cwd=None):
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))
        env = dict(env)
        env["TERM"] = TERM
        env["ESCDELAY"] = ESCDELAY
        for name in ("LINES", "COLUMNS"):
            env.pop(name, None)

        def make_controlling_terminal():
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)

        self.proc = subprocess.Popen(args, stdin=slave, stdout=slave, stderr=slave, env=env,
                                     cwd=cwd, start_new_session=True,
                                     preexec_fn=make_controlling_terminal)
        os.close(slave)
        self.raw = b""       # everything the program wrote
        self.seen = 0        # how much of the plain text earlier expects used
        self.log = []        # what the test did, for failure reports

    def _read(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.master, 65536)
        except OSError:   # the program ended and the terminal closed
            return None
        if not data:
            return None
        self.raw += data
        return True

    def text(self):
        return _ESCAPES.sub(b"", self.raw).decode("utf-8", "replace")

    def expect(self, marker, timeout=DEFAULT_TIMEOUT):
        """Waits until `marker` appears after what earlier calls matched."""
        self.log.append("expect %r" % marker)
        deadline = time.monotonic() + timeout
        while True:
            plain = self.text()
            found = plain.find(marker, self.seen)
            if found >= 0:
                self.seen = found + len(marker)
                return
            left = deadline - time.monotonic()
            if left <= 0 or self._read(left) is None:
                if self.text().find(marker, self.seen) >= 0:
                    continue
                raise ExpectTimeout(self.report("did not see %r" % marker))

    def send(self, data):
        self.log.append("send %r" % data)
        os.write(self.master, data.encode() if isinstance(data, str) else data)

    def wait(self, timeout=DEFAULT_TIMEOUT):
        """Reads until the program ends; returns its exit status."""
        deadline = time.monotonic() + timeout
        while self._read(max(0.0, deadline - time.monotonic())):
            if time.monotonic() > deadline:
                break
        try:
            return self.proc.wait(timeout=max(0.1, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            raise ExpectTimeout(self.report("the program did not end"))

    def report(self, what):
        return "%s\nsteps: %s\nscreen text: %r\nraw: %r" % (
            what, "; ".join(self.log), self.text()[-3000:], self.raw[-3000:])

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        os.close(self.master)
