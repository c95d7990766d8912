#!/usr/bin/env python3
"""Writes the signing test vectors (one JSON file per case) next to this script.

The expected values are computed here from first principles with Python's
hashlib and hmac, independently of the C++ signer they check.

    python3 tests/rest/vectors/make_vectors.py
"""
import hashlib
import hmac
import json
import os

SCHEME = "SDK-HMAC-SHA256"


def lower_ascii(text):
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in text)


def sorted_headers(headers):
    # Header maps are ordered byte-wise by name, upper-case before lower-case.
    return sorted(headers, key=lambda pair: pair[0].encode("utf-8"))


def sha256_hex(data):
    return hashlib.sha256(data.encode("utf-8")).hexdigest()


def hmac_sha256(key, msg):
    return hmac.new(key, msg.encode("utf-8"), hashlib.sha256).digest()


def expected_for(case):
    headers = sorted_headers(case["headers"])
    short_date = case["sdk_date"][:8]
    scope = "%s/%s/vkl/sdk_request" % (short_date, case["region"])
    signed = ";".join(lower_ascii(name) for name, _ in headers)
    canonical_headers = "".join("%s:%s\n" % (lower_ascii(n), v) for n, v in headers)
    canonical = "\n".join([
        case["method"],
        case["canonical_uri"] + "/",
        case["query"],
        canonical_headers,
        signed,
        sha256_hex(case["body"]),
    ])
    to_sign = "\n".join([SCHEME, case["sdk_date"], scope, sha256_hex(canonical)])
    key = ("SDK" + case["sk"]).encode("utf-8")
    for part in (short_date, case["region"], "vkl", "sdk_request"):
        key = hmac_sha256(key, part)
    signature = hmac.new(key, to_sign.encode("utf-8"), hashlib.sha256).hexdigest()
    authorization = "%s Credential=%s/%s, SignedHeaders=%s, Signature=%s" % (
        SCHEME, case["ak"], scope, signed, signature)
    return {
        "short_date": short_date,
        "credential_scope": scope,
        "body_sha256": sha256_hex(case["body"]),
        "signed_headers": signed,
        "canonical_request": canonical,
        "string_to_sign": to_sign,
        "signing_key_hex": key.hex(),
        "signature": signature,
        "authorization": authorization,
    }


def proxy_headers(host, project, date, extra=None):
    headers = [["Content-Type", "application/json"], ["Host", host],
               ["X-Project-Id", project], ["X-Sdk-Date", date]]
    return headers + (extra or [])


AK = "EMUAK0000000000000001"
SK = "emu-secret-key-0001"

CASES = [
    {
        "name": "status_no_query",
        "method": "GET",
        "path": "/jobs/job-0001/status",
        "canonical_uri": "/v1.0/proj-a/jobs/job-0001/status",
        "query": "",
        "headers": proxy_headers("vkl.region-1.orvelocloud.com", "proj-a", "20240315T101112Z"),
        "body": "",
        "sdk_date": "20240315T101112Z",
        "ak": AK, "sk": SK, "region": "region-1",
    },
    {
        "name": "result_page_query",
        "method": "GET",
        "path": "/jobs/job-0001?current-page=3&page-size=100",
        "canonical_uri": "/v1.0/proj-a/jobs/job-0001",
        "query": "current-page=3&page-size=100",
        "headers": proxy_headers("127.0.0.1:8443", "proj-a", "20240315T101112Z"),
        "body": "",
        "sdk_date": "20240315T101112Z",
        "ak": AK, "sk": SK, "region": "region-1",
    },
    {
        "name": "header_leading_blank",
        "method": "GET",
        "path": "/databases/db1/tables/t1",
        "canonical_uri": "/v1.0/proj-b/databases/db1/tables/t1",
        "query": "",
        # A lower-case name sorts after every capitalised one.
        "headers": proxy_headers("vkl.region-2.orvelocloud.com", "proj-b", "20231231T235959Z",
                                 [["X-Note", "  two leading blanks"], ["accept-extra", "Mixed Case Value"]]),
        "body": "",
        "sdk_date": "20231231T235959Z",
        "ak": "AKCASE3", "sk": "another secret", "region": "region-2",
    },
    {
        "name": "post_empty_body",
        "method": "POST",
        "path": "/jobs/submit-job",
        "canonical_uri": "/v1.0/proj-c/jobs/submit-job",
        "query": "",
        "headers": proxy_headers("vkl.region-1.orvelocloud.com", "proj-c", "20240101T000000Z"),
        "body": "",
        "sdk_date": "20240101T000000Z",
        "ak": AK, "sk": SK, "region": "region-1",
    },
    {
        "name": "post_submit_body",
        "method": "POST",
        "path": "/jobs/submit-job",
        "canonical_uri": "/v1.0/proj-c/jobs/submit-job",
        "query": "",
        "headers": proxy_headers("vkl.region-1.orvelocloud.com", "proj-c", "20240101T000000Z"),
        "body": "{\"currentdb\":\"db1\",\"sql\":\"select 'Gr\u00fc\u00dfe' from t where a = \\\"x\\\"\","
                "\"queue_name\":\"default\",\"conf\":[\"vkl.sql.syncMode.enabled=true\"]}\n",
        "sdk_date": "20240101T000000Z",
        "ak": AK, "sk": SK, "region": "region-1",
    },
    {
        "name": "status_next_day",
        "method": "GET",
        "path": "/jobs/job-0001/status",
        "canonical_uri": "/v1.0/proj-a/jobs/job-0001/status",
        "query": "",
        "headers": proxy_headers("vkl.region-1.orvelocloud.com", "proj-a", "20240316T101112Z"),
        "body": "",
        "sdk_date": "20240316T101112Z",
        "ak": AK, "sk": SK, "region": "region-1",
    },
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for case in CASES:
        out = dict(case)
        out["expected"] = expected_for(case)
        with open(os.path.join(here, case["name"] + ".json"), "w", encoding="utf-8") as f:
            json.dump(out, f, indent=2, ensure_ascii=False)
            f.write("\n")


if __name__ == "__main__":
    main()
