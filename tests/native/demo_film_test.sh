#!/usr/bin/env bash
# The recorded demo film: it exports to an MP4 with its sound, to PNG
# frames that match the frames' hashes, and its cursor is drawn.
#   demo_film_test.sh ZXTOOL FILM
set -euo pipefail
zxtool=$1
film=$2
[ -f "$film" ] || { echo "no demo film at $film (scripts/build records it)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$zxtool" info --json "$film" >"$work/info.json"
python3 - "$work/info.json" <<'PY'
import json, sys
info = json.load(open(sys.argv[1]))
seg = info["segments"][0]
assert seg["bits_per_pixel"] == 32 and seg["flags"] & 0xF000 == 0x2000, seg
assert seg["flags"] & 1 and seg["flags"] & 0xF00 == 0x100, seg
assert seg["cursor_count"] == 2 and seg["sound_size"] > 0, seg
assert seg["cursor_track_size"] == seg["frame_count"] * 3 * 6, seg
PY

"$zxtool" export "$film" "$work/demo.mp4"
streams=$(ffprobe -v error -show_entries stream=codec_type,codec_name,pix_fmt -of csv=p=0 "$work/demo.mp4")
echo "$streams"
grep -q '^h264,video,yuv420p' <<<"$streams" || grep -q '^h264,yuv420p,video' <<<"$streams"
grep -q 'audio' <<<"$streams"

# Frames as PNG: what the PNG holds is what the hash says.
"$zxtool" export "$film" "$work/frames" --from 20f --to 23f
"$zxtool" export "$film" --hash >"$work/hashes"
for f in 20 21 22; do
  png=$(printf '%s/frames/%06d.png' "$work" "$f")
  want=$(awk -v f="$f" '$1 == 1 && $2 == f { print $3 }' "$work/hashes")
  got=$(convert "$png" -depth 8 rgb:- | sha256sum | cut -d' ' -f1)
  [ "$want" = "$got" ] || { echo "frame $f: png $got, hash $want"; exit 1; }
done
echo "demo film ok"
