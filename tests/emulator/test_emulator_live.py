"""The running emulator over HTTPS: authorisation, jobs, paging, synchronous
answers, describe, request record and faults."""

import calendar
import http.client
import json
import os
import socket
import ssl
import sys
import threading
import time
import unittest
import urllib.parse
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import vkl_test_signer  # noqa: E402

AK = "EMUAK0000000000000001"
SK = "emu-secret-key-0001"
SYNC = ["vkl.sql.syncMode.enabled=true"]


def emulator_port():
    with open(os.environ["VORN_EMULATOR_PORT_FILE"]) as port_file:
        return int(port_file.read())


PORT = emulator_port()
# The fixture writes the PEM file of the emulator's CA beside the port file.
CA_FILE = os.path.join(os.path.dirname(os.environ["VORN_EMULATOR_PORT_FILE"]), "ca.pem")
CONTEXT = ssl.create_default_context(cafile=CA_FILE)


class Answer:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers
        self.text = body.decode("utf-8")

    def json(self):
        return json.loads(self.text)


def exchange(method, target, headers=(), body=b""):
    conn = http.client.HTTPSConnection("127.0.0.1", PORT, context=CONTEXT, timeout=30)
    try:
        conn.putrequest(method, target, skip_host=True, skip_accept_encoding=True)
        for name, value in headers:
            conn.putheader(name, value.encode())  # UTF-8, as the driver sends it
        if method == "POST":
            conn.putheader("Content-Length", str(len(body)))
        conn.endheaders(body if method == "POST" else None)
        response = conn.getresponse()
        return Answer(response.status, response.getheaders(), response.read())
    finally:
        conn.close()


def control(action, spec):
    answer = exchange("POST", "/_emu/" + action, [("Content-Type", "application/json")],
                      json.dumps(spec).encode())
    if answer.status != 200:
        raise AssertionError("control %s: %d %s" % (action, answer.status, answer.text))


def records(project):
    answer = exchange("GET", "/_emu/requests?project=" + project)
    return answer.json()["requests"]


class Service:
    """A signing client of one project."""

    def __init__(self, project, sk=SK, token=None):
        self.project = project
        self.sk = sk
        self.token = token

    def call(self, method, path, body=b""):
        target = "/v1.0/%s%s" % (urllib.parse.quote(self.project), path)
        if self.token is not None:
            headers = [("Content-Type", "application/json"), ("X-Auth-Token", self.token)]
        else:
            sdk_date = time.strftime("%Y%m%dT%H%M%SZ", time.gmtime())
            signed = {"Content-Type": "application/json", "Host": "127.0.0.1:%d" % PORT,
                      "X-Project-Id": self.project, "X-Sdk-Date": sdk_date}
            auth = vkl_test_signer.sign(AK, self.sk, "emu-region", method, target, signed, body, sdk_date)
            headers = [("Authorization", auth)] + sorted(signed.items())
        return exchange(method, target, headers, body)

    def submit(self, sql, db="db1", conf=None):
        spec = {"currentdb": db, "sql": sql, "queue_name": "default"}
        if conf:
            spec["conf"] = conf
        return self.call("POST", "/jobs/submit-job", json.dumps(spec, ensure_ascii=False).encode() + b"\n")

    def status(self, job):
        return self.call("GET", "/jobs/%s/status" % job)

    def page(self, job, page, size=100):
        return self.call("GET", "/jobs/%s?current-page=%d&page-size=%d" % (job, page, size))

    def wait(self, job, limit=20):
        for _ in range(limit):
            status = self.status(job).json()["status"]
            if status != "RUNNING":
                return status
        raise AssertionError("job %s never ended" % job)

    def query(self, sql, db="db1"):
        submitted = self.submit(sql, db).json()
        assert submitted["is_success"], submitted
        assert self.wait(submitted["job_id"]) == "FINISHED"
        return self.page(submitted["job_id"], 1).json()


def new_project(tag):
    project = "%s-%s" % (tag, uuid.uuid4().hex[:12])
    control("reset", {"project": project})
    return project


