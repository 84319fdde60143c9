"""What a screen reader gets from a program through AT-SPI (the accessibility
bus of the D-Bus session in DBUS_SESSION_BUS_ADDRESS), as tab-separated
lines, names with line breaks as \\n:

    atspi_probe.py tree APP     the objects of application APP: depth, role, name
    atspi_probe.py listen APP   "listening", then per showing or window creation
                                in APP: event, role, name, detail; it ends when
                                its standard input does
"""

import sys

import pyatspi
from gi.repository import GLib


def line(*fields):
    print("\t".join(str(f).replace("\n", "\\n") for f in fields), flush=True)


def tree(node, depth=0):
    line(depth, node.getRoleName(), node.name)
    for child in node:
        tree(child, depth + 1)


def on_event(event):
    try:
        if event.source.getApplication().name == sys.argv[2]:
            line(event.type, event.source.getRoleName(), event.source.name, event.detail1)
    except Exception:  # the object has gone meanwhile
        pass


if sys.argv[1] == "tree":
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == sys.argv[2]:
            tree(app)
else:
    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:showing",
                                           "window:create")
    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP,
                      lambda *_: pyatspi.Registry.stop() or False)
    GLib.idle_add(lambda: line("listening") or False)
    pyatspi.Registry.start()
