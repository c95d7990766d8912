"""No secret reaches the driver's logs, at TRACE level, in either mode.

A copy of the driver logs everything (log4cplus at TRACE, from the
log.properties beside it) while isql runs whole sessions with it: connect
through a connection string (isql -k) and through a data source with a
user and password (SQLConnect), queries over several pages, catalog calls,
SET, and the failure paths: a refused login, a transport failure, a refused
request and an unreadable answer. The secret key, passwords (also in PWD,
and braced values holding ";" and "="), the request signatures, the signing
keys derived from the secret key and the identity tokens must then appear in
neither the log4cplus file nor vorn_odbc.log.
"""

import hashlib
import hmac
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import e2e_support as e2e

# Braced values: ";" and "=" inside, so that a parser that splits them
# would log the pieces as entries of their own.
BRACED_SK = "Sk1-Brace;d=Sk2-Value"
BRACED_PWD = "Pw1-Brace;e=Pw2-Value"
BRACED_PASSWORD = "Pa1-Brace;f=Pa2-Value"
WRONG_PASSWORD = "Wr1-Brace;g=Wr2-Value"
CONNECT_PASSWORD = "Cp1-Conn;h=Cp2-Conn"
OPEN_SECRET = "Os1-After-An-Open-Brace"
QUOTE_USER = "quoteuser"
QUOTE_PASSWORD = 'pa"ss\\word'  # seeded in the emulator

TOKEN_PATTERN = re.compile(r"EMUTOKEN-[0-9a-f]{8}")      # every token the emulator issues
SIGNATURE_PATTERN = re.compile(r"Signature=[0-9a-fA-F]{16}")


def pieces(value):
    """The value and every part of it between ";" and "=" (a split value
    leaks its parts)."""
    return [value] + [p for p in re.split(r"[;=]", value) if len(p) >= 6]


def signing_keys(sk, day, region):
    """The keys derived from the secret key for one day: the date, region,
    service and signing keys, in hex (as a log would show them)."""
    keys = []
    key = ("SDK" + sk).encode()
    for part in (day, region, "vkl", "sdk_request"):
        key = hmac.new(key, part.encode(), hashlib.sha256).digest()
        keys += [key.hex(), key.hex().upper()]
    return keys


