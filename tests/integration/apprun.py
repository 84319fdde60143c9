"""The one harness of the integration tests that run the program: it lays out
application folders, starts the program (the Linux build natively, the
Windows build under Wine) on a private X session, waits for its window,
confirms its message boxes and reads what it did.

AppTest is the unittest base class of every such suite: one X session
(xharness.XSession: Xvfb with openbox) per class and, for a class with
WINE = True, one Wine prefix (wine_env.WineEnv); per test a private root
folder that holds the test's application folders (so that names with "..",
or a sibling folder, stay inside it) and is the programs' current folder.
Each run ends with a hang detector (a generous time-out, never a measured
bound) and a check that the process ended by itself, not by a signal. Only
processes started here are ever signalled or killed.

Environment: ZB_APP_DIR, the Linux build's application folder (default
build/app); for Wine suites ZB_WIN32_BUILD_DIR and ZB_WINE_WORK (wine_env.py).
Installed runs an installed program (the package test) as another user.
"""

import glob
import itertools
import os
import re
import shutil
import signal
import stat
import subprocess
import tempfile
import time
import unittest

import wine_env
import xharness

TITLE = "Zettelblick 2"
BOX_TITLE = "Zettelblick"
LOCK = "zettelblick_Text1_Beispieltext.tmp"
INI = "zettelblick.ini"
# Beside the program in every application folder: its picture and sound.
APP_FILES = ("thebat.jpg", "message.wav")
# No sound: most runs are about files and windows.
QUIET_INI = "[wave]\nfile=\n"
# The default window at 96 dpi (15 twips a pixel): 3500, 3500, 3500 by 2000
# twips; its colour BAFEFE in the settings' blue-green-red order.
DEFAULT_OUTER = (233, 233, 233, 133)
PALE_YELLOW = (0xFE, 0xFE, 0xBA)
TIMEOUT = xharness.DEFAULT_TIMEOUT
# The temporary names of a settings write: "." + name + "." + six letters.
TEMP_SUFFIX = re.compile(r"\.[A-Za-z0-9]{6}$")
# One settings file in each common encoding (tests/data/encodings/NAME.ini):
# this message, and a picture and a sound named with umlauts and a euro sign.
ENCODINGS = ("ansi", "utf8", "utf8_bom", "utf16le")
ENCODED_MESSAGE = "Grüße: ä ö ü ß – 5 €"
ENCODED_FILES = {"Grüße €.jpg": "thebat.jpg", "Grüße €.wav": "message.wav"}
ENCODED_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "encodings")


# --- the program of a build ---------------------------------------------------------


