"""zettelblick.exe of the Windows build, run under Wine on a private X server.

Each test copies the program with its picture and sound into a fresh
application folder, starts it under Wine (one prefix and one wineserver for
the whole run, see wine_env.py) on Xvfb with openbox (xharness.py), and looks
at what a user would see: the window, its colours, the message boxes, the
lock file and the settings file. Wine's default is 96 dots per inch, so 15
twips make a pixel.

winprobe.exe (tests/integration/wine/winprobe.cpp) reads window texts and
styles through the Windows API, reads accessible names and hears alert events
as a screen reader does, presses OK on message boxes, covers the monitor as
a full-screen program does and stands in for the program a click starts.

Environment: ZB_WIN32_BUILD_DIR, ZB_WIN64_BUILD_DIR and ZB_WINE_WORK (see
wine_env.py).
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
import wine_env  # noqa: E402
import xharness  # noqa: E402
from apprun import DEFAULT_OUTER, LOCK, PALE_YELLOW, TITLE  # noqa: E402

BOX = apprun.BOX_TITLE
# No sound unless a test asks for it.
QUIET = "[wave]\r\nfile=\r\n"

SOUND_MISSING = "Bitte prüfen Sie die INI-Datei, der Sound konnte nicht gefunden werden!"
PROGRAM_MISSING = "Bitte prüfen Sie die INI-Datei, das Programm konnte nicht gefunden werden!"

# Window styles, as winprobe.exe prints them.
WS_POPUP = 0x80000000
WS_CAPTION = 0x00C00000
WS_BORDER = 0x00800000
WS_SYSMENU = 0x00080000
WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_APPWINDOW = 0x00040000


class WineNotifierTest(apprun.AppTest):
    WINE = True

    # --- helpers -------------------------------------------------------------------

    def make_app(self, ini=QUIET, name=None):
        """A fresh application folder (or the one called `name`), the one the
        helpers below work in."""
        self.app_dir = super().make_app(ini, name=name)
        return self.app_dir

    def path(self, name):
        return os.path.join(self.app_dir, name)

    def start_app(self, *args):
        # In the application folder: a started winprobe.exe writes its
        # started.txt into its current folder.
        return self.start(self.app_dir, args, cwd=self.app_dir)

    def show_app(self, *args):
        run = self.show(self.app_dir, args, cwd=self.app_dir)
        return run, run.window, self.x.outer_geometry(run.window)

    def exit_status(self, run):
        return self.finish(run).status

    def styles(self, caption=TITLE):
        status, out = self.wine.probe("style", caption, env=self.env)
        self.assertEqual(status, 0, "no window %r" % caption)
        style, ex_style = out.split()
        return int(style, 16), int(ex_style, 16)

    def texts(self, caption):
        """The texts of a window's controls (line breaks as \\r, \\n)."""
        status, out = self.wine.probe("list", caption, env=self.env)
        self.assertEqual(status, 0, "no window %r" % caption)
        return [line.split("\t", 1)[1] for line in out.splitlines() if "\t" in line]

    def confirm_box_reading(self, expected_text):
        """Waits for the message box, checks its text and presses OK."""
        self.x.wait_for_window(BOX)
        self.assertIn(expected_text, self.texts(BOX))
        status, _ = self.wine.probe("ok", BOX, env=self.env)
        self.assertEqual(status, 0)
        self.x.wait_for_no_window(BOX)

    def settings_text(self, name=apprun.INI):
        data = apprun.read_bytes(self.path(name))
        return data.decode("utf-16") if data.startswith(b"\xff\xfe") else data.decode("cp1252")

    def assert_position_written(self):
        # Wine's profile writer drops a value's leading blanks (a known
        # difference from Windows, which writes "left= 3495"; the Linux
        # build and test_profile_diff.py check that form). 3500 twips are
        # 233 whole pixels, which read back as 3495 twips.
        section = self.settings_text().split("[window]\r\n", 1)[1].split("[", 1)[0]
        self.assertIn("left=3495\r\ntop=3495\r\n", section)

    # Points of the default layout, from the window's outer top-left: the
    # picture box covers the inner area's 90 by 90 pixels at the top left,
    # the label the area from 92 pixels on to the right, 108 pixels down.
    @staticmethod
    def free_area(outer):
        return outer[0] + 45, outer[1] + outer[3] - 10

    @staticmethod
    def on_picture(outer):
        return outer[0] + 45, outer[1] + 60

    @staticmethod
    def on_label(outer):
        return outer[0] + 160, outer[1] + 60

    # --- start-up and the window ---------------------------------------------------------

    def test_window_shows_the_default_notification(self):
        self.make_app()
        run, window, outer = self.show_app()
        self.assertIsNone(run.proc.poll())
        with self.subTest("outer frame where the settings put it"):
            self.assertEqual(outer, DEFAULT_OUTER)
        with self.subTest("small tool window: caption and close box only, fixed size"):
            style, ex_style = self.styles()
            self.assertEqual(style & WS_CAPTION, WS_CAPTION)
            self.assertTrue(style & WS_SYSMENU)
            self.assertFalse(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX))
            self.assertTrue(ex_style & WS_EX_TOOLWINDOW)
            self.assertFalse(ex_style & WS_EX_APPWINDOW)
        with self.subTest("pale yellow background, the picture drawn over it"):
            shot = self.x.screenshot()
            self.assertEqual(shot.pixel(*self.free_area(outer)), PALE_YELLOW)
            picture = [shot.pixel(outer[0] + dx, outer[1] + dy)
                       for dx in range(10, 90, 8) for dy in range(25, 100, 8)]
            self.assertTrue(any(p != PALE_YELLOW for p in picture), "no picture drawn")
        with self.subTest("the default message"):
            self.assertIn("You have got mail!", self.texts(TITLE))
        with self.subTest("the lock file while the window is open"):
            self.assertTrue(os.path.isfile(self.path(LOCK)))

    def test_window_without_frame(self):
        self.make_app(QUIET + "[window]\r\ntitle=0\r\n")
        _, _, outer = self.show_app()
        self.assertEqual(outer, DEFAULT_OUTER)
        style, _ = self.styles()
        self.assertFalse(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU))
        # No caption bar: the background reaches the top edge (right of the label).
        self.assertEqual(self.x.pixel(outer[0] + outer[2] - 4, outer[1] + 1), PALE_YELLOW)

    def test_label_and_picture_follow_the_settings(self):
        # A transparent, borderless, centred label in red on light blue, and a
        # bordered picture that overlaps it from below.
        self.make_app(QUIET + "[window]\r\nbackground=FFE0C0\r\nwidth=6000\r\nheight=3000\r\n"
                      "[text]\r\nbackstyle=0\r\nborder=0\r\nalign=2\r\nfontcolor=0000FF\r\n"
                      "fontsize=12\r\nleft=1000\r\nwidth=4500\r\nheight=2500\r\n"
                      "[image]\r\nborder=1\r\nwidth=2000\r\nheight=1000\r\nleft=300\r\n"
                      "top=1500\r\n")
        _, _, outer = self.show_app()
        shot = self.x.screenshot()
        light_blue = (0xC0, 0xE0, 0xFF)
        red = (0xFF, 0x00, 0x00)
        # The label's lower part, below its lines of text and right of the
        # picture: the window's background shows through the label.
        label = [shot.pixel(outer[0] + dx, outer[1] + outer[3] - 60)
                 for dx in range(300, 360, 5)]
        self.assertEqual(set(label), {light_blue})
        # Its text is drawn in the text colour: the first line, centred.
        first_line = [shot.pixel(outer[0] + dx, outer[1] + dy)
                      for dx in range(150, 260) for dy in range(20, 45)]
        self.assertIn(red, first_line)
        # The picture covers the label where they overlap.
        picture = [shot.pixel(outer[0] + dx, outer[1] + dy)
                   for dx in range(90, 150, 6) for dy in range(140, 180, 6)]
        self.assertTrue(any(p not in (light_blue, red) for p in picture), "no picture drawn")

    def test_window_scales_with_the_screen_dpi(self):
        # 120 dots per inch, which Wine gives the screen and every monitor
        # alike: 3500 twips are 292 pixels, which read back as 3504.
        desktop = "HKCU\\Control Panel\\Desktop"
        self.wine.run(["reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "120",
                       "/f"], env=self.env)
        try:
            self.make_app()
            run, _, outer = self.show_app()
            self.assertEqual(outer, (292, 292, 292, 167))
            self.x.click(*self.free_area(outer))
            self.assertEqual(self.exit_status(run), 0)
            section = self.settings_text().split("[window]\r\n", 1)[1]
            self.assertIn("left=3504\r\ntop=3504\r\n", section)
        finally:
            self.wine.run(["reg", "delete", desktop, "/v", "LogPixels", "/f"], env=self.env)

    def test_options_choose_settings_file_message_and_place(self):
        self.make_app(QUIET)
        with open(self.path("other.ini"), "wb") as f:
            f.write(b"[wave]\r\nfile=\r\n[text]\r\nText2=Neue Post\\nvon \\place\r\n")
        self.show_app("/config:other", "/text:Text2", "/place:Post_fach")
        self.assertIn("Neue Post\\r\\nvon Post fach", self.texts(TITLE))
        self.assertTrue(os.path.isfile(self.path("other_Text2_Post fach.tmp")))

    def test_settings_in_every_common_encoding_from_a_folder_outside_the_code_page(self):
        # Each settings file (ANSI, UTF-8 with and without its mark, UTF-16)
        # gives the message and names a picture and a sound with umlauts and
        # a euro sign; the folder's name holds letters that the ANSI code
        # page (1252) lacks, so only Unicode paths reach it.
        for encoding in apprun.ENCODINGS:
            with self.subTest(encoding):
                self.make_encoded_app(encoding, name="Łódź " + encoding)
                run, _, outer = self.show_app()
                self.assertIn(apprun.ENCODED_MESSAGE, self.texts(TITLE))
                self.x.click(*self.free_area(outer))
                self.assertEqual((self.exit_status(run), run.boxes), (0, 0))
                self.assertFalse(os.path.exists(self.path(LOCK)))
                self.assert_position_written()

    def test_second_instance_with_the_same_options_ends_at_once(self):
        self.make_app()
        first, _, _ = self.show_app("/place:Work")
        second = self.start_app("/place:Work")
        self.assertEqual(self.exit_status(second), 0)
        self.assertIsNone(first.proc.poll())
        self.assertTrue(os.path.isfile(self.path("zettelblick_Text1_Work.tmp")))
        self.assertEqual(len(self.x.find_windows(TITLE)), 1)
        # It wrote nothing: the settings file is as it was.
        self.assertEqual(self.settings_text(), QUIET)

    def test_with_wait_0_the_caller_goes_on_while_the_notification_stays(self):
        ini = QUIET + "[window]\r\nwait=0\r\n"
        self.make_app(ini)
        run, window, outer = self.show_app()
        # The started process ends once the window is on the screen; the
        # notification's own is no child of it.
        self.assertEqual(run.proc.wait(timeout=apprun.TIMEOUT), 0)
        self.assertIn(window, self.x.viewable(TITLE))
        pid = int(self.x.prop(window, "_NET_WM_PID").split("=")[1])
        with open("/proc/%d/stat" % pid) as f:
            parent = int(f.read().rsplit(")", 1)[1].split()[1])
        self.assertNotIn(parent, (os.getpid(), run.proc.pid))
        self.assertEqual(self.exit_status(self.start_app()), 0)
        self.assertEqual(self.x.viewable(TITLE), [window])
        self.x.click(*self.free_area(outer))
        self.x.wait_for_no_window(TITLE)
        xharness.wait_until(lambda: not os.path.exists(self.path(LOCK)), what="the lock to go")
        xharness.wait_until(lambda: "left=" in self.settings_text(), what="the position")

        # A failure: status 1 at once, the report stays with the notification.
        self.make_app(ini + "[image]\r\npicture=missing.jpg\r\n")
        failed = self.start_app()
        self.x.wait_for_window(BOX)
        self.assertEqual(failed.proc.wait(timeout=apprun.TIMEOUT), 1)
        self.assertTrue(self.x.viewable(BOX))
        self.wine.probe("ok", BOX, env=self.env)
        self.x.wait_for_no_window(BOX)

    def test_ten_places_at_once_stack_apart_and_keep_the_configured_position(self):
        self.make_app()
        for i in range(10):
            self.start_app("/place:P%d" % i)
        windows = xharness.wait_until(lambda: len(self.x.viewable(TITLE)) == 10 and
                                      self.x.viewable(TITLE), what="10 windows")
        self.assert_stacked_apart(windows)
        for run in self.runs:
            self.assertEqual(self.exit_status(run), 0)

    def test_lock_of_a_killed_notification_is_taken_over(self):
        self.make_app()
        killed, _, _ = self.show_app()
        killed.proc.kill()
        killed.proc.wait()
        self.x.wait_for_no_window(TITLE)
        self.assertTrue(os.path.isfile(self.path(LOCK)), "no leftover to take over")
        run, _, outer = self.show_app()
        self.x.click(*self.free_area(outer))
        self.assertEqual(self.exit_status(run), 0)
        self.assertFalse(os.path.exists(self.path(LOCK)))

    # --- ending the notification ---------------------------------------------------------

    def test_click_closes_removes_the_lock_and_saves_the_position(self):
        for where in ("free_area", "on_label", "on_picture"):
            with self.subTest(where):
                self.make_app()
                run, _, outer = self.show_app()
                self.x.click(*getattr(self, where)(outer))
                self.assertEqual(self.exit_status(run), 0)
                self.assertFalse(os.path.exists(self.path(LOCK)))
                self.assert_position_written()

    def test_a_move_the_program_did_not_make_stands_and_is_written(self):
        # Another program (xdotool) and the window manager (Alt+drag, which
        # the window never sees) each move it; the first move stays, and a
        # read-only settings file is left as it was.
        for how in ("windowmove", "alt-drag", "read-only"):
            with self.subTest(how):
                self.make_app()
                run, window, (x, y, _, _) = self.show_app()
                if how == "alt-drag":
                    self.x.drag(x + 45, y + 60, x + 145, y + 110, hold="alt")
                else:
                    self.x.run(["xdotool", "windowmove", str(window), "300", "200"])
                xharness.wait_until(lambda: self.x.outer_geometry(window)[:2] != (x, y),
                                    what="the window to move")
                if how == "read-only":
                    os.chmod(self.path(apprun.INI), 0o444)
                moved = self.x.settled_geometry(window)
                self.x.click(*self.free_area(moved))
                self.assertEqual(self.exit_status(run), 0)
                if how == "read-only":
                    self.assertEqual(self.settings_text(), QUIET)
                    self.assertEqual(os.stat(self.path(apprun.INI)).st_mode & 0o777, 0o444)
                    self.assertEqual([name for name in os.listdir(self.app_dir)
                                      if name.startswith(".") or name.endswith(".tmp")], [])
                else:
                    self.assertIn("left=%d\r\ntop=%d\r\n" % (moved[0] * 15, moved[1] * 15),
                                  self.settings_text())

    def test_close_box_closes_without_starting_the_program(self):
        self.make_app()
        shutil.copy(self.wine.probe_exe(), self.path("mailer.exe"))
        with open(self.path("zettelblick.ini"), "ab") as f:
            f.write(b"[program]\r\npath=" + wine_env.windows_path(self.path("mailer.exe")).encode()
                    + b"\r\n")
        run, _, outer = self.show_app()
        self.x.click(outer[0] + outer[2] - 9, outer[1] + 8)
        self.assertEqual(self.exit_status(run), 0)
        self.assertFalse(os.path.exists(self.path(LOCK)))
        self.assertFalse(os.path.exists(self.path("started.txt")))
        self.assert_position_written()

    def test_click_starts_the_program(self):
        self.make_app()
        shutil.copy(self.wine.probe_exe(), self.path("mail client.exe"))
        program = wine_env.windows_path(self.path("mail client.exe"))
        with open(self.path("zettelblick.ini"), "ab") as f:
            f.write(b"[program]\r\npath=" + program.encode() + b"\r\n")
        run, _, outer = self.show_app()
        self.x.click(*self.free_area(outer))
        self.assertEqual(self.exit_status(run), 0)
        # The started program writes its command line; the file may exist
        # a moment before its text does.
        started = xharness.wait_until(
            lambda: os.path.isfile(self.path("started.txt")) and
            os.path.getsize(self.path("started.txt")) > 0, what="the program to start")
        self.assertTrue(started)
        with open(self.path("started.txt"), encoding="utf-8") as f:
            # The path, quoted as the whole command line: the blank is safe.
            self.assertEqual(f.read(), '"%s"' % program)

    def test_missing_program_is_reported_and_the_window_closes(self):
        self.make_app(QUIET + "[program]\r\npath=Z:\\no\\such\\mailer.exe\r\n")
        run, _, outer = self.show_app()
        self.x.click(*self.free_area(outer))
        self.confirm_box_reading(PROGRAM_MISSING)
        self.assertEqual(self.exit_status(run), 0)
        self.assertFalse(os.path.exists(self.path(LOCK)))

    def test_window_out_of_sight_shows_and_a_click_ends_a_long_timed_close(self):
        # Off every screen, with a timed close of ten minutes: the window shows
        # in the corner and writes that place, and the click ends the process
        # (exit_status's hang detector would see the ten minutes).
        self.make_app(QUIET + "[window]\r\nleft=100000\r\ntop=100000\r\ntime=600000\r\n")
        run, _, (x, y, w, h) = self.show_app()
        self.assertEqual((x + w, y + h), (self.x.width, self.x.height))
        self.x.click(*self.free_area((x, y, w, h)))
        self.assertEqual(self.exit_status(run), 0)
        self.assertIn("left=%d\r\ntop=%d\r\n" % (x * 15, y * 15), self.settings_text())

    def test_close_request_with_a_message_box_open_ends_the_process(self):
        self.make_app("[wave]\r\nfile=missing.wav\r\n[window]\r\ntime=600000\r\n")
        run = self.start_app()
        self.x.wait_for_window(BOX)
        self.x.wait_for_window(TITLE)
        self.assertEqual(self.wine.probe("close", TITLE, env=self.env)[0], 0)
        # Nobody confirms the box; the wait is a hang detector.
        self.assertEqual(run.proc.wait(timeout=apprun.TIMEOUT), 0)
        self.x.wait_for_no_window(BOX)
        self.assert_position_written()

    def test_typing_goes_on_in_the_window_the_user_types_in(self):
        editor = self.wine.start([self.wine.probe_exe(), "edit", "Notizen"], env=self.env)
        self.addCleanup(editor.wait)
        self.addCleanup(self.wine.probe, "close", "Notizen", env=self.env)
        cx, cy, _, _ = self.x.client_geometry(self.x.wait_for_window("Notizen"))
        self.x.click(cx + 40, cy + 20)  # into the text field
        self.x.run(["xdotool", "type", "--delay", "20", "vorher "])
        xharness.wait_until(lambda: "vorher " in self.texts("Notizen"),
                            what="the first keys in the typing window")
        self.make_app()
        run, _, (x, y, _, _) = self.show_app()
        self.x.run(["xdotool", "type", "--delay", "20", "nachher"])
        xharness.wait_until(lambda: "vorher nachher" in self.texts("Notizen"),
                            what="the keys typed after the notification appeared")
        # A drag on its caption still moves it, and a click still closes it.
        self.x.drag(x + 40, y + 8, x + 140, y + 58)
        xharness.wait_until(lambda: self.x.outer_geometry(run.window)[:2] == (x + 100, y + 50),
                            what="the window to move")
        self.x.click(*self.free_area(self.x.outer_geometry(run.window)))
        self.assertEqual(self.exit_status(run), 0)
        self.assertIn("left=%d\r\ntop=%d\r\n" % ((x + 100) * 15, (y + 50) * 15),
                      self.settings_text())

    def test_held_back_while_a_window_covers_the_monitor(self):
        cover = self.wine.start([self.wine.probe_exe(), "fullscreen", "Vollbild"], env=self.env)
        self.addCleanup(cover.wait)
        self.addCleanup(self.wine.probe, "close", "Vollbild", env=self.env)
        self.x.wait_for_window("Vollbild")
        self.make_app()
        run = self.start_app()
        # Held back, the lock taken: a second start shows nothing either.
        xharness.wait_until(lambda: os.path.exists(self.path(LOCK)), what="the lock")
        self.assertEqual(self.exit_status(self.start_app()), 0)
        time.sleep(1.5)
        self.assertEqual(self.x.viewable(TITLE), [])
        self.assertEqual(self.wine.probe("close", "Vollbild", env=self.env)[0], 0)
        window = self.wait_for_window_or_end(run)
        self.assertIsNotNone(window, "no window once the monitor is free")
        self.x.click(*self.free_area(self.x.settled_geometry(window)))
        self.assertEqual(self.exit_status(run), 0)
        self.assert_position_written()

    def test_timed_close(self):
        self.make_app(QUIET + "[window]\r\ntime=300\r\n")
        run = self.start_app()
        self.assertEqual(self.exit_status(run), 0)
        self.assertFalse(os.path.exists(self.path(LOCK)))
        self.assert_position_written()

    # --- sound --------------------------------------------------------------------------

    def test_present_wav_gives_no_message(self):
        self.make_app(None)
        run, _, outer = self.show_app()
        self.assertEqual(self.x.find_windows(BOX), [])
        self.x.click(*self.free_area(outer))
        self.assertEqual(self.exit_status(run), 0)

    def test_missing_wav_is_reported_and_the_notification_stays(self):
        self.make_app("[wave]\r\nfile=missing.wav\r\n")
        run = self.start_app()
        self.confirm_box_reading(SOUND_MISSING)
        window = self.x.wait_for_window(TITLE)
        self.assertIsNone(run.proc.poll())
        self.x.click(*self.free_area(self.x.outer_geometry(window)))
        self.assertEqual(self.exit_status(run), 0)

    # --- screen readers -----------------------------------------------------------------

    def test_screen_readers_hear_the_message_and_read_the_picture_s_name(self):
        # Wine has no UI Automation notification event (Windows 10 1709 and
        # later), so the program raises the alert event MSAA clients hear,
        # on the label: its accessible name is the message.
        self.make_app()
        heard = self.path("alert.txt")
        listener = self.wine.start([self.wine.probe_exe(), "alert", wine_env.windows_path(heard)],
                                   env=self.env)
        # Ended at the test's end.
        self.runs.append(apprun.Run(self.app_dir, listener, None, "winprobe"))
        xharness.wait_until(lambda: os.path.isfile(heard), what="the alert listener")
        run, _, outer = self.show_app()
        # The listener ends once it has heard one.
        xharness.wait_until(lambda: listener.poll() is not None, what="an alert event")
        self.assertEqual(listener.returncode, 0)
        with open(heard, encoding="utf-8") as f:
            self.assertEqual(f.read(), "Static\tYou have got mail!\n")
        status, names = self.wine.probe("names", TITLE, env=self.env)
        self.assertEqual(status, 0)
        # The picture is named after its file.
        self.assertEqual(sorted(names.splitlines()),
                         ["Static\tYou have got mail!", "Static\tthebat"])
        self.x.click(*self.free_area(outer))
        self.assertEqual(self.exit_status(run), 0)

    # --- unexpected failures -------------------------------------------------------------

    def test_unexpected_failure_is_reported_and_ends_the_program(self):
        cases = [("missing.jpg", "Run-time error '53':", "File not found: "),
                 ("bad.jpg", "Run-time error '481':", "Invalid picture: ")]
        for picture, first_line, description in cases:
            with self.subTest(picture):
                ini = QUIET + "[image]\r\npicture=%s\r\n" % picture
                self.make_app(ini)
                with open(self.path("bad.jpg"), "wb") as f:
                    f.write(b"this is no picture\r\n")
                run = self.start_app()
                self.x.wait_for_window(BOX)
                report = self.texts(BOX)
                self.assertTrue(any(t.startswith(first_line + "\\n\\n" + description) and
                                    picture in t for t in report), report)
                self.wine.probe("ok", BOX, env=self.env)
                self.assertNotEqual(self.exit_status(run), 0)
                self.assertEqual(self.x.find_windows(TITLE), [])
                # No close-down: nothing written; the lock is given up all the same.
                self.assertEqual(self.settings_text(), ini)
                self.assertFalse(os.path.exists(self.path(LOCK)))

    # --- the position write ---------------------------------------------------------------

    def test_position_write_killed_at_any_moment_leaves_old_or_new_file(self):
        # A file large enough for the close to take a while: [window] first,
        # then many sections (Wine's profile function writes one at a time),
        # then the sound switched off. Kills spread over the whole close leave
        # either file, whole; copies of killed writes go with a later write
        # once they are old.
        head = "[window]\r\nleft=3500\r\ntop=3500\r\n"
        tail = "".join("[s%05d]\r\nk=%s\r\n" % (i, "x" * 40) for i in range(20000))
        old = head + tail + QUIET
        new = "[window]\r\nleft=3495\r\ntop=3495\r\n" + tail + QUIET
        self.make_app(old)
        stale = self.path(".zettelblick.ini.Stale1")
        apprun.write_bytes(stale, b"half a settings f")
        os.utime(stale, (time.time() - 600, time.time() - 600))
        run, _, outer = self.show_app()
        clicked = time.monotonic()
        self.x.click(*self.free_area(outer))
        self.assertEqual(self.exit_status(run), 0)
        close_seconds = time.monotonic() - clicked
        self.assertTrue(self.settings_text() == new, self.settings_text()[:40])
        self.assertFalse(os.path.exists(stale))
        seen = {}
        tries = 8
        for i in range(tries):
            apprun.write_bytes(self.path(apprun.INI), old.encode())
            run, _, outer = self.show_app()
            self.x.click(*self.free_area(outer))
            time.sleep(close_seconds * 1.2 * i / (tries - 1))
            run.proc.kill()
            run.proc.wait()
            self.x.wait_for_no_window(TITLE)
            text = self.settings_text()
            # (The file's head and size say what it is, without the whole file.)
            self.assertTrue(text in (old, new), (text[:40], len(text), len(old)))
            seen[text == new] = seen.get(text == new, 0) + 1
            if os.path.exists(self.path(LOCK)):
                os.unlink(self.path(LOCK))
        print("\nkilled closes left the new file / the old one:", seen, file=sys.stderr)
        copies = glob.glob(self.path(".zettelblick.ini.*"))
        for copy in copies:
            os.utime(copy, (time.time() - 600, time.time() - 600))
        run, _, outer = self.show_app()
        self.x.click(*self.free_area(outer))
        self.assertEqual(self.exit_status(run), 0)
        self.assertEqual(glob.glob(self.path(".zettelblick.ini.*")), [])


