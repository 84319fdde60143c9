"""The notification's manners on a desktop, with the real binary on X11: it
leaves the keyboard focus where the user types, appears on a screen, writes
back exactly where it was, cannot be minimised or rolled up (shaded) away,
shows on every virtual desktop, stands three mailboxes' notifications apart
(the same cases under openbox, IceWM, Fluxbox and xfwm4), moves off a
monitor that is gone, tells a screen reader its message (AT-SPI, read
by atspi_probe.py), and waits while a full-screen window is active, dunst
is paused or GNOME shows no banners. The typing window is an xterm whose shell copies what
it receives to a file.

Needs what xharness.py needs, xterm, xrandr, wmctrl, xfwm4, dbus-daemon,
at-spi2-core, python3-pyatspi, dunst, gsettings and GNOME's schemas; ZB_APP_DIR names the build's application folder.
"""

import os
import re
import signal
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
import xharness  # noqa: E402
from apprun import QUIET_INI, TITLE  # noqa: E402


class DesktopCases:
    """The cases of every window manager (mixed into an AppTest)."""

    def close(self, run):
        self.click(run.window)
        self.finish(run)
        lines = run.lines()
        return [int(line.split("=")[1]) for line in lines if re.match("(left|top)=", line)]

    def test_typing_goes_on_in_the_window_the_user_types_in(self):
        typed = os.path.join(self.root, "typed")
        term = subprocess.Popen(["xterm", "-T", "Notizen", "-geometry", "60x10+500+500", "-e",
                                 "sh", "-c", "stty -icanon; cat > '%s'" % typed],
                                env=self.env, stderr=subprocess.DEVNULL)
        self.addCleanup(term.wait)
        self.addCleanup(term.kill)
        cx, cy, _, _ = self.x.client_geometry(self.x.wait_for_window("Notizen"))
        self.x.click(cx + 20, cy + 20)
        self.x.run(["xdotool", "type", "--delay", "20", "vorher "])
        xharness.wait_until(lambda: os.path.isfile(typed) and apprun.read_bytes(typed),
                            what="the first keys in the typing window")
        run = self.show(self.make_app(QUIET_INI))
        self.x.run(["xdotool", "type", "--delay", "20", "nachher"])
        xharness.wait_until(lambda: apprun.read_bytes(typed) == b"vorher nachher",
                            what="the keys typed after the notification appeared")
        self.close(run)

    def test_position_written_back_stays_over_five_cycles(self):
        app = self.make_app(QUIET_INI + "[window]\nleft=1500\ntop=3000\n")
        for cycle in range(5):
            run = self.show(app)
            self.assertEqual(self.x.outer_geometry(run.window)[:2], (100, 200), cycle)
            self.assertEqual(self.close(run), [1500, 3000], cycle)

    def test_settings_out_of_sight_give_a_visible_window_that_writes_its_place(self):
        area = [int(v) for v in re.findall(r"\d+", self.x.run(
            ["xprop", "-root", "_NET_WORKAREA"]).split("=")[1])[:4]]
        for place in ("left=100000\ntop=100000", "left=-100000\ntop=3000"):
            run = self.show(self.make_app(QUIET_INI + "[window]\n%s\n" % place, name=None))
            x, y, w, h = self.x.outer_geometry(run.window)
            self.assertTrue(area[0] <= x <= area[0] + area[2] - w and
                            area[1] <= y <= area[1] + area[3] - h, (x, y, w, h, area))
            self.assertEqual(self.close(run), [x * 15, y * 15])

    def test_never_minimised_nor_shaded_and_on_every_desktop(self):
        run = self.show(self.make_app(QUIET_INI))
        self.x.run(["xdotool", "windowminimize", str(run.window)])
        # The window manager refuses, or the notification maps itself again.
        time.sleep(1.0)
        xharness.wait_until(lambda: run.window in self.x.viewable(TITLE),
                            what="the notification back on the screen")
        self.x.run(["wmctrl", "-i", "-r", str(run.window), "-b", "add,shaded"])
        time.sleep(1.0)
        xharness.wait_until(lambda: "SHADED" not in self.x.prop(run.window, "_NET_WM_STATE")
                            and run.window in self.x.viewable(TITLE),
                            what="the notification unrolled")
        self.x.run(["xdotool", "set_num_desktops", "2"])
        self.x.run(["xdotool", "set_desktop", "1"])
        self.addCleanup(self.x.run, ["xdotool", "set_desktop", "0"])
        xharness.wait_until(lambda: "= 1" in self.x.run(["xprop", "-root",
                                                         "_NET_CURRENT_DESKTOP"]),
                            what="the second desktop")
        self.assertIn(run.window, self.x.viewable(TITLE))
        self.close(run)


    def test_three_mailboxes_stand_apart(self):
        app = self.make_app(QUIET_INI + "[window]\nwait=1\n")
        runs = [self.start(app, ["/place:" + place]) for place in ("Work", "Private", "Lists")]
        self.assert_stacked_apart(xharness.wait_until(
            lambda: len(self.x.viewable(TITLE)) == 3 and self.x.viewable(TITLE),
            what="three windows"))
        for run in runs:
            self.assertEqual(self.finish(run).status, 0)


class OpenboxTest(DesktopCases, apprun.AppTest):
    SESSION = {"window_manager": "openbox"}


class IceWMTest(DesktopCases, apprun.AppTest):
    SESSION = {"window_manager": "icewm"}


class FluxboxTest(DesktopCases, apprun.AppTest):
    SESSION = {"window_manager": "fluxbox"}


class Xfwm4Test(DesktopCases, apprun.AppTest):
    SESSION = {"window_manager": "xfwm4"}


