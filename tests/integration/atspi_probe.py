"""Reads what a screen reader gets from a running program through AT-SPI, the
accessibility bus of the D-Bus session named by DBUS_SESSION_BUS_ADDRESS.
It runs under Debian's own interpreter, /usr/bin/python3, which has the
bindings of python3-pyatspi; test_desktop.py starts it.

    atspi_probe.py tree APP     the accessible objects of the application
                                APP, one line each: depth, role and name,
                                separated by tabs (line breaks in names as \\n)
    atspi_probe.py listen APP   "listening" once its listeners are in place,
                                then one line per event of APP's objects
                                (showing, window creation): event type, role,
                                name and detail, separated by tabs; it ends
                                when its standard input ends

Exit status 0; 1 when APP is not on the bus (tree), 2 for wrong usage.
"""

import sys

import pyatspi
from gi.repository import GLib


def line(*fields):
    print("\t".join(str(f).replace("\n", "\\n") for f in fields), flush=True)


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == name:
            return app
    return None


def tree(name):
    app = application(name)
    if app is None:
        return 1

    def walk(node, depth):
        line(depth, node.getRoleName(), node.name)
        for child in node:
            if child is not None:
                walk(child, depth + 1)
    walk(app, 0)
    return 0


def listen(name):
    def on_event(event):
        source = event.source
        try:
            if source.getApplication().name != name:
                return
            line(event.type, source.getRoleName(), source.name, event.detail1)
        except Exception:  # the object went away meanwhile
            pass

    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:showing",
                                           "window:create")
    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP,
                      lambda *_: pyatspi.Registry.stop() or False)
    GLib.idle_add(lambda: line("listening") or False)
    pyatspi.Registry.start()
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("tree", "listen"):
        sys.exit(2)
    sys.exit(tree(sys.argv[2]) if sys.argv[1] == "tree" else listen(sys.argv[2]))
