"""End-to-end tests through unixODBC's isql.

isql runs in batch mode (-b) with "|" between columns and the column names
on the first line of each result (-d| -c); -3 makes it use ODBC 3 calls, so
diagnostics carry ODBC 3 SQLSTATEs; -v prints them. The driver's load and
unload lines go to standard error, so standard output holds isql's alone.
"""

import subprocess
import unittest

import e2e_support as e2e

ALL_TYPES_SELECT = ("select id, c_int, c_bigint, c_double, c_decimal, c_string, c_date, "
                    "c_timestamp, c_boolean from all_types order by id")
ALL_TYPES_ROWS = [
    "id|c_int|c_bigint|c_double|c_decimal|c_string|c_date|c_timestamp|c_boolean",
    "1|2147483647|9223372036854775807|3.141592653589793|12.50|hello|2024-01-15|2024-01-15 10:30:45|true",
    "2|-2147483648|-9223372036854775808|-2.5e-10|-99999999.99|Müller|1970-01-01|1970-01-01 00:00:00|false",
    "3||||||||",
]


class IsqlCase(unittest.TestCase):
    """Writes a private odbcinst.ini/odbc.ini per test and resets its project."""

    def setUp(self):
        self.emu = e2e.Emulator()
        self.project = e2e.project_for(self)
        self.emu.reset(self.project)
        self.ini = e2e.PrivateOdbcIni()
        self.addCleanup(self.ini.close)

    def isql(self, target, statements, dsn_less=False, extra=("-3", "-v")):
        self.ini.write()
        return e2e.run_isql(target, statements, self.ini.env(), dsn_less=dsn_less, extra=extra)

    def assertRan(self, result):
        self.assertEqual(0, result.rc, result)
        self.assertNotIn("ERROR", result.stderr, result)


class IsqlDataSource(IsqlCase):
    """A data source in odbc.ini, connected with SQLConnect."""

    def test_signing_mode(self):
        dsn = self.ini.add_dsn("vkl_signed", e2e.aksk_keys(self.project))
        result = self.isql(dsn, [ALL_TYPES_SELECT])
        self.assertRan(result)
        self.assertEqual(ALL_TYPES_ROWS, result.lines())
        self.assertEqual([], self.emu.token_requests(self.project))
        submit = self.emu.submits(self.project)
        self.assertEqual(1, len(submit))
        self.assertEqual("db1", submit[0]["currentdb"])
        self.assertEqual("default", submit[0]["queue_name"])

    def test_token_mode_with_user_and_password_from_the_command_line(self):
        keys = e2e.token_keys(self.project)
        del keys["USER"], keys["PASSWORD"]
        dsn = self.ini.add_dsn("vkl_token", keys)
        self.ini.write()
        args = ["isql", dsn, e2e.USER, e2e.PASSWORD, "-b", "-d|", "-c", "-3", "-v"]
        import subprocess
        proc = subprocess.run(args, input="select name from customers where id = 5\n",
                              env=self.ini.env(), capture_output=True, text=True, timeout=120)
        result = e2e.IsqlResult(proc)
        self.assertRan(result)
        self.assertEqual(["name", "Ærøskøbing"], result.lines())
        self.assertEqual(1, len(self.emu.token_requests(self.project)))

    def test_odbc2_application(self):
        # Without -3 isql allocates with the ODBC 2 calls and reads errors with
        # SQLError, which gives ODBC 2 SQLSTATEs.
        dsn = self.ini.add_dsn("vkl_odbc2", e2e.aksk_keys(self.project))
        result = self.isql(dsn, ["select id, name from customers where id = 4", "set x"],
                           extra=("-v",))
        self.assertEqual(0, result.rc, result)
        self.assertEqual(["id|name", "4|Bob", "[01000]VKL ODBC Invalid SQL syntax."], result.lines())

    def test_wrong_password_fails_the_connect(self):
        dsn = self.ini.add_dsn("vkl_badpass", e2e.token_keys(self.project, PASSWORD="nope"))
        result = self.isql(dsn, ["select 1"])
        self.assertEqual(1, result.rc, result)
        self.assertIn("[HY000]", result.stdout)
        self.assertIn("VKL ODBC System ERROR.", result.stdout)
        self.assertIn("Could not SQLConnect", result.stderr)
        # Only the token request was made.
        self.assertEqual(1, len(self.emu.requests(self.project)))


