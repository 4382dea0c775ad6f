#!/usr/bin/env bash
# Two runs without srand draw different numbers; --seed makes runs repeatable.
set -u
engine=$1 script=$2
run() { "$engine" --headless --timeout 30 "$@" "$script" 2>&1 | grep '^draws:'; }
a=$(run) b=$(run)
c=$(run --seed 99) d=$(run --seed 99)
echo "$a / $b / $c / $d"
[[ -n "$a" && -n "$c" ]] || { echo "no draws printed"; exit 1; }
[[ "$a" != "$b" ]] || { echo "two unseeded runs drew the same numbers"; exit 1; }
[[ "$c" == "$d" ]] || { echo "--seed 99 did not repeat"; exit 1; }
echo ok
