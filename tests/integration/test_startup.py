"""Start-up, instance lock and the end of the session for the real binary on
X11: the first and a second instance, termination signals, no display and a
display that goes away, --help and --version, and runs outside a desktop
session.

Runs on a private Xvfb (96 dpi, so 15 twips are one pixel) with openbox.
Run as a script or with python3 -m unittest; ZB_APP_DIR names the build's
application folder.
"""

import os
import signal
import subprocess
import sys
import unittest
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
import xharness  # noqa: E402
from apprun import LOCK, PALE_YELLOW, QUIET_INI, TITLE  # noqa: E402


def wait_for_background(x, window):
    """Waits until the window's own colour shows below the picture: the
    start-up has finished showing (and painting) the window."""
    cx, cy, cw, ch = x.client_geometry(window)
    # The picture covers the top 90 pixels of the left 90.
    xharness.wait_until(lambda: x.pixel(cx + 10, cy + ch - 5) == PALE_YELLOW,
                        what="the window's background")


class StartupTest(apprun.AppTest):
    def setUp(self):
        super().setUp()
        self.app = self.make_app(QUIET_INI)

    # --- start-up ---------------------------------------------------------------

    def test_first_instance_shows_the_window_and_takes_the_lock(self):
        run = self.show(self.app)
        self.assertTrue(os.path.isfile(run.path(LOCK)))
        self.assertTrue(run.alive())
        with self.subTest("pale yellow background under the picture"):
            wait_for_background(self.x, run.window)

    def test_second_instance_ends_at_once_and_leaves_the_first_alone(self):
        first = self.show(self.app)
        second = self.finish(self.start(self.app))
        self.assertEqual((second.status, second.boxes), (0, 0), second.err)
        self.assertEqual(len(self.x.find_windows(TITLE)), 1)
        self.assertTrue(os.path.isfile(first.path(LOCK)))
        self.assertTrue(first.alive())
        self.assertNotIn(b"left=", first.read())

    def test_another_place_shows_a_second_window(self):
        self.show(self.app)
        second = self.start(self.app, ["/place:Work"])
        xharness.wait_until(lambda: len(self.x.find_windows(TITLE)) == 2,
                            what="a second window")
        self.assertTrue(os.path.isfile(second.path("zettelblick_Text1_Work.tmp")))
        self.assertTrue(second.alive())

    # --- the caller -----------------------------------------------------------------

    def test_the_caller_goes_on_while_the_notification_stays(self):
        # By default the started process ends once the window is on the screen.
        run = self.show(self.app)
        self.assertEqual(run.proc.wait(timeout=apprun.TIMEOUT), 0)
        self.assertTrue(run.alive() and os.path.isfile(run.path(LOCK)))
        [pid] = run.notification_pids()
        with open("/proc/%d/stat" % pid) as f:
            parent = int(f.read().rsplit(")", 1)[1].split()[1])
        self.assertNotIn(parent, (os.getpid(), run.proc.pid), "the caller's child")
        # A second start ends at once, without a window of its own.
        second = self.finish(self.start(self.app))
        self.assertEqual((second.status, len(self.x.find_windows(TITLE))), (0, 1))
        self.click(run.window)
        self.assert_closed_down(run)

        # Nor does a pipe that the caller left open on another descriptor (a
        # shell's pipeline) wait for the notification.
        piped = subprocess.run(["sh", "-c", 'exec 3>&1; "$0" >/dev/null 2>&1; echo $?',
                                os.path.join(self.app, self.program.binary)],
                               capture_output=True, env=self.env, timeout=apprun.TIMEOUT)
        self.assertEqual(piped.stdout, b"0\n")
        self.click(self.x.wait_for_window(TITLE))
        self.x.wait_for_no_window(TITLE)

        # With wait=1 the caller waits for the click.
        waited = self.show(self.make_app(QUIET_INI + "[window]\nwait=1\n", name="waited"))
        self.assertRaises(subprocess.TimeoutExpired, waited.proc.wait, timeout=1)
        self.click(waited.window)
        self.assert_closed_down(waited)

    def test_a_window_destroyed_by_another_program_ends_the_notification(self):
        run = self.show(self.app)
        self.x.run(["xdotool", "windowclose", str(run.window)])
        self.finish(run)
        self.assertFalse(os.path.exists(run.path(LOCK)))
        self.assertNotIn(b"left=", run.read(), "a position that is not known was written")

    # --- the end of the session ---------------------------------------------------

    def test_termination_signals_close_like_the_close_box(self):
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            with self.subTest(signal=sig.name):
                run = self.show(self.app)
                run.signal(sig)
                self.assert_closed_down(run)

    def test_termination_signal_with_a_message_box_open_ends_the_process(self):
        # The missing sound's box waits for the user, before a long timed wait.
        run = self.start(self.make_app("[wave]\nfile=missing.wav\n[window]\ntime=600000\n",
                                       name="boxed"))
        self.x.wait_for_window(apprun.BOX_TITLE)
        self.x.wait_for_window(TITLE)
        run.signal(signal.SIGTERM)
        # Nobody confirms the box; the wait is a hang detector.
        xharness.wait_until(lambda: not run.alive(), what="the end of the program")
        self.x.wait_for_no_window(apprun.BOX_TITLE)
        self.assert_closed_down(run)

    def test_without_a_display_ends_with_one_line_and_no_lock(self):
        for display, wayland in ((None, None), (":4711", None), (None, "wayland-0")):
            with self.subTest(display=display, wayland=wayland):
                env = dict(self.env)
                env.pop("DISPLAY")
                env.pop("WAYLAND_DISPLAY", None)
                if display:
                    env["DISPLAY"] = display
                if wayland:
                    env["WAYLAND_DISPLAY"] = wayland
                run = self.finish(self.start(self.app, env=env))
                # A plain exit status, not a crash by a signal.
                self.assertGreater(run.status, 0)
                self.assertEqual(len(run.err.strip().splitlines()), 1, run.err)
                self.assertIn("cannot open the X display", run.err)
                # It says what is wrong: no DISPLAY, or one that cannot be used.
                self.assertEqual("DISPLAY is not set" in run.err, not display, run.err)
                self.assertEqual("is not running" in run.err, bool(display), run.err)
                self.assertEqual("XWayland" in run.err, bool(wayland), run.err)
                self.assertFalse(os.path.exists(run.path(LOCK)))

    def test_help_and_version_answer_on_standard_output_without_display_or_lock(self):
        env = dict(self.env)
        env.pop("DISPLAY")
        for option, answer in (("--help", r"^Usage: zettelblick \[/config:NAME\]"),
                               ("--version", r"^zettelblick \d+\.\d+\n$")):
            with self.subTest(option):
                run = self.finish(self.start(self.app, [option], env=env))
                self.assertEqual((run.status, run.err), (0, ""))
                self.assertRegex(run.out, answer)
                self.assertEqual(apprun.lock_files(self.app), [])


