"""Hostile command lines and settings: path separators and "..", wildcards,
symbolic links and foreign files at the lock path, shell syntax in the
program path, names the file system refuses, very long text, control
characters and invalid UTF-8.

Expectations: names resolve as Linux resolves them (after "\\" became "/");
the lock is created only where nothing exists, never through a symbolic link,
and only the program's own lock file is ever deleted; program.path never
reaches a shell; a name the file system refuses ends in a clear failure
report (exit status 1, no window); odd text is shown, never a crash.

Run as a script or with python3 -m unittest; ZB_APP_DIR names the build's
application folder.
"""

import os
import signal
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
import xharness  # noqa: E402
from apprun import INI, LOCK, QUIET_INI, TITLE  # noqa: E402

# A settings file whose position shows that it was the one read: 1500
# twips are 100 pixels at 96 dpi.
PLACED_INI = b"[window]\r\nleft=1500\r\ntop=1500\r\n[wave]\r\nfile=\r\n"


class HostileTest(apprun.AppTest):
    def outer_corner(self, window):
        return self.x.outer_geometry(window)[:2]

    def expect_failure(self, app, args, *expected):
        """A start that must end in a failure report and show no window."""
        run = self.start(app, args)
        self.assertIsNone(self.wait_for_window_or_end(run), "a window was shown")
        self.finish(run)
        self.assert_failure_report(run, *expected)
        return run

    # --- separators and ".." -----------------------------------------------------------

    def test_names_with_separators_resolve_as_paths(self):
        # /config:, its settings file and its lock, relative to the program's
        # folder "app" inside the root folder.
        cases = [
            ("parent's sibling", "..\\other\\cfg", "other"),
            ("subfolder", "sub\\cfg", "app/sub"),
            ("leading separator stays inside", "\\sub\\cfg", "app/sub"),
            ("slashes", "sub/deeper/../cfg", "app/sub"),
        ]
        for name, config, folder in cases:
            with self.subTest(name):
                app = self.make_app(name="app")
                os.makedirs(os.path.join(app, "sub", "deeper"), exist_ok=True)
                where = os.path.join(self.root, folder)
                os.makedirs(where, exist_ok=True)
                ini = os.path.join(where, "cfg.ini")
                lock = os.path.join(where, "cfg_Text1_Beispieltext.tmp")
                apprun.write_bytes(ini, PLACED_INI)
                run = self.start(app, ["/config:" + config])
                window = self.x.wait_for_window(TITLE)
                self.assertEqual(self.outer_corner(window), (100, 100))
                self.assertTrue(os.path.isfile(lock))
                self.click(window)
                self.finish(run)
                self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
                self.assertFalse(os.path.exists(lock))
                self.assertIn(b"left= 1500\r\n", apprun.read_bytes(ini))
                os.unlink(ini)

    def test_a_lock_name_in_a_missing_folder_is_a_failure(self):
        app = self.make_app(QUIET_INI)
        cases = [
            ("place with a separator", "/place:a\\b", "zettelblick_Text1_a/b.tmp"),
            ("place climbing out", "/place:..\\..\\x", "zettelblick_Text1_../../x.tmp"),
            ("message key climbing out", "/text:..\\x", "zettelblick_../x_Beispieltext.tmp"),
        ]
        for name, option, lock in cases:
            with self.subTest(name):
                self.expect_failure(app, [option], "Path not found", lock)
                self.assertEqual(apprun.lock_files(app), [])

    # --- wildcards ---------------------------------------------------------------------

    def test_wildcards_in_names_are_ordinary_characters(self):
        app = self.make_app(QUIET_INI)
        # Each would match the lock of /place:Work in a directory search.
        names = [["/place:Work"], ["/place:*"], ["/place:W?rk"], ["/config:*"],
                 ["/text:*", "/place:*"]]
        runs = []
        for args in names:
            runs.append(self.start(app, args))
            xharness.wait_until(lambda: len(self.x.find_windows(TITLE)) == len(runs),
                                what="window %d" % len(runs))
        self.assertEqual(apprun.lock_files(app), sorted([
            "zettelblick_Text1_Work.tmp", "zettelblick_Text1_*.tmp",
            "zettelblick_Text1_W?rk.tmp", "*_Text1_Beispieltext.tmp",
            "zettelblick_*_*.tmp"]))
        # The exact name again: that one is already on screen.
        again = self.finish(self.start(app, ["/place:*"]))
        self.assertEqual((again.status, again.boxes, again.err), (0, 0, ""))
        for run in runs:
            run.signal(signal.SIGTERM)
        for run in runs:
            self.finish(run)
            self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
        self.assertEqual(apprun.lock_files(app), [])
        # /config:* names the settings file "*.ini", created by its write.
        self.assertIn(b"left=", apprun.read_bytes(os.path.join(app, "*.ini")))

    # --- the lock path --------------------------------------------------------------------

    def test_a_symbolic_link_at_the_lock_path_is_never_followed(self):
        victims = os.path.join(self.root, "victims")
        os.makedirs(victims)
        cases = [
            ("link to a file", "file", True),
            ("link to nothing", "missing", False),
            ("link to a folder", "folder", True),
        ]
        for name, target, exists in cases:
            with self.subTest(name):
                app = self.make_app(QUIET_INI, name=name.replace(" ", "-"))
                victim = os.path.join(victims, target)
                if target == "file":
                    apprun.write_bytes(victim, b"precious\n")
                elif target == "folder":
                    os.makedirs(victim, exist_ok=True)
                before = os.stat(victim) if exists else None
                os.symlink(victim, os.path.join(app, LOCK))
                run = self.finish(self.start(app))
                # Taken as "already on screen": ends at once, no window.
                self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
                self.assertEqual(self.x.find_windows(TITLE), [])
                self.assertEqual(os.readlink(os.path.join(app, LOCK)), victim)
                if exists:
                    after = os.stat(victim)
                    self.assertEqual((after.st_ino, after.st_mtime_ns, after.st_size),
                                     (before.st_ino, before.st_mtime_ns, before.st_size))
                else:
                    self.assertFalse(os.path.lexists(victim))
                if target == "file":
                    self.assertEqual(apprun.read_bytes(victim), b"precious\n")
                if target == "folder":
                    self.assertEqual(os.listdir(victim), [])

    def test_a_file_put_at_the_lock_path_survives_the_close(self):
        victim = os.path.join(self.root, "victim")
        apprun.write_bytes(victim, b"precious\n")

        def replace_by_file(lock):
            # Deleted and made anew at once: the file system may hand the
            # new file the lock's old inode number.
            os.unlink(lock)
            apprun.write_bytes(lock, b"someone else's\n")

        def move_over(lock):
            other = lock + ".new"
            apprun.write_bytes(other, b"someone else's\n")
            os.rename(other, lock)

        def replace_by_link(lock):
            os.unlink(lock)
            os.symlink(victim, lock)

        def replace_by_folder(lock):
            os.unlink(lock)
            os.mkdir(lock)

        cases = [("file made anew", replace_by_file), ("file moved over it", move_over),
                 ("symbolic link", replace_by_link), ("folder", replace_by_folder)]
        for name, replace in cases:
            with self.subTest(name):
                app = self.make_app(QUIET_INI, name=name.replace(" ", "-"))
                lock = os.path.join(app, LOCK)
                run = self.start(app)
                window = self.x.wait_for_window(TITLE)
                replace(lock)
                before = os.lstat(lock)
                self.click(window)
                self.finish(run)
                self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
                after = os.lstat(lock)
                self.assertEqual((after.st_ino, after.st_mode), (before.st_ino, before.st_mode))
                if os.path.isfile(lock) and not os.path.islink(lock):
                    self.assertEqual(apprun.read_bytes(lock), b"someone else's\n")
                self.assertEqual(apprun.read_bytes(victim), b"precious\n")
                # The close went on: the position was written.
                self.assertIn(b"left=", apprun.read_bytes(os.path.join(app, INI)))

    # --- the program path -------------------------------------------------------------------

    def test_the_program_path_never_reaches_a_shell(self):
        pwned = os.path.join(self.root, "pwned")
        ran = os.path.join(self.root, "ran")
        cases = [
            # program.path, a file of that name exists, boxes expected
            ("x; touch %s" % pwned, False, 1),
            ("$(touch %s)" % pwned, False, 1),
            ("`touch %s`" % pwned, False, 1),
            ("x && touch %s" % pwned, False, 1),
            ("x | touch %s" % pwned, False, 1),
            # A program whose name holds shell syntax is started as it is
            # (a shell would touch "pwned" in the current folder, the root).
            ("{app}/run me; touch pwned $(touch pwned) `touch pwned`", True, 0),
        ]
        for number, (path, exists, boxes) in enumerate(cases):
            with self.subTest(path):
                app = self.make_app(name="app%d" % number)
                path = path.format(app=app)
                if exists:
                    apprun.write_bytes(path, b"#!/bin/sh\ntouch '%s'\n" % ran.encode())
                    os.chmod(path, 0o755)
                apprun.write_bytes(os.path.join(app, INI),
                                   b"[wave]\nfile=\n[program]\npath=" + path.encode() + b"\n")
                run = self.start(app)
                window = self.x.wait_for_window(TITLE)
                self.click(window)
                self.finish(run)
                self.assertEqual((run.status, run.boxes, run.err), (0, boxes, ""))
                if exists:
                    xharness.wait_until(lambda: os.path.exists(ran), what="the program")
                    os.unlink(ran)
                self.assertFalse(os.path.exists(pwned))

    # --- long names and odd text -------------------------------------------------------------

    def test_names_the_file_system_refuses_are_a_failure(self):
        app = self.make_app(QUIET_INI)
        long_text = "L" * 10000
        cases = [
            ("10000-character place", ["/place:" + long_text]),
            ("10000-character message key", ["/text:" + long_text]),
            ("10000-character settings name", ["/config:" + long_text]),
            # zettelblick_Text1_ + 234 + .tmp: one byte over the limit.
            ("256-byte lock name", ["/place:" + "P" * 234]),
        ]
        for name, args in cases:
            with self.subTest(name):
                self.expect_failure(app, args, "File name too long")
                self.assertEqual(apprun.lock_files(app), [])

    def test_names_at_the_file_system_limit_work(self):
        app = self.make_app(QUIET_INI)
        config = "C" * 249
        cases = [
            # a 255-byte lock name
            ("233-character place", ["/place:" + "P" * 233],
             "zettelblick_Text1_" + "P" * 233 + ".tmp", INI),
            # a 255-byte lock name and a 253-byte settings file name, whose
            # temporary file is named from the first 200 bytes
            ("249-character settings name", ["/config:" + config, "/text:", "/place:"],
             config + "__.tmp", config + ".ini"),
        ]
        for name, args, lock, ini in cases:
            with self.subTest(name):
                self.assertLessEqual(len(lock), 255)
                run = self.start(app, args)
                window = self.x.wait_for_window(TITLE)
                self.assertTrue(os.path.exists(os.path.join(app, lock)))
                self.click(window)
                self.finish(run)
                self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
                self.assertFalse(os.path.exists(os.path.join(app, lock)))
                self.assertIn(b"top=", apprun.read_bytes(os.path.join(app, ini)))
                self.assertEqual(apprun.temp_files(app, ini), [])

    def test_odd_text_is_shown_without_harm(self):
        controls = bytes(range(1, 32)).replace(b"\n", b"").replace(b"\r", b"")
        invalid = b"\xff\xfe\xc3\x28\xa0\xa1\xe2\x28\xa1\xf0\x28\x8c\xbc\xed\xa0\x80"

        def message(text):
            return b"[wave]\r\nfile=\r\n[text]\r\nText1=" + text + b"\r\n"

        cases = [
            # name, settings file, command-line arguments, message boxes
            ("10000-character message", message(b"M" * 10000), [], 0),
            ("control characters", message(b"A" + controls + b"\\n\\place"),
             [b"/place:\x01\x1b[31m\t\x7f"], 0),
            ("invalid UTF-8", message(invalid + b" \\place"), [b"/place:" + invalid], 0),
            ("line breaks in the place", message(b"\\place"),
             [b"/place:eins\nzwei\rdrei"], 0),
            ("ampersands and markup", message(b"&&&<b>fett</b>&" * 30),
             [b"/place:<i>&amp;"], 0),
            # Cut to 250 characters, the sound's name names no file: the
            # "not found" box. (The picture's is a failure; it is left out.)
            ("10000-character sound name",
             b"[image]\r\nshow=0\r\n[wave]\r\nfile=" + b"w" * 10000 + b"\r\n", [], 1),
        ]
        for name, ini, args, boxes in cases:
            with self.subTest(name):
                app = self.make_app(ini, name=name.replace(" ", "-"))
                run = self.show_and_click(app, args, boxes=boxes)
                self.assertEqual((run.status, run.boxes, run.err), (0, boxes, ""))
                self.assertEqual(apprun.lock_files(app), [])

    def test_a_10000_character_picture_name_is_a_failure(self):
        app = self.make_app(b"[wave]\r\nfile=\r\n[image]\r\npicture=" + b"p" * 10000 + b"\r\n")
        self.expect_failure(app, [], "File not found", "p" * 250)
        self.assertEqual(apprun.lock_files(app), [])


if __name__ == "__main__":
    unittest.main()
