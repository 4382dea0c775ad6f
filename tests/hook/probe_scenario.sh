#!/usr/bin/env bash
# Runs one hook_probe scenario in a fresh folder holding copies of the probe,
# the platform library, the hook library and (as the scenario wants) a table,
# because the hook attaches once per process, at start. Then checks the log.
# usage: probe_scenario.sh BUILD_DIR SCENARIO
set -u
build=$1 scenario=$2
dir=$(mktemp -d /tmp/hook_probe_XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$build/hook_probe" "$build/libtob_winapi.so" "$build/libmorvane_hook.so" "$dir/"
mkdir "$dir/tmp" "$dir/data"
log=$dir/tmp/morvane_hook.log
export TMPDIR=$dir/tmp MORVANE_HOOK_LOG=1
fail=0
expect() {  # expect TEXT: the log holds TEXT
  if ! grep -qF -- "$1" "$log" 2>/dev/null; then
    echo "the log lacks: $1"
    fail=1
  fi
}
run() {
  if ! (cd "$dir" && ./hook_probe "$@"); then
    echo "hook_probe $* failed"
    fail=1
  fi
}
case $scenario in
  installs)
    run installs
    expect "===== DLL_PROCESS_ATTACH ====="
    expect "[table] 打不开 $dir/morvane_cp.tbl (err=2) -> 退回纯 CP932 直通"
    expect "[hook] TextOutA=1 GetTextExtentPoint32A=1 CreateFontIndirectA=1 CreateFileA=1"
    expect "[CreateFontIndirectA] charset=0x80 height=24 face=ＭＳ ゴシック"
    ;;
  no_table)
    run same-pixels
    ;;
  mapped)
    MORVANE_HOOK_LOG=0 "$build/hook_probe" make-table "$dir/morvane_cp.tbl"
    run mapped
    expect "[table] 已加载 $dir/morvane_cp.tbl: 1 个私有码位, 中文字体="
    ;;
  mapped_threads)
    MORVANE_HOOK_LOG=0 "$build/hook_probe" make-table "$dir/morvane_cp.tbl"
    MORVANE_HOOK_LOG=0 run mapped-threads
    ;;
  redirect)
    run redirect "$dir/data"
    expect "[redirect] $dir/data/data.bin -> $dir/data/data_cn.bin"
    ;;
  log_off)
    MORVANE_HOOK_LOG=0 "$build/hook_probe" make-table "$dir/morvane_cp.tbl"
    MORVANE_HOOK_LOG=0 run all "$dir/data"
    if [[ -e $log ]]; then
      echo "MORVANE_HOOK_LOG=0 wrote a log:"
      cat "$log"
      fail=1
    fi
    ;;
  bad_table)
    MORVANE_HOOK_LOG=0 "$build/hook_probe" make-table "$dir/morvane_cp.tbl" bad
    run same-pixels
    expect "[table] magic/version 不匹配"
    expect "[hook] TextOutA=1"
    ;;
  *)
    echo "unknown scenario $scenario"
    exit 2
    ;;
esac
((fail)) && { echo "--- log:"; cat "$log" 2>/dev/null; exit 1; }
echo "ok: $scenario"
