#!/usr/bin/env bash
# Demo on a fresh Debian machine: installs what is needed, builds the driver,
# starts the local VKL emulator, registers the driver and a data source in
# private ini files, and runs a few statements through unixODBC's isql.
# Nothing is left running and nothing is written outside build/ and a
# temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

heading() { printf '\n== %s ==\n' "$*"; }

heading "Installing packages"
bash scripts/install-deps.sh
echo "done"

heading "Building"
build_log=$(mktemp)
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build build -j"$(nproc)"; } >"$build_log" 2>&1; then
    cat "$build_log"
    echo "build failed" >&2
    exit 1
fi
rm -f "$build_log"
driver="$root/build/libvornodbc.so"
echo "driver: $driver"

work=$(mktemp -d /tmp/vorn-demo-XXXXXX)
emulator_pid=""
cleanup() {
    if [ -n "$emulator_pid" ] && kill -0 "$emulator_pid" 2>/dev/null; then
        kill "$emulator_pid" 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

heading "Starting the VKL emulator"
# --watch-pid: the emulator also stops by itself should this script die.
# --ca-file: the PEM file of the CA that issued the emulator's certificate;
# the data source trusts it with SSLCA (it is written before the port file).
/usr/bin/python3 emulator/vkl_emulator.py --port-file "$work/port" --ca-file "$work/ca.pem" \
    --watch-pid $$ >"$work/emulator.out" 2>&1 &
emulator_pid=$!
for _ in $(seq 1 200); do
    [ -s "$work/port" ] && break
    if ! kill -0 "$emulator_pid" 2>/dev/null; then
        cat "$work/emulator.out"
        echo "the emulator did not start" >&2
        exit 1
    fi
    sleep 0.1
done
[ -s "$work/port" ] || { echo "the emulator did not report its port" >&2; exit 1; }
port=$(tr -d '[:space:]' <"$work/port")
echo "listening on https://127.0.0.1:$port"

heading "Registering the driver and a data source"
cat >"$work/odbcinst.ini" <<EOF
[VKL]
Description = VKL cloud analytics service
Driver      = $driver
EOF
cat >"$work/odbc.ini" <<EOF
[vkl-demo]
Driver    = VKL
HOST      = 127.0.0.1:$port
REGION    = demo-region-1
PROJECTID = demo-project
AUTHMODE  = 1
AK        = EMUAK0000000000000001
SK        = emu-secret-key-0001
DATABASE  = db1
CHARSET   = UTF-8
SSLCA     = $work/ca.pem
EOF
export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
# Identity service of the emulator (used by token-mode data sources).
export VORN_IDENTITY_HOST="127.0.0.1:$port"
# Timestamps are shown in local time; show them in UTC.
export TZ=UTC
sed 's/^/  /' "$work/odbc.ini" | grep -v '^  SK'

# Runs the given statements (one per line) in one isql session on the data
# source; columns separated by "|", column names first. The driver's load
# and unload messages (on standard error) are dropped; isql's own errors stay.
run_isql() {
    (cd "$work" && isql vkl-demo -b -3 -v -d'|' -c 2>&1) |
        grep -v -e '^VKL ODBC Driver path = ' -e '^VKL odbc loaded by ' -e '^VKL odbc is being unloaded' |
        sed 's/^/  /'
}

heading "SELECT of several types (db1.all_types)"
echo "  (row 3 holds NULLs, shown empty; TIMESTAMP cells travel as epoch milliseconds and show in local time)"
run_isql <<'EOF'
select id, c_int, c_bigint, c_double, c_decimal, c_string, c_date, c_timestamp, c_boolean from all_types order by id
EOF

heading "SHOW TABLES"
run_isql <<'EOF'
show tables
EOF

heading "SET a server setting, USE another database, then query it"
echo "  (SET and USE are handled by the driver and change what later jobs carry)"
run_isql <<'EOF'
set vkl.sql.syncMode.enabled=true
use db2
select order_id, customer_id, amount, placed, note from orders order by order_id
show tables
EOF

heading "Jobs the service received (from the emulator's request record)"
/usr/bin/python3 - "$port" "$work/ca.pem" <<'PY'
import json, ssl, sys, urllib.request
ctx = ssl.create_default_context(cafile=sys.argv[2])
url = "https://127.0.0.1:%s/_emu/requests?project=demo-project" % sys.argv[1]
with urllib.request.urlopen(url, context=ctx, timeout=10) as resp:
    requests = json.load(resp)["requests"]
for r in requests:
    if r["method"] == "POST" and r["path"].endswith("/jobs/submit-job"):
        job = json.loads(r["body"])
        conf = ",".join(job.get("conf", [])) or "-"
        print("  db=%-4s conf=%-30s %s" % (job["currentdb"], conf, job["sql"]))
PY

heading "Done"
echo "the emulator is stopped and the temporary files are removed on exit"
