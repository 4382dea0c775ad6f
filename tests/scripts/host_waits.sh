#!/usr/bin/env bash
# How the engine waits: a sleeping script costs no processor time, and
# --timeout stops a script in a tight loop on time.
# usage: host_waits.sh ENGINE SCRIPT_DIR
set -u
engine=$1 dir=$2
fail=0

# Processor time of every thread of process $1, in nanoseconds.
busy_ns() {
  local t=0 f ns _
  for f in /proc/"$1"/task/*/schedstat; do
    read -r ns _ <"$f" 2>/dev/null && t=$((t + ns))
  done
  echo "$t"
}

"$engine" --headless --timeout 20 "$dir/idle.c" >/dev/null 2>&1 &
pid=$!
sleep 1  # start-up is not idle time
before=$(busy_ns $pid)
sleep 2
after=$(busy_ns $pid)
kill $pid 2>/dev/null
wait $pid 2>/dev/null
used=$(((after - before) / 1000000))
# Well under 1% of a core: 20 ms in 2 s.
if ((used >= 20)); then
  echo "a sleeping script used $used ms of processor time in 2 s"
  fail=1
fi

start=$(date +%s%N)
"$engine" --headless --timeout 0.5 "$dir/spin.c" >/dev/null 2>&1
status=$?
took=$((($(date +%s%N) - start) / 1000000))
if [[ $status != 124 ]]; then
  echo "--timeout in a tight loop: exit status $status, expected 124"
  fail=1
fi
if ((took > 2500)); then
  echo "--timeout 0.5 in a tight loop took $took ms"
  fail=1
fi

((fail)) && exit 1
echo "ok: idle for 2 s used $used ms; --timeout 0.5 took $took ms"
