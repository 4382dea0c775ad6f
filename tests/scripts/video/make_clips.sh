#!/usr/bin/env bash
# Makes the tiny clips the video tests play (run once; the clips are
# committed). 160×120, 25 frames per second, 2 seconds. The top 40 rows show
# the frame's number in binary: eight blocks 20 pixels wide, bit 0 at the
# left, white for 1 and black for 0; below them the picture is a fixed
# blue (40, 80, 200). The sound is a 440 Hz tone.
set -eu
cd "$(dirname "$0")"
picture="geq=r='if(lt(Y,40),255*mod(floor(N/pow(2,floor(X/20))),2),40)'"
picture+=":g='if(lt(Y,40),255*mod(floor(N/pow(2,floor(X/20))),2),80)'"
picture+=":b='if(lt(Y,40),255*mod(floor(N/pow(2,floor(X/20))),2),200)'"
source=(-f lavfi -i "color=c=black:s=160x120:r=25:d=2,format=rgb24,$picture")
tone=(-f lavfi -i "sine=frequency=440:sample_rate=44100:duration=2")
common=(-hide_banner -loglevel error -y)
out=(-bitexact -map_metadata -1)
# MPEG-1 with MP2 sound.
ffmpeg "${common[@]}" "${source[@]}" "${tone[@]}" -c:v mpeg1video -q:v 2 -g 12 \
  -c:a mp2 -b:a 128k -ac 2 -shortest "${out[@]}" count.mpg
# AVI: an old Windows codec with PCM sound.
ffmpeg "${common[@]}" "${source[@]}" "${tone[@]}" -c:v msmpeg4v2 -q:v 2 -g 12 \
  -c:a pcm_s16le -ac 1 -ar 22050 -shortest "${out[@]}" count.avi
# Sound only.
ffmpeg "${common[@]}" "${tone[@]}" -c:a mp2 -b:a 128k -ac 2 -f mpeg "${out[@]}" tone.mpg
# Picture only.
ffmpeg "${common[@]}" "${source[@]}" -c:v mpeg1video -q:v 2 -g 12 -an "${out[@]}" quiet.mpg
# A picture wider than any the engine shows (4112 pixels): refused at open.
ffmpeg "${common[@]}" -f lavfi -i "color=c=gray:s=4112x16:r=25:d=0.04" -frames:v 1 -c:v mpeg4 \
  "${out[@]}" wide.avi
# One second in each of the other containers games ship: WMV, MP4, Ogg.
short=(-t 1)
ffmpeg "${common[@]}" "${source[@]}" "${tone[@]}" "${short[@]}" -c:v wmv2 -q:v 2 -c:a wmav2 \
  -b:a 64k "${out[@]}" count.wmv
ffmpeg "${common[@]}" "${source[@]}" "${tone[@]}" "${short[@]}" -c:v mpeg4 -q:v 2 -c:a aac \
  -b:a 64k "${out[@]}" count.mp4
ffmpeg "${common[@]}" "${source[@]}" "${tone[@]}" "${short[@]}" -c:v libtheora -q:v 8 \
  -c:a libvorbis -q:a 2 "${out[@]}" count.ogv
