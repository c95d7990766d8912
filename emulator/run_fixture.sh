#!/bin/sh
# Starts or stops the VKL emulator for a test run.
#   run_fixture.sh start <statedir>   start it in the background, wait for its port file
#   run_fixture.sh stop  <statedir>   stop it (fails when it had died on its own)
# The state directory holds: port (the port file), ca.pem (the PEM file of the
# CA that issued the emulator's certificate: what clients pass as SSLCA), pid,
# emulator.log, output.
# The emulator also watches the process that started this script (ctest) and
# ends by itself when that process is gone, so an interrupted run leaves
# nothing behind.
set -u

action=${1:-}
state=${2:-}
if [ -z "$action" ] || [ -z "$state" ]; then
  echo "usage: $0 start|stop <statedir>" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
python=${VORN_PYTHON:-/usr/bin/python3}
port_file=$state/port
ca_file=$state/ca.pem
pid_file=$state/pid
start_timeout=${VORN_EMULATOR_START_TIMEOUT:-20}

is_emulator() {
  [ -n "$1" ] && kill -0 "$1" 2>/dev/null &&
    tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null | grep -q vkl_emulator.py
}

stop_emulator() {
  pid=$(cat "$pid_file" 2>/dev/null || true)
  if ! is_emulator "$pid"; then
    rm -f "$pid_file" "$port_file" "$ca_file"
    return 1
  fi
  kill -TERM "$pid" 2>/dev/null
  i=0
  while is_emulator "$pid" && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
  done
  if is_emulator "$pid"; then
    echo "emulator $pid ignored SIGTERM; killing it" >&2
    kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$pid_file" "$port_file" "$ca_file"
  return 0
}

# The process an emulator watches (the ctest that started it).
watched_pid() {
  tr '\0' '\n' <"/proc/$1/cmdline" 2>/dev/null | sed -n '/^--watch-pid$/{n;p;}'
}

case "$action" in
start)
  mkdir -p "$state"
  old=$(cat "$pid_file" 2>/dev/null || true)
  if is_emulator "$old"; then
    owner=$(watched_pid "$old")
    if [ -n "$owner" ] && [ "$owner" != "$PPID" ] && kill -0 "$owner" 2>/dev/null; then
      echo "another test run (process $owner) is using the emulator of $state;" \
        "run one ctest at a time per build directory" >&2
      exit 1
    fi
    # Left over from an earlier, interrupted run of this build.
    stop_emulator && echo "stopped an emulator left over from an earlier run"
  fi
  rm -f "$port_file" "$ca_file"
  : >"$state/emulator.log"
  "$python" "$here/vkl_emulator.py" --port-file "$port_file" --ca-file "$ca_file" \
    --log "$state/emulator.log" \
    --watch-pid "$PPID" </dev/null >"$state/output" 2>&1 &
  echo $! >"$pid_file"
  pid=$(cat "$pid_file")
  waited=0
  while [ ! -s "$port_file" ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "the emulator exited while starting:" >&2
      cat "$state/output" >&2
      rm -f "$pid_file"
      exit 1
    fi
    if [ "$waited" -ge $((start_timeout * 10)) ]; then
      echo "the emulator wrote no port file within $start_timeout s" >&2
      cat "$state/output" >&2
      stop_emulator
      exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  echo "emulator $pid listening on port $(cat "$port_file")"
  ;;
stop)
  current=$(cat "$pid_file" 2>/dev/null || true)
  if is_emulator "$current"; then
    owner=$(watched_pid "$current")
    if [ -n "$owner" ] && [ "$owner" != "$PPID" ] && kill -0 "$owner" 2>/dev/null; then
      echo "the emulator of $state belongs to another test run (process $owner); left running" >&2
      exit 1
    fi
  fi
  if stop_emulator; then
    echo "emulator stopped"
  else
    echo "no running emulator in $state (it may have died during the run):" >&2
    cat "$state/output" 2>/dev/null >&2
    exit 1
  fi
  ;;
*)
  echo "usage: $0 start|stop <statedir>" >&2
  exit 2
  ;;
esac
