"""One isql session under valgrind's memcheck, in each authorisation mode.

The session connects, reads a query's result over three pages, lists the
tables (isql's "help": SQLTables) and a table's columns ("help customers":
SQLColumns), runs a statement that the service refuses, and disconnects.
An invalid read or write, or a block definitely lost, makes valgrind exit
with ERROR_EXIT and fails the test; memcheck.supp holds the reports that
are not the driver's (each with its reason).
"""

import os
import re
import subprocess
import unittest

import e2e_support as e2e

ERROR_EXIT = 99

STATEMENTS = [
    "select id, label from numbers order by id",
    "help",
    "help customers",
    "select * from no_such_table",
]

NUMBERS = ["id|label"] + ["%d|row %d" % (i, i) for i in range(1, 251)]
TABLES = [
    "TABLE_CAT|TABLE_SCHEM|TABLE_NAME|TABLE_TYPE|REMARKS",
    "db1|db1|all_types|TABLE|",
    "db1|db1|customers|TABLE|",
    "db1|db1|empty_table|TABLE|",
    "db1|db1|numbers|TABLE|",
]
CUSTOMER_COLUMNS = ["id", "name", "city", "balance", "created"]
REFUSAL = "[01000]VKL Service response: no such table: no_such_table"


def memcheck_args(log_file):
    return [os.environ["VORN_VALGRIND"], "--tool=memcheck", "--error-exitcode=%d" % ERROR_EXIT,
            "--leak-check=full", "--errors-for-leak-kinds=definite",
            "--show-leak-kinds=definite", "--num-callers=40",
            "--suppressions=" + os.environ["VORN_MEMCHECK_SUPPRESSIONS"],
            "--log-file=" + log_file]


def reports(log_file):
    """The error and leak reports of a valgrind log (without its banner)."""
    with open(log_file) as f:
        text = f.read()
    blocks = re.split(r"\n==\d+== \n", text)
    return "\n".join(b for b in blocks if re.search(r"Invalid|uninitialised|definitely lost in|"
                                                    r"Mismatched|overlap|ERROR SUMMARY", b))


class MemcheckCase(unittest.TestCase):
    def setUp(self):
        self.emu = e2e.Emulator()
        self.project = e2e.project_for(self)
        self.emu.reset(self.project)
        self.ini = e2e.PrivateOdbcIni()
        self.addCleanup(self.ini.close)

    def session(self, target, dsn_less):
        self.ini.write()
        env = self.ini.env()
        log_file = os.path.join(env["VORN_E2E_WORKDIR"], "memcheck-%s.log" % self.project)
        args = memcheck_args(log_file) + ["isql"] + (["-k"] if dsn_less else [])
        args += [target, "-b", "-3", "-v", "-d|", "-c"]
        proc = subprocess.run(args, input="".join(s + "\n" for s in STATEMENTS), env=env,
                              capture_output=True, text=True, timeout=600,
                              cwd=env["VORN_E2E_WORKDIR"])
        self.assertNotEqual(ERROR_EXIT, proc.returncode,
                            "valgrind reports errors:\n" + reports(log_file))
        result = e2e.IsqlResult(proc)
        self.assertEqual(0, result.rc, result)

        lines = result.lines()
        self.assertEqual(NUMBERS + TABLES, lines[:len(NUMBERS) + len(TABLES)], result)
        columns = lines[len(NUMBERS) + len(TABLES):-1]
        self.assertTrue(columns[0].startswith("TABLE_CAT|TABLE_SCHEM|TABLE_NAME|COLUMN_NAME|"),
                        result)
        self.assertEqual(CUSTOMER_COLUMNS, [c.split("|")[3] for c in columns[1:]], result)
        self.assertEqual(REFUSAL, lines[-1], result)
        # The query's result was read page by page, up to its third page.
        queries = [r["query"] for r in self.emu.page_requests(self.project)]
        self.assertIn("current-page=3&page-size=100", queries)


class MemcheckSigning(MemcheckCase):
    def test_session_through_a_data_source(self):
        dsn = self.ini.add_dsn("vkl_memcheck", e2e.aksk_keys(self.project))
        self.session(dsn, dsn_less=False)


class MemcheckToken(MemcheckCase):
    def test_session_through_a_connection_string(self):
        self.session(e2e.conn_str(e2e.token_keys(self.project)), dsn_less=True)
        self.assertEqual(1, len(self.emu.token_requests(self.project)))


if __name__ == "__main__":
    unittest.main()