class SecretsCase(unittest.TestCase):
    """A private copy of the driver that logs at TRACE, its logs and ini files."""

    def setUp(self):
        self.emu = e2e.Emulator()
        self.project = e2e.project_for(self)
        self.emu.reset(self.project)
        self.dir = tempfile.mkdtemp(prefix="vorn-secrets-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.lib = os.path.join(self.dir, "libvornodbc.so")
        shutil.copyfile(e2e.driver_path(), self.lib)
        self.driver_log = os.path.join(self.dir, "driver.log")
        with open(os.path.join(self.dir, "log.properties"), "w") as f:
            f.write("log4cplus.rootLogger=TRACE, F\n"
                    "log4cplus.appender.F=log4cplus::FileAppender\n"
                    "log4cplus.appender.F.File=%s\n"
                    "log4cplus.appender.F.Append=true\n"
                    "log4cplus.appender.F.layout=log4cplus::PatternLayout\n"
                    "log4cplus.appender.F.layout.ConversionPattern=%%-5p [%%m]%%n\n"
                    % self.driver_log)
        # isql runs here, so vorn_odbc.log is this test's own.
        self.work = os.path.join(self.dir, "work")
        os.mkdir(self.work)
        self.msg_log = os.path.join(self.work, "vorn_odbc.log")
        with open(os.path.join(self.dir, "odbcinst.ini"), "w") as f:
            f.write("[VKL]\nDriver = %s\n" % self.lib)
        self.odbc_ini = os.path.join(self.dir, "odbc.ini")
        open(self.odbc_ini, "w").close()
        self.secrets = ([e2e.SK, e2e.PASSWORD, QUOTE_PASSWORD, QUOTE_PASSWORD.replace("\\", "\\\\")
                         .replace('"', '\\"')] + pieces(BRACED_SK) + pieces(BRACED_PWD)
                        + pieces(BRACED_PASSWORD) + pieces(WRONG_PASSWORD)
                        + pieces(CONNECT_PASSWORD) + [OPEN_SECRET])

    def add_dsn(self, name, keys):
        with open(self.odbc_ini, "a") as f:
            f.write("[%s]\nDriver = VKL\n" % name)
            f.write("".join("%s = %s\n" % kv for kv in keys.items()) + "\n")
        return name

    def conn_str(self, keys):
        """A connection string naming the copy; values with ";" or "=" braced."""
        parts = ["DRIVER=%s" % self.lib, "DSN=e2e"]
        for key, value in keys.items():
            if re.search(r"[;={}]", value):
                value = "{" + value.replace("}", "}}") + "}"
            parts.append("%s=%s" % (key, value))
        return ";".join(parts)

    def isql(self, target, statements, args=()):
        env = dict(os.environ, ODBCSYSINI=self.dir, ODBCINI=self.odbc_ini,
                   VORN_IDENTITY_HOST=e2e.host_port())
        proc = subprocess.run(["isql", target] + list(args) + ["-b", "-3", "-v", "-d|", "-c"],
                              input="".join(s + "\n" for s in statements), env=env,
                              capture_output=True, text=True, timeout=120, cwd=self.work)
        return e2e.IsqlResult(proc)

    def expect_lines(self, result, *wanted):
        for line in wanted:
            self.assertIn(line, result.lines(), result)

    def assertNoSecretInTheLogs(self, masked):
        """Neither log holds a secret; the log4cplus file shows each of the
        places in `masked` masked, so the secrets went through it."""
        records = self.emu.requests(self.project)
        secrets = list(self.secrets)
        for r in records:
            for name, value in r["headers"]:
                if name.lower() == "x-auth-token":
                    secrets.append(value)
                if name.lower() == "authorization":
                    secrets.append(value.split("Signature=")[-1])
                if name.lower() == "x-sdk-date":
                    secrets += signing_keys(e2e.SK, value[:8], e2e.REGION)
        for path in (self.driver_log, self.msg_log):
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            self.assertTrue(text, path + " is empty")
            for secret in secrets:
                at = text.find(secret)
                self.assertEqual(-1, at, "%s holds %r: %s" % (path, secret,
                                                              text[max(0, at - 200):at + 100]))
            for pattern in (TOKEN_PATTERN, SIGNATURE_PATTERN):
                found = pattern.search(text)
                self.assertIsNone(found, "%s holds %s" % (path, found and found.group(0)))
        with open(self.driver_log, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for place in masked:
            self.assertIn(place, text)
        return records


class SecretsSigning(SecretsCase):
    def test_sessions_and_failures(self):
        keys = e2e.aksk_keys(self.project, PWD=BRACED_PWD, PASSWORD=BRACED_PASSWORD)
        # A whole session: pages, catalog calls, SET, a refused statement.
        result = self.isql(self.conn_str(keys), [
            "select id from numbers order by id", "help", "help customers",
            "set vkl.some.flag=1", "select * from no_such_table"], args=["-k"])
        self.assertEqual("250", result.lines()[250], result)
        self.expect_lines(result, "[01000]VKL Service response: no such table: no_such_table")
        # Through a data source, with a user and password from the command line.
        dsn = self.add_dsn("vkl_signed", e2e.aksk_keys(self.project))
        result = self.isql(dsn, ["select count(*) as n from numbers"],
                           args=[e2e.USER, CONNECT_PASSWORD])
        self.expect_lines(result, "250")
        # A braced secret key that the service refuses.
        result = self.isql(self.conn_str(e2e.aksk_keys(self.project, SK=BRACED_SK)),
                           ["select 1"], args=["-k"])
        self.assertIn("[01000]VKL Service response:", result.stdout, result)
        self.assertIn("Signature does not match", result.stdout, result)
        # A refused request, a transport failure, unreadable answers.
        self.emu.fault(self.project, match="submit", kind="not_success", message="not allowed")
        self.emu.fault(self.project, match="submit", kind="drop")
        self.emu.fault(self.project, match="status", kind="unreadable", form="truncated")
        self.emu.fault(self.project, match="result", kind="unreadable", form="html")
        result = self.isql(self.conn_str(keys), ["select 1", "select 2", "select 3", "select 4"],
                           args=["-k"])
        self.expect_lines(result, "[01000]VKL Service response: not allowed")
        self.assertIn("[08S01]VKL ODBC Communication link failure: ", result.stdout, result)
        self.assertEqual(2, result.stdout.count("[HY000]VKL ODBC Unreadable service answer: "),
                         result)
        # A brace left open swallows the entries after it: none of them is shown.
        for tail in ("DATABASE={db1;SK=%s;REGION=r1" % OPEN_SECRET,
                     "QUEUENAME={q;PASSWORD=%s" % OPEN_SECRET):
            result = self.isql(self.conn_str(keys) + ";" + tail, ["select 1"], args=["-k"])
            self.assertIn("[08001]", result.stdout, result)
        self.assertNoSecretInTheLogs(["SK=****", "PWD=****", "PASSWORD=****", "Signature=****"])


class SecretsToken(SecretsCase):
    def test_sessions_and_failures(self):
        # Short-lived tokens: renewed during the session.
        self.emu.config(self.project, token_ttl=2)
        keys = e2e.token_keys(self.project, PWD=BRACED_PWD, SK=BRACED_SK)
        result = self.isql(self.conn_str(keys), [
            "select id from numbers order by id", "help", "help customers",
            "set vkl.some.flag=1", "select * from no_such_table"], args=["-k"])
        self.assertEqual("250", result.lines()[250], result)
        self.expect_lines(result, "[01000]VKL Service response: no such table: no_such_table")
        # A data source with the user and a password that needs escaping in
        # the token request, from the command line.
        dsn = self.add_dsn("vkl_token", {k: v for k, v in e2e.token_keys(self.project).items()
                                         if k not in ("USER", "PASSWORD")})
        result = self.isql(dsn, ["select count(*) as n from numbers"],
                           args=[QUOTE_USER, QUOTE_PASSWORD])
        self.expect_lines(result, "250")
        # Refused logins: a braced wrong password, a dropped and an unreadable
        # answer of the identity service.
        result = self.isql(self.conn_str(e2e.token_keys(self.project, PASSWORD=WRONG_PASSWORD)),
                           ["select 1"], args=["-k"])
        self.assertIn("[HY000]VKL ODBC System ERROR. Identity service answered 401", result.stdout,
                      result)
        self.emu.fault(self.project, match="token", kind="drop")
        result = self.isql(self.conn_str(keys), ["select 1"], args=["-k"])
        self.assertIn("[08001]VKL ODBC Communication link failure: ", result.stdout, result)
        self.emu.fault(self.project, match="token", kind="unreadable", form="truncated")
        result = self.isql(self.conn_str(keys), ["select 1"], args=["-k"])
        self.assertIn("[HY000]VKL ODBC Unreadable service answer: ", result.stdout, result)
        # A refused request (the service says the token lapsed), a transport
        # failure, an unreadable page.
        self.emu.fault(self.project, match="submit", kind="status", status=401,
                       body='{"error_code":"VKL.0401","error_msg":"The token has expired"}')
        self.emu.fault(self.project, match="status", kind="drop")
        self.emu.fault(self.project, match="result", kind="unreadable", form="empty")
        result = self.isql(self.conn_str(keys), ["select 1", "select 2", "select 3"],
                           args=["-k"])
        self.assertIn("The token has expired", result.stdout, result)
        self.assertIn("[08S01]VKL ODBC Communication link failure: ", result.stdout, result)
        self.assertIn("[HY000]VKL ODBC Unreadable service answer: ", result.stdout, result)
        records = self.assertNoSecretInTheLogs(
            ["PWD=****", "SK=****", "PASSWORD=****", "X-Auth-Token:****", '"password":"****"'])
        # Tokens were issued and renewed, and sent: the logs were checked for them.
        tokens = {v for r in records for n, v in r["headers"] if n.lower() == "x-auth-token"}
        self.assertGreaterEqual(len(tokens), 3)


if __name__ == "__main__":
    unittest.main()