class Native:
    """The Linux build's program, from its application folder `source`
    (default: ZB_APP_DIR, else build/app)."""

    binary = "zettelblick"
    encoding = "utf-8"
    temp_parent = None  # the system's temporary folder
    # What the program's command line starts with (Installed: another user).
    runner = ()

    def __init__(self, source=None):
        source = source or os.environ.get("ZB_APP_DIR") or os.path.join(
            os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "app")
        if not os.path.isfile(os.path.join(source, self.binary)):
            raise xharness.HarnessError("no built %s in %s (set ZB_APP_DIR)"
                                        % (self.binary, source))
        self.source = os.path.abspath(source)

    def popen(self, app, args, env, cwd):
        return subprocess.Popen([*self.runner, os.path.join(app, self.binary), *args], env=env,
                                cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def press_ok(self, x, box, env):
        """Confirms the message box `box` as a user does, with Return."""
        x.run(["xdotool", "windowactivate", "--sync", str(box)], check=False)
        x.key("Return")


class Installed(Native):
    """An installed Linux program, /usr/bin/zettelblick by default, run as
    the user `uid`:`gid` (setpriv, from root) with the environment given."""

    def __init__(self, uid, gid, source="/usr/bin"):
        super().__init__(source)
        self.runner = ("setpriv", "--reuid=%d" % uid, "--regid=%d" % gid, "--clear-groups")


class UnderWine:
    """The Windows build's program under Wine (wine_env.WineEnv). Its output
    is not read (see WineEnv.run)."""

    binary = wine_env.APP_EXE
    encoding = "cp1252"  # a Windows user's settings file

    def __init__(self, wine):
        self.wine = wine
        self.source = wine.build_file("app")
        self.temp_parent = wine.work_dir

    def popen(self, app, args, env, cwd):
        return self.wine.start([os.path.join(app, self.binary)] + list(args), env=env, cwd=cwd)

    def press_ok(self, x, box, env):
        """Presses OK in the message box through the Windows API (winprobe)."""
        self.wine.probe("ok", BOX_TITLE, env=env)


def make_app_folder(target, program, ini=None, ini_name=INI, with_files=APP_FILES):
    """Lays out an application folder in `target` (made when missing): the
    program of `program`'s build, the files `with_files` from its build's
    application folder (None: every file there except lock files), and a
    settings file `ini_name` holding `ini` when it is given (bytes as they
    are, text in the program's encoding). Returns `target`."""
    os.makedirs(target, exist_ok=True)
    if with_files is None:
        with_files = [name for name in os.listdir(program.source)
                      if not name.endswith(".tmp")
                      and os.path.isfile(os.path.join(program.source, name))]
    for name in {program.binary, *with_files}:
        shutil.copy2(os.path.join(program.source, name), target)
    if ini is not None:
        write_bytes(os.path.join(target, ini_name),
                    ini if isinstance(ini, bytes) else ini.encode(program.encoding))
    return target


def wait_for_window_or_end(x, proc, timeout=TIMEOUT, alive=None):
    """What a started program shows first: ("window", id) for the
    notification, ("box", None) for a message box without it, ("ended",
    None) when it ended without either. `alive` (default: the process `proc`
    runs) tells whether the program still runs."""
    alive = alive or (lambda: proc.poll() is None)

    def seen():
        running = alive()
        window = next(iter(x.viewable(TITLE)), None)
        if window is not None:
            return "window", window
        if not running:
            return "ended", None
        if x.viewable(BOX_TITLE):
            return "box", None
        return None
    return xharness.wait_until(seen, timeout, what="a window or the end")


def confirm_boxes(x, program, env):
    """Confirms every message box on the screen; returns their count."""
    count = 0
    for box in x.viewable(BOX_TITLE):
        program.press_ok(x, box, env)
        xharness.wait_until(lambda: box not in x.viewable(BOX_TITLE),
                            what="the message box to close")
        count += 1
    return count


# --- files ---------------------------------------------------------------------------


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def lock_files(directory):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(glob.escape(directory),
                                                                      "*.tmp")))


def user_lock_folder(uid=None):
    """The folder of the installed program's lock files for the user `uid`
    (default: this process's) on this machine: in the session's runtime folder
    /run/user/UID when that is the user's own, else /tmp/zettelblick-UID."""
    uid = os.geteuid() if uid is None else uid
    runtime = "/run/user/%d" % uid
    try:
        st = os.lstat(runtime)
        if stat.S_ISDIR(st.st_mode) and st.st_uid == uid and not st.st_mode & 0o077:
            return os.path.join(runtime, "zettelblick")
    except FileNotFoundError:
        pass
    return "/tmp/zettelblick-%d" % uid


def temp_files(directory, ini_name):
    """The temporary files of a settings write to `ini_name` in `directory`."""
    prefix = "." + ini_name[:200] + "."
    return sorted(name for name in os.listdir(directory)
                  if name.startswith(prefix) and TEMP_SUFFIX.search(name[len(prefix) - 1:])
                  and len(name) == len(prefix) + 6)


