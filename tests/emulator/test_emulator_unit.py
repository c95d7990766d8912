"""The emulator's pieces without a running server: signature check, type
names and cells, statements on the seeded databases, faults and jobs."""

import os
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.environ.get("VORN_EMULATOR_DIR", os.path.join(HERE, "..", "..", "emulator")))
sys.path.insert(0, HERE)

import emu_auth  # noqa: E402
import emu_sql  # noqa: E402
import emu_state  # noqa: E402
import vkl_test_signer  # noqa: E402

AK = "EMUAK0000000000000001"
SK = "emu-secret-key-0001"


def signed_request(method="GET", path="/v1.0/p1/jobs/j1/status", body=b"", sdk_date=None,
                   sk=SK, ak=AK, region="r-1", extra=None):
    sdk_date = sdk_date or time.strftime("%Y%m%dT%H%M%SZ", time.gmtime())
    headers = {"Content-Type": "application/json", "Host": "127.0.0.1:1234",
               "X-Project-Id": "p1", "X-Sdk-Date": sdk_date}
    headers.update(extra or {})
    auth = vkl_test_signer.sign(ak, sk, region, method, path, headers, body, sdk_date)
    items = [("Authorization", auth)] + sorted(headers.items())
    resource, _, query = path.partition("?")
    return resource, query, items