class CertificateTest(unittest.TestCase):
    def test_certificate_names_both_loopback_names_and_chains_to_the_ca(self):
        for name in ("127.0.0.1", "localhost"):
            with socket.create_connection(("127.0.0.1", PORT), timeout=30) as raw:
                with CONTEXT.wrap_socket(raw, server_hostname=name) as tls:
                    self.assertIn(("IP Address", "127.0.0.1"), tls.getpeercert()["subjectAltName"])
        # Only the emulator's CA vouches for it, not the system store; and the
        # server presents a certificate that the CA issued, not the CA itself.
        with socket.create_connection(("127.0.0.1", PORT), timeout=30) as raw:
            with self.assertRaises(ssl.SSLCertVerificationError):
                ssl.create_default_context().wrap_socket(raw, server_hostname="127.0.0.1")
        with open(CA_FILE) as pem:
            ca_der = ssl.PEM_cert_to_DER_cert(pem.read())
        with socket.create_connection(("127.0.0.1", PORT), timeout=30) as raw:
            with CONTEXT.wrap_socket(raw, server_hostname="127.0.0.1") as tls:
                self.assertNotEqual(ca_der, tls.getpeercert(binary_form=True))


class AuthorisationTest(unittest.TestCase):
    def test_signed_request_is_accepted_and_wrong_signature_refused(self):
        project = new_project("sig")
        good = Service(project).submit("select 1")
        self.assertEqual(200, good.status, good.text)
        self.assertTrue(good.json()["is_success"])
        bad = Service(project, sk="not-the-secret").submit("select 1")
        self.assertEqual(401, bad.status)
        self.assertEqual("VKL.0401", bad.json()["error_code"])
        unsigned = exchange("GET", "/v1.0/%s/jobs/x/status" % project)
        self.assertEqual(401, unsigned.status)

    def test_signed_page_request_with_query(self):
        project = new_project("sigq")
        service = Service(project)
        job = service.submit("select 1").json()["job_id"]
        service.wait(job)
        answer = service.page(job, 1)
        self.assertEqual(200, answer.status, answer.text)

    def test_project_header_must_match_the_path(self):
        project = new_project("hdr")
        sdk_date = time.strftime("%Y%m%dT%H%M%SZ", time.gmtime())
        target = "/v1.0/%s/jobs/x/status" % project
        signed = {"Host": "h", "X-Project-Id": "someone-else", "X-Sdk-Date": sdk_date}
        auth = vkl_test_signer.sign(AK, SK, "r", "GET", target, signed, b"", sdk_date)
        answer = exchange("GET", target, [("Authorization", auth)] + sorted(signed.items()))
        self.assertEqual(401, answer.status)
        self.assertIn("X-Project-Id", answer.text)
        # The header's UTF-8 bytes name a project outside ASCII.
        self.assertEqual(200, Service(new_project("pr\u00e9")).submit("select 1").status)

    def test_token_flow(self):
        project = new_project("tok")
        body = json.dumps({"auth": {"identity": {"methods": ["password"], "password": {"user": {
            "name": "emuuser", "password": "emu-Pass_01", "domain": {"name": "emuaccount"}}}},
            "scope": {"project": {"id": project}}}}).encode()
        answer = exchange("POST", "/v3/auth/tokens", [("Content-Type", "application/json")], body)
        self.assertEqual(201, answer.status)
        token = dict(answer.headers)["X-Subject-Token"]
        expires = answer.json()["token"]["expires_at"]
        stamp = calendar.timegm(time.strptime(expires[:19], "%Y-%m-%dT%H:%M:%S"))
        self.assertAlmostEqual(time.time() + 3600, stamp, delta=5)
        self.assertTrue(Service(project, token=token).submit("select 1").json()["is_success"])
        self.assertEqual("/v3/auth/tokens", records(project)[0]["path"])


