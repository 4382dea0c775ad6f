#!/usr/bin/env bash
# Runs one script headless with the real engine and checks its exit status and
# output. usage: run_script.sh ENGINE SCRIPT EXPECTED_STATUS [PATTERN...]
# Every PATTERN (an extended regular expression) must match some line of the
# combined output; "!PATTERN" must match none. SCRIPT_EVENTS names a file of
# recorded input to feed (--events).
set -u
engine=$1 script=$2 expected=$3
shift 3
extra=()
[[ -n "${SCRIPT_EVENTS:-}" ]] && extra=(--events "$SCRIPT_EVENTS")
out=$("$engine" --headless --timeout "${SCRIPT_TIMEOUT:-30}" "${extra[@]}" "$script" 2>&1)
status=$?
fail=0
if [[ "$status" != "$expected" ]]; then
  echo "exit status $status, expected $expected"
  fail=1
fi
for p in "$@"; do
  if [[ "$p" == !* ]]; then
    if grep -Eq -- "${p:1}" <<<"$out"; then echo "unexpected output matching: ${p:1}"; fail=1; fi
  elif ! grep -Eq -- "$p" <<<"$out"; then
    echo "missing output matching: $p"
    fail=1
  fi
done
if ((fail)); then
  echo "--- output of $script ---"
  echo "$out"
  exit 1
fi
echo "ok: $script"
