#!/usr/bin/env bash
# Uses the real desktop program the way a person would, with the mouse and the
# keyboard (xdotool) on an X display: opens a photo through File > Open
# Picture..., grows a part with Fill, adds it, confirms "Change color...", saves
# with Ctrl+S to a new .png and over an existing .jpg, paints a brush stroke,
# undoes it (Ctrl+Z) and redoes it (Ctrl+Shift+Z), saving after each, saves at
# full size with Ctrl+Shift+S, saves the project with Ctrl+Alt+S and quits
# through File > Exit. Then checks the saved pictures. Last, on a 6000 x 4000
# photo, the view at 100 % against the full-size save and the photo.
#
# Menus, tool buttons, dialog buttons and the picture are found through the
# accessibility tree (atspi_drive.py), so the test does not depend on where
# the layout puts them. Run it under xvfb-run and dbus-run-session.
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
drive="/usr/bin/python3 $(dirname "$0")/atspi_drive.py"

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

# Controls by their accessible role and name (in the window titled as the
# optional last argument); each call waits until the control shows.
press() { $drive click "$app" "$@"; }
menu() { $drive menu "$app" "$@"; }

# Fills in the file dialog titled $1 with the path $2 and presses its button $3.
file_dialog() {
    $drive wait-window "$app" "$1" || fail "no $1 dialog"
    $drive type "$app" text "File name:" "$2" "$1" || fail "cannot type into the $1 dialog"
    press "push button" "$3" "$1" || fail "no $3 button in the $1 dialog"
}

# Where the picture's top-left pixel is on the screen.
picture_origin() {
    read -r px py _ < <($drive where "$app" filler Picture) || fail "the picture is not in the accessibility tree"
}

# Ctrl+S to a file that must not exist yet.
save_as() {
    focus "$main"
    xdotool key ctrl+s
    file_dialog "Save Picture" "$files/$1" Save
    $drive wait-gone "$app" "Save Picture" || fail "the save dialog for $1 did not close"
    for _ in $(seq 1 50); do [ -s "$files/$1" ] && break; sleep 0.1; done
    [ -s "$files/$1" ] || fail "$1 was not written"
}

# "Add this" does nothing while the walk still runs: press again until the
# mask dialog closes, as a person would on a slow machine.
add_this() {
    local _
    for _ in $(seq 1 20); do
        press "push button" "Add this" "Color mask generation" || return 1
        wait_gone "Color mask generation" 10 && return 0
    done
    return 1
}

"$pictures" make "$files/photo.jpg" "$files/old.jpg" || fail "cannot make the test pictures"

export HOME="$out/home" # a fresh home: the file dialogs start in a known place
export XDG_CONFIG_HOME="$out/config" # and what the program remembers starts empty
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
# The program must show its windows on this X display whatever the caller's
# environment says (widget tests run with QT_QPA_PLATFORM=offscreen), and its
# accessibility tree even without a screen reader running.
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$exe" &
app=$!

main=$(wait_window Tintwell) || fail "the main window did not appear"
$drive wait-window "$app" Tintwell || fail "the main window is not in the accessibility tree"
focus "$main"
shot started

# File > Open Picture... by mouse.
menu File "Open Picture..." || fail "no File > Open Picture..."
shot file-dialog
file_dialog "Open Picture" "$files/photo.jpg" Open
$drive wait-gone "$app" "Open Picture" || fail "the open dialog did not close"
sleep 0.5
shot opened

# Fill, then a click on the red ball (the picture at zoom 1).
press "check box" Fill || fail "no Fill tool button"
picture_origin
xdotool mousemove $((px + 180)) $((py + 170)) click 1
$drive wait-window "$app" "Color mask generation" || fail "a Fill click showed no mask dialog"
sleep 1 # the walk over a 600 x 400 picture takes milliseconds
shot mask-dialog
add_this || fail "Add this did not add the part"
shot part-added

# "Change color..." on the new part, confirmed with OK.
press "push button" "Change color..." || fail "no Change color... tool button"
$drive wait-window "$app" "Color settings" || fail "Change color... showed no dialog"
shot color-settings
press "push button" OK "Color settings" || fail "no OK in the colour settings"
$drive wait-gone "$app" "Color settings" || fail "OK did not close the colour settings"

# Ctrl+S to a new .png.
save_as result.png
shot saved-png

# Ctrl+S over the existing .jpg: the program asks before it replaces it.
focus "$main"
xdotool key ctrl+s
file_dialog "Save Picture" "$files/old.jpg" Save
$drive wait-gone "$app" "Save Picture" || fail "the second save dialog did not close"
box=$(wait_message_box) || fail "no replace question for an existing file"
shot replace-question
press "push button" OK || fail "no OK in the replace question"
wait_closed "$box" || fail "the replace question did not close"
sleep 0.5
shot saved-jpg