class JobsTest(unittest.TestCase):
    def test_paging_of_a_long_result(self):
        project = new_project("page")
        service = Service(project)
        job = service.submit("select id, label from numbers order by id").json()["job_id"]
        early = service.page(job, 1).json()
        self.assertFalse(early["is_success"], "a result before FINISHED was reported")
        self.assertEqual("FINISHED", service.wait(job))
        small = service.page(job, 2, 7).json()["rows"]
        self.assertEqual(([8, "row 8"], 7), (small[0], len(small)))
        pages = [service.page(job, n).json() for n in (1, 2, 2, 3, 4, 4)]
        self.assertEqual([100, 100, 100, 50, 0, 0], [len(p["rows"]) for p in pages])
        self.assertEqual([250] * 6, [p["row_count"] for p in pages])
        self.assertEqual([1, "row 1"], pages[0]["rows"][0])
        self.assertEqual([101, "row 101"], pages[1]["rows"][0])
        self.assertEqual([250, "row 250"], pages[3]["rows"][-1])
        self.assertEqual([{"id": "INT"}, {"label": "STRING"}], pages[4]["schema"])
        # Once the page of the last row has gone out, the rows are let go: the
        # job keeps its status and count, and a page past the end still
        # answers, while a page of rows is refused.
        self.assertEqual((250, "FINISHED"), (service.page(job, 9).json()["row_count"],
                                             service.wait(job)))
        self.assertIn("no longer kept", service.page(job, 3).json()["message"])

    def test_running_polls_setting(self):
        project = new_project("polls")
        service = Service(project)
        control("config", {"project": project, "running_polls": 3})
        job = service.submit("insert into empty_table values (1, 'a')").json()
        self.assertEqual("INSERT", job["job_type"])
        statuses = [service.status(job["job_id"]).json() for _ in range(4)]
        self.assertEqual(["RUNNING"] * 3 + ["FINISHED"], [s["status"] for s in statuses])
        self.assertEqual(1, statuses[-1]["result_count"])
        self.assertEqual("insert into empty_table values (1, 'a')", statuses[-1]["statement"])
        control("config", {"project": project, "running_polls": 0})
        job = service.submit("select 1").json()["job_id"]
        self.assertEqual("FINISHED", service.status(job).json()["status"])

    def test_synchronous_answers(self):
        project = new_project("sync")
        service = Service(project)
        answer = service.submit("select name from customers where id = 1", conf=["a=b"] + SYNC)
        self.assertEqual([{"name": "STRING"}], answer.json()["schema"])
        self.assertEqual([["Anna Müller"]], answer.json()["rows"])
        self.assertIn('"rows":[["Anna Müller"]]', answer.text, "text must be sent unescaped")
        # Every row went out with the answer: the job keeps none for pages.
        self.assertIn("no longer kept", service.page(answer.json()["job_id"], 1).json()["message"])
        plain = service.submit("select name from customers").json()
        self.assertNotIn("rows", plain)
        ddl = service.submit("create table t (a INT)", conf=SYNC).json()
        self.assertEqual("DDL", ddl["job_type"])
        self.assertNotIn("rows", ddl)
        empty = service.submit("select * from empty_table", conf=SYNC).json()
        self.assertEqual([], empty["rows"])

    def test_cells_of_every_type(self):
        project = new_project("cells")
        service = Service(project)
        answer = service.submit("select * from all_types where id = 1", conf=SYNC)
        self.assertIn('[[1,true,127,32767,2147483647,9223372036854775807,1.5,3.141592653589793,12.50,'
                      '"hello","varchar text","abc","2024-01-15",1705314645123]]', answer.text)

    def test_sql_errors_and_databases(self):
        project = new_project("err")
        service = Service(project)
        error = service.submit("select * from nosuch").json()
        self.assertFalse(error["is_success"])
        self.assertEqual("no such table: nosuch", error["message"])
        self.assertIn("job_id", error)
        self.assertFalse(service.submit("select 1", db="nodb").json()["is_success"])
        # A body that is not UTF-8 is refused, as a JSON service refuses it.
        bad = service.call("POST", "/jobs/submit-job", b'{"currentdb":"db1","sql":"select \'a\xff\xfeb\'"}')
        self.assertEqual((400, "VKL.0400"), (bad.status, bad.json()["error_code"]))
        self.assertIn("not valid UTF-8: byte 0xff at offset 35", bad.json()["error_msg"])
        self.assertEqual([[3]], service.submit("select count(*) from orders", db="db2", conf=SYNC).json()["rows"])
        # An empty current database is the database "default".
        self.assertTrue(service.submit("create table x (a INT)", db="").json()["is_success"])
        self.assertEqual([["default", "x"]], service.submit("show tables", db="", conf=SYNC).json()["rows"])

    def test_writes_stay_in_their_project(self):
        first, second = Service(new_project("w1")), Service(new_project("w2"))
        first.submit("drop table customers")
        self.assertFalse(first.submit("select * from customers").json()["is_success"])
        self.assertEqual(5, len(second.submit("select * from customers", conf=SYNC).json()["rows"]))
        control("reset", {"project": first.project})
        self.assertTrue(first.submit("select * from customers").json()["is_success"])

    def test_describe(self):
        project = new_project("desc")
        service = Service(project)
        answer = service.call("GET", "/databases/db1/tables/all_types").json()
        self.assertEqual(14, answer["column_count"])
        types = {c["column_name"]: c["type"] for c in answer["columns"]}
        self.assertEqual("decimal(10,2)", types["c_decimal"])
        self.assertEqual("varchar(20)", types["c_varchar"])
        self.assertEqual({"column_name": "id", "type": "int", "is_partition_column": False,
                          "description": ""}, answer["columns"][0])
        self.assertEqual(404, service.call("GET", "/databases/db1/tables/nosuch").status)
        self.assertEqual(404, service.status("no-such-job").status)

    def test_show_tables_job(self):
        project = new_project("show")
        service = Service(project)
        page = service.query("show tables like 'sales_*'", db="db2")
        self.assertEqual([["db2", "sales_2023"], ["db2", "sales_2024"]], page["rows"])


