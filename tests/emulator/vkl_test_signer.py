"""A signer for the emulator's tests, written apart from the emulator's own
verifier so that the two check each other."""

import hashlib
import hmac


def _hex_sha256(data):
    return hashlib.sha256(data if isinstance(data, bytes) else data.encode()).hexdigest()


def _mac(key, text):
    return hmac.new(key, text.encode(), hashlib.sha256).digest()


def sign(ak, sk, region, method, path, headers, body, sdk_date):
    """Authorization value for a request.

    path: the request path with its query ("/v1.0/p/jobs/x?a=1");
    headers: dict of the headers to sign (X-Sdk-Date and Host among them),
    taken in ascending byte order of their names."""
    resource, _, query = path.partition("?")
    names = sorted(headers)
    lines = "".join(name.lower() + ":" + headers[name] + "\n" for name in names)
    signed = (";".join(names) + ";").lower()[:-1]
    canonical = "%s\n%s\n%s\n%s\n%s\n%s" % (method, resource + "/", query, lines, signed,
                                            _hex_sha256(body))
    day = sdk_date[:8]
    scope = day + "/" + region + "/vkl/sdk_request"
    to_sign = "SDK-HMAC-SHA256\n%s\n%s\n%s" % (sdk_date, scope, _hex_sha256(canonical))
    key = ("SDK" + sk).encode()
    for part in (day, region, "vkl", "sdk_request"):
        key = _mac(key, part)
    signature = hmac.new(key, to_sign.encode(), hashlib.sha256).hexdigest()
    return "SDK-HMAC-SHA256 Credential=%s/%s, SignedHeaders=%s, Signature=%s" % (
        ak, scope, signed, signature)
