#!/usr/bin/env bash
# Decoding speed of a film against the same frames stored by three lossless
# screen codecs of FFmpeg (ZMBV, QTRLE, FFV1), measured side by side.
#
#   bench/compare.sh [FILM.zxf] [--segment N] [--loops N]
#   (segments numbered from 1, as zxtool info lists them; default 1)
#
# Without a film it makes one: bench/make_screen.py writes a 742 x 419
# screen recording of 600 frames (typing, scrolling, a menu, a moving
# cursor) and `zxtool make` turns it into a film.
#
# The frames that `zxtool export` renders (cursor drawn) become the input
# of each FFmpeg encoder; each file is then decoded with
# `ffmpeg -threads 1 -i FILE -f null -`, looped --loops times (default 3),
# best of three runs. `zxtool bench` decodes the film the way the player
# does. Ratios are zxtool's frames per second over FFmpeg's.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
zxtool=${ZXTOOL:-}
if [ -z "$zxtool" ]; then
  for z in "$here/../build/native/zxtool" "$here/../build/native/tools/zxtool"; do
    if [ -x "$z" ]; then zxtool=$z; break; fi
  done
fi
film=""
segment=1
loops=3
while [ $# -gt 0 ]; do
  case "$1" in
    --segment) segment=$2; shift 2 ;;
    --loops) loops=$2; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "compare.sh: unknown option $1" >&2; exit 2 ;;
    *) film=$1; shift ;;
  esac
done
[ -n "$zxtool" ] && [ -x "$zxtool" ] || { echo "compare.sh: no zxtool in build/native (build first, or set ZXTOOL)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zxcompare.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ -z "$film" ]; then
  echo "making a 742 x 419 screen recording of 600 frames ..." >&2
  python3 "$here/make_screen.py" --frames "$work/screen.bgra" --cursor "$work/arrow.png" \
    --track "$work/track.csv" --samples 3
  film=$work/screen.zxf
  "$zxtool" make --fps 10 --samples 3 --raw 742x419 --input "$work/screen.bgra" \
    --cursor "$work/arrow.png" --hotspot 0,0 --cursor-track "$work/track.csv" \
    --title "Screen recording" -o "$film"
  rm -f "$work/screen.bgra"
fi

# The segment's size, rate and frame count.
read -r width height fps frames < <("$zxtool" info --json "$film" | python3 -c "
import json, sys
s = next(s for s in json.load(sys.stdin)['segments'] if s['index'] == $segment)
print(s['width'], s['height'], s['fps'] or 10, s['frame_count'])")
echo "film: $film, segment $segment: ${width} x ${height}, $frames frames at $fps fps" >&2

"$zxtool" export "$film" "$work/frames.rgb" --segment "$segment" 2>/dev/null
raw=(-f rawvideo -pix_fmt rgb24 -s "${width}x${height}" -framerate "$fps" -i "$work/frames.rgb")
ffmpeg -v error -nostdin "${raw[@]}" -c:v zmbv -y "$work/zmbv.avi"
ffmpeg -v error -nostdin "${raw[@]}" -c:v qtrle -y "$work/qtrle.mov"
ffmpeg -v error -nostdin "${raw[@]}" -c:v ffv1 -pix_fmt bgr0 -threads 1 -y "$work/ffv1.mkv"
rm -f "$work/frames.rgb"

# Frames per second of FFmpeg decoding a file, best of three.
ffmpeg_fps() {
  local best=0 t
  for _ in 1 2 3; do
    t=$(ffmpeg -hide_banner -nostdin -benchmark -threads 1 -stream_loop $((loops - 1)) -i "$1" \
          -f null - 2>&1 | sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p' | tail -1)
    best=$(python3 -c "print(max($best, $frames * $loops / $t))")
  done
  echo "$best"
}

bench=$("$zxtool" bench "$film" --segment "$segment")
zx_fps=$(sed -n 's/^decode: *\([0-9.]*\) fps.*/\1/p' <<<"$bench")

echo
echo "$bench"
echo
printf '%-22s %12s %14s %14s\n' "decoder" "file bytes" "frames/s" "zxtool ratio"
printf '%-22s %12s %14.0f %14s\n' "zxtool (film)" "$(stat -c %s "$film")" "$zx_fps" "1.0"
for codec in zmbv:zmbv.avi qtrle:qtrle.mov ffv1:ffv1.mkv; do
  name=${codec%%:*}
  file=$work/${codec#*:}
  fps=$(ffmpeg_fps "$file")
  printf '%-22s %12s %14.0f %14.1f\n' "ffmpeg $name" "$(stat -c %s "$file")" "$fps" \
    "$(python3 -c "print($zx_fps / $fps)")"
done
