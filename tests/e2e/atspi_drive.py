#!/usr/bin/python3
"""Finds the desktop program's controls through the accessibility tree (AT-SPI)
and uses them with the mouse, as a person would: the control's place on screen
comes from the tree, the click from xdotool.

Usage (PID is the program's process id):
  atspi_drive.py wait-window PID TITLE          waits until a window with this title shows
  atspi_drive.py click PID ROLE NAME [WINDOW]   clicks the showing control (in WINDOW if given)
  atspi_drive.py menu PID MENU ITEM             opens MENU in the menu bar and clicks ITEM
  atspi_drive.py wait-gone PID TITLE            waits until no window with this title shows
  atspi_drive.py gone PID ROLE NAME [WINDOW]    waits until the control no longer shows
  atspi_drive.py where PID ROLE NAME [WINDOW]   prints the control's left, top, width, height on screen
  atspi_drive.py type PID ROLE NAME TEXT [WINDOW]
                                                puts TEXT into the showing text field
  atspi_drive.py names PID [WINDOW]             prints the role and name of every showing control

Every command polls until what it looks for shows (20 s at most), so a slow
machine only makes it slower. Roles are AT-SPI role names ("push button",
"check box", "menu item"); names are matched exactly.
"""
import subprocess
import sys
import time

import pyatspi

TIMEOUT = 20.0


def app_of(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application going away while we look
            continue
    return None


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def walk(node, depth=0):
    """The showing nodes under node, node first; hidden branches are skipped."""
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None and (showing(child) or child.getRoleName() == "menu"):
            yield from walk(child, depth + 1)


def windows(pid, title=None):
    app = app_of(pid)
    if app is None:
        return []
    found = []
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and showing(w) and (title is None or w.name == title):
            found.append(w)
    return found


def poll(what, find):
    deadline = time.monotonic() + TIMEOUT
    while True:
        try:
            result = find()
        except Exception:  # the tree changes under us while a window opens
            result = None
        if result is not None:
            return result
        if time.monotonic() > deadline:
            sys.exit(f"atspi: {what} did not show within {TIMEOUT:.0f} s")
        time.sleep(0.1)


def find_control(pid, role, name, title=None):
    for w in windows(pid, title):
        for node in walk(w):
            if node.name == name and node.getRoleName() == role and showing(node):
                return node
    return None


def click(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if box.width <= 0 or box.height <= 0:
        return False
    x, y = box.x + box.width // 2, box.y + box.height // 2
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)
    return True


def click_when_shown(pid, role, name, title=None):
    where = f" in {title}" if title else ""
    node = poll(f'{role} "{name}"{where}', lambda: find_control(pid, role, name, title))
    # Enabled and with a place on screen, or not yet.
    poll(f'{role} "{name}" enabled', lambda: True if node.getState().contains(pyatspi.STATE_ENABLED) else None)
    poll(f'{role} "{name}" placed', lambda: True if click(node) else None)


def put_text(pid, role, name, text, title=None):
    node = poll(f'{role} "{name}"', lambda: find_control(pid, role, name, title))
    node.queryEditableText().setTextContents(text)
    poll(f'"{text}" in {role} "{name}"', lambda: True if node.queryText().getText(0, -1) == text else None)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    command, pid = argv[1], int(argv[2])
    args = argv[3:]
    if command == "wait-window" and len(args) == 1:
        poll(f'window "{args[0]}"', lambda: windows(pid, args[0]) or None)
    elif command == "click" and len(args) in (2, 3):
        click_when_shown(pid, *args)
    elif command == "menu" and len(args) == 2:
        click_when_shown(pid, "menu item", args[0])
        click_when_shown(pid, "menu item", args[1])
    elif command == "wait-gone" and len(args) == 1:
        poll(f'the end of window "{args[0]}"', lambda: None if windows(pid, args[0]) else True)
    elif command == "gone" and len(args) in (2, 3):
        poll(f'the end of {args[0]} "{args[1]}"', lambda: None if find_control(pid, *args) else True)
    elif command == "where" and len(args) in (2, 3):
        node = poll(f'{args[0]} "{args[1]}"', lambda: find_control(pid, *args))
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x, box.y, box.width, box.height)
    elif command == "type" and len(args) in (3, 4):
        put_text(pid, *args)
    elif command == "names" and len(args) <= 1:
        for w in windows(pid, args[0] if args else None):
            for node in walk(w):
                print(f"{node.getRoleName()}\t{node.name}\t{node.description}")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
