#!/usr/bin/env bash
# Uses the real desktop program the way a person would, with the mouse and the
# keyboard (xdotool) on an X display (run it under xvfb-run): opens a photo
# through File > Open Picture..., grows a part with Fill, adds it, confirms
# "Change color...", saves with Ctrl+S to a new .png and over an existing .jpg,
# paints a brush stroke, undoes it (Ctrl+Z) and redoes it (Ctrl+Shift+Z), saving
# after each, saves at full size with Ctrl+Shift+S, and quits through File > Exit. Then checks the saved pictures.
#
# Usage: gui_e2e.sh TINTWELL E2E_PICTURES OUT_DIR
# Screenshots of each step are written to OUT_DIR; they are kept when a step fails.
set -uo pipefail
exe=$1
pictures=$2
out=$3
rm -rf "$out"
mkdir -p "$out/files"
files=$(cd "$out/files" && pwd)
step=0
app=

log() { echo "e2e: $*"; }

shot() {
    step=$((step + 1))
    import -window root "$out/$(printf %02d "$step")-$1.png" 2>/dev/null || true
}

fail() {
    log "FAILED: $*"
    shot failure
    log "screenshots and files kept in $out"
    [ -n "$app" ] && kill "$app" 2>/dev/null
    exit 1
}

# Waits for a visible top-level window with exactly this title, other than the
# window id given second; prints its id.
wait_window() {
    local title=$1 other=${2:-none} id
    for _ in $(seq 1 150); do
        id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | grep -v "^${other}\$" | tail -1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Waits until no visible window has this title (tries x 0.1 s, 15 s by default).
wait_gone() {
    local title=$1 tries=${2:-150}
    for _ in $(seq 1 "$tries"); do
        xdotool search --onlyvisible --name "^${title}\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# The program's message boxes carry the main window's title.
wait_message_box() { wait_window Tintwell "$main"; }

wait_closed() { # window id
    for _ in $(seq 1 150); do
        xdotool search --onlyvisible --name '^Tintwell$' 2>/dev/null | grep -q "^$1\$" || return 0
        sleep 0.1
    done
    return 1
}

# Keyboard focus for a window. There is no window manager on the test display
# to hand it over when a dialog opens or closes.
focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    sleep 0.3
}

click_in() { # window x y
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.3
}

# Types a path into the focused file dialog and accepts it.
type_path() {
    xdotool type --delay 15 "$1"
    sleep 0.3
    xdotool key Return
}

# Ctrl+S to a file that must not exist yet.
save_as() {
    focus "$main"
    xdotool key ctrl+s
    save=$(wait_window "Save Picture") || fail "Ctrl+S showed no save dialog for $1"
    focus "$save"
    type_path "$files/$1"
    wait_gone "Save Picture" || fail "the save dialog for $1 did not close"
    for _ in $(seq 1 50); do [ -s "$files/$1" ] && break; sleep 0.1; done
    [ -s "$files/$1" ] || fail "$1 was not written"
}

"$pictures" make "$files/photo.jpg" "$files/old.jpg" || fail "cannot make the test pictures"

export HOME="$out/home" # a fresh settings folder: the file dialogs start in a known place
mkdir -p "$HOME"
# The program must show its windows on this X display whatever the caller's
# environment says (widget tests run with QT_QPA_PLATFORM=offscreen).
QT_QPA_PLATFORM=xcb "$exe" &
app=$!

main=$(wait_window Tintwell) || fail "the main window did not appear"
focus "$main"
shot started

# File > Open Picture...: the menu by mouse, the entry by its access key.
click_in "$main" 20 10
shot file-menu
xdotool key o
dialog=$(wait_window "Open Picture") || fail "File > Open Picture... showed no file dialog"
focus "$dialog"
type_path "$files/photo.jpg"
wait_gone "Open Picture" || fail "the open dialog did not close"
sleep 0.5
shot opened

# Fill, then a click on the red ball (view origin 45,42; the picture at zoom 1).
click_in "$main" 19 37
click_in "$main" $((45 + 180)) $((42 + 170))
mask=$(wait_window "Color mask generation") || fail "a Fill click showed no mask dialog"
sleep 1 # the walk over a 600 x 400 picture takes milliseconds
shot mask-dialog
# "Add this" (Return) does nothing while the walk still runs: press again until
# the dialog closes, as a person would on a slow machine.
added=
for _ in $(seq 1 20); do
    focus "$mask"
    xdotool key Return
    if wait_gone "Color mask generation" 10; then
        added=1
        break
    fi
done
[ -n "$added" ] || fail "Return did not add the part"
shot part-added

# "Change color..." on the new part, confirmed with Return (OK).
click_in "$main" 19 141
colors=$(wait_window "Color settings") || fail "Change color... showed no dialog"
shot color-settings
focus "$colors"
xdotool key Return
wait_gone "Color settings" || fail "Return did not close the colour settings"

# Ctrl+S to a new .png.
save_as result.png
shot saved-png

# Ctrl+S over the existing .jpg: the program asks before it replaces it.
focus "$main"
xdotool key ctrl+s
save=$(wait_window "Save Picture") || fail "the second Ctrl+S showed no save dialog"
focus "$save"
type_path "$files/old.jpg"
wait_gone "Save Picture" || fail "the second save dialog did not close"
box=$(wait_message_box) || fail "no replace question for an existing file"
shot replace-question
focus "$box"
xdotool key Return # OK
wait_closed "$box" || fail "the replace question did not close"
sleep 0.5
shot saved-jpg

# Brush, one stroke across the sky (picture row 50, x 300 to 400), taken back
# with Ctrl+Z and saved, done again with Ctrl+Shift+Z and saved.
click_in "$main" 19 69
xdotool mousemove --window "$main" $((45 + 300)) $((42 + 50)) mousedown 1
for x in $(seq 305 5 400); do
    xdotool mousemove --window "$main" $((45 + x)) $((42 + 50))
    sleep 0.02
done
xdotool mouseup 1
sleep 0.3
shot stroke
focus "$main"
xdotool key ctrl+z
sleep 0.3
shot undone
save_as undone.png
focus "$main"
xdotool key ctrl+shift+z
sleep 0.3
shot redone
save_as redone.png

# Ctrl+Shift+S: the result at the photo's own size, written off the GUI thread.
focus "$main"
xdotool key ctrl+shift+s
save=$(wait_window "Save Full-Size Picture") || fail "Ctrl+Shift+S showed no save dialog"
focus "$save"
type_path "$files/full.png"
wait_gone "Save Full-Size Picture" || fail "the full-size save dialog did not close"
for _ in $(seq 1 100); do [ -s "$files/full.png" ] && break; sleep 0.1; done
[ -s "$files/full.png" ] || fail "full.png was not written"
shot saved-full-size

# File > Exit, then OK to "Sure you want to quit?" (everything is saved).
focus "$main"
click_in "$main" 20 10
xdotool key Up Return # Exit is the menu's last entry
box=$(wait_message_box) || fail "File > Exit did not ask before quitting"
shot quit-question
focus "$box"
xdotool key Return
for _ in $(seq 1 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then fail "the program did not end after OK"; fi
wait "$app"
status=$?
app=
[ "$status" -eq 0 ] || fail "the program ended with status $status"

"$pictures" check "$files/photo.jpg" "$files/result.png" "$files/old.jpg" || fail "the saved pictures are wrong"
"$pictures" check-undo "$files/result.png" "$files/undone.png" "$files/redone.png" ||
    fail "undo or redo of the stroke saved the wrong picture"
"$pictures" check-full "$files/photo.jpg" "$files/full.png" "$files/redone.png" ||
    fail "the full-size save wrote the wrong picture"
log "passed"
