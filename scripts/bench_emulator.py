#!/usr/bin/python3
"""Figures of a long run through the driver against a local emulator.

Starts an emulator of its own, then through pyodbc and the built driver:
  1. runs QUERIES synchronous queries (vkl.sql.syncMode.enabled=true) and
     gives their median and 90th-percentile time;
  2. reads one polled job of ROWS rows, 100 a page, and gives its time.
Along the way it gives the emulator's resident memory, and how much the
driver's two logs grew: vorn_odbc.log (in the working folder, here a
temporary one) and the driver's own log. For the latter the driver runs from
a temporary copy, with the build's log.properties except that it logs into
that folder and keeps every backup, so that all it writes is counted.

    /usr/bin/python3 scripts/bench_emulator.py [--build build] [--queries 1000] [--rows 100000]
                                               [--emulator emulator/vkl_emulator.py]

Figures only: nothing here passes or fails on a time.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import pyodbc

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROJECT = "bench"


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def file_size(path):
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


def rolled_size(path):
    """Size of a log and its backups (path.1, path.2, ...)."""
    total, index = file_size(path), 1
    while os.path.exists("%s.%d" % (path, index)):
        total += file_size("%s.%d" % (path, index))
        index += 1
    return total


def copy_driver(build, folder):
    """The driver copied into folder, logging to folder/vornodbc.log; the
    path of the copy and of its log."""
    os.makedirs(folder)
    driver = os.path.join(folder, "libvornodbc.so")
    shutil.copyfile(os.path.join(build, "libvornodbc.so"), driver)
    log = os.path.join(folder, "vornodbc.log")
    with open(os.path.join(build, "log.properties")) as shipped:
        text = shipped.read()
    text = re.sub(r"(?m)^(log4cplus\.appender\.[^.=]+\.File)=.*$", lambda m: m.group(1) + "=" + log, text)
    text = re.sub(r"(?m)^(log4cplus\.appender\.[^.=]+\.MaxBackupIndex)=.*$",
                  lambda m: m.group(1) + "=100000", text)
    with open(os.path.join(folder, "log.properties"), "w") as props:
        props.write(text)
    return driver, log


def start_emulator(work, script):
    port_file = os.path.join(work, "port")
    ca_file = os.path.join(work, "ca.pem")
    out = open(os.path.join(work, "emulator.out"), "w")
    emulator = subprocess.Popen(
        ["/usr/bin/python3", script,
         "--port-file", port_file, "--ca-file", ca_file, "--watch-pid", str(os.getpid())],
        stdout=out, stderr=subprocess.STDOUT)
    for _ in range(300):
        if os.path.exists(port_file) and os.path.getsize(port_file) > 0:
            with open(port_file) as f:
                return emulator, int(f.read()), ca_file
        if emulator.poll() is not None:
            break
        time.sleep(0.1)
    emulator.kill()
    raise SystemExit("the emulator did not start (see %s)" % out.name)


def connect(driver, port, ca_file, sync):
    text = ("DRIVER=%s;DSN=bench;HOST=127.0.0.1:%d;SSLCA=%s;REGION=emu-region-1;PROJECTID=%s;"
            "AUTHMODE=1;AK=EMUAK0000000000000001;SK=emu-secret-key-0001;DATABASE=db1;CHARSET=UTF-8"
            % (driver, port, ca_file, PROJECT))
    if sync:
        text += ";vkl.sql.syncMode.enabled=true"
    cnxn = pyodbc.connect(text, autocommit=True)
    cnxn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8")
    cnxn.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8")
    cnxn.setencoding(encoding="utf-8")
    return cnxn


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--queries", type=int, default=1000)
    parser.add_argument("--rows", type=int, default=100000)
    parser.add_argument("--emulator", default=os.path.join(ROOT, "emulator", "vkl_emulator.py"),
                        help="the emulator to start (to compare with another version of it)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    with tempfile.TemporaryDirectory(prefix="vorn-bench-") as work:
        os.chdir(work)  # vorn_odbc.log lands here
        driver, driver_log = copy_driver(build, os.path.join(work, "driver"))
        emulator, port, ca_file = start_emulator(work, os.path.abspath(args.emulator))
        try:
            print("emulator: %.1f MB resident at start" % rss_mb(emulator.pid))
            cnxn = connect(driver, port, ca_file, sync=True)
            cursor = cnxn.cursor()
            cursor.execute("select id, name, city from customers where id = 1").fetchall()
            msg_log = os.path.join(work, "vorn_odbc.log")
            msg_before, log_before = file_size(msg_log), rolled_size(driver_log)
            times, resident = [], []
            for done in range(1, args.queries + 1):
                started = time.perf_counter()
                cursor.execute("select id, name, city from customers where id = 1").fetchall()
                times.append(time.perf_counter() - started)
                if done % max(1, args.queries // 4) == 0:
                    resident.append("%.1f MB after %d" % (rss_mb(emulator.pid), done))
            times.sort()
            print("%d synchronous queries (3 columns, 1 row): median %.1f ms, 90th percentile %.1f ms"
                  % (args.queries, 1000 * statistics.median(times),
                     1000 * times[int(0.9 * (len(times) - 1))]))
            per = 1000.0 / max(1, args.queries)
            print("  emulator resident: " + ", ".join(resident))
            print("  vorn_odbc.log grew by %.0f kB per 1000 queries"
                  % ((file_size(msg_log) - msg_before) * per / 1024))
            print("  the driver's log grew by %.0f kB per 1000 queries"
                  % ((rolled_size(driver_log) - log_before) * per / 1024))
            cnxn.close()

            if args.rows > 0:
                cnxn = connect(driver, port, ca_file, sync=False)
                started = time.perf_counter()
                rows = cnxn.cursor().execute(
                    "with recursive n(x) as (select 1 union all select x + 1 from n where x < %d) "
                    "select x, 'row ' || x from n" % args.rows).fetchall()
                elapsed = time.perf_counter() - started
                print("one polled job of %d rows read in %d pages: %.1f s (%.2f ms a page, polling included)"
                      % (len(rows), (len(rows) + 99) // 100, elapsed,
                         1000 * elapsed / max(1, (len(rows) + 99) // 100)))
                print("  emulator: %.1f MB resident after it" % rss_mb(emulator.pid))
                cnxn.close()
        finally:
            emulator.terminate()
            emulator.wait(10)
            os.chdir(ROOT)
    return 0


if __name__ == "__main__":
    sys.exit(main())