class IsqlConnectionString(IsqlCase):
    """A connection string naming the library (SQLDriverConnect, isql -k)."""

    def test_signing_mode(self):
        result = self.isql(e2e.conn_str(e2e.aksk_keys(self.project)), [ALL_TYPES_SELECT],
                           dsn_less=True)
        self.assertRan(result)
        self.assertEqual(ALL_TYPES_ROWS, result.lines())

    def test_token_mode(self):
        result = self.isql(e2e.conn_str(e2e.token_keys(self.project)),
                           ["select count(*) as n from numbers"], dsn_less=True)
        self.assertRan(result)
        self.assertEqual(["n", "250"], result.lines())
        self.assertEqual(1, len(self.emu.token_requests(self.project)))

    def test_keys_missing_from_the_string_come_from_the_data_source(self):
        # The string names a data source for the keys it lacks (the project,
        # the signing keys and the CA to trust), and overrides its database.
        self.ini.add_dsn("vkl_partial", {"PROJECTID": self.project, "AUTHMODE": "1",
                                         "AK": e2e.AK, "SK": e2e.SK, "DATABASE": "db1",
                                         "SSLCA": e2e.ca_file()})
        keys = {"HOST": e2e.host_port(), "REGION": e2e.REGION, "DATABASE": "db2",
                "CHARSET": "UTF-8"}
        result = self.isql(e2e.conn_str(keys, dsn="vkl_partial"),
                           ["select note from orders where order_id = 1003"], dsn_less=True)
        self.assertRan(result)
        self.assertEqual(["note", "grüße"], result.lines())
        self.assertEqual("db2", self.emu.submits(self.project)[0]["currentdb"])


class IsqlStatements(IsqlCase):
    """SELECT, SHOW TABLES, SET and USE in one isql session."""

    def test_session(self):
        dsn = self.ini.add_dsn("vkl_session", e2e.aksk_keys(self.project))
        result = self.isql(dsn, [
            "select id, name, city, balance from customers where id in (1, 3) order by id",
            "show tables",
            "set vkl.sql.syncMode.enabled=true",
            "use db2",
            "select order_id, amount, placed from orders order by order_id",
        ])
        self.assertRan(result)
        self.assertEqual([
            "id|name|city|balance",
            "1|Anna Müller|München|1050.75",
            "3|Zoë \"Zed\" O'Neil|Paris|-20.50",
            "database|tableName",
            "db1|all_types",
            "db1|customers",
            "db1|empty_table",
            "db1|numbers",
            "order_id|amount|placed",
            "1001|19.99|2024-01-02",
            "1002|5.00|2024-01-03",
            "1003|1234.56|2024-02-10",
        ], result.lines())

        # SET and USE never reached the service; they changed what later jobs carry.
        submits = self.emu.submits(self.project)
        self.assertEqual(["select id, name, city, balance from customers where id in (1, 3) order by id",
                          "show tables",
                          "select order_id, amount, placed from orders order by order_id"],
                         [s["sql"] for s in submits])
        self.assertEqual(["db1", "db1", "db2"], [s["currentdb"] for s in submits])
        self.assertNotIn("conf", submits[0])
        self.assertEqual(["vkl.sql.syncMode.enabled=true"], submits[2]["conf"])
        # The last query ran synchronously: its rows came with the submission,
        # so only the first two jobs were polled and paged.
        self.assertEqual(2, len(self.emu.page_requests(self.project)))

    def test_service_error_is_shown_and_the_session_goes_on(self):
        dsn = self.ini.add_dsn("vkl_errors", e2e.aksk_keys(self.project))
        result = self.isql(dsn, ["select * from nosuch", "set novalue", "select 5 as five"])
        self.assertEqual(0, result.rc, result)
        lines = result.lines()
        self.assertIn("[01000]VKL Service response: no such table: nosuch", lines)
        self.assertIn("[01000]VKL ODBC Invalid SQL syntax.", lines)
        self.assertEqual(["five", "5"], lines[-2:])
        self.assertEqual(2, result.stderr.count("Could not SQLExecute"), result)


