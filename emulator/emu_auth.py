"""Authorisation of the VKL emulator: request signatures (SDK-HMAC-SHA256),
the identity service's users and its tokens."""

import calendar
import datetime
import hashlib
import hmac
import json
import re
import secrets
import time

SCHEME = "SDK-HMAC-SHA256"
SERVICE = "vkl"
TERMINATOR = "sdk_request"
DATE_FORMAT = "%Y%m%dT%H%M%SZ"
# How far a request's X-Sdk-Date may be from the emulator's clock.
MAX_CLOCK_SKEW = 15 * 60

# access key -> (secret key, owner)
ACCESS_KEYS = {
    "EMUAK0000000000000001": ("emu-secret-key-0001", "emuuser"),
}

# (account, user) -> password
USERS = {
    ("emuaccount", "emuuser"): "emu-Pass_01",
    ("emuaccount", "quoteuser"): 'pa"ss\\word',
    ("emuaccount", "semiuser"): "se;mi}=pw{1",
}


def sha256_hex(data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    return hashlib.sha256(data).hexdigest()


def hmac_sha256(key, message):
    if isinstance(key, str):
        key = key.encode("utf-8")
    if isinstance(message, str):
        message = message.encode("utf-8")
    return hmac.new(key, message, hashlib.sha256).digest()


def canonical_request(method, uri, query, headers, body):
    """headers: list of (name, value) in the order the client signed them."""
    canonical_headers = "".join("%s:%s\n" % (name.lower(), value) for name, value in headers)
    signed = ";".join(name.lower() for name, _ in headers)
    return "\n".join([method, uri + "/", query, canonical_headers, signed, sha256_hex(body)])


def string_to_sign(canonical, scope, sdk_date):
    return "\n".join([SCHEME, sdk_date, scope, sha256_hex(canonical)])


def signing_key(secret_key, short_date, region):
    key = hmac_sha256("SDK" + secret_key, short_date)
    key = hmac_sha256(key, region)
    key = hmac_sha256(key, SERVICE)
    return hmac_sha256(key, TERMINATOR)


def credential_scope(short_date, region):
    return "%s/%s/%s/%s" % (short_date, region, SERVICE, TERMINATOR)


def authorization(access_key, secret_key, region, method, uri, query, headers, body, sdk_date):
    """The Authorization value a correct client sends (used by the tests)."""
    short_date = sdk_date[:8]
    scope = credential_scope(short_date, region)
    canonical = canonical_request(method, uri, query, headers, body)
    signature = hmac.new(signing_key(secret_key, short_date, region),
                         string_to_sign(canonical, scope, sdk_date).encode("utf-8"),
                         hashlib.sha256).hexdigest()
    signed = ";".join(name.lower() for name, _ in headers)
    return "%s Credential=%s/%s, SignedHeaders=%s, Signature=%s" % (
        SCHEME, access_key, scope, signed, signature)


_AUTH_RE = re.compile(
    r"^SDK-HMAC-SHA256 Credential=(?P<ak>[^/]+)/(?P<date>\d{8})/(?P<region>[^/]*)/vkl/sdk_request, "
    r"SignedHeaders=(?P<signed>[^,]+), Signature=(?P<signature>[0-9a-f]{64})$")


class AuthError(Exception):
    pass


def verify_signature(method, path, query, header_items, body, now=None):
    """Checks a signed request; returns the owner of its key or raises AuthError.

    header_items: the request's headers as (name, value) in wire order."""
    authorization_value = header_value(header_items, "authorization")
    match = _AUTH_RE.match(authorization_value or "")
    if not match:
        raise AuthError("Authorization header is malformed")
    access_key = match.group("ak")
    if access_key not in ACCESS_KEYS:
        raise AuthError("Unknown access key %s" % access_key)
    secret_key, owner = ACCESS_KEYS[access_key]
    sdk_date = header_value(header_items, "x-sdk-date")
    if sdk_date is None:
        raise AuthError("X-Sdk-Date header is missing")
    try:
        stamp = calendar.timegm(time.strptime(sdk_date, DATE_FORMAT))
    except ValueError:
        raise AuthError("X-Sdk-Date header is malformed: %s" % sdk_date)
    if sdk_date[:8] != match.group("date"):
        raise AuthError("Credential date does not match X-Sdk-Date")
    now = time.time() if now is None else now
    if abs(now - stamp) > MAX_CLOCK_SKEW:
        raise AuthError("Request time %s is too far from the server time" % sdk_date)
    signed_names = match.group("signed").split(";")
    for required in ("host", "x-sdk-date"):
        if required not in signed_names:
            raise AuthError("Header %s is not signed" % required)
    # Each signed name takes the next unused header of that name (names that
    # differ only in case are two headers for the client).
    used = set()
    signed_headers = []
    for name in signed_names:
        for index, (header_name, value) in enumerate(header_items):
            if index not in used and header_name.lower() == name:
                used.add(index)
                signed_headers.append((name, value))
                break
        else:
            raise AuthError("Signed header %s is missing" % name)
    expected = authorization(access_key, secret_key, match.group("region"), method, path, query,
                             signed_headers, body, sdk_date)
    if not hmac.compare_digest(expected, authorization_value):
        raise AuthError("Signature does not match")
    return owner


def header_value(header_items, lower_name):
    """The first value of the named header (name given in lower case), or None."""
    for name, value in header_items:
        if name.lower() == lower_name:
            return value
    return None


# ---------------------------------------------------------------- identity

def token_request_project(body_text):
    """The project named in a token request body, also when it is not valid JSON."""
    try:
        return json.loads(body_text)["auth"]["scope"]["project"]["id"]
    except (ValueError, KeyError, TypeError):
        match = re.search(r'"project"\s*:\s*\{\s*"id"\s*:\s*"([^"]*)"', body_text)
        return match.group(1) if match else ""


def check_token_request(body_text):
    """Returns (user, project) for valid credentials or raises AuthError."""
    try:
        auth = json.loads(body_text)["auth"]
        identity = auth["identity"]
        if "password" not in identity["methods"]:
            raise AuthError("The password method is required")
        user = identity["password"]["user"]
        name = user["name"]
        password = user["password"]
        account = user["domain"]["name"]
        project = auth["scope"]["project"]["id"]
    except (ValueError, KeyError, TypeError) as error:
        raise AuthError("The request body is invalid: %s" % error)
    if not all(isinstance(v, str) for v in (name, password, account, project)):
        raise AuthError("The request body is invalid")
    expected = USERS.get((account, name))
    if expected is None or not hmac.compare_digest(expected.encode("utf-8"), password.encode("utf-8")):
        raise AuthError("The username or password is wrong.")
    return name, project


def new_token():
    return "EMUTOKEN-" + secrets.token_hex(24)


def expires_at_text(expiry_seconds):
    stamp = datetime.datetime.fromtimestamp(expiry_seconds, datetime.timezone.utc)
    return stamp.strftime("%Y-%m-%dT%H:%M:%S.000000Z")
