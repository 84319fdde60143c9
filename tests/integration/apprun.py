"""Runs the real zettelblick binary the way a mail filter or a script does,
for the concurrency, fault and hostile-input tests.

AppTest is a unittest base class with one Xvfb + openbox session per class
(xharness.XSession). It lays out application folders inside a private root
folder (so that names with "..", or a sibling folder, stay inside it),
starts the program, confirms the message boxes it puts up, and finishes
each run with a hang detector (a generous time-out, never a measured bound)
and a check that the process ended by itself, not by a signal.

Only processes started here are ever signalled or killed.
"""

import glob
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import xharness

TITLE = "Zettelblick 2"
BOX_TITLE = "Zettelblick"
LOCK = "zettelblick_Text1_Beispieltext.tmp"
# No sound: most runs are about files and windows.
QUIET_INI = "[wave]\nfile=\n"
TIMEOUT = xharness.DEFAULT_TIMEOUT
# The temporary names of a settings write: "." + name + "." + six letters.
TEMP_SUFFIX = re.compile(r"\.[A-Za-z0-9]{6}$")


def temp_files(directory, ini_name):
    """The temporary files of a settings write to `ini_name` in `directory`."""
    prefix = "." + ini_name[:200] + "."
    return sorted(name for name in os.listdir(directory)
                  if name.startswith(prefix) and TEMP_SUFFIX.search(name[len(prefix) - 1:])
                  and len(name) == len(prefix) + 6)


def lock_files(directory):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(glob.escape(directory),
                                                                      "*.tmp")))


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


class Mount:
    """A small tmpfs mounted on `path` (root only; `available` is False where
    mounting is not permitted). Unmounted on exit."""

    def __init__(self, path, size):
        self.path = path
        self.size = size
        self.mounted = False
        self.error = ""

    def __enter__(self):
        os.makedirs(self.path, exist_ok=True)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d,mode=0755" % self.size,
                                 "zb-test", self.path], capture_output=True, text=True)
        self.mounted = result.returncode == 0
        self.error = result.stderr.strip()
        return self

    def read_only(self, on=True):
        option = "remount,ro" if on else "remount,rw"
        subprocess.run(["mount", "-o", option, self.path], check=True, capture_output=True)

    def __exit__(self, *exc):
        if self.mounted:
            if subprocess.run(["umount", self.path], capture_output=True).returncode != 0:
                subprocess.run(["umount", "-l", self.path], capture_output=True)
        return False


def bind_read_only(source, target):
    """Mounts `source` read-only on `target` (a file or a folder). Returns an
    error text, empty on success."""
    for args in (["mount", "--bind", source, target],
                 ["mount", "-o", "remount,bind,ro", target]):
        result = subprocess.run(args, capture_output=True, text=True)
        if result.returncode != 0:
            subprocess.run(["umount", target], capture_output=True)
            return result.stderr.strip() or "mount failed"
    return ""


def unmount(target):
    subprocess.run(["umount", target], capture_output=True)


class Run:
    """One started program and what came of it."""

    def __init__(self, proc):
        self.proc = proc
        self.status = None
        self.out = ""
        self.err = ""
        self.boxes = 0


