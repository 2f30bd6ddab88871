#!/usr/bin/python3
"""What a screen reader learns of the running program over AT-SPI, read with pyatspi as Orca
reads it. Used by test_program_screenreader.

  screenreader.py tree    prints each object of the program's windows, one a line:
                          window, role, name, actions (comma-separated), "focused" or "",
                          for a table its number of columns, description, and the key
                          binding of its first action
  screenreader.py focus   prints "listening", then, one a line, each object that takes the
                          focus (role, name, and its description and key binding when it
                          has them) and each that becomes selected (role, name, "selected"),
                          until its input closes
"""
import sys
import threading
import time

import pyatspi
from gi.repository import GLib

PROGRAM = "mzpwdbook"
MAX_OBJECTS = 2000  # the windows hold a few dozen objects, and a table a few rows
MAX_CHILDREN = 100
MAX_DEPTH = 12


def program():
    """The program's accessible application, once it has joined the desktop, or None."""
    for _ in range(200):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == PROGRAM:
                return app
        time.sleep(0.1)
    return None


def actions(obj):
    try:
        action = obj.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def key_binding(obj):
    try:
        action = obj.queryAction()
    except NotImplementedError:
        return ""
    return action.getKeyBinding(0) if action.nActions else ""


def columns(obj):
    try:
        return str(obj.queryTable().nColumns)
    except NotImplementedError:
        return ""


def tree(app):
    budget = [MAX_OBJECTS]

    def walk(window, obj, depth):
        if obj is None or depth > MAX_DEPTH or budget[0] <= 0:
            return
        budget[0] -= 1
        focused = "focused" if obj.getState().contains(pyatspi.STATE_FOCUSED) else ""
        fields = [window, obj.getRoleName(), obj.name, ",".join(actions(obj)), focused, columns(obj),
                  obj.description, key_binding(obj)]
        print("\t".join(field.replace("\t", " ").replace("\n", " ") for field in fields))
        for i in range(min(obj.childCount, MAX_CHILDREN)):
            walk(window, obj.getChildAtIndex(i), depth + 1)

    for i in range(min(app.childCount, MAX_CHILDREN)):
        window = app.getChildAtIndex(i)
        if window is not None:
            walk(window.name, window, 0)


def follow_focus():
    def heard(obj, *more):
        fields = [obj.getRoleName(), obj.name] + [field for field in more if field]
        print("\t".join(field.replace("\t", " ").replace("\n", " ") for field in fields), flush=True)

    def on_focus(event):
        if event.detail1 == 1:
            heard(event.source, event.source.description, key_binding(event.source))

    def on_selected(event):
        if event.detail1 == 1:
            heard(event.source, "selected")

    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    pyatspi.Registry.registerEventListener(on_selected, "object:state-changed:selected")
    # The test closes the input when it has seen what it waited for.
    threading.Thread(target=lambda: (sys.stdin.read(), GLib.idle_add(pyatspi.Registry.stop)), daemon=True).start()
    GLib.idle_add(lambda: print("listening", flush=True))
    pyatspi.Registry.start()


def main():
    app = program()
    if app is None:
        print(f"{PROGRAM} is not on the accessibility bus", file=sys.stderr)
        return 2
    if sys.argv[1:] == ["tree"]:
        tree(app)
    elif sys.argv[1:] == ["focus"]:
        follow_focus()
    else:
        print(__doc__, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
