"""End-to-end tests through pyodbc (Debian's python3-pyodbc) and unixODBC.

The driver has no wide-character entry points, so every connection is set
up the way the README says: text cells are read as SQL_C_CHAR in UTF-8
(setdecoding), statements go out in UTF-8 (setencoding), and autocommit is on
because the service has no transactions.

pyodbc is imported inside the tests, after setUpModule has prepared the
environment.
"""

import datetime
import os
import unittest
from decimal import Decimal

import e2e_support as e2e

_INI = None


def setUpModule():
    # The driver manager reads where its ini files are once per process, so
    # the private files and the identity host are set before pyodbc loads it.
    global _INI
    _INI = e2e.PrivateOdbcIni()
    _INI.add_dsn("vkl_py_signed", e2e.aksk_keys("e2e-py-dsn-signed"))
    _INI.add_dsn("vkl_py_token", e2e.token_keys("e2e-py-dsn-token"))
    _INI.write()
    _INI.apply()
    os.environ.setdefault("TZ", "UTC")


def tearDownModule():
    _INI.close()


def configure(cnxn):
    import pyodbc
    cnxn.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8")
    cnxn.setdecoding(pyodbc.SQL_WCHAR, encoding="utf-8")
    cnxn.setencoding(encoding="utf-8")
    return cnxn


class PyodbcCase(unittest.TestCase):
    def setUp(self):
        self.emu = e2e.Emulator()
        self.project = e2e.project_for(self)
        self.emu.reset(self.project)

    def connect(self, conn_str=None, **keys):
        import pyodbc
        if conn_str is None:
            conn_str = e2e.conn_str(e2e.aksk_keys(self.project, **keys))
        cnxn = configure(pyodbc.connect(conn_str, autocommit=True))
        self.addCleanup(cnxn.close)
        return cnxn

    def rows(self, cnxn, sql):
        cur = cnxn.cursor()
        cur.execute(sql)
        return [tuple(r) for r in cur.fetchall()]


class PyodbcConnect(PyodbcCase):
    def test_data_source_in_signing_mode(self):
        project = "e2e-py-dsn-signed"
        self.emu.reset(project)
        cnxn = self.connect("DSN=vkl_py_signed")
        self.assertEqual([(1,)], self.rows(cnxn, "select 1"))
        requests = self.emu.requests(project)
        self.assertTrue(requests)
        for r in requests:
            auth = dict((k.lower(), v) for k, v in r["headers"]).get("authorization", "")
            self.assertTrue(auth.startswith("SDK-HMAC-SHA256 "), r)

    def test_data_source_in_token_mode(self):
        project = "e2e-py-dsn-token"
        self.emu.reset(project)
        cnxn = self.connect("DSN=vkl_py_token")
        self.assertEqual([(250,)], self.rows(cnxn, "select count(*) from numbers"))
        self.assertEqual(1, len(self.emu.token_requests(project)))

    def test_connection_string_in_both_modes(self):
        for keys in (e2e.aksk_keys(self.project), e2e.token_keys(self.project)):
            cnxn = self.connect(e2e.conn_str(keys))
            self.assertEqual([("hello",)], self.rows(cnxn, "select c_string from all_types where id = 1"))
        self.assertEqual(1, len(self.emu.token_requests(self.project)))

    def test_wrong_password(self):
        import pyodbc
        conn_str = e2e.conn_str(e2e.token_keys(self.project, PASSWORD="wrong"))
        with self.assertRaises(pyodbc.Error) as ctx:
            pyodbc.connect(conn_str, autocommit=True)
        self.assertEqual("HY000", ctx.exception.args[0])
        self.assertIn("VKL ODBC System ERROR.", ctx.exception.args[1])

    def test_braced_password_holding_a_semicolon(self):
        # Braces carry ";", "=" and "{" whole; "}}" stands for "}".
        keys = e2e.token_keys(self.project, USER="semiuser", PASSWORD="{se;mi}}=pw{1}")
        cnxn = self.connect(e2e.conn_str(keys))
        self.assertEqual([(1,)], self.rows(cnxn, "select 1"))
        self.assertEqual(1, len(self.emu.token_requests(self.project)))

    def test_autocommit_must_stay_on(self):
        # Switching autocommit off (pyodbc's default) is refused by the driver.
        import pyodbc
        with self.assertRaises(pyodbc.Error):
            pyodbc.connect(e2e.conn_str(e2e.aksk_keys(self.project)))

    def test_getinfo(self):
        import pyodbc
        cnxn = self.connect()
        self.assertEqual("VKL", cnxn.getinfo(pyodbc.SQL_DBMS_NAME))
        self.assertEqual("1.1.0", cnxn.getinfo(pyodbc.SQL_DBMS_VER))
        self.assertEqual(e2e.host_port(), cnxn.getinfo(pyodbc.SQL_SERVER_NAME))
        self.assertEqual("03.51", cnxn.getinfo(pyodbc.SQL_DRIVER_ODBC_VER))


