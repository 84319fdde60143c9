"""The notification as a good desktop citizen, with the real binary on X11
under openbox, IceWM and Fluxbox: it leaves the keyboard focus where the user
types, always appears on a screen, writes back exactly where it was, cannot
be minimised away, shows on every virtual desktop, and (with a D-Bus session)
tells a screen reader its message.

Each window manager has a class of its own (one X session each) running the
same cases. The typing window is an xterm whose shell copies what it
receives to a file. Monitors come and go with xrandr. The screen reader's
side is atspi_probe.py.

Run as a script or with python3 -m unittest; ZB_APP_DIR names the build's
application folder. Needs what xharness.py needs, xterm, xrandr, and for
the accessibility case dbus-daemon, at-spi2-core and python3-pyatspi.
"""

import os
import re
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
import xharness  # noqa: E402
from apprun import QUIET_INI, TITLE  # noqa: E402

TWIPS_PER_PIXEL = 15
PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_probe.py")
# Debian's interpreter, which has python3-pyatspi (another python3 may come
# first along PATH).
SYSTEM_PYTHON = "/usr/bin/python3"


class DesktopCases:
    """The cases every window manager runs (mixed into an AppTest)."""

    def work_area(self):
        """The first work area the window manager announces: (x, y, w, h)."""
        value = self.x.run(["xprop", "-root", "_NET_WORKAREA"])
        return tuple(int(v) for v in re.findall(r"\d+", value.split("=", 1)[1])[:4])

    def close_by_click(self, run):
        self.click(run.window)
        return self.finish(run)

    def written_position(self, run):
        lines = run.lines()
        return (int(next(line for line in lines if line.startswith("left="))[5:]),
                int(next(line for line in lines if line.startswith("top="))[4:]))

    def test_typing_goes_on_in_the_window_the_user_types_in(self):
        typed = os.path.join(self.root, "typed")
        term = subprocess.Popen(
            ["xterm", "-T", "Notizen", "-geometry", "60x10+500+500", "-e", "sh", "-c",
             "stty -icanon; cat > '%s'" % typed],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(term.wait)
        self.addCleanup(term.kill)
        notes = self.x.wait_for_window("Notizen")
        cx, cy, _, _ = self.x.client_geometry(notes)
        self.x.click(cx + 20, cy + 20)
        self.x.run(["xdotool", "type", "--delay", "20", "vorher "])
        xharness.wait_until(lambda: os.path.isfile(typed) and apprun.read_bytes(typed),
                            what="the first keys in the typing window")
        run = self.show(self.make_app(QUIET_INI))
        self.x.run(["xdotool", "type", "--delay", "20", "nachher"])
        xharness.wait_until(lambda: apprun.read_bytes(typed) == b"vorher nachher",
                            what="the keys typed after the notification appeared "
                                 "(got %r)" % apprun.read_bytes(typed))
        self.assertIn(run.window, self.x.viewable(TITLE))
        self.assertEqual(self.close_by_click(run).status, 0)

    def test_position_written_back_stays_over_five_cycles(self):
        app = self.make_app(QUIET_INI + "[window]\nleft=1500\ntop=3000\n")
        for cycle in range(5):
            with self.subTest(cycle=cycle):
                run = self.show(app)
                self.assertEqual(self.x.outer_geometry(run.window)[:2], (100, 200))
                self.close_by_click(run)
                self.assertEqual(self.written_position(run), (1500, 3000))

    def test_settings_out_of_sight_give_a_visible_window_that_writes_its_place(self):
        area = self.work_area()
        for left, top in ((100000, 100000), (-100000, 3000)):
            with self.subTest(left=left, top=top):
                run = self.show(self.make_app(QUIET_INI + "[window]\nleft=%d\ntop=%d\n"
                                              % (left, top), name=None))
                x, y, w, h = self.x.outer_geometry(run.window)
                self.assertTrue(area[0] <= x and x + w <= area[0] + area[2] and
                                area[1] <= y and y + h <= area[1] + area[3],
                                "window %r outside the work area %r" % ((x, y, w, h), area))
                self.close_by_click(run)
                self.assertEqual(self.written_position(run),
                                 (x * TWIPS_PER_PIXEL, y * TWIPS_PER_PIXEL))

    def test_never_minimised_and_on_every_desktop(self):
        run = self.show(self.make_app(QUIET_INI))
        self.x.run(["xdotool", "windowminimize", str(run.window)])
        # The window manager refuses, or the notification maps itself again.
        time.sleep(1.0)
        xharness.wait_until(lambda: run.window in self.x.viewable(TITLE),
                            what="the notification back on the screen")
        self.assertIn("Normal", self.x.prop(run.window, "WM_STATE"))
        self.x.run(["xdotool", "set_num_desktops", "2"])
        self.addCleanup(self.x.run, ["xdotool", "set_desktop", "0"])
        self.x.run(["xdotool", "set_desktop", "1"])
        xharness.wait_until(lambda: "= 1" in self.x.run(["xprop", "-root",
                                                         "_NET_CURRENT_DESKTOP"]),
                            what="the second desktop")
        self.assertIn(run.window, self.x.viewable(TITLE))
        self.assertEqual(self.close_by_click(run).status, 0)


class OpenboxTest(DesktopCases, apprun.AppTest):
    SESSION = {"window_manager": "openbox"}


class IceWMTest(DesktopCases, apprun.AppTest):
    SESSION = {"window_manager": "icewm"}


class FluxboxTest(DesktopCases, apprun.AppTest):
    SESSION = {"window_manager": "fluxbox"}


class MonitorTest(apprun.AppTest):
    """Two monitors side by side: RandR monitors on the one screen of Xvfb."""

    def test_window_of_a_monitor_that_is_gone_moves_onto_another(self):
        self.x.run(["xrandr", "--setmonitor", "left", "640/169x1024/270+0+0", "screen"])
        self.x.run(["xrandr", "--setmonitor", "right", "640/169x1024/270+640+0", "none"])
        # Pixel 1000: on the right-hand monitor.
        app = self.make_app(QUIET_INI + "[window]\nleft=15000\n")
        run = self.show(app)
        self.assertEqual(self.x.outer_geometry(run.window)[:2], (1000, 233))
        self.click(run.window)
        self.finish(run)
        self.x.run(["xrandr", "--delmonitor", "right"])
        run = self.show(app)
        self.assertEqual(self.x.outer_geometry(run.window)[:2], (640 - 233, 233))


class ScreenReaderTest(apprun.AppTest):
    """AT-SPI on a private session bus, Qt's bridge switched on as by a
    running screen reader."""

    SESSION = {"session_bus": True}

    def probe(self, *args):
        """The lines atspi_probe.py writes, as a list that fills while it runs."""
        proc = subprocess.Popen([SYSTEM_PYTHON, PROBE] + list(args), env=self.env,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        lines = []

        def read():
            for line in iter(proc.stdout.readline, ""):
                lines.append(line)

        def end():
            proc.stdin.close()  # the listener's signal to stop
            try:
                proc.wait(timeout=xharness.DEFAULT_TIMEOUT)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
            proc.stdout.close()
        threading.Thread(target=read, daemon=True).start()
        self.addCleanup(end)
        return lines

    def test_message_is_read_and_the_notification_announced(self):
        # Listening before the notification starts, as a screen reader does.
        events = self.probe("listen", "zettelblick")
        xharness.wait_until(lambda: events, what="the listener")
        env = dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        run = self.show(self.make_app(QUIET_INI + "[text]\nText1=Neue && alte\\nPost &da\n"),
                        env=env)
        xharness.wait_until(
            lambda: "object:state-changed:showing\tnotification\t%s\t1\n" % TITLE in events,
            what="the notification's showing event (got %r)" % events)
        tree = self.probe("tree", "zettelblick")
        xharness.wait_until(lambda: len(tree) >= 4, what="the accessible objects")
        self.assertEqual([line.rstrip("\n").split("\t")[1:] for line in tree],
                         [["application", "zettelblick"], ["notification", TITLE],
                          ["label", "Neue & alte\\nPost da"], ["image", "thebat.jpg"]])
        # Announced without taking the focus.
        self.assertNotIn("%#x" % run.window,
                         self.x.run(["xprop", "-root", "_NET_ACTIVE_WINDOW"]))
        self.click(run.window)
        self.assertEqual(self.finish(run).status, 0)


if __name__ == "__main__":
    unittest.main()
