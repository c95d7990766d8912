"""Per-project state of the VKL emulator: request record, injected faults,
settings, tokens, jobs and database copies. Projects never share state, so
tests that use distinct project ids can run in parallel."""

import collections
import hashlib
import os
import re
import threading
import uuid

import emu_sql

MATCHES = ("submit", "status", "result", "describe", "token", "any")
KINDS = ("status", "not_json", "not_success", "job_failed", "job_cancelled",
         "never_finish", "delay", "drop", "unreadable", "big_counts")
# Kinds that let the call run and spoil its success answer on the way out.
ANSWER_KINDS = ("unreadable", "big_counts")
# How an "unreadable" fault spoils the body.
FORMS = ("html", "truncated", "empty", "bad_utf8", "deep")
# Count members that "big_counts" replaces.
COUNT_KEYS = ("row_count", "result_count", "input_size", "column_count")
DEFAULT_BIG_COUNT = 5000000000  # beyond 2^32
# Kinds that only make sense for some calls; a fault waits for such a call.
_JOB_KINDS = ("job_failed", "job_cancelled", "never_finish")
_JOB_CALLS = ("submit", "status")

DEFAULT_RUNNING_POLLS = 1
DEFAULT_TOKEN_TTL = 3600

# A project keeps its latest requests, jobs and tokens, this many of each
# (the oldest go first), so that a long run does not grow without limit. A
# job's rows go once they have all been sent (Job.drop_rows).
KEPT_LATEST = 10000


class FaultError(ValueError):
    pass


class Fault:
    def __init__(self, desc):
        self.match = desc.get("match", "any")
        self.kind = desc.get("kind")
        if self.match not in MATCHES:
            raise FaultError("unknown match %r (one of %s)" % (self.match, ", ".join(MATCHES)))
        if self.kind not in KINDS:
            raise FaultError("unknown kind %r (one of %s)" % (self.kind, ", ".join(KINDS)))
        try:
            self.status = int(desc.get("status", 500))
            self.seconds = float(desc.get("seconds", 1))
            self.count = int(desc.get("count", 1))
            self.value = int(desc.get("value", DEFAULT_BIG_COUNT))
        except (TypeError, ValueError):
            raise FaultError("status, seconds, count and value must be numbers")
        self.form = desc.get("form", "html")
        if self.form not in FORMS:
            raise FaultError("unknown form %r (one of %s)" % (self.form, ", ".join(FORMS)))
        if self.count < 0:
            raise FaultError("count must not be negative")
        if not 100 <= self.status <= 599:
            raise FaultError("status must be an HTTP status")
        self.body = desc.get("body")
        self.message = desc.get("message")
        self.headers = desc.get("headers", [])
        if (not isinstance(self.headers, list)
                or not all(isinstance(h, list) and len(h) == 2
                           and all(isinstance(x, str) for x in h) for h in self.headers)):
            raise FaultError("headers must be a list of [name, value] texts")

    def spoil(self, data):
        """The success answer data (bytes) as this fault sends it."""
        if self.kind == "big_counts":
            # Only members: inside a JSON string a quote is always escaped.
            pattern = rb'"(%s)":-?\d+' % b"|".join(k.encode() for k in COUNT_KEYS)
            return re.sub(pattern, lambda m: b'"%s":%d' % (m.group(1), self.value), data)
        if self.form == "html":
            return b"<html><body><h1>502 Bad Gateway</h1></body></html>"
        if self.form == "truncated":
            return data[:len(data) // 2]
        if self.form == "empty":
            return b""
        if self.form == "bad_utf8":
            # Bytes that are no UTF-8 at the start of the first string value.
            at = data.find(b':"')
            at = len(data) if at < 0 else at + 2
            return data[:at] + b"\xff\xfe" + data[at:]
        return b"[" * 1000 + b"]" * 1000  # deep

    def applies_to(self, call):
        if self.match not in ("any", call):
            return False
        if self.kind in _JOB_KINDS:
            return call in _JOB_CALLS
        return True


class Job:
    def __init__(self, job_type, sql, queue, owner, database, running_polls):
        self.id = str(uuid.uuid4())
        self.type = job_type
        self.sql = sql
        self.queue = queue
        self.owner = owner
        self.database = database
        self.result = emu_sql.Result()
        self.polls_left = running_polls
        # A job's result is readable once a status answer has said FINISHED
        # (or at once when the job needs no polling).
        self.done = running_polls == 0
        self.final = "FINISHED"
        self.message = ""
        self.never_finish = False
        self._kept_count = None  # the row count once the rows are dropped

    @property
    def row_count(self):
        return len(self.result.rows) if self._kept_count is None else self._kept_count

    @property
    def rows_dropped(self):
        return self._kept_count is not None

    def drop_rows(self):
        """Forgets the rows once the last of them has been sent; the job keeps
        its status, schema and row count."""
        if self._kept_count is None:
            self._kept_count = len(self.result.rows)
            self.result.rows = []

    def poll(self):
        """The status this status request reports."""
        if self.never_finish:
            return "RUNNING"
        if self.polls_left > 0:
            self.polls_left -= 1
            return "RUNNING"
        self.done = True
        return self.final

    def finish_now(self):
        self.polls_left = 0
        self.done = True

    def finished(self):
        return not self.never_finish and self.done and self.final == "FINISHED"


class Project:
    def __init__(self, name, seed_dir, work_dir):
        self.name = name
        self.lock = threading.RLock()
        self.requests = collections.deque(maxlen=KEPT_LATEST)
        self.faults = []
        self.running_polls = DEFAULT_RUNNING_POLLS
        self.token_ttl = DEFAULT_TOKEN_TTL
        self.tokens = collections.OrderedDict()  # token -> (user, expiry seconds)
        self.jobs = collections.OrderedDict()
        digest = hashlib.sha256(name.encode("utf-8", "surrogatepass")).hexdigest()[:24]
        self.databases = emu_sql.ProjectDatabases(seed_dir, os.path.join(work_dir, digest))

    def take_fault(self, call):
        with self.lock:
            for index, fault in enumerate(self.faults):
                if fault.applies_to(call):
                    if fault.count == 1:
                        del self.faults[index]
                    elif fault.count > 1:
                        fault.count -= 1
                    return fault
        return None

    def record(self, request):
        with self.lock:
            self.requests.append(request)

    def add_job(self, job):
        with self.lock:
            self.jobs[job.id] = job
            while len(self.jobs) > KEPT_LATEST:
                self.jobs.popitem(last=False)

    def add_token(self, token, user, expiry):
        with self.lock:
            self.tokens[token] = (user, expiry)
            while len(self.tokens) > KEPT_LATEST:
                self.tokens.popitem(last=False)

    def close(self):
        with self.lock:
            self.databases.close()


class Registry:
    def __init__(self, seed_dir, work_dir):
        self.seed_dir = seed_dir
        self.work_dir = work_dir
        self.lock = threading.Lock()
        self.projects = {}

    def get(self, name):
        with self.lock:
            project = self.projects.get(name)
            if project is None:
                project = Project(name, self.seed_dir, self.work_dir)
                self.projects[name] = project
            return project

    def reset(self, name):
        with self.lock:
            project = self.projects.pop(name, None)
        if project is not None:
            project.close()

    def close(self):
        with self.lock:
            projects = list(self.projects.values())
            self.projects.clear()
        for project in projects:
            project.close()