class WineInstallTest(unittest.TestCase):
    """The MSI package of the build under Wine: installed for every user,
    run by a user who cannot write the program's folder, replaced by a newer
    version (made with wixl), uninstalled."""

    @classmethod
    def setUpClass(cls):
        cls.wine = wine_env.WineEnv().__enter__()
        try:
            cls.x = xharness.XSession().__enter__()
        except BaseException:
            cls.wine.__exit__(None, None, None)
            raise
        cls.env = cls.wine.env(cls.x.env)

    @classmethod
    def tearDownClass(cls):
        cls.wine.__exit__(None, None, None)
        cls.x.__exit__(None, None, None)

    def msiexec(self, *args):
        result = self.wine.run(["msiexec", *args, "/qn"], env=self.env, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr[-2000:])

    def test_installed_program_keeps_settings_and_locks_in_the_user_s_folders(self):
        # A default prefix, where the user may write Program Files (as an
        # administrator or a user without UAC can): the installed copy still
        # reads and writes the user's own folders, as its read-me says.
        bits = self.wine.target.bits
        msi = wine_env.windows_path(self.wine.build_file("dist", "zettelblick-win%d.msi" % bits))
        drive = os.path.join(self.wine.prefix, "drive_c")
        program_dir = os.path.join(drive, "Program Files", "Zettelblick")
        roaming, local = (glob.glob(os.path.join(drive, "users", "*", "AppData", kind))[0]
                          for kind in ("Roaming", "Local"))
        settings = os.path.join(roaming, "Zettelblick", apprun.INI)
        lock = os.path.join(local, "Zettelblick", LOCK)
        self.addCleanup(shutil.rmtree, os.path.join(roaming, "Zettelblick"), True)
        self.addCleanup(shutil.rmtree, os.path.join(local, "Zettelblick"), True)

        self.msiexec("/i", msi)
        self.addCleanup(self.wine.run, ["msiexec", "/x", msi, "/qn"], env=self.env, timeout=300)
        installed = sorted(os.listdir(program_dir))
        self.assertEqual(installed, sorted(
            ["LICENSE.txt", "README.txt", "message.wav", "thebat.jpg", "zettelblick.exe",
             "zettelblick.ini", "zettelblick.installed"]))
        # The read-me's step: the sample copied to the user's settings file
        # and its message edited.
        os.makedirs(os.path.dirname(settings))
        with open(os.path.join(program_dir, apprun.INI), "rb") as f:
            sample = f.read()
        apprun.write_bytes(settings, sample.replace(b"Text1=You have got mail!",
                                                    b"Text1=Neue Post im Postfach"))
        proc = self.wine.start(["C:\\Program Files\\Zettelblick\\zettelblick.exe"],
                               env=self.env)
        try:
            window = self.x.wait_for_window(TITLE)
            status, texts = self.wine.probe("list", TITLE, env=self.env)
            self.assertEqual(status, 0)
            self.assertIn("Neue Post im Postfach", texts)
            self.assertTrue(os.path.isfile(lock), "no lock file in the local application data")
            x, y, w, h = self.x.outer_geometry(window)
            self.x.click(x + 45, y + h - 10)
            self.assertEqual(proc.wait(timeout=apprun.TIMEOUT), 0)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.assertFalse(os.path.exists(lock))
        self.assertEqual(sorted(os.listdir(program_dir)), installed)
        with open(os.path.join(program_dir, apprun.INI), "rb") as f:
            self.assertEqual(f.read(), sample, "the installed sample was written")
        with open(settings, "rb") as f:
            self.assertRegex(f.read(), rb"\[window\]\r\n(.*\r\n)*left=3495\r\ntop=3495\r\n")

        # A newer version replaces it: once that is uninstalled, nothing of
        # either is left.
        os.chmod(program_dir, 0o755)
        newer = self.newer_package(bits)
        self.msiexec("/i", newer)
        self.assertTrue(os.path.isfile(os.path.join(program_dir, "zettelblick.exe")))
        self.msiexec("/x", newer)
        self.assertFalse(os.path.exists(os.path.join(program_dir, "zettelblick.exe")))
        self.assertTrue(os.path.isfile(settings), "the uninstall took the user's settings")

    def newer_package(self, bits):
        """The build's package as the next version, made with wixl from the
        same release folder (the Windows path)."""
        wxs = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "platform",
                           "win32", "zettelblick.wxs")
        newer = os.path.join(self.wine.work_dir, "zettelblick-newer.msi")
        arch = "x64" if bits == 64 else "x86"
        subprocess.run(["wixl", "--arch", arch, "-D", "Arch=" + arch, "-D", "Version=99.0.0",
                        "-D", "Dist=zettelblick-win%d" % bits,
                        "-D", "Mark=install-mark/zettelblick.installed", "-o", newer, wxs],
                       cwd=self.wine.build_file("dist"), check=True, capture_output=True)
        return wine_env.windows_path(newer)


if __name__ == "__main__":
    unittest.main()
