#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz once (clang, libFuzzer, address and
# undefined-behaviour sanitizers, in build-fuzz) and runs them, in parallel:
# each target first reads every file of its regression and seed folders as
# plain inputs, then fuzzes for FUZZ_SECONDS from a copy of its seeds (the
# tree is never written). A failing input is printed with its target, in hex
# and base64, after libFuzzer's report, and the script exits non-zero.
#
#   scripts/fuzz.sh                              every target, 20 s each
#   scripts/fuzz.sh connstring cell_convert      only these
#   FUZZ_SECONDS=600 scripts/fuzz.sh result_page one target for longer
#   FUZZ_JOBS=4                                  targets at once (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
build=${FUZZ_BUILD_DIR:-build-fuzz}
fuzzdir=tests/fuzz

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in "$fuzzdir"/fuzz_*.cpp; do
    t=${f##*/fuzz_}
    targets+=("${t%.cpp}")
  done
fi

# Each target runs for a bounded time, so all at once keeps the wall time
# at one target's even where they outnumber the cores.
jobs=${FUZZ_JOBS:-${#targets[@]}}

CC=clang CXX=clang++ cmake -S . -B "$build" -DVORN_FUZZ=ON -DVORN_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzzers

work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# Prints what a failed target leaves: libFuzzer's report and the input.
report() {
  local t=$1 input=$2
  echo "==== fuzz target $t FAILED"
  sed -n '/==== FUZZ CHECK FAILED\|ERROR: \(AddressSanitizer\|libFuzzer\|LeakSanitizer\)\|runtime error/,$p' \
    "$work/$t.log" | cut -c1-240 | head -80
  if [ -n "$input" ] && [ -f "$input" ]; then
    echo "---- input ($(stat -c %s "$input") bytes): $input"
    echo "hex:"
    od -An -tx1 -v "$input" | head -40
    echo "base64:"
    base64 -w0 "$input"
    echo
    echo "Keep it: echo '<base64>' | base64 -d > $fuzzdir/regressions/$t/<name>"
  else
    tail -40 "$work/$t.log"
  fi
}

run_target() {
  local t=$1
  local bin=$build/fuzz/fuzz_$t log=$work/$t.log
  local corpus=$work/$t/corpus artifacts=$work/$t/artifacts/
  mkdir -p "$corpus" "$artifacts"
  local inputs=()
  for d in "$fuzzdir/regressions/$t" "$fuzzdir/corpus/$t"; do
    [ -d "$d" ] || continue
    for f in "$d"/*; do
      [ -f "$f" ] && [ "${f##*/}" != README.md ] && inputs+=("$f")
    done
  done
  # Every kept input as it is; libFuzzer names each before running it.
  if [ ${#inputs[@]} -gt 0 ] && ! "$bin" -timeout=10 "${inputs[@]}" >"$log" 2>&1; then
    report "$t" "$(sed -n 's/^Running: //p' "$log" | tail -1)"
    return 1
  fi
  [ -d "$fuzzdir/corpus/$t" ] && cp "$fuzzdir/corpus/$t"/* "$corpus"/ 2>/dev/null || true
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -artifact_prefix="$artifacts" \
       -print_final_stats=1 "$corpus" >>"$log" 2>&1; then
    report "$t" "$(ls -1 "$artifacts" | head -1 | sed "s|^|$artifacts|")"
    return 1
  fi
  echo "fuzz target $t: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs," \
       "$(ls -1 "$corpus" | wc -l) inputs in its corpus"
}

start=$(date +%s)
for t in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/fuzz_$t" ]; then
    echo "no fuzz target $t" >&2
    exit 2
  fi
done
for t in "${targets[@]}"; do
  # Never more targets at once than jobs allow.
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  (
    rc=0
    run_target "$t" || rc=1
    echo $rc >"$work/$t.rc"
  ) >"$work/$t.out" 2>&1 &
done
wait

failed=()
for t in "${targets[@]}"; do
  cat "$work/$t.out"
  [ "$(cat "$work/$t.rc" 2>/dev/null)" = 0 ] || failed+=("$t")
done
echo "fuzzing took $(($(date +%s) - start)) s for ${#targets[@]} targets of ${seconds} s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that FAILED: ${failed[*]}"
  exit 1
fi
echo "every fuzz target ran without a failure"
