#!/usr/bin/env bash
# What a run loads: a headless run maps neither SDL nor the display, sound and
# bus libraries it pulls in, with scripted input and sound too; a scripted
# joystick opens SDL then; and a windowed run without a usable SDL says so
# and fails to start.
# usage: host_libraries.sh ENGINE SCRIPT_DIR WORK_DIR
set -u
engine=$1 dir=$2 work=$3
fail=0
rm -rf "$work" && mkdir -p "$work"

# The libraries the dynamic loader opened for a run (LD_DEBUG=files), by name.
loaded() {
  LD_DEBUG=files LD_DEBUG_OUTPUT="$work/ld" "$@" >"$work/out" 2>&1
  local status=$?
  cat "$work"/ld.* 2>/dev/null | grep -oE 'file=[^ ]+' | sed 's|file=||; s|.*/||' | sort -u
  rm -f "$work"/ld.*
  return $status
}

unwanted='^lib(SDL2|X11|xcb|wayland|pulse|asound|dbus|udev|systemd|gcrypt|FLAC|opus)'

libs=$(loaded "$engine" --headless --timeout 30 "$dir/exit_call.c")
status=$?
if [[ $status != 0 ]]; then
  echo "empty headless run: exit status $status"
  fail=1
fi
if grep -E "$unwanted" <<<"$libs"; then
  echo "a headless run loaded the libraries above"
  fail=1
fi

# Sound with a recording, and recorded keys, text, clicks and focus changes.
# (Not MIDI music: the synthesiser library itself links SDL.)
grep -v ' joy-' "$dir/input/win32/events.txt" >"$work/events.txt"
libs=$(loaded "$engine" --headless --timeout 30 --events "$work/events.txt" \
  --audio-out "$work/sound.wav" "$dir/sound_listen")
status=$?
if [[ $status != 0 ]]; then
  echo "sound with scripted input: exit status $status"
  cat "$work/out"
  fail=1
fi
if grep -E "$unwanted" <<<"$libs"; then
  echo "a headless run with sound and input loaded the libraries above"
  fail=1
fi
if [[ ! -s "$work/sound.wav" ]]; then
  echo "the recording is missing"
  fail=1
fi

# Scripted joysticks are SDL's virtual ones: the first one opens SDL.
libs=$(loaded "$engine" --headless --timeout 30 --events "$dir/input/direct/events.txt" \
  "$dir/input/direct")
status=$?
if [[ $status != 0 ]] || ! grep -q '^libSDL2' <<<"$libs"; then
  echo "scripted joysticks: exit status $status, SDL loaded: $(grep -c '^libSDL2' <<<"$libs")"
  cat "$work/out"
  fail=1
fi

# A window needs SDL: a library of its name that is none is a start-up
# failure with the reason, not a crash.
mkdir -p "$work/lib"
: >"$work/lib/libSDL2-2.0.so.0"
LD_LIBRARY_PATH="$work/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  "$engine" --timeout 5 "$dir/exit_call.c" >"$work/out" 2>&1
status=$?
if [[ $status != 71 ]] || ! grep -q 'cannot start the display: cannot open libSDL2' "$work/out"; then
  echo "a window without SDL: exit status $status, expected 71 and the reason"
  cat "$work/out"
  fail=1
fi

((fail)) && exit 1
echo "ok: headless runs load no SDL; joysticks open it; a window without it fails cleanly"