class PyodbcTypes(PyodbcCase):
    def test_every_service_type(self):
        cnxn = self.connect()
        cur = cnxn.cursor()
        cur.execute("select * from all_types order by id")
        self.assertEqual(
            [("id", int), ("c_boolean", int), ("c_tinyint", int), ("c_smallint", int),
             ("c_int", int), ("c_bigint", int), ("c_float", float), ("c_double", float),
             ("c_decimal", Decimal), ("c_string", str), ("c_varchar", str), ("c_char", str),
             ("c_date", datetime.date), ("c_timestamp", datetime.datetime)],
            [(d[0], d[1]) for d in cur.description])
        rows = [tuple(r) for r in cur.fetchall()]
        self.assertEqual([
            (1, 1, 127, 32767, 2147483647, 9223372036854775807, 1.5, 3.141592653589793,
             Decimal("12.50"), "hello", "varchar text", "abc", datetime.date(2024, 1, 15),
             datetime.datetime(2024, 1, 15, 10, 30, 45)),
            (2, 0, -128, -32768, -2147483648, -9223372036854775808, -0.25, -2.5e-10,
             Decimal("-99999999.99"), "Müller", "東京", "xyz", datetime.date(1970, 1, 1),
             datetime.datetime(1970, 1, 1, 0, 0, 0)),
            (3,) + (None,) * 13,
        ], rows)
        # Exact types, not just equal values.
        self.assertIs(type(rows[0][8]), Decimal)
        self.assertIs(type(rows[0][12]), datetime.date)
        self.assertIs(type(rows[0][13]), datetime.datetime)
        self.assertEqual(-1, cur.rowcount)

    def test_non_ascii_text_both_ways(self):
        cnxn = self.connect()
        self.assertEqual([("山田太郎", "東京")],
                         self.rows(cnxn, "select name, city from customers where city = '東京'"))
        self.assertEqual([(5, "Ærøskøbing", "Ærø")],
                         self.rows(cnxn, "select id, name, city from customers where name like 'Ær%'"))
        submitted = self.emu.submits(self.project)[0]["sql"]
        self.assertEqual("select name, city from customers where city = '東京'", submitted)

    def test_many_rows(self):
        cnxn = self.connect()
        cur = cnxn.cursor()
        cur.execute("select id, label, squared from numbers order by id")
        first = cur.fetchmany(10)
        rest = cur.fetchall()
        rows = [tuple(r) for r in first + rest]
        self.assertEqual([(i, "row %d" % i, i * i) for i in range(1, 251)], rows)
        self.assertIsNone(cur.fetchone())
        queries = [r["query"] for r in self.emu.page_requests(self.project)]
        self.assertEqual(["current-page=%d&page-size=100" % n for n in (1, 2, 3)], queries[:3])

    def test_the_text_null_is_no_null(self):
        cnxn = self.connect()
        self.assertEqual([("null", None, "NULL")],
                         self.rows(cnxn, "select 'null' as s, null as n, 'NULL' as u"))

    def test_long_text_in_parts(self):
        # pyodbc reads long text with repeated SQLGetData calls.
        cnxn = self.connect()
        text = ("Grüße aus Köln – 東京 – " * 400)[:6000]
        cur = cnxn.cursor()
        cur.execute("create table notes (id INT, body STRING)")
        cur.execute("insert into notes values (1, '%s')" % text)
        self.assertEqual([(text,)], self.rows(cnxn, "select body from notes where id = 1"))

    def test_set_and_use(self):
        cnxn = self.connect()
        cur = cnxn.cursor()
        cur.execute("use db2")
        self.assertIsNone(cur.description)
        cur.execute("set vkl.sql.syncMode.enabled=true")
        self.assertEqual([(1003, Decimal("1234.56"), datetime.date(2024, 2, 10), "grüße")],
                         self.rows(cnxn, "select order_id, amount, placed, note from orders "
                                         "where customer_id = 2"))
        submit = self.emu.submits(self.project)[0]
        self.assertEqual("db2", submit["currentdb"])
        self.assertEqual(["vkl.sql.syncMode.enabled=true"], submit["conf"])
        self.assertEqual([], self.emu.status_requests(self.project))


