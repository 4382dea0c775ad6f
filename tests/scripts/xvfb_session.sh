# Shared by the window tests (sourced): skips (exit 77) when a tool is missing
# and prepares a run under a virtual X server.
# usage: . xvfb_session.sh TOOL...
for tool in xvfb-run "$@"; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
# The display stack loads drivers whose allocations outlive the process; our
# own code's leaks are checked by the headless runs.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
# Each run gets its own instance lock folder, so a copy already running on
# this machine cannot turn this one away.
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
xvfb_screen="-screen 0 1024x768x24"

