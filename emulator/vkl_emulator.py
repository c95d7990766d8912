#!/usr/bin/python3
"""Local emulator of the VKL analytics service and its identity service, for tests.

Serves HTTPS on 127.0.0.1 with a certificate for 127.0.0.1 and localhost,
issued at start by a CA of its own (its PEM file goes where --ca-file says),
checks request signatures and tokens, runs SQL with sqlite3 on seeded
databases, and offers a control API under /_emu/ (see README.md)."""

import sys

sys.dont_write_bytecode = True

import argparse
import json
import os
import shutil
import signal
import socket
import socketserver
import ssl
import subprocess
import tempfile
import threading
import time
import traceback
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import emu_auth  # noqa: E402
import emu_sql  # noqa: E402
import emu_state  # noqa: E402
from emu_sql import to_json  # noqa: E402

SERVICE_PREFIX = "/v1.0/"
TOKEN_PATH = "/v3/auth/tokens"
CONTROL_PREFIX = "/_emu/"
SYNC_MODE_KEY = "vkl.sql.syncMode.enabled"


def error_body(code, message):
    return to_json({"error_code": code, "error_msg": message})


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VKLEmulator/1.0"
    timeout = 60

    # ------------------------------------------------------------ plumbing

    def log_message(self, fmt, *args):
        self.server.log("%s %s" % (self.address_string(), fmt % args))

    def do_GET(self):
        self.dispatch()

    def do_POST(self):
        self.dispatch()

    def do_DELETE(self):
        self.dispatch()

    def do_PUT(self):
        self.dispatch()

    def read_body(self):
        length = self.headers.get("Content-Length")
        if length is not None:
            try:
                size = int(length)
            except ValueError:
                size = 0
            return self.rfile.read(size) if size > 0 else b""
        if "chunked" in (self.headers.get("Transfer-Encoding") or "").lower():
            chunks = []
            while True:
                line = self.rfile.readline(65537)
                size = int(line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline(65537) not in (b"\r\n", b"\n", b""):
                        pass
                    break
                chunks.append(self.rfile.read(size))
                self.rfile.readline(65537)
            return b"".join(chunks)
        return b""

    def header_items(self):
        # Header values arrive decoded as Latin-1; give UTF-8 text back.
        items = []
        for name, value in self.headers.raw_items():
            try:
                value = value.encode("latin-1").decode("utf-8")
            except (UnicodeEncodeError, UnicodeDecodeError):
                pass
            items.append((name, value))
        return items

    def send(self, status, body, headers=()):
        data = body.encode("utf-8", "replace") if isinstance(body, str) else body
        spoiler = getattr(self, "spoiler", None)
        if spoiler is not None and status in (200, 201):
            data = spoiler.spoil(data)
            self.spoiler = None
        self.send_response(status)
        self.send_header("Content-Type", "application/json;charset=UTF-8")
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        # Headers and body leave in one write: written apart, the body would
        # wait for the client's delayed ACK of the headers (Nagle's
        # algorithm), some 40 ms on every answer.
        self._headers_buffer.append(b"\r\n" + data)
        self.flush_headers()

    def dispatch(self):
        try:
            self.route()
        except (ConnectionError, ssl.SSLError, socket.timeout):
            self.close_connection = True
        except Exception:  # a fault of the emulator itself: answer and keep serving
            self.server.log(traceback.format_exc())
            try:
                self.send(500, error_body("VKL.9999", "emulator error: %s" % traceback.format_exc(limit=1)))
            except OSError:
                self.close_connection = True

    # ------------------------------------------------------------ routing

    def route(self):
        self.spoiler = None  # one connection may carry several requests
        target = self.path
        path, _, query = target.partition("?")
        body = self.read_body()
        if path.startswith(CONTROL_PREFIX):
            self.control(path[len(CONTROL_PREFIX):], query, body)
            return
        try:
            body_text = body.decode("utf-8")
            bad_body = None
        except UnicodeDecodeError as error:
            # Kept readable for the record and the token request's project;
            # the call itself is refused below, as a JSON service refuses it.
            body_text = body.decode("utf-8", "replace")
            bad_body = "The request body is not valid UTF-8: byte 0x%02x at offset %d" % (
                body[error.start], error.start)
        call, project_name, rest = self.classify(path, body_text)
        if project_name is None:
            self.send(404, error_body("VKL.0404", "No such resource: %s" % path))
            return
        project = self.server.registry.get(project_name)
        project.record({"method": self.command, "path": path, "query": query,
                        "headers": [[n, v] for n, v in self.header_items()], "body": body_text})
        fault = project.take_fault(call)
        if fault is not None:
            if fault.kind == "delay":
                time.sleep(max(0.0, fault.seconds))
                fault = None
            elif fault.kind == "drop":
                self.close_connection = True
                return
            elif fault.kind in emu_state.ANSWER_KINDS:
                self.spoiler = fault  # the call runs; its success answer is spoilt
                fault = None
            elif self.answer_fault(fault, call, rest):
                return
        if bad_body is not None:
            self.send(400, error_body("VKL.0400", bad_body))
            return
        if call == "token":
            self.token(project, body_text)
            return
        owner = self.authorise(project, path, query, body)
        if owner is None:
            return
        with project.lock:
            if call == "submit":
                self.submit(project, owner, body_text, fault)
            elif call == "status":
                self.status(project, rest[0], fault)
            elif call == "result":
                self.result(project, rest[0], query)
            elif call == "describe":
                self.describe(project, rest[0], rest[1])
            else:
                self.send(404, error_body("VKL.0404", "No such resource: %s" % path))

    def classify(self, path, body_text):
        """(call, project, arguments) of a request; project None when unknown."""
        if path == TOKEN_PATH and self.command == "POST":
            return "token", emu_auth.token_request_project(body_text), ()
        if not path.startswith(SERVICE_PREFIX):
            return "other", None, ()
        project, _, rest = path[len(SERVICE_PREFIX):].partition("/")
        parts = rest.split("/")
        unquote = urllib.parse.unquote
        project = unquote(project)
        if self.command == "POST" and parts == ["jobs", "submit-job"]:
            return "submit", project, ()
        if self.command == "GET" and len(parts) == 3 and parts[0] == "jobs" and parts[2] == "status":
            return "status", project, (unquote(parts[1]),)
        if self.command == "GET" and len(parts) == 2 and parts[0] == "jobs":
            return "result", project, (unquote(parts[1]),)
        if (self.command == "GET" and len(parts) == 4 and parts[0] == "databases"
                and parts[2] == "tables"):
            return "describe", project, (unquote(parts[1]), unquote(parts[3]))
        return "other", project, ()

    def answer_fault(self, fault, call, rest):
        """Answers a request as the fault says; False when the call goes on."""
        if fault.kind == "status":
            body = fault.body if fault.body is not None else error_body(
                "VKL.0500", fault.message or "Injected failure")
            self.send(fault.status, body, [tuple(h) for h in fault.headers])
            return True
        if fault.kind == "not_json":
            self.send(200, fault.body if fault.body is not None else "<html>not json</html>")
            return True
        if fault.kind == "not_success":
            message = fault.message or "Injected failure"
            if call == "token":
                self.send(401, error_body("VKL.0401", message))
                return True
            answer = {"is_success": False, "message": message, "job_id": rest[0] if rest else "",
                      "job_type": ""}
            self.send(200, to_json(answer))
            return True
        return False  # job faults act inside the call

    # ------------------------------------------------------------ control API

    def control(self, action, query, body):
        try:
            if action == "requests" and self.command == "GET":
                params = urllib.parse.parse_qs(query, keep_blank_values=True)
                if "project" not in params:
                    raise ValueError("project is required")
                project = self.server.registry.get(params["project"][0])
                with project.lock:
                    records = list(project.requests)
                self.send(200, to_json({"requests": records}))
                return
            if self.command != "POST":
                self.send(404, error_body("VKL.0404", "No such control call"))
                return
            req = json.loads(body.decode("utf-8") or "{}")
            if not isinstance(req, dict) or not isinstance(req.get("project"), str):
                raise ValueError("project is required")
            name = req["project"]
            if action == "reset":
                self.server.registry.reset(name)
            elif action == "config":
                project = self.server.registry.get(name)
                with project.lock:
                    if "running_polls" in req:
                        polls = int(req["running_polls"])
                        if polls < 0:
                            raise ValueError("running_polls must not be negative")
                        project.running_polls = polls
                    if "token_ttl" in req:
                        project.token_ttl = int(req["token_ttl"])
            elif action == "fault":
                fault = emu_state.Fault(req)
                project = self.server.registry.get(name)
                with project.lock:
                    project.faults.append(fault)
            else:
                self.send(404, error_body("VKL.0404", "No such control call"))
                return
            self.send(200, to_json({"ok": True}))
        except (ValueError, TypeError, emu_state.FaultError) as error:
            self.send(400, error_body("VKL.0400", str(error)))

    # ------------------------------------------------------------ identity

    def token(self, project, body_text):
        try:
            user, scope = emu_auth.check_token_request(body_text)
        except emu_auth.AuthError as error:
            self.send(401, to_json({"error": {"code": 401, "title": "Unauthorized",
                                              "message": str(error)}}))
            return
        now = time.time()
        with project.lock:
            expiry = int(now) + project.token_ttl
            token = emu_auth.new_token()
            project.add_token(token, user, expiry)
        answer = {"token": {
            "expires_at": emu_auth.expires_at_text(expiry),
            "issued_at": emu_auth.expires_at_text(int(now)),
            "methods": ["password"],
            "project": {"id": scope},
            "user": {"name": user, "domain": {"name": "emuaccount"}},
        }}
        self.send(201, to_json(answer), [("X-Subject-Token", token)])

    def authorise(self, project, path, query, body):
        """The owner of an authorised request; answers 401 and gives None otherwise."""
        items = self.header_items()
        names = {name.lower() for name, _ in items}
        try:
            if "authorization" in names:
                owner = emu_auth.verify_signature(self.command, path, query, items, body)
                # The header's bytes read as UTF-8, as the path's project is.
                project_header = emu_auth.header_value(items, "x-project-id")
                if project_header != project.name:
                    raise emu_auth.AuthError("X-Project-Id %r does not match the project" % project_header)
                return owner
            if "x-auth-token" in names:
                token = emu_auth.header_value(items, "x-auth-token")
                with project.lock:
                    entry = project.tokens.get(token)
                if entry is None:
                    raise emu_auth.AuthError("The token is invalid")
                if time.time() >= entry[1]:
                    raise emu_auth.AuthError("The token has expired")
                return entry[0]
            raise emu_auth.AuthError("Authorization is required")
        except emu_auth.AuthError as error:
            self.send(401, error_body("VKL.0401", str(error)))
            return None

    # ------------------------------------------------------------ service calls

    def submit(self, project, owner, body_text, fault):
        try:
            request = json.loads(body_text)
            sql = request["sql"]
            database = request.get("currentdb", "")
            queue = request.get("queue_name", "")
            conf = request.get("conf", [])
            if not (isinstance(sql, str) and isinstance(database, str) and isinstance(queue, str)
                    and isinstance(conf, list) and all(isinstance(c, str) for c in conf)):
                raise ValueError("wrong member types")
        except (ValueError, KeyError, TypeError) as error:
            self.send(400, error_body("VKL.0400", "Invalid submit-job body: %s" % error))
            return
        settings = {}
        for entry in conf:
            key, _, value = entry.partition("=")
            settings[key.strip()] = value.strip()
        sync = settings.get(SYNC_MODE_KEY, "").lower() == "true"
        database = database or "default"
        job_type = emu_sql.job_type_of(sql)
        job = emu_state.Job(job_type, sql, queue, owner, database, project.running_polls)
        if fault is not None:
            # The job never runs: it fails, is cancelled or stays running.
            self.apply_job_fault(job, fault)
        else:
            try:
                job.result = project.databases.run(database, sql, job_type)
            except emu_sql.SqlError as error:
                self.send(200, to_json({"is_success": False, "message": str(error),
                                        "job_id": "", "job_type": job_type}))
                return
            if job_type in ("DDL", "DCL") or (sync and job_type == "QUERY"):
                job.finish_now()
        project.add_job(job)
        answer = {"is_success": True, "message": "", "job_id": job.id, "job_type": job_type}
        if sync and job_type == "QUERY" and job.finished():
            answer["schema"] = job.result.schema_json()
            answer["rows"] = job.result.rows
            whole = self.spoiler is None
            self.send(200, to_json(answer))
            if whole:  # every row has gone out
                job.drop_rows()
            return
        self.send(200, to_json(answer))

    @staticmethod
    def apply_job_fault(job, fault):
        if fault.kind == "never_finish":
            job.never_finish = True
            return
        job.never_finish = False
        job.final = "FAILED" if fault.kind == "job_failed" else "CANCELLED"
        job.message = fault.message or ("Job failed" if job.final == "FAILED" else "Job cancelled")

    def job_or_404(self, project, job_id):
        job = project.jobs.get(job_id)
        if job is None:
            self.send(404, error_body("VKL.0404", "The job %s does not exist" % job_id))
        return job

    def status(self, project, job_id, fault):
        job = self.job_or_404(project, job_id)
        if job is None:
            return
        if fault is not None:
            self.apply_job_fault(job, fault)
            if fault.kind != "never_finish":
                job.polls_left = 0
        status = job.poll()
        answer = {
            "is_success": True, "message": job.message if status in ("FAILED", "CANCELLED") else "",
            "job_id": job.id, "job_type": job.type, "queue_name": job.queue, "owner": job.owner,
            "status": status, "statement": job.sql, "input_size": 0,
            "result_count": job.result.count if status == "FINISHED" else 0,
        }
        self.send(200, to_json(answer))

    def result(self, project, job_id, query):
        job = self.job_or_404(project, job_id)
        if job is None:
            return
        params = urllib.parse.parse_qs(query)
        try:
            page = int(params.get("current-page", ["1"])[0])
            size = int(params.get("page-size", ["100"])[0])
        except ValueError:
            self.send(400, error_body("VKL.0400", "current-page and page-size must be integers"))
            return
        base = {"is_success": False, "job_id": job.id, "job_type": job.type}
        if page < 1 or size < 1:
            base["message"] = "current-page and page-size must be positive"
            self.send(200, to_json(base))
            return
        if not job.finished():
            base["message"] = "The job %s has not finished" % job.id
            self.send(200, to_json(base))
            return
        first, end = (page - 1) * size, page * size
        if job.rows_dropped and first < job.row_count:
            base["message"] = "The rows of job %s have all been read and are no longer kept" % job.id
            self.send(200, to_json(base))
            return
        answer = {"is_success": True, "message": "", "job_id": job.id, "job_type": job.type,
                  "input_size": 0, "row_count": job.row_count,
                  "schema": job.result.schema_json(), "rows": job.result.rows[first:end]}
        whole = self.spoiler is None
        self.send(200, to_json(answer))
        if whole and first < job.row_count <= end:  # the page of the last row went out
            job.drop_rows()

    def describe(self, project, database, table):
        columns = project.databases.describe(database, table)
        if columns is None:
            self.send(404, error_body("VKL.0404", "Table %s does not exist in database %s" % (table, database)))
            return
        answer = {"column_count": len(columns), "table_type": "MANAGED_TABLE", "columns": [
            {"column_name": name, "type": column_type.describe, "is_partition_column": False,
             "description": description}
            for name, column_type, description in columns]}
        self.send(200, to_json(answer))


class EmulatorServer(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128
    allow_reuse_address = True

    def __init__(self, address, ssl_context, registry, log_file):
        self.ssl_context = ssl_context
        self.registry = registry
        self.log_file = log_file
        self.log_lock = threading.Lock()
        super().__init__(address, Handler)

    def server_bind(self):
        # No reverse name look-up of the address (slow without a resolver).
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def log(self, text):
        if self.log_file is None:
            return
        with self.log_lock:
            self.log_file.write("%s %s\n" % (time.strftime("%H:%M:%S"), text))
            self.log_file.flush()

    def process_request_thread(self, request, client_address):
        # The TLS handshake runs here, in the request's own thread, so that a
        # slow client never holds up the accept loop.
        try:
            request.settimeout(30)
            # Small answers go out at once rather than wait to be coalesced.
            request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            tls = self.ssl_context.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError) as error:
            self.log("TLS handshake with %s failed: %s" % (client_address, error))
            self.shutdown_request(request)
            return
        try:
            self.finish_request(tls, client_address)
        except Exception:
            self.log(traceback.format_exc())
        finally:
            self.shutdown_request(tls)


def _openssl_req(*args):
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-days", "7"] + list(args),
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificate(directory):
    """A CA of this emulator's own and the server certificate it issues.

    Clients trust the emulator by trusting ca.pem (the driver's SSLCA); the
    server certificate names 127.0.0.1 and localhost, so that host-name
    verification passes for either. Returns the server's TLS context and the
    CA's PEM file."""
    ca_cert = os.path.join(directory, "ca.pem")
    ca_key = os.path.join(directory, "ca-key.pem")
    _openssl_req("-keyout", ca_key, "-out", ca_cert, "-subj", "/CN=VKL emulator test CA",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    cert = os.path.join(directory, "cert.pem")
    key = os.path.join(directory, "key.pem")
    _openssl_req("-CA", ca_cert, "-CAkey", ca_key, "-keyout", key, "-out", cert,
                 "-subj", "/CN=127.0.0.1",
                 "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                 "-addext", "basicConstraints=critical,CA:FALSE",
                 "-addext", "extendedKeyUsage=serverAuth")
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context, ca_cert


def write_whole(path, text):
    """Writes under a temporary name and renames, so a reader never sees part of it."""
    partial = "%s.%d.tmp" % (path, os.getpid())
    with open(partial, "w") as out:
        out.write(text)
    os.replace(partial, path)


def write_port_file(path, port):
    write_whole(path, "%d\n" % port)


def process_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port-file", help="file that receives the port once listening")
    parser.add_argument("--ca-file", help="file that receives the PEM certificate of the CA that "
                        "issued the server certificate (written before the port file)")
    parser.add_argument("--port", type=int, default=0, help="port to listen on (default: any free port)")
    parser.add_argument("--log", help="file for a log of every request")
    parser.add_argument("--watch-pid", type=int, help="stop when this process has ended")
    args = parser.parse_args(argv)

    work = tempfile.mkdtemp(prefix="vkl-emulator-")
    log_file = open(args.log, "a", encoding="utf-8") if args.log else None
    server = None
    try:
        context, ca_cert = make_certificate(work)
        seed_dir = os.path.join(work, "seed")
        emu_sql.create_seed(seed_dir)
        registry = emu_state.Registry(seed_dir, os.path.join(work, "projects"))
        server = EmulatorServer(("127.0.0.1", args.port), context, registry, log_file)
        port = server.server_address[1]

        stop = threading.Event()
        signal.signal(signal.SIGTERM, lambda *_: stop.set())
        signal.signal(signal.SIGINT, lambda *_: stop.set())
        serving = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2},
                                   daemon=True)
        serving.start()
        # The CA file first: whoever sees the port file can trust the server.
        if args.ca_file:
            with open(ca_cert) as pem:
                write_whole(args.ca_file, pem.read())
        if args.port_file:
            write_port_file(args.port_file, port)
        server.log("listening on 127.0.0.1:%d" % port)
        print("VKL emulator listening on https://127.0.0.1:%d" % port, flush=True)
        while not stop.wait(0.5):
            if args.watch_pid and not process_alive(args.watch_pid):
                server.log("watched process %d has ended" % args.watch_pid)
                break
        server.shutdown()
        serving.join(5)
        registry.close()
        return 0
    finally:
        if server is not None:
            server.server_close()
        for written in (args.port_file, args.ca_file):
            if not written or server is None:
                continue
            try:
                os.remove(written)
            except OSError:
                pass
        if log_file is not None:
            log_file.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
