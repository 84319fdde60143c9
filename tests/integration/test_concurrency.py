"""Many instances started at the same moment, as a burst of mail does.

- 50 instances of one notification, released together: one window, one lock
  file, the other 49 end at once with status 0; after the click no lock
  file is left.
- A notification killed with SIGKILL leaves its lock file; one, two or 50
  instances started after it, together: one of them takes the lock over and
  shows the window, the others end at once; after the click no lock is left.
- 10 notifications of one settings file for 10 places, released together:
  10 windows, each wholly on the work area, none overlapping another; each
  one closed where it showed writes the configured position, a moved one
  its own.
- 40 notifications for 40 places, released together, more than the work
  area holds side by side: each wholly on the work area, and no window
  covers the caption or the message's first line of one below it.
- 20 notifications for 20 places, released together and then ended
  together: 20 windows, and the settings file that all 20 write their
  position to at the same moment stays whole: every line as before, plus
  exactly one left and one top.

Each instance waits on a FIFO through a tiny shell wrapper that then execs the
program, so that all start within the same instant once the FIFO is written.
Run as a script or with python3 -m unittest; ZB_APP_DIR names the build's
application folder.
"""

import os
import re
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
import xharness  # noqa: E402
from apprun import INI, LOCK, TIMEOUT, TITLE  # noqa: E402

# A settings file as people edit it: a comment, blank lines, CRLF and LF
# line ends, a Latin-1 byte, spaces around "=", sections in any case.
# The callers wait for the notification's end (window.wait): a process's end
# is its notification's close.
WAITED_INI = apprun.QUIET_INI + "[window]\nwait=1\n"
HAND_MADE_INI = (
    b"; Benachrichtigung f\xfcr neue Post\r\n"
    b"\r\n"
    b"[Window]\r\n"
    b"title = 1\r\n"
    b"wait=1\r\n"
    b"time=0\r\n"
    b"\r\n"
    b"[text]\n"
    b"Text1=Neue Post in \\place\n"
    b"; end of the text section\n"
    b"\n"
    b"[wave]\r\n"
    b"file=\r\n"
)


# How far below the caption the first line of the default message ends at
# 96 dpi: the label's 2-pixel border and a 12-pixel line of 8-point text.
FIRST_LINE = 14


def overlap(a, b):
    """Whether the rectangles (x, y, width, height) `a` and `b` overlap."""
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


class Burst:
    """`count` wrapped instances that start the program when released."""

    def __init__(self, test, app_dir, arguments):
        self.fifo = os.path.join(tempfile.mkdtemp(dir=test.root), "go")
        os.mkfifo(self.fifo)
        # Read and write: opening never blocks, and the FIFO keeps its data
        # for a wrapper that comes late.
        self.fd = os.open(self.fifo, os.O_RDWR)
        binary = os.path.join(app_dir, test.program.binary)
        self.procs = []
        for args in arguments:
            proc = subprocess.Popen(
                ["sh", "-c", 'read _ < "$0" && exec "$@"', self.fifo, binary] + list(args),
                env=test.x.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                stderr=subprocess.PIPE)
            test.runs.append(apprun.Run(app_dir, proc, None, test.program.binary))
            self.procs.append(proc)
        test.addCleanup(os.close, self.fd)

    def waiting(self, proc):
        try:
            return os.readlink("/proc/%d/fd/0" % proc.pid) == self.fifo
        except OSError:
            return False

    def release(self):
        # Every wrapper sits on the FIFO first, so that all go at once.
        xharness.wait_until(lambda: all(self.waiting(p) for p in self.procs),
                            what="every instance to wait at the barrier")
        os.write(self.fd, b"go\n" * len(self.procs))


