"""Faults around the real binary: killed writes, full and read-only disks,
a lock file that vanished, missing or mute sound servers, broken sound and
picture files, huge settings files and settings paths that are no files.

Every run must end with the behaviour the program documents or with a clear
failure (a report box captioned "Zettelblick", a line on standard error,
exit status 1); never a hang (a generous time-out detects one) and never a
death by a signal. Message boxes are confirmed with Return.

Mounting (tmpfs, read-only bind mounts) needs root; where it is refused the
cases that need it are skipped with the reason. Run as a script or with
python3 -m unittest; ZB_APP_DIR names the build's application folder.
"""

import os
import random
import re
import shutil
import socket
import stat
import struct
import subprocess
import sys
import time
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
import xharness  # noqa: E402
from apprun import DEFAULT_OUTER, INI, LOCK, QUIET_INI, TITLE  # noqa: E402

# At 96 dpi, 15 twips are a pixel: the default 3500 twips put the outer
# frame at 233 pixels, 1500 twips at 100.
DEFAULT_CORNER = DEFAULT_OUTER[:2]


def png(width, height, rows=None, rgb=(0, 0, 255)):
    """A PNG of one colour whose header claims width by height pixels; only
    `rows` rows of pixel data follow when given (a picture bomb)."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    packer = zlib.compressobj(9)
    row = b"\x00" + bytes(rgb) * min(width, 10000)
    body = b"".join(packer.compress(row) for _ in range(height if rows is None else rows))
    body += packer.flush()
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", body)
            + chunk(b"IEND", b""))


def wav_header(data_bytes, channels=1, rate=44100, bits=16):
    block = channels * bits // 8
    return (b"RIFF" + struct.pack("<I", 36 + data_bytes) + b"WAVEfmt "
            + struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * block, block, bits)
            + b"data" + struct.pack("<I", data_bytes))


class FaultTest(apprun.AppTest):
    def outer_corner(self, window):
        return self.x.outer_geometry(window)[:2]

    def mounted_app(self, spare):
        """A tmpfs for the application folder "app", with `spare` bytes free
        beside the program; the test is skipped where mounting is refused."""
        binary = os.path.getsize(os.path.join(self.program.source, self.program.binary))
        mount = apprun.Mount(os.path.join(self.root, "app"), binary + spare).__enter__()

        def unmount():
            self.stop_all(quiet=True)  # no program of the test may hold it
            mount.__exit__(None, None, None)
        self.addCleanup(unmount)
        if not mount.mounted:
            self.skipTest("cannot mount a tmpfs here (%s); needs root" % mount.error)
        return mount

    # --- the position write ------------------------------------------------------

    def test_position_write_killed_at_any_moment_leaves_old_or_new_file(self):
        # A large file, so that the write takes a while: [window] first, then
        # 20 MB of comments, then the sound switched off.
        head = b"[window]\r\nleft=3500\r\ntop=3500\r\n"
        tail = b"".join(b"; comment line %07d " % i + b"x" * 50 + b"\r\n"
                        for i in range(260000)) + b"[wave]\r\nfile=\r\n"
        old = head + tail
        app = self.make_app(old)
        ini = os.path.join(app, INI)
        # Left by a writer killed long ago: the next write removes it.
        stale = os.path.join(app, "." + INI + ".Stale1")
        apprun.write_bytes(stale, b"half a settings f")
        os.utime(stale, (time.time() - 600, time.time() - 600))
        head_pattern = re.compile(rb"\[window\]\r\nleft=(3500| \d+)\r\ntop=(3500| \d+)\r\n")

        def state(data):
            """old, left (only the first write done) or both; fails otherwise."""
            self.assertEqual(len(data) - len(tail), data.find(b"; comment line"),
                             "the settings file was cut or mixed")
            self.assertEqual(data[len(data) - len(tail):], tail, "the untouched part changed")
            match = head_pattern.fullmatch(data[:len(data) - len(tail)])
            self.assertIsNotNone(match, data[:80])
            left, top = match.group(1) != b"3500", match.group(2) != b"3500"
            self.assertFalse(top and not left, "top written before left")
            return "both" if top else "left" if left else "old"

        # One close without a kill: how long a close takes here.
        run = self.start(app)
        window = self.x.wait_for_window(TITLE)
        clicked = time.monotonic()
        self.click(window)
        self.finish(run)
        close_seconds = time.monotonic() - clicked
        self.assertEqual(run.status, 0, run.err)
        self.assertEqual(state(apprun.read_bytes(ini)), "both")
        self.assertFalse(os.path.exists(stale))
        new = apprun.read_bytes(ini)

        # Kills spread over the whole close and a little beyond it.
        tries = 16
        seen = {}
        for i in range(tries):
            apprun.write_bytes(ini, old)
            run = self.start(app)
            window = self.x.wait_for_window(TITLE)
            self.click(window)
            time.sleep(close_seconds * 1.2 * i / (tries - 1))
            run.kill()
            run.proc.communicate()
            self.x.wait_for_no_window(TITLE)
            data = apprun.read_bytes(ini)
            seen[state(data)] = seen.get(state(data), 0) + 1
            if state(data) == "both":
                self.assertEqual(data, new)
            # A temporary file only ever gets its name once it is complete.
            for name in apprun.temp_files(app, INI):
                self.assertIn(state(apprun.read_bytes(os.path.join(app, name))),
                              ("left", "both"))
            # A lock left by a killed run keeps the notification away until
            # it is deleted, as after any crash.
            if os.path.exists(os.path.join(app, LOCK)):
                os.unlink(os.path.join(app, LOCK))
        print("\nkilled closes left the settings file:", seen, file=sys.stderr)

        # Whatever temporary files the kills left, once old, go with the
        # next write.
        for name in apprun.temp_files(app, INI):
            path = os.path.join(app, name)
            os.utime(path, (time.time() - 600, time.time() - 600))
        self.show_and_click(app)
        self.assertEqual(apprun.temp_files(app, INI), [])
        self.assertEqual(state(apprun.read_bytes(ini)), "both")

    def test_full_disk_keeps_the_old_settings_file(self):
        self.mounted_app(4 * 1024 * 1024)
        old = (b"[window]\r\nleft=1500\r\ntop=1500\r\n[wave]\r\nfile=\r\n"
               + b"; padding\r\n" * 50000)
        app = self.make_app(old)
        # Fill every block that is left.
        fd = os.open(os.path.join(app, "filler"), os.O_WRONLY | os.O_CREAT, 0o644)
        try:
            for size in (65536, 4096, 512, 1):
                try:
                    while True:
                        os.write(fd, b"\0" * size)
                except OSError:
                    pass
        finally:
            os.close(fd)
        run = self.start(app)
        window = self.x.wait_for_window(TITLE)
        # The settings were read: the window stands where they say.
        self.assertEqual(self.outer_corner(window), (100, 100))
        self.click(window)
        self.finish(run)
        self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
        self.assertEqual(apprun.read_bytes(os.path.join(app, INI)), old)
        self.assertEqual(apprun.temp_files(app, INI), [])
        self.assertEqual(apprun.lock_files(app), [])

    def test_read_only_settings_are_not_written_and_the_close_completes(self):
        old = b"[window]\r\nleft=1500\r\ntop=1500\r\n[wave]\r\nfile=\r\n"
        # The lock and the settings file share a folder, unless the message
        # key leads out of it: /text:k\..\..\Text1 puts the lock of
        # ro\cfg beside the program while cfg.ini stays in ro.
        cases = [
            ("read-only folder", "ro/cfg.ini", "ro",
             ["/config:ro\\cfg", "/text:k\\..\\..\\Text1"], "Text1_Beispieltext.tmp"),
            ("read-only file", INI, INI, [], LOCK),
            # Marked read-only by its user to keep the position (root is held
            # to the mark as well): the write never goes round it by a rename.
            ("file marked read-only", INI, None, [], LOCK),
        ]
        for name, ini_name, mounted, args, lock in cases:
            with self.subTest(name):
                app = self.make_app(name=name.replace(" ", "-"))
                os.makedirs(os.path.join(app, "ro", "cfg_k"))
                apprun.write_bytes(os.path.join(app, ini_name), old)
                if mounted:
                    target = os.path.join(app, mounted)
                    error = apprun.bind_read_only(target, target)
                    if error:
                        self.skipTest("cannot make a read-only bind mount (%s)" % error)
                    self.addCleanup(apprun.unmount, target)
                else:
                    os.chmod(os.path.join(app, ini_name), 0o444)
                run = self.start(app, args)
                window = self.x.wait_for_window(TITLE)
                self.assertEqual(self.outer_corner(window), (100, 100))
                self.assertTrue(os.path.exists(os.path.join(app, lock)))
                self.click(window)
                self.finish(run)
                self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
                self.assertEqual(apprun.read_bytes(os.path.join(app, ini_name)), old)
                if not mounted:
                    self.assertEqual(os.stat(os.path.join(app, ini_name)).st_mode & 0o777, 0o444)
                self.assertEqual(apprun.lock_files(app), [])
                for folder in (app, os.path.join(app, "ro")):
                    self.assertEqual(apprun.temp_files(folder, os.path.basename(ini_name)), [])

    def test_folder_read_only_at_close_reports_the_lock_it_cannot_delete(self):
        mount = self.mounted_app(2 * 1024 * 1024)
        # The caller waits for the end (window.wait), so the report reaches it.
        ini = QUIET_INI + "[window]\nwait=1\n"
        app = self.make_app(ini)
        run = self.start(app)
        window = self.x.wait_for_window(TITLE)
        mount.read_only()
        try:
            self.click(window)
            self.finish(run)
        finally:
            mount.read_only(False)
        self.assert_failure_report(
            run, "Permission denied: %s (its folder must be writable, or the program installed)"
            % os.path.join(app, LOCK))
        self.assertEqual(apprun.read_bytes(os.path.join(app, INI)), ini.encode())

    def test_unwritable_application_folder_keeps_settings_and_locks_in_the_users_folders(self):
        # Like a program installed by root: the folder's own settings file is
        # not read; the picture and the sound still come from beside the
        # program. Its locks are the user's on this machine, whether a start
        # comes from the desktop or from a mail filter or cron, which know no
        # XDG_RUNTIME_DIR: a second start of the same notification finds it.
        mount = self.mounted_app(2 * 1024 * 1024)
        app = self.make_app("[window]\r\nleft=1500\r\n")
        mount.read_only()
        self.addCleanup(mount.read_only, False)
        config, runtime = os.path.join(self.root, "config"), os.path.join(self.root, "run")
        os.makedirs(runtime, mode=0o700)
        # That folder is the user's, not this test's: a place of its own.
        place = "Faults%d" % os.getpid()
        lock = os.path.join(apprun.user_lock_folder(), "zettelblick_Text1_%s.tmp" % place)
        env = dict(self.env, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=runtime)
        run = self.start(app, ["/place:" + place], env=env)
        window = self.x.wait_for_window(TITLE)
        self.assertTrue(os.path.isfile(lock))
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(lock)).st_mode), 0o700)
        self.assertEqual(self.outer_corner(window), (233, 233))
        without = {name: value for name, value in env.items() if name != "XDG_RUNTIME_DIR"}
        second = self.finish(self.start(app, ["/place:" + place], env=without))
        self.assertEqual((second.status, second.err), (0, ""))
        self.assertEqual(self.x.viewable(TITLE), [window])
        self.click(window)
        self.finish(run)
        self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
        self.assertEqual(os.listdir(runtime), [])
        self.assertFalse(os.path.exists(lock))
        self.assertIn(b"left= 3495", apprun.read_bytes(os.path.join(config, "zettelblick", INI)))
        self.assertEqual(apprun.read_bytes(os.path.join(app, INI)), b"[window]\r\nleft=1500\r\n")

    def test_lock_deleted_while_open_still_closes_and_writes_the_position(self):
        app = self.make_app(QUIET_INI)
        run = self.start(app)
        window = self.x.wait_for_window(TITLE)
        os.unlink(os.path.join(app, LOCK))
        self.click(window)
        self.finish(run)
        self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
        lines = run.lines()
        self.assertIn("left= 3495", lines)
        self.assertIn("top= 3495", lines)
        self.assertEqual(apprun.lock_files(app), [])

    # --- sound -------------------------------------------------------------------

    def test_without_a_working_sound_server_the_notification_still_works(self):
        # A server that accepts connections and never answers.
        mute = os.path.join(self.root, "mute-server")
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(mute)
        listener.listen(16)
        self.addCleanup(listener.close)
        no_alsa = os.path.join(self.root, "asound.conf")
        apprun.write_bytes(no_alsa, b"")
        cases = [
            ("no server, no device", {"PULSE_SERVER": "unix:/nonexistent/native",
                                      "ALSA_CONFIG_PATH": no_alsa}, ""),
            ("server that never answers", {"PULSE_SERVER": "unix:" + mute}, ""),
            ("tone on a server that never answers", {"PULSE_SERVER": "unix:" + mute},
             "[speaker]\nfrequenz=880\ntime=300\n"),
        ]
        for name, variables, ini in cases:
            with self.subTest(name):
                app = self.make_app(ini, name=name.replace(" ", "-").replace(",", ""))
                env = dict(self.x.env)
                env.update(variables)
                run = self.show_and_click(app, env=env)
                self.assertEqual((run.status, run.boxes), (0, 0), run.err)
                self.assertEqual(apprun.lock_files(app), [])

    def test_sound_files_that_are_no_sound(self):
        try:
            import pulse_server
            server = pulse_server.PulseServer(os.path.join(self.root, "pulse"))
            server.__enter__()
            self.addCleanup(server.__exit__, None, None, None)
            env = server.env(self.x.env)
        except (ImportError, OSError, RuntimeError) as e:
            # Without a server the files are never opened; still no hang.
            print("\nno PulseAudio server (%s): sound files tested without one" % e,
                  file=sys.stderr)
            env = dict(self.x.env)
        rng = random.Random(4711)
        # name, what bad.wav is, message boxes expected
        cases = [
            ("random bytes", lambda p: apprun.write_bytes(p, rng.randbytes(8192)), 0),
            ("text", lambda p: apprun.write_bytes(p, b"Dies ist kein Klang.\n" * 20), 0),
            ("empty", lambda p: apprun.write_bytes(p, b""), 0),
            ("header promising 2 GB", lambda p: apprun.write_bytes(
                p, wav_header(0x7FFFFFF0) + b"\x01\x02" * 100), 0),
            ("header with no channels", lambda p: apprun.write_bytes(
                p, wav_header(400, channels=0, rate=0, bits=0) + b"\0" * 400), 0),
            # No ordinary file: the file is "not found".
            ("FIFO", os.mkfifo, 1),
            ("folder", os.mkdir, 1),
        ]
        for name, make, boxes in cases:
            with self.subTest(name):
                app = self.make_app("[wave]\nfile=bad.wav\n", name=name.replace(" ", "-"))
                make(os.path.join(app, "bad.wav"))
                run = self.show_and_click(app, env=env, boxes=boxes)
                self.assertEqual((run.status, run.boxes, run.err), (0, boxes, ""))

    # --- pictures ------------------------------------------------------------------

    def test_pictures_that_are_broken_huge_or_no_files(self):
        source = os.path.join(self.root, "pictures")
        os.makedirs(source)
        big_jpeg = os.path.join(source, "big.jpg")
        subprocess.run(["convert", "-size", "10000x10000", "xc:red", big_jpeg], check=True,
                       timeout=120, capture_output=True)
        good = apprun.read_bytes(os.path.join(self.program.source, "thebat.jpg"))

        def put(data):
            return lambda p: apprun.write_bytes(p, data)

        # name, what pic.jpg is, expected: a colour seen in the picture box,
        # or the failure report's description
        cases = [
            ("10000 by 10000 JPEG", lambda p: shutil.copy(big_jpeg, p), (255, 0, 0)),
            ("10000 by 10000 PNG", put(png(10000, 10000)), (0, 0, 255)),
            ("not a picture", put(b"Dies ist kein Bild.\n" * 50), "Invalid picture"),
            ("empty", put(b""), "Invalid picture"),
            ("truncated JPEG", put(good[:len(good) // 2]), "Invalid picture"),
            ("PNG claiming 100000 by 100000", put(png(100000, 100000, rows=3)),
             "Invalid picture"),
            ("folder", os.mkdir, "Path/File access error"),
            ("FIFO", os.mkfifo, "Path/File access error"),
        ]
        for name, make, expected in cases:
            with self.subTest(name):
                app = self.make_app(QUIET_INI + "[image]\npicture=pic.jpg\n",
                                    name=name.replace(" ", "-"))
                make(os.path.join(app, "pic.jpg"))
                run = self.start(app)
                window = self.wait_for_window_or_end(run, timeout=60 * xharness.TIMEOUT_SCALE)
                if isinstance(expected, tuple):
                    self.assertIsNotNone(window, "no window")
                    cx, cy, _, _ = self.x.client_geometry(window)
                    # Stretched into the 90 by 90 pixel picture box.
                    xharness.wait_until(
                        lambda: all(abs(a - b) <= 8 for a, b in
                                    zip(self.x.pixel(cx + 45, cy + 45), expected)),
                        what="the picture")
                    self.click(window)
                    self.finish(run, timeout=60 * xharness.TIMEOUT_SCALE)
                    self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
                else:
                    self.assertIsNone(window, "a window despite a bad picture")
                    self.finish(run, timeout=60 * xharness.TIMEOUT_SCALE)
                    self.assert_failure_report(run, expected, "pic.jpg")
                    self.assertEqual(apprun.lock_files(app), [])

    # --- the settings file ----------------------------------------------------------

    def test_huge_settings_files_are_read(self):
        rng = random.Random(815)
        keys_at_end = b"[window]\r\nleft=1500\r\ntop=1500\r\n[wave]\r\nfile=\r\n"
        cases = [
            ("50 MB text section, keys at the end",
             b"[text]\r\n" + b"".join(b"Key%d=" % i + b"y" * 90 + b"\r\n"
                                      for i in range(500000)) + keys_at_end),
            # Random bytes, NULs and stray brackets included, before the keys.
            ("50 MB of garbage, keys at the end",
             rng.randbytes(50 * 1024 * 1024) + b"\r\n" + keys_at_end),
        ]
        for name, old in cases:
            with self.subTest(name):
                app = self.make_app(old, name=name.split(",")[0].replace(" ", "-"))
                run = self.start(app)
                window = self.wait_for_window_or_end(run)
                self.assertIsNotNone(window, "no window")
                self.assertEqual(self.outer_corner(window), (100, 100))
                self.click(window)
                self.finish(run)
                self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
                # Only the two values changed, in place.
                before, _, after = old.rpartition(keys_at_end)
                expected = before + keys_at_end.replace(b"=1500", b"= 1500") + after
                self.assertTrue(apprun.read_bytes(os.path.join(app, INI)) == expected,
                                "the settings file changed beyond left and top")

    def test_settings_path_that_is_no_file_gives_defaults_and_is_not_replaced(self):
        def loop(p):
            os.symlink(os.path.basename(p) + ".2", p + ".1")
            os.symlink(os.path.basename(p) + ".1", p + ".2")
            os.symlink(os.path.basename(p) + ".1", p)

        cases = [
            ("folder", os.mkdir),
            ("FIFO", os.mkfifo),
            ("link to /dev/zero", lambda p: os.symlink("/dev/zero", p)),
            ("link loop", loop),
            ("link to nothing", lambda p: os.symlink("nowhere.ini", p)),
        ]
        for name, make in cases:
            with self.subTest(name):
                app = self.make_app(name=name.replace(" ", "-").replace("/", ""))
                ini = os.path.join(app, INI)
                make(ini)
                before = os.lstat(ini)
                run = self.start(app)
                window = self.wait_for_window_or_end(run)
                self.assertIsNotNone(window, "no window")
                self.assertEqual(self.outer_corner(window), DEFAULT_CORNER)
                self.click(window)
                self.finish(run)
                self.assertEqual((run.status, run.boxes, run.err), (0, 0, ""))
                after = os.lstat(ini)
                self.assertEqual((after.st_ino, after.st_mode), (before.st_ino, before.st_mode))
                self.assertFalse(os.path.exists(os.path.join(app, "nowhere.ini")))
                self.assertEqual(apprun.temp_files(app, INI), [])
                self.assertEqual(apprun.lock_files(app), [])


if __name__ == "__main__":
    unittest.main()
