"""Shared helpers of the Python end-to-end tests (isql and pyodbc).

The emulator's port is known only at run time: it is read from the file
named by VORN_EMULATOR_PORT_FILE. The driver library is named by
VORN_DRIVER_PATH. Each test uses a project id of its own, so the tests can
run in parallel against one emulator.
"""

import json
import os
import re
import shutil
import ssl
import subprocess
import tempfile
import urllib.parse
import urllib.request

AK = "EMUAK0000000000000001"
SK = "emu-secret-key-0001"
ACCOUNT = "emuaccount"
USER = "emuuser"
PASSWORD = "emu-Pass_01"
REGION = "emu-region-1"

# Lines the driver prints on standard error when the library is loaded and
# unloaded.
_BANNER = re.compile(r"^(VKL ODBC Driver path = .*"
                     r"|VKL odbc loaded by application or driver manager\."
                     r"|VKL odbc is being unloaded\.)$")


def _require_env(name):
    value = os.environ.get(name)
    if not value:
        raise RuntimeError("environment variable %s is not set" % name)
    return value


def driver_path():
    return _require_env("VORN_DRIVER_PATH")


def emulator_port():
    with open(_require_env("VORN_EMULATOR_PORT_FILE")) as f:
        return int(f.read().strip())


def host_port():
    return "127.0.0.1:%d" % emulator_port()


def ca_file():
    """PEM file of the CA that issued the emulator's certificate (for SSLCA),
    written by the fixture beside the port file."""
    return os.path.join(os.path.dirname(_require_env("VORN_EMULATOR_PORT_FILE")), "ca.pem")


def project_for(test_case):
    """A project id unique to one test method: e2e-<module>-<class>-<method>."""
    name = test_case.id().lower()
    return "e2e-" + re.sub(r"[^a-z0-9]+", "-", name).strip("-")


class Emulator:
    """Client of the emulator's control API (never recorded, no authorisation)."""

    def __init__(self):
        self.base = "https://%s" % host_port()
        self.ctx = ssl.create_default_context(cafile=ca_file())

    def _call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(req, context=self.ctx, timeout=30) as resp:
            text = resp.read().decode()
        return json.loads(text) if text.strip() else {}

    def reset(self, project):
        self._call("POST", "/_emu/reset", {"project": project})

    def fault(self, project, **kw):
        kw["project"] = project
        self._call("POST", "/_emu/fault", kw)

    def config(self, project, **kw):
        kw["project"] = project
        self._call("POST", "/_emu/config", kw)

    def requests(self, project):
        q = urllib.parse.urlencode({"project": project})
        return self._call("GET", "/_emu/requests?" + q)["requests"]

    def submits(self, project):
        """Bodies (parsed) of every submitted job of the project, in order."""
        return [json.loads(r["body"]) for r in self.requests(project)
                if r["method"] == "POST" and r["path"].endswith("/jobs/submit-job")]

    def status_requests(self, project):
        return [r for r in self.requests(project)
                if r["method"] == "GET" and r["path"].endswith("/status")]

    def page_requests(self, project):
        return [r for r in self.requests(project)
                if r["method"] == "GET" and "current-page=" in (r.get("query") or "")]

    def token_requests(self, project):
        return [r for r in self.requests(project) if r["path"] == "/v3/auth/tokens"]


def aksk_keys(project, **extra):
    keys = {"HOST": host_port(), "REGION": REGION, "PROJECTID": project,
            "DATABASE": "db1", "CHARSET": "UTF-8", "AUTHMODE": "1", "AK": AK, "SK": SK,
            "SSLCA": ca_file()}
    keys.update(extra)
    return keys


def token_keys(project, **extra):
    keys = {"HOST": host_port(), "REGION": REGION, "PROJECTID": project,
            "DATABASE": "db1", "CHARSET": "UTF-8", "AUTHMODE": "0",
            "ACCOUNT": ACCOUNT, "USER": USER, "PASSWORD": PASSWORD, "SSLCA": ca_file()}
    keys.update(extra)
    return keys


def conn_str(keys, dsn="e2e", driver=None):
    """A DSN-less connection string naming the library itself."""
    parts = ["DRIVER=%s" % (driver or driver_path()), "DSN=%s" % dsn]
    parts += ["%s=%s" % (k, v) for k, v in keys.items()]
    return ";".join(parts)


class PrivateOdbcIni:
    """odbcinst.ini and odbc.ini in a temporary folder, for ODBCSYSINI/ODBCINI.

    The driver is registered as "VKL"; data sources are added with
    add_dsn(). The files are written by write(); the folder goes with
    close().
    """

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vorn-e2e-")
        self.sections = {}

    def add_dsn(self, name, keys):
        self.sections[name] = dict(keys)
        return name

    def write(self):
        with open(os.path.join(self.dir, "odbcinst.ini"), "w") as f:
            f.write("[VKL]\nDescription = VKL cloud analytics service\nDriver = %s\n" % driver_path())
        with open(os.path.join(self.dir, "odbc.ini"), "w") as f:
            for name, keys in self.sections.items():
                f.write("[%s]\nDriver = VKL\n" % name)
                for k, v in keys.items():
                    f.write("%s = %s\n" % (k, v))
                f.write("\n")

    def env(self, base=None):
        env = dict(os.environ if base is None else base)
        env["ODBCSYSINI"] = self.dir
        env["ODBCINI"] = os.path.join(self.dir, "odbc.ini")
        env["VORN_IDENTITY_HOST"] = host_port()
        return env

    def apply(self):
        """Points this process's driver manager at the files (before its first use)."""
        os.environ.update({k: v for k, v in self.env().items()
                           if k in ("ODBCSYSINI", "ODBCINI", "VORN_IDENTITY_HOST")})

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def strip_banner(text):
    """Drops the lines that the driver prints when it is loaded and unloaded
    (they go to standard error, beside isql's own messages)."""
    return "\n".join(line for line in text.split("\n") if not _BANNER.match(line))


class IsqlResult:
    def __init__(self, proc):
        self.rc = proc.returncode
        # Standard output is isql's alone: the driver writes nothing there.
        self.stdout = proc.stdout
        self.stderr = strip_banner(proc.stderr)

    def lines(self):
        return [line for line in self.stdout.split("\n") if line.strip()]

    def __repr__(self):
        return "isql rc=%d\nstdout:\n%s\nstderr:\n%s" % (self.rc, self.stdout, self.stderr)


def run_isql(target, statements, env, dsn_less=False, delimiter="|", extra=(), timeout=120):
    """Runs isql in batch mode with one statement per line.

    target is a data-source name, or with dsn_less=True a connection string
    passed through SQLDriverConnect (-k). Columns are delimited and the first
    row of each result holds the column names.
    """
    args = ["isql"]
    if dsn_less:
        args += ["-k", target]
    else:
        args += [target]
    args += ["-b", "-d" + delimiter, "-c"] + list(extra)
    text = "".join(s + "\n" for s in statements)
    proc = subprocess.run(args, input=text, env=env, capture_output=True, text=True,
                          timeout=timeout, cwd=env.get("VORN_E2E_WORKDIR"))
    return IsqlResult(proc)
