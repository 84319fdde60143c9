"""Start-up, instance lock and close-down of the real binary on X11.

Runs on a private Xvfb (96 dpi, so 15 twips are one pixel) with openbox.
Run as a script or with python3 -m unittest; ZB_APP_DIR names the build's
application folder.
"""

import os
import shutil
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xharness  # noqa: E402

TITLE = "Zettelblick 2"
LOCK = "zettelblick_Text1_Beispieltext.tmp"
# No sound in these tests.
QUIET_INI = "[wave]\nfile=\n"
PALE_YELLOW = (0xFE, 0xFE, 0xBA)
# The defaults at 96 dpi: 3500, 3500, 3500 by 2000 twips.
DEFAULT_OUTER = (233, 233, 233, 133)


class StartupTest(xharness.XSessionTestCase):
    def setUp(self):
        self.app_dir = xharness.make_app_dir(QUIET_INI)
        self.binary = os.path.join(self.app_dir, "zettelblick")
        self.processes = []

    def tearDown(self):
        for proc in self.processes:
            if proc.poll() is None:
                proc.kill()
            proc.communicate()
        self.x.wait_for_no_window(TITLE)
        shutil.rmtree(self.app_dir, ignore_errors=True)

    def start(self, args=(), env=None):
        proc = self.x.start([self.binary] + list(args), env=env)
        self.processes.append(proc)
        return proc

    def finish(self, proc):
        out, err = proc.communicate(timeout=xharness.DEFAULT_TIMEOUT)
        return proc.returncode, err

    def path(self, name):
        return os.path.join(self.app_dir, name)

    def ini(self):
        return xharness.read_text(self.path("zettelblick.ini"))

    def show(self):
        proc = self.start()
        window = self.x.wait_for_window(TITLE)
        return proc, window

    # --- start-up ---------------------------------------------------------------

    def test_first_instance_shows_the_window_and_takes_the_lock(self):
        proc, window = self.show()
        self.assertTrue(os.path.isfile(self.path(LOCK)))
        self.assertIsNone(proc.poll())
        with self.subTest("outer frame where the settings put it"):
            self.assertEqual(self.x.outer_geometry(window), DEFAULT_OUTER)
        with self.subTest("tool window kept out of the taskbar"):
            self.assertIn("_NET_WM_WINDOW_TYPE_UTILITY",
                          self.x.prop(window, "_NET_WM_WINDOW_TYPE"))
            self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", self.x.prop(window, "_NET_WM_STATE"))
        with self.subTest("not resizable"):
            hints = self.x.prop(window, "WM_NORMAL_HINTS")
            cx, cy, cw, ch = self.x.client_geometry(window)
            self.assertIn("minimum size: %d by %d" % (cw, ch), hints)
            self.assertIn("maximum size: %d by %d" % (cw, ch), hints)
        with self.subTest("pale yellow background under the picture"):
            cx, cy, cw, ch = self.x.client_geometry(window)
            # The picture covers the top 90 pixels of the left 90.
            xharness.wait_until(lambda: self.x.pixel(cx + 10, cy + ch - 5) == PALE_YELLOW,
                                what="the window's background")

    def test_second_instance_ends_at_once_and_leaves_the_first_alone(self):
        first, window = self.show()
        second = self.start()
        status, err = self.finish(second)
        self.assertEqual(status, 0, err)
        self.assertEqual(len(self.x.find_windows(TITLE)), 1)
        self.assertTrue(os.path.isfile(self.path(LOCK)))
        self.assertIsNone(first.poll())
        self.assertNotIn("left=", self.ini())

    def test_another_place_shows_a_second_window(self):
        first, _ = self.show()
        second = self.start(["/place:Work"])
        xharness.wait_until(lambda: len(self.x.find_windows(TITLE)) == 2,
                            what="a second window")
        self.assertTrue(os.path.isfile(self.path("zettelblick_Text1_Work.tmp")))
        self.assertIsNone(second.poll())

    # --- close-down ---------------------------------------------------------------

    def assert_closed_down(self, proc, left=" 3495", top=" 3495"):
        status, err = self.finish(proc)
        self.assertEqual(status, 0, err)
        self.assertFalse(os.path.exists(self.path(LOCK)))
        lines = self.ini().splitlines()
        self.assertIn("left=" + left, lines)
        self.assertIn("top=" + top, lines)

    def test_click_removes_the_lock_and_writes_the_position(self):
        proc, window = self.show()
        cx, cy, cw, ch = self.x.client_geometry(window)
        self.x.click(cx + cw - 10, cy + ch - 3)
        self.assert_closed_down(proc)

    def test_clicks_on_label_and_picture_dismiss_too(self):
        for where in ("label", "picture"):
            with self.subTest(where):
                proc, window = self.show()
                cx, cy, cw, ch = self.x.client_geometry(window)
                point = (cx + 150, cy + 50) if where == "label" else (cx + 40, cy + 40)
                self.x.click(*point)
                self.assert_closed_down(proc)

    def test_window_moved_by_its_caption_saves_the_new_place(self):
        proc, window = self.show()
        ox, oy, ow, oh = self.x.outer_geometry(window)
        # Grab the caption left of its buttons and move by 100, 50 pixels.
        self.x.drag(ox + 40, oy + 8, ox + 140, oy + 58)
        xharness.wait_until(lambda: self.x.outer_geometry(window)[:2] == (ox + 100, oy + 50),
                            what="the window to move")
        proc.send_signal(signal.SIGTERM)
        self.assert_closed_down(proc, left=" %d" % ((ox + 100) * 15),
                                top=" %d" % ((oy + 50) * 15))

    def test_close_box_closes_down_without_starting_the_program(self):
        marker = self.path("started")
        script = self.path("program.sh")
        with open(script, "w") as f:
            f.write("#!/bin/sh\ntouch '%s'\n" % marker)
        os.chmod(script, 0o755)
        with open(self.path("zettelblick.ini"), "w") as f:
            f.write(QUIET_INI + "[program]\npath=%s\n" % script)
        proc, window = self.show()
        ox, oy, ow, oh = self.x.outer_geometry(window)
        # openbox's close box sits at the right end of the caption.
        self.x.click(ox + ow - 11, oy + 9)
        self.assert_closed_down(proc)
        self.assertFalse(os.path.exists(marker))

    def test_termination_signals_close_like_the_close_box(self):
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            with self.subTest(signal=sig.name):
                proc, _ = self.show()
                proc.send_signal(sig)
                self.assert_closed_down(proc)

    # --- no display -------------------------------------------------------------

    def test_without_a_display_ends_with_one_line_and_no_lock(self):
        for display in (None, ":4711"):
            with self.subTest(display=display):
                env = dict(self.x.env)
                env.pop("DISPLAY")
                if display:
                    env["DISPLAY"] = display
                proc = self.start(env=env)
                status, err = self.finish(proc)
                self.assertNotEqual(status, 0)
                # A plain exit status, not a crash by a signal.
                self.assertGreater(status, 0)
                self.assertEqual(len(err.strip().splitlines()), 1, err)
                self.assertIn("cannot open the X display", err)
                self.assertFalse(os.path.exists(self.path(LOCK)))


class DisplayLossTest(unittest.TestCase):
    def test_lost_display_still_removes_the_lock_and_saves_the_position(self):
        app_dir = xharness.make_app_dir(QUIET_INI)
        self.addCleanup(shutil.rmtree, app_dir, True)
        with xharness.XSession() as x:
            proc = x.start([os.path.join(app_dir, "zettelblick")])
            self.addCleanup(lambda: proc.poll() is None and proc.kill())
            window = x.wait_for_window(TITLE)
            # Painted: the start-up has finished showing the window.
            cx, cy, cw, ch = x.client_geometry(window)
            xharness.wait_until(lambda: x.pixel(cx + 10, cy + ch - 5) == PALE_YELLOW,
                                what="the window's background")
            # The X server goes away, as at the end of a session.
            x.kill_server()
            proc.communicate(timeout=xharness.DEFAULT_TIMEOUT)
        self.assertGreater(proc.returncode, 0)
        self.assertFalse(os.path.exists(os.path.join(app_dir, LOCK)))
        lines = xharness.read_text(os.path.join(app_dir, "zettelblick.ini")).splitlines()
        self.assertIn("left= 3495", lines)
        self.assertIn("top= 3495", lines)


if __name__ == "__main__":
    unittest.main()