class MonitorTest(apprun.AppTest):
    def test_window_of_a_monitor_that_is_gone_moves_onto_another(self):
        # Two RandR monitors side by side on Xvfb's one screen.
        self.x.run(["xrandr", "--setmonitor", "left", "640/169x1024/270+0+0", "screen"])
        self.x.run(["xrandr", "--setmonitor", "right", "640/169x1024/270+640+0", "none"])
        app = self.make_app(QUIET_INI + "[window]\nleft=15000\n")  # pixel 1000
        for monitors, left in ((2, 1000), (1, 640 - 233)):
            if monitors == 1:
                self.x.run(["xrandr", "--delmonitor", "right"])
            run = self.show(app)
            self.assertEqual(self.x.outer_geometry(run.window)[:2], (left, 233))
            self.click(run.window)
            self.finish(run)


class HoldBackTest(apprun.AppTest):
    """Held back while the user is busy: no window while a full-screen
    window is active, dunst is paused (on the session's own bus) or GNOME
    shows no banners, the
    lock taken meanwhile, the window once that ends."""

    SESSION = {"session_bus": True}

    def assert_held_back_until(self, busy_ends):
        app = self.make_app(QUIET_INI)
        run = self.start(app)
        xharness.wait_until(lambda: os.path.exists(run.path(apprun.LOCK)), what="the lock")
        self.assertEqual(self.finish(self.start(app)).status, 0, "a second start ends at once")
        # Another one held back ends with the session: its lock goes, and it
        # writes no position.
        other = self.start(app, ["/place:Work"])
        xharness.wait_until(lambda: os.path.exists(run.path("zettelblick_Text1_Work.tmp")),
                            what="the second lock")
        other.signal(signal.SIGTERM)
        self.assertEqual(self.finish(other).status, 0)
        self.assertEqual(apprun.lock_files(app), [apprun.LOCK])
        self.assertNotIn("left=", run.read().decode())
        time.sleep(1.0)
        self.assertEqual(self.x.viewable(TITLE), [])
        busy_ends()
        run.window = self.wait_for_window_or_end(run)
        self.assertIsNotNone(run.window, "no window once the user is free")
        self.click(run.window)
        self.assert_closed_down(run)

    def test_held_back_while_a_focused_window_is_full_screen(self):
        term = subprocess.Popen(["xterm", "-T", "Vollbild"], env=self.env,
                                stderr=subprocess.DEVNULL)
        self.addCleanup(term.wait)
        self.addCleanup(term.kill)
        self.x.wait_for_window("Vollbild")
        self.x.run(["wmctrl", "-r", "Vollbild", "-b", "add,fullscreen"])
        self.assert_held_back_until(
            lambda: self.x.run(["wmctrl", "-r", "Vollbild", "-b", "remove,fullscreen"]))

    def test_held_back_while_dunst_is_paused(self):
        dunst = subprocess.Popen(["dunst"], env=self.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        self.addCleanup(dunst.wait)
        self.addCleanup(dunst.kill)
        xharness.wait_until(lambda: subprocess.run(["dunstctl", "set-paused", "true"],
                                                   env=self.env, capture_output=True)
                            .returncode == 0, what="dunst to pause")
        self.assert_held_back_until(
            lambda: self.x.run(["dunstctl", "set-paused", "false"]))


    def test_held_back_while_gnome_shows_no_banners(self):
        # The keyfile backend (no dconf) learns of the change by watching its
        # file, as a desktop without dconf does.
        self.env["GSETTINGS_BACKEND"] = "keyfile"
        self.addCleanup(self.env.pop, "GSETTINGS_BACKEND")
        banners = ["gsettings", "set", "org.gnome.desktop.notifications", "show-banners"]
        self.x.run(banners + ["false"])
        self.assert_held_back_until(lambda: self.x.run(banners + ["true"]))


class ScreenReaderTest(apprun.AppTest):
    """A private session bus, Qt's AT-SPI bridge on as for a screen reader."""

    SESSION = {"session_bus": True}

    def probe(self, *args):
        """The lines atspi_probe.py writes, in a list that fills as it runs.
        It runs under Debian's python3, which has python3-pyatspi."""
        proc = subprocess.Popen(["/usr/bin/python3", os.path.join(
            os.path.dirname(os.path.abspath(__file__)), "atspi_probe.py")] + list(args),
            env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        lines = []
        threading.Thread(target=lambda: [lines.append(line) for line in proc.stdout],
                         daemon=True).start()

        def end():
            proc.stdin.close()  # the listener's signal to stop
            proc.wait(timeout=xharness.DEFAULT_TIMEOUT)
            proc.stdout.close()
        self.addCleanup(end)
        return lines

    def test_message_is_read_and_the_notification_announced(self):
        events = self.probe("listen", "zettelblick")  # before the start, as a screen reader
        xharness.wait_until(lambda: events, what="the listener")
        run = self.show(self.make_app(QUIET_INI + "[text]\nText1=Neue && alte\\nPost &da\n"),
                        env=dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
        xharness.wait_until(
            lambda: "object:state-changed:showing\tnotification\t%s\t1\n" % TITLE in events,
            what="the notification's showing event (got %r)" % events)
        tree = self.probe("tree", "zettelblick")
        xharness.wait_until(lambda: len(tree) >= 4, what="the accessible objects")
        self.assertEqual([line.rstrip("\n").split("\t")[1:] for line in tree],
                         [["application", "zettelblick"], ["notification", TITLE],
                          ["label", "Neue & alte\\nPost da"], ["image", "thebat"]])
        self.assertNotIn("%#x" % run.window, self.x.run(["xprop", "-root", "_NET_ACTIVE_WINDOW"]))
        self.click(run.window)
        self.finish(run)


if __name__ == "__main__":
    unittest.main()