# Brush, one stroke across the sky (picture row 50, x 300 to 400), taken back
# with Ctrl+Z and saved, done again with Ctrl+Shift+Z and saved.
press "check box" Brush || fail "no Brush tool button"
picture_origin
xdotool mousemove $((px + 300)) $((py + 50)) mousedown 1
for x in $(seq 305 5 400); do
    xdotool mousemove $((px + x)) $((py + 50))
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
file_dialog "Save Full-Size Picture" "$files/full.png" Save
wait_gone "Save Full-Size Picture" || fail "the full-size save dialog did not close"
for _ in $(seq 1 100); do [ -s "$files/full.png" ] && break; sleep 0.1; done
[ -s "$files/full.png" ] || fail "full.png was not written"
shot saved-full-size

# Pictures keep the result, not the work: only the project does. Ctrl+Alt+S
# saves it, which clears the "*" in the title.
focus "$main"
xdotool key ctrl+alt+s
file_dialog "Save Project" "$files/work.tintwell" Save
$drive wait-gone "$app" "Save Project" || fail "the project save dialog did not close"
[ -s "$files/work.tintwell" ] || fail "work.tintwell was not written"
wait_window "work.tintwell - Tintwell" >/dev/null || fail "the title does not name the saved project: $(xdotool getwindowname "$main")"
shot saved-project

# File > Exit, then OK to "Sure you want to quit?" (the work is saved).
focus "$main"
menu File Exit || fail "no File > Exit"
box=$(wait_message_box) || fail "File > Exit did not ask before quitting"
shot quit-question
press "push button" OK || fail "no OK in the quit question"
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

# A 6000 x 4000 photo: at 100 % (Ctrl+1) the view shows the photo's own
# pixels, and they are the full-size result's, exactly; with Show Original (\)
# they are the photo's.
if [ -n "${TW_E2E_NO_LARGE_PHOTO:-}" ]; then
    log "passed (without the large photo)"
    exit 0
fi
"$pictures" make-large "$files/large.png" || fail "cannot make the large photo"
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$exe" &
app=$!
main=$(wait_window Tintwell) || fail "the main window did not appear again"
$drive wait-window "$app" Tintwell || fail "the main window is not in the accessibility tree again"
focus "$main"
menu File "Open Picture..." || fail "no File > Open Picture..."
file_dialog "Open Picture" "$files/large.png" Open
$drive wait-gone "$app" "Open Picture" || fail "the open dialog did not close"
sleep 1
press "check box" Fill || fail "no Fill tool button"
picture_origin
# The picture is shown whole, so this click lands on the grass: the part's
# border is the horizon.
xdotool mousemove $((px + 240)) $((py + 227)) click 1
$drive wait-window "$app" "Color mask generation" || fail "a Fill click on the large photo showed no mask dialog"
sleep 1
add_this || fail "Add this did not add the part of the large photo"
press "push button" "Change color..." || fail "no Change color... tool button"
$drive wait-window "$app" "Color settings" || fail "Change color... showed no dialog"
press "push button" OK "Color settings" || fail "no OK in the colour settings"
$drive wait-gone "$app" "Color settings" || fail "OK did not close the colour settings"
focus "$main"
xdotool key ctrl+1
# The view keeps its centre, the photo's (3000, 2000): the horizon (row 2300)
# lies in view. The pointer goes off the view, with its marks.
read -r vx vy vw vh < <($drive where "$app" filler "Picture area") || fail "the picture area is not in the accessibility tree"
xdotool mousemove 5 5
sleep 2 # sharp within a quarter of a second
shot photo-100
# The viewport without the frame and the scroll bars.
crop="$((vw - 40))x$((vh - 40))+$((vx + 4))+$((vy + 4))"
import -window root -crop "$crop" "$files/view-100.png" || fail "cannot take the view's pixels"
focus "$main"
xdotool key ctrl+shift+s
file_dialog "Save Full-Size Picture" "$files/large-full.png" Save
wait_gone "Save Full-Size Picture" || fail "the full-size save dialog did not close"
for _ in $(seq 1 300); do [ -s "$files/large-full.png" ] && break; sleep 0.1; done
sleep 1
focus "$main"
xdotool key backslash
xdotool mousemove 5 5
sleep 0.5
shot photo-100-original
import -window root -crop "$crop" "$files/view-original.png" || fail "cannot take the view's pixels"
kill "$app"
wait "$app" 2>/dev/null
app=
"$pictures" find-view "$files/view-100.png" "$files/large-full.png" ||
    fail "the view at 100 % does not show the full-size result's pixels"
"$pictures" not-in "$files/view-100.png" "$files/large.png" || fail "the view at 100 % shows no part"
"$pictures" find-view "$files/view-original.png" "$files/large.png" ||
    fail "Show Original does not show the photo's own pixels"
log "passed"
