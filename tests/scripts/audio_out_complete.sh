#!/usr/bin/env bash
# Ends a run that records with --audio-out by --timeout and checks that the
# WAVE header counts exactly the samples in the file.
# usage: audio_out_complete.sh ENGINE GAME_DIR OUT.wav
set -u
engine=$1 game=$2 out=$3
rm -f "$out"
"$engine" --headless --timeout 1 --audio-out "$out" "$game"
status=$?
if [[ $status != 124 ]]; then echo "exit status $status, expected 124"; exit 1; fi
python3 - "$out" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
riff, = struct.unpack_from("<I", data, 4)
size, = struct.unpack_from("<I", data, 40)
ok = data[:4] == b"RIFF" and riff == len(data) - 8 and size == len(data) - 44 and size > 0
print("ok: header complete" if ok else "FAILED: header %d/%d for %d bytes" % (riff, size, len(data)))
peak = max(abs(x) for x in struct.unpack_from("<%dh" % (size // 2), data, 44))
print("ok: sound recorded" if peak > 1000 else "FAILED: silence")
sys.exit(0 if ok and peak > 1000 else 1)
PY