class PyodbcCatalog(PyodbcCase):
    def test_tables(self):
        cnxn = self.connect()
        tables = [tuple(r) for r in cnxn.cursor().tables()]
        self.assertEqual([("db1", "db1", name, "TABLE", "")
                          for name in ("all_types", "customers", "empty_table", "numbers")], tables)
        cnxn2 = self.connect(DATABASE="db2")
        names = [r.table_name for r in cnxn2.cursor().tables(table="sales%")]
        self.assertEqual(["sales_2023", "sales_2024", "salesx"], names)

    def test_columns(self):
        cnxn = self.connect()
        cols = [(r.column_name, r.data_type, r.type_name, r.column_size, r.buffer_length,
                 r.decimal_digits, r.remarks, r.ordinal_position, r.is_nullable)
                for r in cnxn.cursor().columns(table="customers")]
        self.assertEqual([
            ("id", 4, "int", 11, 4, None, "", 1, "YES"),
            ("name", 12, "string", 334, 334, None, "customer name", 2, "YES"),
            ("city", 0, "varchar(30)", 334, 334, None, "Wohnort (Stadt)", 3, "YES"),
            ("balance", 3, "decimal(12,2)", 11, 8, None, "", 4, "YES"),
            ("created", 93, "timestamp", 334, 334, None, "", 5, "YES"),
        ], cols)

    def test_type_info_and_keys(self):
        cnxn = self.connect()
        types = [(r.type_name, r.data_type, r.column_size) for r in cnxn.cursor().getTypeInfo()]
        self.assertEqual(15, len(types))
        self.assertEqual(("INT", 4, 4), types[0])
        self.assertEqual(("STRING", 12, 334), types[1])
        self.assertEqual(("FLOAT", 6, 4), types[-1])
        self.assertEqual([], cnxn.cursor().primaryKeys("customers").fetchall())
        self.assertEqual([], self.emu.requests(self.project))


class PyodbcErrors(PyodbcCase):
    def assertFails(self, cnxn, sql, state, text, *params):
        import pyodbc
        with self.assertRaises(pyodbc.Error) as ctx:
            cnxn.cursor().execute(sql, *params)
        self.assertEqual(state, ctx.exception.args[0])
        self.assertIn(text, ctx.exception.args[1])

    def test_service_error(self):
        cnxn = self.connect()
        self.assertFails(cnxn, "select * from nosuch", "01000",
                         "VKL Service response: no such table: nosuch")
        self.assertEqual([(1,)], self.rows(cnxn, "select 1"))

    def test_failed_job_and_time_out(self):
        cnxn = self.connect(JOBTIMEOUT="1")
        self.emu.fault(self.project, match="status", kind="job_failed", message="quota exceeded")
        self.assertFails(cnxn, "select 1", "01000", "VKL Service response: quota exceeded")
        self.emu.fault(self.project, match="status", kind="never_finish", count=50)
        self.assertFails(cnxn, "select 2", "HY000", "VKL Service Response Time Out.")
        self.emu.reset(self.project)
        self.assertEqual([(3,)], self.rows(cnxn, "select 3"))

    def test_result_that_ends_short_fails_the_fetch(self):
        import json
        import pyodbc
        cnxn = self.connect()
        cur = cnxn.cursor()
        cur.execute("select id from numbers order by id")
        self.assertEqual(100, len(cur.fetchmany(100)))
        # Page 2 comes back without rows while the result has 250.
        page = {"is_success": True, "message": "", "job_id": "j", "job_type": "QUERY",
                "input_size": 0, "row_count": 250, "schema": [{"id": "INT"}], "rows": []}
        self.emu.fault(self.project, match="result", kind="status", status=200,
                       body=json.dumps(page))
        with self.assertRaises(pyodbc.Error) as ctx:
            cur.fetchall()
        self.assertEqual("HY000", ctx.exception.args[0])
        self.assertIn("VKL ODBC Unreadable service answer: the result ended after 100 of 250 rows",
                      ctx.exception.args[1])

    def test_parameters_are_not_supported(self):
        cnxn = self.connect()
        self.assertFails(cnxn, "select ?", "HYC00", "not currently supported", 1)
        self.assertEqual([(4,)], self.rows(cnxn, "select 4"))

    def test_refusals_of_the_driver_carry_their_sqlstate(self):
        import pyodbc
        keys = e2e.aksk_keys(self.project)
        del keys["PROJECTID"]
        with self.assertRaises(pyodbc.Error) as ctx:
            pyodbc.connect(e2e.conn_str(keys), autocommit=True)
        self.assertEqual("08001", ctx.exception.args[0])
        self.assertIn("PROJECTID cannot be empty", ctx.exception.args[1])

        cnxn = self.connect()
        self.assertFails(cnxn, " ; ", "HY010", "No SQL to process")
        with self.assertRaises(pyodbc.Error) as ctx:
            cnxn.getinfo(pyodbc.SQL_KEYWORDS)
        self.assertEqual("HYC00", ctx.exception.args[0])
        self.assertIn("Input InfoType 89 not currently supported", ctx.exception.args[1])
        self.assertEqual([(5,)], self.rows(cnxn, "select 5"))


if __name__ == "__main__":
    unittest.main()