class Mount:
    """A small tmpfs mounted on `path` (root only; `mounted` is False where
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


# --- runs ----------------------------------------------------------------------------


# The environment entry that marks the processes of one start: the process
# the harness started and, where the program goes on apart from its caller
# (window.wait=0), the notification's process, which is no child of it.
RUN_MARK = "ZB_TEST_RUN"


def marked_pids(mark):
    """The processes whose environment holds RUN_MARK=`mark`."""
    needle = ("%s=%s\0" % (RUN_MARK, mark)).encode()
    pids = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % name, "rb") as f:
                if needle in f.read() + b"\0":
                    pids.append(int(name))
        except OSError:
            pass
    return pids


class Run:
    """One start of the program from its application folder `app`, and what
    came of it once finished: the status the caller got, standard output and
    error (text), and the message boxes the harness confirmed meanwhile. The
    run lasts as long as the started process or the notification's process
    it split off."""

    def __init__(self, app, proc, mark, binary):
        self.app = app
        self.proc = proc
        self.mark = mark
        self.binary = binary
        self.window = None
        self.status = None
        self.out = ""
        self.err = ""
        self.boxes = 0

    def notification_pids(self):
        """The processes of this start that run the program (not Wine's own
        helpers), the started one among them while it runs."""
        pids = []
        for pid in marked_pids(self.mark):
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    if self.binary.encode() in f.read():
                        pids.append(pid)
            except OSError:
                pass
        return pids

    def alive(self):
        """Whether the notification still runs (in either process)."""
        return self.proc.poll() is None or bool(self.notification_pids())

    def signal(self, sig):
        """Sends `sig` to the notification's process: the one split off, or
        the started one where there is none."""
        pids = [pid for pid in self.notification_pids() if pid != self.proc.pid]
        for pid in pids or [self.proc.pid]:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass

    def kill(self):
        """Kills every process of this start."""
        for pid in set(self.notification_pids()) | ({self.proc.pid} if self.proc.poll() is None
                                                     else set()):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def path(self, name):
        return os.path.join(self.app, name)

    def read(self, name=INI):
        return read_bytes(self.path(name))

    def lines(self, name=INI):
        """The lines of a file of the folder (any bytes, as Latin-1)."""
        return self.read(name).decode("latin-1").splitlines()


class AppTest(unittest.TestCase):
    """One X session (and, with WINE, one Wine prefix) for the class; per test
    a private root folder and the runs it started, ended at its end."""

    WINE = False
    # Options of the class's X session (xharness.XSession).
    SESSION = {}

    @classmethod
    def setUpClass(cls):
        cls.wine = None
        if cls.WINE:
            cls.wine = wine_env.WineEnv().__enter__()
        try:
            cls.x = xharness.XSession(**cls.SESSION).__enter__()
            cls.program = UnderWine(cls.wine) if cls.wine else Native()
        except BaseException:
            cls.tearDownClass()
            raise
        cls.env = cls.wine.env(cls.x.env) if cls.wine else cls.x.env

    @classmethod
    def tearDownClass(cls):
        if cls.wine:
            cls.wine.__exit__(None, None, None)
        if getattr(cls, "x", None):
            cls.x.__exit__(None, None, None)

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="zb-test-", dir=self.program.temp_parent)
        self.runs = []
        self._marks = itertools.count()
        self.addCleanup(self._cleanup)

    def _cleanup(self):
        self.stop_all(quiet=True)
        shutil.rmtree(self.root, ignore_errors=True)

    # --- folders ---------------------------------------------------------------

    def make_app(self, ini=None, name="app", ini_name=INI, with_files=APP_FILES):
        """An application folder `name` in the root folder (None: a new one
        of its own); see make_app_folder."""
        target = (tempfile.mkdtemp(prefix="app-", dir=self.root) if name is None
                  else os.path.join(self.root, name))
        return make_app_folder(target, self.program, ini, ini_name, with_files)

    def make_encoded_app(self, encoding, name=None):
        """An application folder (see make_app) whose settings file is the one
        in `encoding` (ENCODINGS), with the picture and sound it names."""
        app = self.make_app(read_bytes(os.path.join(ENCODED_DIR, encoding + ".ini")), name=name)
        for target, source in ENCODED_FILES.items():
            shutil.copy(os.path.join(app, source), os.path.join(app, target))
        return app

    # --- running ---------------------------------------------------------------

    def start(self, app, args=(), env=None, cwd=None):
        """Starts the program of the folder `app`, in the root folder unless
        `cwd` says otherwise; `args` may be text or bytes."""
        mark = "%d-%d" % (os.getpid(), next(self._marks))
        env = dict(env or self.env, **{RUN_MARK: mark})
        run = Run(app, self.program.popen(app, args, env, cwd or self.root), mark,
                  self.program.binary)
        self.runs.append(run)
        return run

    def wait_for_window_or_end(self, run, timeout=TIMEOUT):
        """The notification's window id, or None when the program ended (or
        put up a message box) without one."""
        return wait_for_window_or_end(self.x, run.proc, timeout, run.alive)[1]

    def show(self, app, args=(), env=None, cwd=None):
        """Starts the program and waits until its window has settled; the
        window's id is run.window."""
        run = self.start(app, args, env, cwd)
        run.window = self.wait_for_window_or_end(run)
        if run.window is None:
            self.finish(run)
            self.fail("no window; status %s, stderr: %s" % (run.status, run.err))
        self.x.settled_geometry(run.window)
        return run

    def confirm(self, box):
        """Confirms one message box and waits until it has gone."""
        self.program.press_ok(self.x, box, self.env)
        xharness.wait_until(lambda: box not in self.x.viewable(BOX_TITLE),
                            what="the message box to close")

    def confirm_box(self, run):
        """Waits for a message box of `run` to be shown, then confirms it.
        (A box's window may exist, unmapped, before it is shown: a click on
        the notification meanwhile would be lost to the coming modal box.)"""
        self.x.wait_for_window(BOX_TITLE)
        run.boxes += confirm_boxes(self.x, self.program, self.env)

    def finish(self, run, timeout=TIMEOUT):
        """Waits for the program to end, confirming its message boxes (counted
        in run.boxes). Fails when it hangs or dies by a signal."""
        deadline = time.monotonic() + timeout
        while run.alive():
            if time.monotonic() > deadline:
                run.kill()
                run.proc.communicate()
                self.fail("the program hung (still running after %d s)" % timeout)
            run.boxes += confirm_boxes(self.x, self.program, self.env)
            time.sleep(0.05)
        out, err = run.proc.communicate()
        run.out = (out or b"").decode(errors="replace")
        run.err = (err or b"").decode(errors="replace")
        run.status = run.proc.returncode
        self.assertGreaterEqual(run.status, 0, "ended by signal %d; stderr: %s"
                                % (-run.status, run.err))
        return run

    def stop_all(self, quiet=False):
        """Ends every program this test started that still runs, and waits
        until no notification or message box is left on the screen (quiet:
        without failing when one stays)."""
        for run in self.runs:
            if run.status is not None and not run.alive():
                continue
            run.kill()
            try:
                run.proc.communicate(timeout=TIMEOUT)
            except (subprocess.TimeoutExpired, ValueError):
                pass
            run.status = run.proc.returncode
        try:
            if self.wine:
                # A box of a killed program may still be up under Wine.
                self.program.press_ok(self.x, None, self.env)
            self.x.wait_for_no_window(TITLE)
            self.x.wait_for_no_window(BOX_TITLE)
        except xharness.HarnessError:
            if not quiet:
                raise

    # --- the user --------------------------------------------------------------

    def click_client(self, window, x, y):
        """A click at x, y of the window's client area, once the window
        manager has finished placing it (a click aimed at where the window
        was a moment earlier would miss it)."""
        self.x.settled_geometry(window)
        cx, cy, _, _ = self.x.client_geometry(window)
        self.x.click(cx + x, cy + y)

    def click(self, window):
        """A click on the free area at the client area's lower right corner."""
        _, _, cw, ch = self.x.client_geometry(window)
        self.click_client(window, cw - 10, ch - 3)

    def show_and_click(self, app, args=(), env=None, boxes=0):
        """Starts, waits for the window, confirms `boxes` message boxes,
        clicks the window and waits for the end."""
        run = self.start(app, args, env)
        window = self.wait_for_window_or_end(run)
        if window is None:
            self.finish(run)
            self.fail("no window; status %s, stderr: %s" % (run.status, run.err))
        for _ in range(boxes):
            self.confirm_box(run)
        self.click(window)
        return self.finish(run)

    # --- what it did -------------------------------------------------------------

    def assert_closed_down(self, run, left=" 3495", top=" 3495"):
        """The run ended normally without a message box, gave up its lock and
        wrote the position (by default the default window's)."""
        self.finish(run)
        self.assertEqual((run.status, run.boxes), (0, 0), run.err)
        self.assertFalse(os.path.exists(run.path(LOCK)), "the lock file is left behind")
        lines = run.lines()
        self.assertIn("left=" + left, lines)
        self.assertIn("top=" + top, lines)

    def work_area(self):
        """(x, y, width, height) of the first desktop's work area."""
        return tuple(int(v) for v in re.findall(r"\d+", self.x.run(
            ["xprop", "-root", "_NET_WORKAREA"]).split("=")[1])[:4])

    def assert_stacked_apart(self, windows):
        """The notification windows `windows`, shown at once from one settings
        file with the default place: each wholly on the work area, none
        overlapping another, one of them at the configured place. Then the
        user moves the one furthest from it and closes the others one by one
        with a click: after each, the settings file holds the configured
        position; after the moved one, that one's own."""
        frames = [self.x.settled_geometry(w) for w in windows]
        area = self.work_area()
        for i, (x, y, w, h) in enumerate(frames):
            self.assertTrue(area[0] <= x and x + w <= area[0] + area[2] and
                            area[1] <= y and y + h <= area[1] + area[3], (frames[i], area))
            for (x2, y2, w2, h2) in frames[:i]:
                self.assertFalse(x < x2 + w2 and x2 < x + w and y < y2 + h2 and y2 < y + h,
                                 "overlapping: %s" % frames)
        self.assertIn(DEFAULT_OUTER[:2], [frame[:2] for frame in frames])

        ini = os.path.join(self.runs[0].app, INI)

        def position():
            found = dict(re.findall(rb"^(left|top)= ?(-?\d+)\r?$", read_bytes(ini), re.M))
            return int(found.get(b"left", 0)), int(found.get(b"top", 0))
        moved = windows[frames.index(max(frames))]
        x, y, _, _ = self.x.outer_geometry(moved)
        if self.wine:  # a drag on the caption, which Wine draws itself
            self.x.drag(x + 40, y + 8, x + 90, y + 38)
        else:  # through the window manager, whatever its caption bar
            cx, cy, _, _ = self.x.client_geometry(moved)
            self.x.run(["xdotool", "windowmove", str(moved), str(cx + 50), str(cy + 30)])
        xharness.wait_until(lambda: self.x.outer_geometry(moved)[:2] != (x, y),
                            what="the window to move")
        x, y, _, _ = self.x.settled_geometry(moved)
        def click(window):  # on the picture, which both builds draw at the left
            left, top, _, height = self.x.settled_geometry(window)
            self.x.click(left + 45, top + height - 10)
        for window in windows:
            if window != moved:
                click(window)
                xharness.wait_until(lambda: window not in self.x.viewable(TITLE),
                                    what="the window to close")
                xharness.wait_until(lambda: position() == (3495, 3495),
                                    what="the configured position (%s)" % (position(),))
        click(moved)
        xharness.wait_until(lambda: position() == (x * 15, y * 15),
                            what="the moved window's position (%s)" % (position(),))

    def assert_failure_report(self, run, *expected):
        """The run ended in an unexpected failure: a report box, a line on
        standard error that says what failed, exit status 1."""
        self.assertEqual(run.status, 1, run.err)
        self.assertEqual(run.boxes, 1, "one failure report expected; stderr: " + run.err)
        self.assertRegex(run.err, r"Run-time error '\d+'")
        for text in expected:
            self.assertIn(text, run.err)