def finish_all(test, procs):
    """Waits for every process (hang detector); returns [(status, stderr)]."""
    results = []
    for proc in procs:
        try:
            _, err = proc.communicate(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            test.fail("an instance hung")
        test.assertGreaterEqual(proc.returncode, 0, "ended by a signal: %s" % err)
        results.append((proc.returncode, err.decode(errors="replace")))
    return results


class ConcurrencyTest(apprun.AppTest):
    def test_fifty_identical_starts_give_one_notification(self):
        self.assert_one_notification(self.make_app(WAITED_INI), 50)

    def test_the_lock_of_a_killed_notification_is_taken_over_once(self):
        for count in (1, 2, 50):
            with self.subTest(starts=count):
                app = self.make_app(WAITED_INI, name="app-%d" % count)
                killed = self.show(app)
                killed.kill()
                xharness.wait_until(lambda: not killed.alive(), what="the killed program's end")
                self.x.wait_for_no_window(TITLE)
                self.assertEqual(apprun.lock_files(app), [LOCK], "no leftover to take over")
                self.assert_one_notification(app, count)

    def assert_one_notification(self, app, count):
        """Starts `count` instances together: exactly one shows its window,
        the others end at once; after a click on it no lock is left."""
        burst = Burst(self, app, [["/text:Text1"]] * count)
        burst.release()
        window = self.x.wait_for_window(TITLE)

        # The others end by themselves; one stays with its window.
        xharness.wait_until(lambda: sum(p.poll() is None for p in burst.procs) <= 1,
                            what="the other instances to end")
        survivors = [p for p in burst.procs if p.poll() is None]
        self.assertEqual(len(survivors), 1)
        others = [p for p in burst.procs if p is not survivors[0]]
        for status, err in finish_all(self, others):
            self.assertEqual((status, err), (0, ""))
        self.assertEqual(self.x.viewable(TITLE), [window])
        self.assertEqual(len(self.x.find_windows(TITLE)), 1)
        self.assertEqual(apprun.lock_files(app), [LOCK])

        self.click(window)
        [(status, err)] = finish_all(self, survivors)
        self.assertEqual(status, 0, err)
        self.assertEqual(apprun.lock_files(app), [])
        self.assertEqual(apprun.temp_files(app, INI), [])

    def test_ten_places_at_once_stack_apart_and_keep_the_configured_position(self):
        app = self.make_app(WAITED_INI)
        burst = Burst(self, app, [["/place:P%d" % i] for i in range(10)])
        burst.release()
        windows = xharness.wait_until(lambda: len(self.x.viewable(TITLE)) == 10 and
                                      self.x.viewable(TITLE), what="10 windows")
        self.assert_stacked_apart(windows)
        for status, err in finish_all(self, burst.procs):
            self.assertEqual(status, 0, err)

    def test_forty_places_at_once_leave_every_caption_and_first_line_in_sight(self):
        app = self.make_app(WAITED_INI)
        burst = Burst(self, app, [["/place:P%d" % i] for i in range(40)])
        burst.release()
        windows = xharness.wait_until(lambda: len(self.x.viewable(TITLE)) == 40 and
                                      self.x.viewable(TITLE), what="40 windows")
        frames = {w: self.x.settled_geometry(w) for w in windows}
        stacking = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", self.x.run(
            ["xprop", "-root", "_NET_CLIENT_LIST_STACKING"]))]
        order = [w for w in stacking if w in frames]  # from the bottom up
        self.assertEqual(len(order), 40)
        ax, ay, aw, ah = self.work_area()
        for i, lower in enumerate(order):
            x, y, w, h = frames[lower]
            self.assertTrue(ax <= x and x + w <= ax + aw and ay <= y and y + h <= ay + ah)
            # The caption, the label's border and a line of 8-point text.
            caption = int(re.findall(r"\d+", self.x.prop(lower, "_NET_FRAME_EXTENTS"))[2])
            header = (x, y, w, caption + FIRST_LINE)
            for upper in order[i + 1:]:
                self.assertFalse(overlap(header, frames[upper]),
                                 "%s covers the header of %s" % (frames[upper], frames[lower]))
        for proc in burst.procs:
            proc.send_signal(signal.SIGTERM)
        for status, err in finish_all(self, burst.procs):
            self.assertEqual(status, 0, err)

    def test_twenty_places_closed_together_keep_the_settings_file_whole(self):
        app = self.make_app(HAND_MADE_INI)
        ini = os.path.join(app, INI)
        places = ["Postfach_%d" % i for i in range(20)]
        burst = Burst(self, app, [["/place:" + place] for place in places])
        burst.release()
        xharness.wait_until(lambda: len(self.x.viewable(TITLE)) == 20,
                            what="20 windows")
        self.assertEqual(apprun.lock_files(app),
                         sorted("zettelblick_Text1_%s.tmp" % p.replace("_", " ")
                                for p in places))
        self.assertTrue(all(p.poll() is None for p in burst.procs))

        # All close at the same moment: 20 position writes meet in one file.
        for proc in burst.procs:
            proc.send_signal(signal.SIGTERM)
        for status, err in finish_all(self, burst.procs):
            self.assertEqual(status, 0, err)

        after = apprun.read_bytes(ini)
        lines = after.splitlines(keepends=True)
        written = [line for line in lines if re.match(rb"(left|top)=", line)]
        self.assertEqual([line[:4] for line in written if line.startswith(b"left")],
                         [b"left"])
        self.assertEqual(len([line for line in written if line.startswith(b"top")]), 1)
        for line in written:
            self.assertRegex(line, rb"^(left|top)= ?-?\d+\r\n$")
        # Added to [Window], every other byte as before.
        self.assertEqual(b"".join(line for line in lines if line not in written),
                         HAND_MADE_INI)
        window_section = after.split(b"[text]")[0]
        self.assertIn(b"left=", window_section)
        self.assertIn(b"top=", window_section)
        self.assertEqual(apprun.lock_files(app), [])
        self.assertEqual(apprun.temp_files(app, INI), [])


if __name__ == "__main__":
    unittest.main()