class AppTest(xharness.XSessionTestCase):
    """One X session for the class; per test a private root folder."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="zb-hard-")
        self.runs = []
        self.addCleanup(self._cleanup)

    def _cleanup(self):
        for run in self.runs:
            if run.proc.poll() is None:
                run.proc.kill()
            try:
                run.proc.communicate(timeout=TIMEOUT)
            except (subprocess.TimeoutExpired, ValueError):
                pass
        # Boxes and windows of this test must not be left to the next one.
        try:
            self.x.wait_for_no_window(TITLE)
            self.x.wait_for_no_window(BOX_TITLE)
        except xharness.HarnessError:
            pass
        shutil.rmtree(self.root, ignore_errors=True)

    # --- folders ---------------------------------------------------------------

    def make_app(self, ini=None, name="app", ini_name="zettelblick.ini",
                 with_files=xharness.APP_FILES):
        """An application folder `name` inside the root folder: the binary,
        its picture and sound, and a settings file when `ini` is given (text
        or bytes)."""
        source = xharness.build_app_dir()
        target = os.path.join(self.root, name)
        os.makedirs(target, exist_ok=True)
        shutil.copy2(os.path.join(source, xharness.BINARY_NAME), target)
        for file in with_files:
            shutil.copy2(os.path.join(source, file), target)
        if ini is not None:
            write_bytes(os.path.join(target, ini_name),
                        ini if isinstance(ini, bytes) else ini.encode())
        return target

    # --- running ---------------------------------------------------------------

    def start(self, app_dir, args=(), env=None):
        """Starts the program in `app_dir`; `args` may be text or bytes."""
        binary = os.path.join(app_dir, xharness.BINARY_NAME)
        # Started in the root folder: whatever a relative name creates
        # stays inside it.
        proc = subprocess.Popen([binary] + list(args), env=env or self.x.env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                stdin=subprocess.DEVNULL, cwd=self.root)
        run = Run(proc)
        self.runs.append(run)
        return run

    def confirm_boxes(self):
        """Presses Return in every message box on the screen; their count."""
        count = 0
        for box in self.x.find_windows(BOX_TITLE):
            if "IsViewable" not in self.x.run(["xwininfo", "-id", str(box)], check=False):
                continue
            self.x.run(["xdotool", "windowactivate", "--sync", str(box)], check=False)
            self.x.key("Return")
            count += 1
            xharness.wait_until(lambda: box not in self.x.find_windows(BOX_TITLE),
                                what="the message box to close")
        return count

    def confirm_box(self, run):
        """Waits for a message box of `run` to be shown, then confirms it.
        (A box's window may exist, unmapped, before it is shown: a click on
        the notification meanwhile would be lost to the coming modal box.)"""
        self.x.wait_for_window(BOX_TITLE)
        run.boxes += self.confirm_boxes()

    def finish(self, run, timeout=TIMEOUT):
        """Waits for the program to end, confirming its message boxes. Fails
        when it hangs or dies by a signal."""
        deadline = time.monotonic() + timeout
        while run.proc.poll() is None:
            if time.monotonic() > deadline:
                run.proc.kill()
                run.proc.communicate()
                self.fail("the program hung (still running after %d s)" % timeout)
            run.boxes += self.confirm_boxes()
            time.sleep(0.05)
        out, err = run.proc.communicate()
        run.out, run.err = out.decode(errors="replace"), err.decode(errors="replace")
        run.status = run.proc.returncode
        self.assertGreaterEqual(run.status, 0, "ended by signal %d; stderr: %s"
                                % (-run.status, run.err))
        return run

    def wait_for_window_or_end(self, run, timeout=TIMEOUT):
        """The notification's window id, or None when the program ended (or
        put up a message box) without one."""
        def seen():
            for window in self.x.find_windows(TITLE):
                if "IsViewable" in self.x.run(["xwininfo", "-id", str(window)], check=False):
                    return ("window", window)
            if run.proc.poll() is not None:
                return ("ended", None)
            if any("IsViewable" in self.x.run(["xwininfo", "-id", str(b)], check=False)
                   for b in self.x.find_windows(BOX_TITLE)):
                return ("box", None)
            return None
        kind, window = xharness.wait_until(seen, timeout, what="a window or the end")
        return window

    def click(self, window):
        cx, cy, cw, ch = self.x.client_geometry(window)
        self.x.click(cx + cw - 10, cy + ch - 3)

    def show_and_click(self, app_dir, args=(), env=None):
        """Starts, waits for the window, clicks it, waits for the end."""
        run = self.start(app_dir, args, env)
        window = self.wait_for_window_or_end(run)
        if window is None:
            self.finish(run)
            self.fail("no window; status %s, stderr: %s" % (run.status, run.err))
        self.click(window)
        return self.finish(run)

    def assert_failure_report(self, run, *expected):
        """The run ended in an unexpected failure: a report box, a line on
        standard error that says what failed, exit status 1."""
        self.assertEqual(run.status, 1, run.err)
        self.assertEqual(run.boxes, 1, "one failure report expected; stderr: " + run.err)
        self.assertRegex(run.err, r"Run-time error '\d+'")
        for text in expected:
            self.assertIn(text, run.err)