class IsqlBatchOutput(IsqlCase):
    """isql -b as a script uses it: its standard output is the data."""

    def test_standard_output_holds_only_the_rows(self):
        dsn = self.ini.add_dsn("vkl_batch", e2e.aksk_keys(self.project))
        self.ini.write()
        proc = subprocess.run(["isql", dsn, "-b", "-d,"],
                              input="select id, name from customers where id in (1, 4) order by id\n",
                              env=self.ini.env(), capture_output=True, text=True, timeout=120)
        self.assertEqual(0, proc.returncode, proc.stderr)
        self.assertEqual("1,Anna Müller\n4,Bob\n", proc.stdout)


class IsqlCatalog(IsqlCase):
    """isql's help commands use SQLTables and SQLColumns."""

    def test_tables_and_columns(self):
        dsn = self.ini.add_dsn("vkl_catalog", e2e.aksk_keys(self.project, DATABASE="db2"))
        result = self.isql(dsn, ["help", "help orders"])
        self.assertRan(result)
        self.assertEqual([
            "TABLE_CAT|TABLE_SCHEM|TABLE_NAME|TABLE_TYPE|REMARKS",
            "db2|db2|orders|TABLE|",
            "db2|db2|sales_2023|TABLE|",
            "db2|db2|sales_2024|TABLE|",
            "db2|db2|salesx|TABLE|",
            "TABLE_CAT|TABLE_SCHEM|TABLE_NAME|COLUMN_NAME|DATA_TYPE|TYPE_NAME|COLUMN_SIZE|"
            "BUFFER_LENGTH|DECIMAL_DIGITS|NUM_PREC_RADIX|NULLABLE|REMARKS|COLUMN_DEF|"
            "SQL_DATA_TYPE|SQL_DATETIME_SUB|CHAR_OCTET_LENGTH|ORDINAL_POSITION|IS_NULLABLE",
            "||orders|order_id|-5|bigint|20|8||10|1|||-5||334|1|YES",
            "||orders|customer_id|4|int|11|4||10|1|||4||334|2|YES",
            "||orders|amount|3|decimal(10,2)|11|8||10|1|||3||334|3|YES",
            "||orders|placed|91|date|334|334||10|1|||91||334|4|YES",
            "||orders|note|12|string|334|334||10|1|||12||334|5|YES",
        ], result.lines())


class IsqlFailures(IsqlCase):
    def test_missing_required_key(self):
        keys = e2e.aksk_keys(self.project)
        del keys["PROJECTID"]
        dsn = self.ini.add_dsn("vkl_noproject", keys)
        result = self.isql(dsn, ["select 1"])
        self.assertEqual(1, result.rc, result)
        self.assertIn("Could not SQLConnect", result.stderr)
        self.assertEqual([], self.emu.requests(self.project))

    def test_unknown_data_source(self):
        result = self.isql("vkl_not_there", ["select 1"])
        self.assertEqual(1, result.rc, result)
        self.assertIn("[IM002]", result.stdout)

    def test_failed_job_and_time_out(self):
        self.emu.fault(self.project, match="status", kind="job_failed", message="out of memory")
        result = self.isql(e2e.conn_str(e2e.aksk_keys(self.project, JOBTIMEOUT="1")),
                           ["select 1", "select 2 as two"], dsn_less=True)
        self.assertIn("[01000]VKL Service response: out of memory", result.lines())
        self.assertEqual(["two", "2"], result.lines()[-2:])

        self.emu.fault(self.project, match="status", kind="never_finish", count=50)
        result = self.isql(e2e.conn_str(e2e.aksk_keys(self.project, JOBTIMEOUT="1")),
                           ["select 3"], dsn_less=True)
        self.assertIn("[HY000]VKL Service Response Time Out.", result.lines())


if __name__ == "__main__":
    unittest.main()
