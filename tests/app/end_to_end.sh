#!/usr/bin/env bash
# Starts the real program on an X display, its output sent to a file, opens a
# model by ctrl+o and its path, develops it by ctrl+d and saves the crease
# pattern by ctrl+s; opens a file the reader refuses, closes the "Load Error"
# box and saves the still developed pattern again; takes a screenshot of the
# two panes; then, in the pattern view, splits edge tucking
# molecules with the Split ETM tool (key s and clicks) and fattens tucks with
# the Explode tool (key e and a drag), and saves again; turns Crease Pattern
# Generation on by ctrl+g, saves the crease lines and quits by alt+F4. The
# DXF files are read back with a real DXF reader.
# Usage: end_to_end.sh PROGRAM MODEL.obj [SCREENSHOT.png]
set -euo pipefail
program=$1
model=$2
work=$(mktemp -d)
screenshot=${3:-$work/window.png}
out="$work/pattern.dxf"
edited="$work/edited.dxf"
creases="$work/creases.dxf"
kept="$work/kept.dxf"
here=$(cd "$(dirname "$0")" && pwd)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "end-to-end: $*"
  echo "--- program errors:"; tail -20 "$work/stderr" 2>/dev/null || true
  exit 1
}

# Waits up to $2 tenths of a second for a window whose whole name is $1.
wait_window() {
  for _ in $(seq "$2"); do
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

wait_gone() {
  for _ in $(seq "$2"); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

# --sync waits until the window has the focus, for good if it never gets it.
focus() {
  xdotool mousemove --window "$1" 100 100
  timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || true
}

cd "$work"
"$program" >"$work/stdout" 2>"$work/stderr" &
pid=$!

main=$(wait_window Plicatrope 200) || fail "the main window did not appear"
sleep 0.5
xdotool search --onlyvisible --name "^Plicatrope console\$" >/dev/null 2>&1 &&
  fail "a console window opened although the output goes to a file"
focus "$main"

xdotool key ctrl+o
dialog=$(wait_window "Choose a file to open" 100) || fail "ctrl+o opened no Open dialog"
focus "$dialog"
xdotool type --delay 30 "$model"
sleep 0.5
xdotool key Return
wait_gone "Choose a file to open" 100 || fail "the Open dialog did not close"

sleep 1
focus "$main"
xdotool key ctrl+d
# Long enough for the solver to settle and the timer to build the pattern.
sleep 4

# Saves the crease pattern as $1 through the SaveAs dialog.
save_as() {
  focus "$main"
  xdotool key ctrl+s
  dialog=$(wait_window "Input Filename" 100) || fail "ctrl+s opened no SaveAs dialog"
  focus "$dialog"
  xdotool key ctrl+a
  xdotool type --delay 30 "$1"
  sleep 0.5
  xdotool key Return
  wait_gone "Input Filename" 100 || fail "the SaveAs dialog did not close"
  for _ in $(seq 100); do [ -s "$1" ] && break; sleep 0.1; done
  [ -s "$1" ] || fail "no DXF was written to $1"
}

save_as "$out"

# A file the reader refuses leaves the developed design on screen.
printf 'just some notes\n' >"$work/notes.obj"
focus "$main"
xdotool key ctrl+o
dialog=$(wait_window "Choose a file to open" 100) || fail "ctrl+o opened no Open dialog"
focus "$dialog"
xdotool type --delay 30 "$work/notes.obj"
sleep 0.5
xdotool key Return
wait_gone "Choose a file to open" 100 || fail "the Open dialog did not close"
box=$(wait_window "Load Error" 100) || fail "a refused file showed no Load Error box"
focus "$box"
xdotool key Return
wait_gone "Load Error" 100 || fail "the Load Error box did not close"
save_as "$kept"

# The pattern view is the right pane below the menu bar; it shows the whole
# sheet in the middle of the pane.
eval "$(xdotool getwindowgeometry --shell "$main")"
pane_left=$((WIDTH / 2 + 6)); pane_top=28; side=$((HEIGHT - 28 - 26))
cx=$(((pane_left + WIDTH) / 2)); cy=$((pane_top + side / 2))
focus "$main"
xdotool mousemove --window "$main" "$cx" "$cy"
sleep 0.3

# The window after Develop: the whole model on the left, and the sheet with
# its molecules on the right.
xwd -root -silent >"$work/screen.xwd" || fail "no screenshot could be taken"
/usr/bin/python3 "$here/screenshot.py" "$work/screen.xwd" "$screenshot" "$X" "$Y" "$WIDTH" "$HEIGHT" ||
  fail "the screenshot does not show the two panes"

# Split ETM: clicks on a ring round the centre of the sheet, where the
# molecules between the placed faces lie; a click elsewhere splits nothing.
xdotool key s
sleep 0.3
for r in $((side * 2 / 10)) $((side * 3 / 10)); do
  for k in 0 1 2 3 4 5 6 7 8 9 10 11; do
    read -r x y < <(awk -v r="$r" -v k="$k" -v cx="$cx" -v cy="$cy" \
      'BEGIN { a = k * 3.14159265 / 6; printf "%d %d\n", cx + r * cos(a), cy + r * sin(a) }')
    xdotool mousemove --window "$main" "$x" "$y" click 1
    sleep 0.1
  done
done

# Explode: one drag across the middle of the sheet.
xdotool key e
sleep 0.3
xdotool mousemove --window "$main" $((cx - side / 8)) "$cy" mousedown 1
for step in $(seq 0 8); do
  xdotool mousemove --window "$main" $((cx - side / 8 + step * side / 32)) $((cy + step * 2))
  sleep 0.05
done
xdotool mouseup 1
# Long enough for the timer to build the changed pattern again.
sleep 3

save_as "$edited"

# Crease Pattern Generation: the next timer ticks make the crease lines.
focus "$main"
xdotool key ctrl+g
sleep 2
save_as "$creases"

focus "$main"
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "alt+F4 did not end the program"
status=0; wait "$pid" || status=$?; pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"

# Output sent to a file lands there, and no console window opens beside it.
grep -q '^v:' "$work/stdout" || fail "the program's output did not reach the file it was sent to"
grep -q 'ms$' "$work/stdout" || fail "the Develop time is missing from the program's output"

faces=$(grep -c '^f ' "$model")
/usr/bin/python3 - "$out" "$edited" "$creases" "$faces" "$kept" <<'PY'
import math, sys
import ezdxf

def read(path, faces, creases=False):
    doc = ezdxf.readfile(path)
    layers = {}
    for e in doc.modelspace():
        layers.setdefault(e.dxf.layer, []).append(e)
        points = [v.dxf.location for v in e.vertices] if e.dxftype() == "POLYLINE" else [e.dxf.start, e.dxf.end]
        assert all(math.isfinite(c) for p in points for c in (p[0], p[1])), "%s: a coordinate is not finite" % path

    def polylines(layer):
        return [e for e in layers.get(layer, []) if e.dxftype() == "POLYLINE" and e.is_closed]

    assert len(polylines("Paper")) >= 1, "%s: no paper square" % path
    square = polylines("Paper")[0]
    assert len(square.vertices) == 4, "%s: the paper is not a square" % path
    placed = len(polylines("Polygon"))
    assert placed >= faces, "%s: fewer placed faces than the model has: %d" % (path, placed)
    if creases:
        # With generation on, mountain and valley lines take the molecules' place.
        lines = lambda layer: [e for e in layers.get(layer, []) if e.dxftype() == "LINE"]
        assert lines("Mountain") and lines("Valley"), "%s: no mountain or valley lines" % path
        assert not polylines("VTM") and not polylines("ETM"), "%s: molecules beside the crease lines" % path
    else:
        # Crease-pattern generation is off, so the molecules come with the faces.
        assert polylines("VTM") and polylines("ETM"), "%s: no molecules: the crease pattern was not built" % path
    print("end-to-end: %s: %s" % (path.split("/")[-1], ", ".join("%s %d" % (k, len(v)) for k, v in sorted(layers.items()))))
    return placed

faces = int(sys.argv[4])
developed = read(sys.argv[1], faces)
# Saved after the refused file: the same developed pattern.
assert read(sys.argv[5], faces) == developed, "the refused file changed the developed pattern"
edited = read(sys.argv[2], faces)
read(sys.argv[3], faces, creases=True)
# Every split adds a two-sided face, which is placed on the sheet too.
assert edited > developed, "Split ETM split no edge: %d placed faces before, %d after" % (developed, edited)
PY
