#!/usr/bin/env bash
# The view's timings in the real program: a 6000 x 4000 JPEG with five parts,
# opened as a project under Xvfb with TW_VIEW_TRACE=1 in a window whose view is
# about 1280 x 800, then Ctrl+1, pans by the wheel (two short ones and one of
# about a view) and a dab on the parts. Prints the trace lines of each run and
# the memory: resident after opening, peak at the end.
# Usage: bench/view-trace.sh [RUNS]   (builds the two programs first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TW_BUILD_DIR:-$root/build}
runs=${1:-3}
TW_TARGETS="tintwell tintwell-cli" bash "$root/scripts/build" "$build" >/dev/null
exe="$build/src/app/tintwell"
cli="$build/src/cli/tintwell-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The photo: a wallpaper blown up to 24 megapixels.
wallpaper=$(ls /usr/share/wallpapers/*/contents/images/2560x1600.jpg | head -n 1)
convert "$wallpaper" -resize '6000x4000!' -quality 92 "$work/photo.jpg"
"$cli" open "$work/photo.jpg" -o "$work/working.png" >/dev/null
read -r width height < <(identify -format '%w %h\n' "$work/working.png")

# Five parts grown by the batch tool from seeds around the middle of the
# working picture, each shifted to its own hue.
seeds=("-70 -40" "70 -40" "0 0" "-70 40" "70 40")
for i in 0 1 2 3 4; do
  read -r dx dy <<<"${seeds[$i]}"
  "$cli" grow "$work/photo.jpg" --seed "$((width / 2 + dx)),$((height / 2 + dy))" \
    --shift $((40 + 60 * i)) -o "$work/part$i.bmp" >/dev/null
  convert "$work/part$i.bmp" "PNG24:$work/part$i.png"
done
python3 - "$work" "$width" "$height" <<'PY'
import base64, hashlib, json, sys
work, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
parts = [{"bitmap": base64.b64encode(open(f"{work}/part{i}.png", "rb").read()).decode(),
          "settings": {"mode": "shift", "hue": 40 + 60 * i, "saturationTint": 0, "valueTint": 0,
                       "avoidSingularities": False}} for i in range(5)]
photo = open(f"{work}/photo.jpg", "rb").read()
picture = {"path": "photo.jpg", "width": w, "height": h, "sha256": hashlib.sha256(photo).hexdigest()}
json.dump({"format": 3, "picture": picture, "parts": parts}, open(f"{work}/five.tintwell", "w"))
PY

kb() { awk -v k="$1:" '$1 == k {print $2}' "/proc/$2/status"; }
# The trace's lines so far: where the next step's lines start.
mark() { marks+="$(wc -l <"$work/trace.txt") $1"$'\n'; }
for run in $(seq 1 "$runs"); do
  display=:$((100 + RANDOM % 100))
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  export DISPLAY=$display
  HOME="$work/home" TW_VIEW_TRACE=1 QT_QPA_PLATFORM=xcb "$exe" 2>"$work/trace.txt" &
  app=$!
  marks=""
  window=$(xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
  xdotool windowmove "$window" 0 0 windowsize "$window" 1620 910
  sleep 1
  # No window manager: the focus is given by hand, to the window, then to the file dialog.
  xdotool windowfocus --sync "$window" key ctrl+shift+o
  sleep 1
  dialog=$(xdotool search --onlyvisible --pid "$app" | grep -vx "$window" | head -n 1)
  xdotool windowfocus --sync "$dialog" type --delay 5 "$work/five.tintwell"
  xdotool key Return
  sleep 6
  xdotool windowfocus --sync "$window"
  afterOpen=$(kb VmRSS "$app")
  eval "$(xdotool getwindowgeometry --shell "$window")"
  cx=$((X + WIDTH / 2 - 100)) cy=$((Y + HEIGHT / 2))
  mark "Ctrl+1"
  xdotool mousemove "$cx" "$((Y + 5))" key ctrl+1
  sleep 3
  mark "pans"
  xdotool mousemove "$cx" "$cy" click --repeat 6 --delay 30 5
  sleep 3
  xdotool keydown shift click --repeat 6 --delay 30 5 keyup shift
  sleep 3
  xdotool click --repeat 30 --delay 10 4
  sleep 3
  mark "a dab"
  xdotool mousemove "$((cx - 150))" "$((cy - 60))" click 1
  sleep 3
  import -window root "/tmp/view-trace-$run.png"
  peak=$(kb VmHWM "$app")
  kill "$app" "$xvfb" 2>/dev/null || true
  wait "$app" "$xvfb" 2>/dev/null || true
  echo "run $run: resident after open ${afterOpen} kB, peak ${peak} kB: $(((peak - afterOpen) / 1024)) MB more"
  awk 'NR == FNR { split($0, m, " "); at[m[1] + 1] = substr($0, length(m[1]) + 2); next }
       FNR in at { print "  " at[FNR] ":" } /^tintwell: / { print "    " $0 }' \
    <(printf '%s' "$marks") "$work/trace.txt"
done