class NoSessionTest(apprun.AppTest):
    """Runs as from a mail filter's daemon or cron: an X display, but no
    session bus (and half of them no runtime folder either)."""

    def test_runs_without_a_session_bus_leave_no_process_and_say_nothing(self):
        # Every process a run starts inherits this mark in its environment.
        mark = "ZB_RUN_MARK=" + uuid.uuid4().hex
        env = {name: value for name, value in self.env.items()
               if not name.startswith("DBUS_")}
        env.update([mark.split("=")])
        quiet = dict(env)
        quiet.pop("XDG_RUNTIME_DIR")
        app = self.make_app("[window]\ntime=200\n")
        for i in range(9):
            run = self.finish(self.start(app, env=env if i % 2 else quiet))
            self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
        # The program a click starts gets the caller's environment unchanged.
        script = os.path.join(self.root, "started")
        with open(script, "w") as f:
            f.write("#!/bin/sh\nenv > \"$0.tmp\" && mv \"$0.tmp\" \"$0.env\"\n")
        os.chmod(script, 0o755)
        clicked = self.make_app("[program]\npath=%s\n[wave]\nfile=\n" % script, name="click")
        run = self.show_and_click(clicked, env=env)
        self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
        started = xharness.wait_until(lambda: os.path.exists(script + ".env") and
                                      apprun.read_bytes(script + ".env").decode())
        self.assertIn(mark, started.splitlines())
        self.assertNotIn("DBUS_SESSION_BUS_ADDRESS", started)
        self.assertNotIn("PULSE_SERVER", started)
        self.assertNotIn("QT_NO_GLIB", started)
        self.assertEqual(marked_processes(mark), [])


def marked_processes(mark):
    """The command lines of the processes whose environment holds `mark`."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if mark.encode() not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                found.append(f.read().replace(b"\0", b" ").decode(errors="replace"))
        except OSError:
            pass
    return found


class DisplayLossTest(apprun.AppTest):
    # The test ends the class's X server.
    def test_lost_display_still_removes_the_lock_and_saves_the_position(self):
        # The caller waits for the end, so it sees the status the loss gives.
        run = self.show(self.make_app(QUIET_INI + "[window]\nwait=1\n"))
        wait_for_background(self.x, run.window)
        # The X server goes away, as at the end of a session.
        self.x.kill_server()
        run.proc.communicate(timeout=xharness.DEFAULT_TIMEOUT)
        self.assertGreater(run.proc.returncode, 0)
        self.assertFalse(os.path.exists(run.path(LOCK)))
        lines = run.lines()
        self.assertIn("left= 3495", lines)
        self.assertIn("top= 3495", lines)


if __name__ == "__main__":
    unittest.main()