class SignatureTest(unittest.TestCase):
    def verify(self, method, resource, query, items, body, now=None):
        return emu_auth.verify_signature(method, resource, query, items, body, now)

    def test_correct_requests_are_accepted(self):
        resource, query, items = signed_request()
        self.assertEqual("emuuser", self.verify("GET", resource, query, items, b""))
        body = '{"currentdb":"db1","sql":"select \'Müller\'","queue_name":"default"}\n'.encode()
        resource, query, items = signed_request("POST", "/v1.0/p1/jobs/submit-job", body)
        self.assertEqual("emuuser", self.verify("POST", resource, query, items, body))
        resource, query, items = signed_request(path="/v1.0/p1/jobs/j1?current-page=2&page-size=100")
        self.assertEqual("current-page=2&page-size=100", query)
        self.verify("GET", resource, query, items, b"")

    def test_emulator_and_test_signer_agree_byte_for_byte(self):
        headers = [("Content-Type", "application/json"), ("Host", "h:1"),
                   ("X-Project-Id", "p"), ("X-Sdk-Date", "20240115T103045Z")]
        ours = emu_auth.authorization(AK, SK, "r-1", "GET", "/v1.0/p/jobs/j", "a=1&b=2",
                                      headers, b"", "20240115T103045Z")
        theirs = vkl_test_signer.sign(AK, SK, "r-1", "GET", "/v1.0/p/jobs/j?a=1&b=2",
                                      dict(headers), b"", "20240115T103045Z")
        self.assertEqual(theirs, ours)
        self.assertTrue(ours.startswith(
            "SDK-HMAC-SHA256 Credential=EMUAK0000000000000001/20240115/r-1/vkl/sdk_request, "
            "SignedHeaders=content-type;host;x-project-id;x-sdk-date, Signature="))

    def test_canonical_request_layout(self):
        text = emu_auth.canonical_request("GET", "/v1.0/p/jobs/j/status", "",
                                          [("Host", "h"), ("X-Sdk-Date", "d")], b"")
        self.assertEqual(
            "GET\n/v1.0/p/jobs/j/status/\n\nhost:h\nx-sdk-date:d\n\nhost;x-sdk-date\n"
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", text)

    def test_tampered_requests_are_refused(self):
        body = b'{"sql":"select 1"}'
        resource, query, items = signed_request("POST", "/v1.0/p1/jobs/submit-job", body)
        with self.assertRaises(emu_auth.AuthError):
            self.verify("POST", resource, query, items, b'{"sql":"select 2"}')
        with self.assertRaises(emu_auth.AuthError):
            self.verify("GET", resource, query, items, body)
        with self.assertRaises(emu_auth.AuthError):
            self.verify("POST", resource + "x", query, items, body)
        with self.assertRaises(emu_auth.AuthError):
            self.verify("POST", resource, "a=1", items, body)
        changed = [(n, "127.0.0.1:9" if n == "Host" else v) for n, v in items]
        with self.assertRaises(emu_auth.AuthError):
            self.verify("POST", resource, query, changed, body)

    def test_wrong_keys_and_dates_are_refused(self):
        resource, query, items = signed_request(sk="wrong-secret")
        with self.assertRaisesRegex(emu_auth.AuthError, "Signature"):
            self.verify("GET", resource, query, items, b"")
        resource, query, items = signed_request(ak="UNKNOWNAK")
        with self.assertRaisesRegex(emu_auth.AuthError, "Unknown access key"):
            self.verify("GET", resource, query, items, b"")
        old = time.strftime("%Y%m%dT%H%M%SZ", time.gmtime(time.time() - 3600))
        resource, query, items = signed_request(sdk_date=old)
        with self.assertRaisesRegex(emu_auth.AuthError, "too far"):
            self.verify("GET", resource, query, items, b"")
        # A local-time stamp formatted as UTC is off by the zone's offset.
        stamp = time.time()
        resource, query, items = signed_request(sdk_date=time.strftime("%Y%m%dT%H%M%SZ", time.gmtime(stamp)))
        self.verify("GET", resource, query, items, b"", now=stamp + 60)
        with self.assertRaises(emu_auth.AuthError):
            self.verify("GET", resource, query, items, b"", now=stamp + 2 * 3600)

    def test_missing_or_unsigned_headers_are_refused(self):
        resource, query, items = signed_request()
        without_host = [(n, v) for n, v in items if n != "Host"]
        with self.assertRaisesRegex(emu_auth.AuthError, "missing"):
            self.verify("GET", resource, query, without_host, b"")
        with self.assertRaisesRegex(emu_auth.AuthError, "malformed"):
            self.verify("GET", resource, query, [("Authorization", "Basic abc")] + items[1:], b"")
        # Signed without the Host header: refused even with a valid signature.
        sdk_date = time.strftime("%Y%m%dT%H%M%SZ", time.gmtime())
        headers = {"X-Sdk-Date": sdk_date}
        auth = vkl_test_signer.sign(AK, SK, "r", "GET", resource, headers, b"", sdk_date)
        with self.assertRaisesRegex(emu_auth.AuthError, "host"):
            self.verify("GET", resource, "", [("Authorization", auth), ("Host", "h"),
                                              ("X-Sdk-Date", sdk_date)], b"")

    def test_extra_unsigned_headers_do_not_matter(self):
        resource, query, items = signed_request()
        self.verify("GET", resource, query, items + [("Accept", "*/*")], b"")

    def test_headers_differing_only_in_case_are_two_signed_headers(self):
        resource, query, items = signed_request(extra={"x-extra": "b", "X-Extra": "a"})
        self.assertEqual("emuuser", self.verify("GET", resource, query, items, b""))


class TokenRequestTest(unittest.TestCase):
    BODY = ('{"auth":{"identity":{"methods":["password"],"password":{"user":{"name":"%s",'
            '"password":"%s","domain":{"name":"%s"}}}},"scope":{"project":{"id":"%s"}}}}')

    def test_known_users(self):
        self.assertEqual(("emuuser", "p9"), emu_auth.check_token_request(
            self.BODY % ("emuuser", "emu-Pass_01", "emuaccount", "p9")))
        self.assertEqual(("quoteuser", "p9"), emu_auth.check_token_request(
            self.BODY % ("quoteuser", 'pa\\"ss\\\\word', "emuaccount", "p9")))

    def test_refusals(self):
        for args in (("emuuser", "wrong", "emuaccount", "p"), ("emuuser", "emu-Pass_01", "other", "p"),
                     ("nobody", "emu-Pass_01", "emuaccount", "p")):
            with self.assertRaises(emu_auth.AuthError):
                emu_auth.check_token_request(self.BODY % args)
        # The password with its quote unescaped is not JSON.
        with self.assertRaisesRegex(emu_auth.AuthError, "invalid"):
            emu_auth.check_token_request(self.BODY % ("quoteuser", 'pa"ss\\word', "emuaccount", "p"))

    def test_project_of_an_unparsable_body(self):
        body = self.BODY % ("quoteuser", 'pa"ss\\word', "emuaccount", "proj-7")
        self.assertEqual("proj-7", emu_auth.token_request_project(body))
        self.assertEqual("", emu_auth.token_request_project("garbage"))

    def test_expiry_text_is_utc_in_the_read_format(self):
        self.assertEqual("2024-01-15T10:30:45.000000Z", emu_auth.expires_at_text(1705314645))


class TypesAndCellsTest(unittest.TestCase):
    def test_declared_types(self):
        cases = {
            "DECIMAL(10,2)": ("DECIMAL(10,2)", "decimal(10,2)", "decimal", 2),
            "decimal( 5 , 0 )": ("DECIMAL(5,0)", "decimal(5,0)", "decimal", 0),
            "VARCHAR(20)": ("VARCHAR", "varchar(20)", "text", None),
            "char(3)": ("CHAR", "char(3)", "text", None),
            "TEXT_STRING": ("STRING", "string", "text", None),
            "INTEGER": ("INT", "int", "int", None),
            "BOOLEAN": ("BOOLEAN", "boolean", "bool", None),
            "TIMESTAMP": ("TIMESTAMP", "timestamp", "timestamp", None),
            "BLOBBY": ("BLOBBY", "blobby", "other", None),
        }
        for declared, expected in cases.items():
            t = emu_sql.type_from_declared(declared)
            self.assertEqual(expected, (t.name, t.describe, t.kind, t.scale), declared)
        self.assertIsNone(emu_sql.type_from_declared(""))

    def test_types_of_expressions(self):
        self.assertEqual("INT", emu_sql.type_from_values([1, None, -2 ** 31]).name)
        self.assertEqual("BIGINT", emu_sql.type_from_values([1, 2 ** 31]).name)
        self.assertEqual("DOUBLE", emu_sql.type_from_values([1, 2.5]).name)
        self.assertEqual("STRING", emu_sql.type_from_values([1, "a"]).name)
        self.assertEqual("STRING", emu_sql.type_from_values([None]).name)

    def test_cells(self):
        dec = emu_sql.type_from_declared("DECIMAL(10,2)")
        self.assertEqual("12.50", emu_sql.to_json(emu_sql.encode_cell(dec, 12.5)))
        self.assertEqual("-99999999.99", emu_sql.to_json(emu_sql.encode_cell(dec, -99999999.99)))
        self.assertEqual("7.00", emu_sql.to_json(emu_sql.encode_cell(dec, 7)))
        self.assertEqual("0.1", emu_sql.to_json(emu_sql.encode_cell(emu_sql.type_from_declared("DECIMAL"), 0.1)))
        boolean = emu_sql.type_from_declared("BOOLEAN")
        self.assertIs(True, emu_sql.encode_cell(boolean, 1))
        self.assertIs(False, emu_sql.encode_cell(boolean, "false"))
        ts = emu_sql.type_from_declared("TIMESTAMP")
        self.assertEqual(1705314645123, emu_sql.encode_cell(ts, "2024-01-15 10:30:45.123"))
        self.assertEqual(1705314645000, emu_sql.encode_cell(ts, "2024-01-15T11:30:45+01:00"))
        self.assertEqual(0, emu_sql.encode_cell(ts, "1970-01-01 00:00:00"))
        text = emu_sql.type_from_declared("TEXT_STRING")
        self.assertEqual("5", emu_sql.encode_cell(text, 5))
        self.assertIsNone(emu_sql.encode_cell(text, None))
        self.assertEqual(3.0, emu_sql.encode_cell(emu_sql.type_from_declared("DOUBLE"), 3))

    def test_json_output(self):
        value = {"a": [1, 2.5, None, True, "Müller \"q\"\n"], "b": emu_sql.RawNumber("12.50")}
        self.assertEqual('{"a":[1,2.5,null,true,"Müller \\"q\\"\\n"],"b":12.50}', emu_sql.to_json(value))
        self.assertEqual("null", emu_sql.to_json(float("nan")))


class StatementsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.seed = os.path.join(cls.tmp.name, "seed")
        emu_sql.create_seed(cls.seed)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def setUp(self):
        self.dbs = emu_sql.ProjectDatabases(self.seed, os.path.join(self.tmp.name, self.id()))

    def tearDown(self):
        self.dbs.close()

    def run_sql(self, sql, database="db1"):
        return self.dbs.run(database, sql, emu_sql.job_type_of(sql))

    def test_job_types(self):
        for sql, kind in (("select 1", "QUERY"), ("  (select 1)", "QUERY"), ("SHOW tables", "QUERY"),
                          ("with a as (select 1) select * from a", "QUERY"), ("create table x (a INT)", "DDL"),
                          ("Drop table x", "DDL"), ("grant select on t to u", "DCL"),
                          ("insert into t values (1)", "INSERT"), ("update t set a=1", "INSERT"),
                          ("SET\tx=1", "INSERT"), ("", "INSERT")):
            self.assertEqual(kind, emu_sql.job_type_of(sql), sql)

    def test_query_schema_keeps_declared_types(self):
        result = self.run_sql("select * from all_types order by id")
        self.assertEqual(["INT", "BOOLEAN", "TINYINT", "SMALLINT", "INT", "BIGINT", "FLOAT", "DOUBLE",
                          "DECIMAL(10,2)", "STRING", "VARCHAR", "CHAR", "DATE", "TIMESTAMP"],
                         [t.name for _, t in result.schema])
        self.assertEqual(3, result.count)
        self.assertEqual("[1,true,127,32767,2147483647,9223372036854775807,1.5,3.141592653589793,12.50,"
                         "\"hello\",\"varchar text\",\"abc\",\"2024-01-15\",1705314645123]",
                         emu_sql.to_json(result.rows[0]))
        self.assertEqual([3] + [None] * 13, result.rows[2])
        self.assertEqual("東京", result.rows[1][10])

    def test_empty_result_still_has_types(self):
        result = self.run_sql("select id, name from empty_table")
        self.assertEqual([("id", "INT"), ("name", "STRING")], [(n, t.name) for n, t in result.schema])
        self.assertEqual([], result.rows)

    def test_expressions_and_aliases(self):
        result = self.run_sql("select count(*) as n, max(c_decimal) m, 'x' || c_string s from all_types")
        self.assertEqual([("n", "INT"), ("m", "DOUBLE"), ("s", "STRING")],
                         [(n, t.name) for n, t in result.schema])

    def test_engine_errors(self):
        with self.assertRaisesRegex(emu_sql.SqlError, "no such table: nosuch"):
            self.run_sql("select * from nosuch")
        with self.assertRaisesRegex(emu_sql.SqlError, "not found"):
            self.run_sql("select 1", "nodb")
        with self.assertRaises(emu_sql.SqlError):
            self.run_sql("SET\tx=1")

    def test_created_string_columns_keep_text(self):
        self.run_sql("create table t (string STRING, n INT, s2 string not null, d DECIMAL(6,3))")
        self.assertEqual(1, self.run_sql("insert into t values ('0123', 1, '1e5', 2)").count)
        result = self.run_sql("select * from t")
        self.assertEqual(["0123", 1, "1e5", emu_sql.RawNumber("2.000")], result.rows[0])
        self.assertEqual(["STRING", "INT", "STRING", "DECIMAL(6,3)"], [t.name for _, t in result.schema])
        self.assertEqual(["string", "int", "string", "decimal(6,3)"],
                         [t.describe for _, t, _ in self.dbs.describe("db1", "t")])

    def test_string_rewrite_touches_only_column_types(self):
        sql = "create table s as select string, 'STRING' from t where x = \"STRING\""
        self.assertEqual(sql, emu_sql.store_string_columns(sql))
        self.assertEqual("create table t (`a b` TEXT_STRING, string TEXT_STRING)",
                         emu_sql.store_string_columns("create table t (`a b` STRING, string STRING)"))

    def test_show_tables_and_patterns(self):
        self.assertEqual([["db1", "all_types"], ["db1", "customers"], ["db1", "empty_table"],
                          ["db1", "numbers"]], self.run_sql("show tables").rows)
        self.assertEqual(["sales_2023", "sales_2024"],
                         [r[1] for r in self.run_sql("show tables like 'sales_*'", "db2").rows])
        self.assertEqual(["sales_2023", "sales_2024", "salesx"],
                         [r[1] for r in self.run_sql("show tables like 'SALES*'", "db2").rows])
        self.assertEqual(["orders", "salesx"],
                         [r[1] for r in self.run_sql("show tables like 'ord*|salesx'", "db2").rows])
        self.assertEqual([], self.run_sql("show tables like 'sales%'", "db2").rows)
        self.assertEqual(["orders"], [r[1] for r in self.run_sql("show tables in db2 like 'o*'").rows])
        self.assertEqual([["database", "STRING"], ["tableName", "STRING"]],
                         [[n, t.name] for n, t in self.run_sql("show tables").schema])

    def test_describe(self):
        columns = self.dbs.describe("db1", "CUSTOMERS")
        self.assertEqual([("id", "int", ""), ("name", "string", "customer name"),
                          ("city", "varchar(30)", "Wohnort (Stadt)"), ("balance", "decimal(12,2)", ""),
                          ("created", "timestamp", "")],
                         [(n, t.describe, d) for n, t, d in columns])
        self.assertIsNone(self.dbs.describe("db1", "nosuch"))
        self.assertIsNone(self.dbs.describe("nodb", "customers"))
        rows = self.run_sql("describe numbers").rows
        self.assertEqual(["id", "int", "1 to 250"], rows[0])

    def test_projects_have_their_own_copies(self):
        other = emu_sql.ProjectDatabases(self.seed, os.path.join(self.tmp.name, self.id() + "-other"))
        try:
            self.run_sql("delete from numbers")
            self.assertEqual([[0]], self.run_sql("select count(*) from numbers").rows)
            self.assertEqual([[250]], other.run("db1", "select count(*) from numbers", "QUERY").rows)
        finally:
            other.close()


class FaultsAndJobsTest(unittest.TestCase):
    def project(self):
        tmp = tempfile.mkdtemp()
        self.addCleanup(lambda: __import__("shutil").rmtree(tmp, ignore_errors=True))
        return emu_state.Project("p", tmp, tmp)

    def test_fault_validation(self):
        for spec in ({"kind": "boom"}, {"kind": "drop", "match": "nothing"},
                     {"kind": "status", "status": 42}, {"kind": "drop", "count": -1},
                     {"kind": "delay", "seconds": "x"}, {"kind": "unreadable", "form": "xml"},
                     {"kind": "big_counts", "value": "many"}):
            with self.assertRaises(emu_state.FaultError, msg=spec):
                emu_state.Fault(spec)

    def test_faults_are_consumed_in_order_and_by_count(self):
        project = self.project()
        project.faults.append(emu_state.Fault({"match": "status", "kind": "status", "count": 2}))
        project.faults.append(emu_state.Fault({"match": "any", "kind": "drop"}))
        self.assertEqual("drop", project.take_fault("submit").kind)
        self.assertIsNone(project.take_fault("submit"))
        self.assertEqual("status", project.take_fault("status").kind)
        self.assertEqual("status", project.take_fault("status").kind)
        self.assertIsNone(project.take_fault("status"))

    def test_unlimited_fault_and_job_faults_wait_for_job_calls(self):
        project = self.project()
        project.faults.append(emu_state.Fault({"kind": "job_failed"}))
        self.assertIsNone(project.take_fault("result"))
        self.assertIsNone(project.take_fault("token"))
        self.assertEqual("job_failed", project.take_fault("status").kind)
        project.faults.append(emu_state.Fault({"match": "token", "kind": "status", "count": 0}))
        for _ in range(5):
            self.assertIsNotNone(project.take_fault("token"))

    def test_spoilt_answers(self):
        body = b'{"is_success":true,"message":"","row_count":250,"schema":[],"rows":[["row_count\\":1"]]}'
        cases = [
            ({"kind": "unreadable"}, b"<html><body><h1>502 Bad Gateway</h1></body></html>"),
            ({"kind": "unreadable", "form": "truncated"}, body[:len(body) // 2]),
            ({"kind": "unreadable", "form": "empty"}, b""),
            ({"kind": "unreadable", "form": "bad_utf8"}, body.replace(b'"message":"', b'"message":"\xff\xfe')),
            ({"kind": "unreadable", "form": "deep"}, b"[" * 1000 + b"]" * 1000),
            ({"kind": "big_counts"}, body.replace(b"250", b"5000000000")),
            ({"kind": "big_counts", "value": 7}, body.replace(b"250", b"7")),
        ]
        for spec, expected in cases:
            self.assertEqual(expected, emu_state.Fault(spec).spoil(body), spec)

    def test_project_keeps_only_its_latest_requests_jobs_and_tokens(self):
        project = self.project()
        kept = emu_state.KEPT_LATEST
        jobs = [emu_state.Job("QUERY", "select 1", "q", "u", "db1", 0) for _ in range(kept + 2)]
        for index, job in enumerate(jobs):
            project.record({"path": str(index)})
            project.add_job(job)
            project.add_token("t%d" % index, "u", 0)
        self.assertEqual((kept, "2"), (len(project.requests), project.requests[0]["path"]))
        self.assertEqual([job.id for job in jobs[2:]], list(project.jobs))
        self.assertEqual((kept, "t2"), (len(project.tokens), next(iter(project.tokens))))

    def test_job_polls(self):
        job = emu_state.Job("QUERY", "select 1", "q", "u", "db1", 2)
        self.assertFalse(job.finished())
        self.assertEqual(["RUNNING", "RUNNING"], [job.poll(), job.poll()])
        self.assertFalse(job.finished(), "finished before FINISHED was reported")
        self.assertEqual("FINISHED", job.poll())
        self.assertTrue(job.finished())
        self.assertTrue(emu_state.Job("QUERY", "select 1", "q", "u", "db1", 0).finished())
        stuck = emu_state.Job("QUERY", "select 1", "q", "u", "db1", 0)
        stuck.never_finish = True
        self.assertEqual("RUNNING", stuck.poll())
        self.assertFalse(stuck.finished())


if __name__ == "__main__":
    unittest.main()