class RecordAndFaultsTest(unittest.TestCase):
    def test_record_holds_method_path_query_headers_and_body(self):
        project = new_project("rec")
        service = Service(project)
        job = service.submit("select 'ü'").json()["job_id"]
        service.page(job, 3)
        recorded = records(project)
        self.assertEqual(2, len(recorded))
        self.assertEqual(["POST", "GET"], [r["method"] for r in recorded])
        self.assertEqual("/v1.0/%s/jobs/submit-job" % project, recorded[0]["path"])
        self.assertIn("select 'ü'", recorded[0]["body"])
        self.assertEqual("/v1.0/%s/jobs/%s" % (project, job), recorded[1]["path"])
        self.assertEqual("current-page=3&page-size=100", recorded[1]["query"])
        names = [h[0] for h in recorded[1]["headers"]]
        self.assertEqual(["Authorization", "Content-Type", "Host", "X-Project-Id", "X-Sdk-Date"], names)
        self.assertEqual([], records(new_project("rec-other")))

    def test_http_status_fault_then_normal(self):
        project = new_project("f-status")
        service = Service(project)
        control("fault", {"project": project, "match": "submit", "kind": "status", "status": 503,
                          "body": "overloaded", "count": 2})
        self.assertEqual((503, "overloaded"), (service.submit("select 1").status, service.submit("select 1").text))
        self.assertEqual(200, service.submit("select 1").status)

    def test_not_json_and_not_success(self):
        project = new_project("f-body")
        service = Service(project)
        control("fault", {"project": project, "match": "submit", "kind": "not_json"})
        control("fault", {"project": project, "match": "submit", "kind": "not_success", "message": "nope"})
        first = service.submit("select 1")
        self.assertEqual(200, first.status)
        with self.assertRaises(ValueError):
            json.loads(first.text)
        second = service.submit("select 1").json()
        self.assertEqual((False, "nope"), (second["is_success"], second["message"]))
        self.assertIn("job_id", second)

    def test_job_failed_cancelled_and_never_finish(self):
        project = new_project("f-job")
        service = Service(project)
        control("fault", {"project": project, "match": "submit", "kind": "job_failed", "message": "disk full"})
        job = service.submit("insert into empty_table values (9, 'x')").json()
        self.assertTrue(job["is_success"])
        final = [service.status(job["job_id"]).json() for _ in range(2)][-1]
        self.assertEqual(("FAILED", "disk full"), (final["status"], final["message"]))
        self.assertEqual([], service.submit("select * from empty_table", conf=SYNC).json()["rows"],
                         "a failed job must not have run")

        job = service.submit("select 1").json()["job_id"]
        control("fault", {"project": project, "match": "status", "kind": "job_cancelled"})
        self.assertEqual("CANCELLED", service.status(job).json()["status"])
        self.assertFalse(service.page(job, 1).json()["is_success"])

        control("fault", {"project": project, "match": "any", "kind": "never_finish"})
        job = service.submit("select 1").json()["job_id"]
        self.assertEqual(["RUNNING"] * 5, [service.status(job).json()["status"] for _ in range(5)])

    def test_delay_and_drop(self):
        project = new_project("f-net")
        service = Service(project)
        control("fault", {"project": project, "match": "status", "kind": "delay", "seconds": 0.6})
        started = time.monotonic()
        self.assertEqual(404, service.status("nothing").status)
        self.assertGreaterEqual(time.monotonic() - started, 0.6)
        control("fault", {"project": project, "match": "any", "kind": "drop"})
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionError, ssl.SSLError)):
            service.submit("select 1")
        self.assertEqual(200, service.submit("select 1").status)

    def test_token_fault(self):
        project = new_project("f-tok")
        control("fault", {"project": project, "match": "token", "kind": "not_success"})
        body = json.dumps({"auth": {"identity": {"methods": ["password"], "password": {"user": {
            "name": "emuuser", "password": "emu-Pass_01", "domain": {"name": "emuaccount"}}}},
            "scope": {"project": {"id": project}}}}).encode()
        refused = exchange("POST", "/v3/auth/tokens", [("Content-Type", "application/json")], body)
        self.assertEqual(401, refused.status)
        self.assertNotIn("X-Subject-Token", dict(refused.headers))
        accepted = exchange("POST", "/v3/auth/tokens", [("Content-Type", "application/json")], body)
        self.assertEqual(201, accepted.status)

    def test_spoilt_answers_come_from_calls_that_ran(self):
        project = new_project("f-spoil")
        service = Service(project)
        control("fault", {"project": project, "match": "submit", "kind": "unreadable", "form": "truncated"})
        spoilt = service.submit("create table made (a INT)")
        self.assertEqual(200, spoilt.status)
        with self.assertRaises(ValueError):
            json.loads(spoilt.text)
        # The statement ran: the table exists.
        self.assertTrue(service.submit("select a from made", conf=SYNC).json()["is_success"])

        job = service.submit("select id from numbers").json()["job_id"]
        self.assertEqual("FINISHED", service.wait(job))
        control("fault", {"project": project, "match": "result", "kind": "big_counts"})
        page = service.page(job, 1).json()
        self.assertEqual((5000000000, 100), (page["row_count"], len(page["rows"])))
        control("fault", {"project": project, "match": "result", "kind": "unreadable", "form": "empty"})
        emptied = service.page(job, 2)
        self.assertEqual((200, ""), (emptied.status, emptied.text))

        control("fault", {"project": project, "match": "token", "kind": "unreadable"})
        body = json.dumps({"auth": {"identity": {"methods": ["password"], "password": {"user": {
            "name": "emuuser", "password": "emu-Pass_01", "domain": {"name": "emuaccount"}}}},
            "scope": {"project": {"id": project}}}}).encode()
        issued = exchange("POST", "/v3/auth/tokens", [("Content-Type", "application/json")], body)
        self.assertEqual(201, issued.status)
        self.assertIn("X-Subject-Token", dict(issued.headers))
        self.assertTrue(issued.text.startswith("<html>"))

    def test_parallel_projects(self):
        failures = []

        def work(index):
            try:
                service = Service(new_project("par%d" % index))
                service.submit("create table mine (a INT)")
                service.submit("insert into mine values (%d)" % index)
                rows = service.submit("select a from mine", conf=SYNC).json()["rows"]
                if rows != [[index]]:
                    failures.append((index, rows))
            except Exception as error:  # reported below
                failures.append((index, repr(error)))

        threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual([], failures)


if __name__ == "__main__":
    unittest.main()
