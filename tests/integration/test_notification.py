"""The whole notification as a user sees it, with the real binary on X11.

Runs on a private Xvfb (96 dpi, so 15 twips are one pixel) with openbox, one
X session for the whole file and a fresh application folder for every run:
the window's frame, place and size, its colours and the message as drawn
(read back from screenshots), keep-above, the timed close, clicks that start
a program, the close box, the message boxes, and the position written back
to the settings file.

Run as a script or with python3 -m unittest; ZB_APP_DIR names the build's
application folder. Needs what xharness.py needs.
"""

import os
import re
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
import xharness  # noqa: E402
from apprun import BOX_TITLE, DEFAULT_OUTER, LOCK, TITLE  # noqa: E402

# No sound in these runs.
QUIET = apprun.QUIET_INI
TWIPS_PER_PIXEL = 15

# Colours as (red, green, blue) and as the settings write them (blue first).
GREEN, GREEN_TEXT = (0, 255, 0), "00FF00"
BLUE, BLUE_TEXT = (0, 0, 255), "FF0000"
RED_TEXT = "0000FF"
WHITE_TEXT = "FFFFFF"

# In the default layout (client area of 231 by 114 pixels): a point on the
# picture, one on the label and one on the free area below the picture.
DEFAULT_SPOTS = {"picture": (40, 40), "label": (160, 60), "free area": (10, 108)}


# --- pixels ---------------------------------------------------------------------


def is_red_ink(p):
    return p[0] >= 200 and p[1] <= 60 and p[2] <= 60


def pixels_in(shot, rect):
    """(x, y, pixel) for every pixel of rect = (x, y, width, height)."""
    x0, y0, w, h = rect
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            yield x, y, shot.pixel(x, y)


def count(shot, rect, predicate):
    return sum(1 for _, _, p in pixels_in(shot, rect) if predicate(p))


def bounding_box(shot, rect, predicate, skip=None):
    """(x, y, width, height) of the pixels of rect that satisfy predicate,
    leaving out those inside skip; None when there are none."""
    xs, ys = [], []
    for x, y, p in pixels_in(shot, rect):
        if skip and skip[0] <= x < skip[0] + skip[2] and skip[1] <= y < skip[1] + skip[3]:
            continue
        if predicate(p):
            xs.append(x)
            ys.append(y)
    if not xs:
        return None
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def ink_bands(shot, rect, is_ink):
    """The runs of rows of rect that hold ink, as (first row, last row)."""
    x0, y0, w, h = rect
    bands = []
    for y in range(y0, y0 + h):
        if any(is_ink(shot.pixel(x, y)) for x in range(x0, x0 + w)):
            if bands and bands[-1][1] == y - 1:
                bands[-1] = (bands[-1][0], y)
            else:
                bands.append((y, y))
    return bands


def longest_run(shot, rect, y, is_ink):
    """The longest run of ink pixels in row y of rect."""
    best = run = 0
    for x in range(rect[0], rect[0] + rect[2]):
        run = run + 1 if is_ink(shot.pixel(x, y)) else 0
        best = max(best, run)
    return best


def shift(rect, dx, dy):
    return rect[0] + dx, rect[1] + dy, rect[2], rect[3]


def px(twips):
    return round(twips / TWIPS_PER_PIXEL)


def eventually(predicate, timeout=5.0):
    """Whether predicate comes true within timeout (polled)."""
    try:
        return bool(xharness.wait_until(predicate, timeout=timeout))
    except xharness.HarnessError:
        return False


def ini_file(*sections):
    """Settings text from (section, {key: value}) pairs."""
    text = ""
    for name, keys in sections:
        text += "[%s]\n" % name
        for key, value in keys.items():
            text += "%s=%s\n" % (key, value)
    return text


def write_marker_program(path, marker):
    """A program that records its process id in `marker` and keeps running
    (with its output away from the notification's pipes)."""
    with open(path, "w") as f:
        f.write("#!/bin/sh\nexec >/dev/null 2>&1 </dev/null\n"
                "echo $$ > '%s.new' && mv '%s.new' '%s'\nexec sleep 30\n"
                % (marker, marker, marker))
    os.chmod(path, 0o755)


# The settings of a custom place and size: 100, 200, 300 by 200 pixels.
CUSTOM_WINDOW = {"left": 1500, "top": 3000, "width": 4500, "height": 3000}
# name, [window] settings, outer frame
FRAME_CASES = [
    ("defaults", {}, DEFAULT_OUTER),
    ("custom with caption", dict(CUSTOM_WINDOW, title=1), (100, 200, 300, 200)),
    ("custom without caption", dict(CUSTOM_WINDOW, title=0), (100, 200, 300, 200)),
]


class NotificationTest(apprun.AppTest):
    def setUp(self):
        super().setUp()
        self.started_programs = []
        self.addCleanup(self.kill_started_programs)

    def kill_started_programs(self):
        for pid in self.started_programs:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    # --- running ------------------------------------------------------------------

    def launch(self, ini=QUIET, args=(), app_dir=None, cwd=None, env=None, stop_others=True,
               show=False):
        """Starts the notification from a fresh application folder holding
        `ini` (or from `app_dir`), after ending whatever an earlier run left
        on screen; with `show`, waits for its window as AppTest.show does."""
        if stop_others:
            self.stop_all()
        start = super().show if show else self.start
        return start(app_dir or self.make_app(ini, name=None), args, env=env, cwd=cwd)

    def show(self, ini=QUIET, **kwargs):
        return self.launch(ini, show=True, **kwargs)

    def settled_shot(self, window, ready, timeout=10.0):
        """A screenshot and the client area of the window, once ready(shot,
        client) holds and painting is over (xharness.settled_screenshot)."""
        client = self.x.client_geometry(window)
        return self.x.settled_screenshot(client, lambda shot: ready(shot, client),
                                         timeout), client

    # --- geometry and frame -----------------------------------------------------------

    def assert_close_to(self, actual, expected, what):
        self.assertTrue(all(abs(a - e) <= 1 for a, e in zip(actual, expected)),
                        "%s: %r, expected %r (one pixel either way)" % (what, actual, expected))

    # Every frame geometry from the moment of mapping: the window must never
    # be mapped in another size first (a frame asked for while the window was
    # still resizable has a resize handle and is taller). Where it stays,
    # the outer frame has the configured place and size; the default one to
    # the pixel.
    def test_window_appears_at_once_in_its_configured_frame(self):
        for name, window, outer in FRAME_CASES:
            with self.subTest(name):
                with xharness.RootWatcher(self.x.display) as watch:
                    run = self.show(QUIET + ini_file(("window", window)))
                    frame = self.x.frame_window(run.window)
                    history = watch.history(frame)
                self.assertTrue(history)
                for geometry in history:
                    self.assert_close_to(geometry, outer, "frame while shown (all: %r)" % history)
                self.assert_close_to(self.x.outer_geometry(run.window), outer, "outer frame")
                if name == "defaults":
                    self.assertEqual(self.x.outer_geometry(run.window), DEFAULT_OUTER)
                if window.get("title") == 0:
                    # Frameless: the client area is the whole window.
                    self.assert_close_to(self.x.client_geometry(run.window), outer, "client")

    def frame_extents(self, window):
        value = self.x.prop(window, "_NET_FRAME_EXTENTS")
        return [int(v) for v in re.findall(r"\d+", value.split("=", 1)[1])] if value else []

    def test_tool_window_frame_or_none(self):
        for title in (1, 0):
            with self.subTest(title=title):
                run = self.show(QUIET + "[window]\ntitle=%d\n" % title)
                window = run.window
                outer = self.x.outer_geometry(window)
                client = self.x.client_geometry(window)
                self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", self.x.prop(window, "_NET_WM_STATE"))
                self.assertIn('"%s"' % TITLE, self.x.prop(window, "WM_NAME"))
                self.assertIn('"%s"' % TITLE, self.x.prop(window, "_NET_WM_NAME"))
                if title == 1:
                    self.assertIn("_NET_WM_WINDOW_TYPE_UTILITY",
                                  self.x.prop(window, "_NET_WM_WINDOW_TYPE"))
                    extents = self.frame_extents(window)
                    self.assertEqual(len(extents), 4)
                    self.assertTrue(all(e > 0 for e in extents), extents)
                    self.assertNotEqual(self.x.frame_window(window), window)
                    # A caption bar above the client area, not just a border.
                    self.assertGreater(client[1] - outer[1], 10)
                    self.assertEqual(outer[3] - client[3], sum(extents[2:]))
                    # Not resizable.
                    hints = self.x.prop(window, "WM_NORMAL_HINTS")
                    self.assertIn("minimum size: %d by %d" % client[2:], hints)
                    self.assertIn("maximum size: %d by %d" % client[2:], hints)
                    # A close box but no minimise or maximise for a window
                    # manager that follows the Motif hints.
                    hints = self.x.prop(window, "_MOTIF_WM_HINTS")
                    if hints:
                        flags, functions = [int(v, 16) for v in
                                            re.findall(r"0x[0-9a-f]+", hints)[:2]]
                        if flags & 1:
                            self.assertEqual(functions & (1 | 8 | 16), 0, hints)
                            self.assertTrue(functions & 32, hints)
                else:
                    self.assertIn(self.frame_extents(window), ([], [0, 0, 0, 0]))
                    self.assertEqual(outer, client)

    def test_keep_above_follows_the_setting(self):
        for value, above in ((None, False), ("1", True), ("0", False), ("2", False)):
            with self.subTest(alwaysontop=value):
                ini = QUIET + ("[window]\nalwaysontop=%s\n" % value if value else "")
                run = self.show(ini)
                # The window manager takes the request after the window has
                # appeared: give it time either way.
                self.assertEqual(
                    eventually(lambda: ("_NET_WM_STATE_ABOVE" in self.x.prop(
                        run.window, "_NET_WM_STATE")) == above),
                    True, self.x.prop(run.window, "_NET_WM_STATE"))
                if not above:
                    time.sleep(0.5)
                    self.assertNotIn("_NET_WM_STATE_ABOVE",
                                     self.x.prop(run.window, "_NET_WM_STATE"))

    def stacking(self):
        value = self.x.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"])
        return [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", value)]

    def test_keep_above_stays_over_a_notification_opened_later(self):
        plain = {"show": 0}
        for above in (True, False):
            with self.subTest(above=above):
                first_ini = QUIET + ini_file(
                    ("window", {"background": GREEN_TEXT, "alwaysontop": int(above)}),
                    ("text", plain), ("image", plain))
                first = self.show(first_ini)
                # Another notification, from its own settings file, partly
                # over the first one (not standing aside) and activated after it.
                with open(first.path("later.ini"), "w") as f:
                    f.write(QUIET + ini_file(
                        ("window", {"background": BLUE_TEXT, "left": 3800, "top": 3800,
                                    "stack": 0}),
                        ("text", plain), ("image", plain)))
                later = self.launch(args=["/config:later"], app_dir=first.app,
                                    stop_others=False)
                xharness.wait_until(lambda: len(self.x.viewable(TITLE)) == 2,
                                    what="the second notification")
                later_window = [w for w in self.x.viewable(TITLE) if w != first.window][0]
                def first_on_top():
                    order = self.stacking()
                    return order.index(first.window) > order.index(later_window)
                self.assertTrue(eventually(lambda: first_on_top() == above),
                                "stacking from bottom to top: %r" % self.stacking())
                # Where the two overlap the user sees the one on top.
                expected = GREEN if above else BLUE
                xharness.wait_until(lambda: self.x.pixel(300, 330) == expected,
                                    what="the %s window on top" % ("first" if above else "later"))
                self.assertTrue(later.alive())

    # --- colours, label and picture -------------------------------------------------

    # The window of these cases: 400 by 200 pixels at 100, 100, green, with a
    # label at 100, 10 (200 by 100 pixels) inside its client area.
    LABEL = (100, 10, 200, 100)

    def colour_ini(self, window=(), text=(), image=()):
        return QUIET + ini_file(
            ("window", dict({"left": 1500, "top": 1500, "width": 6000, "height": 3000,
                             "background": GREEN_TEXT}, **dict(window))),
            ("text", dict({"left": 1500, "top": 150, "width": 3000, "height": 1500,
                           "border": 0, "background": BLUE_TEXT, "fontcolor": RED_TEXT,
                           "fontsize": 12}, **dict(text))),
            ("image", dict(image)))

    def test_window_label_and_picture_colours(self):
        label = self.LABEL
        default_picture = (0, 0, 90, 90)
        moved_picture = (px(4800), px(1200), px(900), px(1350))
        cases = [
            # name, settings, label colour seen, picture rectangle or None
            ("opaque label", self.colour_ini(), BLUE, default_picture),
            ("transparent label", self.colour_ini(text={"backstyle": 0}), GREEN,
             default_picture),
            ("picture hidden", self.colour_ini(image={"show": 0}), BLUE, None),
            ("picture moved and stretched",
             self.colour_ini(image={"left": 4800, "top": 1200, "width": 900, "height": 1350}),
             BLUE, moved_picture),
        ]
        for name, ini, label_colour, picture in cases:
            with self.subTest(name):
                run = self.show(ini)
                # The label's lower right corner holds no text.
                corner = (label[0] + label[2] - 5, label[1] + label[3] - 5)
                shot, client = self.settled_shot(
                    run.window,
                    lambda s, c: s.pixel(c[0] + corner[0], c[1] + corner[1]) == label_colour
                    and count(s, shift(label, c[0], c[1]), is_red_ink) > 10)
                cx, cy = client[:2]
                on_screen = shift(label, cx, cy)

                # The window's own colour on its free area.
                self.assertEqual(shot.pixel(cx + 360, cy + 20), GREEN)
                self.assertEqual(shot.pixel(cx + 50, cy + client[3] - 5), GREEN)
                # The label's colour fills exactly the label (when opaque).
                if label_colour == BLUE:
                    self.assert_close_to(bounding_box(shot, client, lambda p: p == BLUE),
                                         on_screen, "the label's blue area")
                else:
                    self.assertEqual(count(shot, client, lambda p: p == BLUE), 0)
                # The text in its red.
                self.assertGreater(count(shot, on_screen, is_red_ink), 30)
                # The picture: everything that is neither window nor label.
                found = bounding_box(shot, client, lambda p: p not in (GREEN, BLUE),
                                     skip=on_screen)
                if picture is None:
                    self.assertIsNone(found)
                else:
                    self.assert_close_to(found, shift(picture, cx, cy), "the picture")

    def test_label_and_picture_borders(self):
        picture = (px(4650), px(150), px(1200), px(1200))
        ini = self.colour_ini(text={"border": 1},
                              image={"border": 1, "left": 4650, "top": 150,
                                     "width": 1200, "height": 1200})
        run = self.show(ini)
        label = self.LABEL
        corner = (label[0] + label[2] - 5, label[1] + label[3] - 5)
        shot, (cx, cy, _, _) = self.settled_shot(
            run.window, lambda s, c: s.pixel(c[0] + corner[0], c[1] + corner[1]) == BLUE)
        for name, (x, y, w, h) in (("label", label), ("picture", picture)):
            with self.subTest(name):
                # A sunken edge: dark above and left, light below and right.
                top_left = shot.pixel(cx + x, cy + y + h // 2)
                bottom_right = shot.pixel(cx + x + w - 1, cy + y + h // 2)
                self.assertLess(sum(top_left), sum(bottom_right))
                for p in (top_left, bottom_right):
                    self.assertNotIn(p, (GREEN, BLUE))
                    self.assertEqual(p[0], p[1], "grey expected, got %r" % (p,))
        # Inside the border the label keeps its colour.
        self.assertEqual(shot.pixel(cx + label[0] + 3, cy + label[1] + label[3] - 4), BLUE)

    def test_picture_lies_above_an_overlapping_label(self):
        # The picture covers the label's lower right part and a strip of the
        # window below it.
        ini = self.colour_ini(image={"left": 3000, "top": 900, "width": 1200, "height": 900})
        run = self.show(ini)
        picture = (200, 60, 80, 60)
        shot, client = self.settled_shot(
            run.window, lambda s, c: s.pixel(c[0] + 110, c[1] + 105) == BLUE)
        on_screen = shift(picture, client[0], client[1])
        self.assertEqual(count(shot, on_screen, lambda p: p == BLUE), 0,
                         "the label shows through the picture")
        self.assertGreater(count(shot, on_screen, lambda p: p not in (GREEN, BLUE)),
                           0.95 * picture[2] * picture[3])
        self.assertEqual(shot.pixel(on_screen[0] - 3, on_screen[1] + 10), BLUE)

    def test_text_alignment_and_underline(self):
        label = self.LABEL
        cases = [
            ("left", {"align": 0}),
            ("right", {"align": 1}),
            ("centred", {"align": 2}),
            ("underlined", {"fontunderline": 1}),
        ]
        for name, text in cases:
            with self.subTest(name):
                text = dict(text, fontsize=10)
                text["Text1"] = "Post"
                run = self.show(self.colour_ini(text=text))
                shot, client = self.settled_shot(
                    run.window, lambda s, c: count(s, shift(label, c[0], c[1]), is_red_ink) > 10)
                box = shift(label, client[0], client[1])
                ink = bounding_box(shot, box, lambda p: p != BLUE)
                left_gap = ink[0] - box[0]
                right_gap = box[0] + box[2] - (ink[0] + ink[2])
                if name == "right":
                    self.assertLess(right_gap, 8)
                    self.assertGreater(left_gap, 100)
                elif name == "centred":
                    self.assertLessEqual(abs(left_gap - right_gap), 3, (left_gap, right_gap))
                else:
                    self.assertLess(left_gap, 8)
                    self.assertGreater(right_gap, 100)
                longest = max(longest_run(shot, box, y, lambda p: p != BLUE)
                              for y in range(box[1], box[1] + box[3]))
                if name == "underlined":
                    self.assertGreaterEqual(longest, ink[2] * 0.9, "no line under the text")
                else:
                    self.assertLess(longest, ink[2] * 0.8)

    # --- message text -------------------------------------------------------------

    def label_ink(self, template, args=(), env=None, text=()):
        """Screenshot and on-screen label rectangle of a wide label (white on
        blue, no border) showing `template`."""
        ini = QUIET + ini_file(
            ("window", {"width": 7500}),
            ("text", dict({"width": 6000, "border": 0, "background": BLUE_TEXT,
                           "fontcolor": WHITE_TEXT, "Text1": template}, **dict(text))),
            ("image", {"show": 0}))
        run = self.show(ini, args=args, env=env)
        label = (px(1375), 0, px(6000), px(1627))
        def ready(shot, client):
            box = shift(label, client[0], client[1])
            return (shot.pixel(box[0] + box[2] - 2, box[1] + box[3] - 2) == BLUE
                    and count(shot, box, lambda p: p != BLUE) > 10)
        shot, client = self.settled_shot(run.window, ready)
        return shot, shift(label, client[0], client[1])

    def test_line_break_gives_two_lines(self):
        for template, lines in (("Neue Post\\nvon \\place", 2), ("Neue Post von \\place", 1)):
            with self.subTest(template=template):
                shot, label = self.label_ink(template, args=["/place:Postfach_2"])
                bands = ink_bands(shot, label, lambda p: p != BLUE)
                self.assertEqual(len(bands), lines, bands)

    def test_place_and_date_are_filled_in(self):
        env = dict(self.x.env, LC_ALL="de_DE.UTF-8")
        german = "de_DE.utf8" in subprocess.run(["locale", "-a"], capture_output=True,
                                                  text=True).stdout.replace("UTF-8", "utf8")
        cases = [
            ("place with underscores", "\\place", ["/place:Postfach_2"],
             lambda: "Postfach 2"),
            ("default place", "in \\place", [], lambda: "in Beispieltext"),
        ]
        if german:
            cases.append(("German date", "\\date", [], lambda: time.strftime("%d.%m.%Y")))
        for name, template, args, literal in cases:
            with self.subTest(name):
                for _ in range(2):  # the date may change in between
                    expected = literal()
                    filled, label = self.label_ink(template, args=args, env=env)
                    written, _ = self.label_ink(expected, env=env)
                    if expected == literal():
                        break
                self.assertTrue(filled.crop(label) == written.crop(label),
                                "%r does not look like %r" % (template, expected))

    def test_font_settings_change_the_text(self):
        def not_blue(p):
            return p != BLUE
        base, label = self.label_ink("Post und Paket")
        base_ink = bounding_box(base, label, not_blue)
        base_count = count(base, label, not_blue)
        cases = [
            ("larger size", {"fontsize": 16}),
            ("regular weight", {"fontbold": 0}),
            ("italic", {"fontitalic": 1}),
            ("other font", {"font": "Courier New"}),
        ]
        for name, text in cases:
            with self.subTest(name):
                shot, _ = self.label_ink("Post und Paket", text=text)
                self.assertFalse(shot.crop(label) == base.crop(label),
                                 "looks like the default font")
                ink = bounding_box(shot, label, not_blue)
                if name == "larger size":
                    self.assertGreater(ink[3], 1.5 * base_ink[3])
                    self.assertGreater(ink[2], 1.5 * base_ink[2])
                if name == "regular weight":
                    self.assertLess(count(shot, label, not_blue), base_count)

    def test_ampersand_underlines_the_next_letter_and_is_not_shown(self):
        plain, label = self.label_ink("Post")
        marked, _ = self.label_ink("&Post")
        plain_ink = bounding_box(plain, label, lambda p: p != BLUE)
        marked_ink = bounding_box(marked, label, lambda p: p != BLUE)
        self.assertLessEqual(abs(marked_ink[2] - plain_ink[2]), 1, "the & is drawn")
        # The line under the P makes the marked text reach lower.
        self.assertGreater(marked_ink[1] + marked_ink[3], plain_ink[1] + plain_ink[3])

    def test_long_message_wraps_and_stays_inside_the_label(self):
        label = (100, 10, 100, 40)
        ini = self.colour_ini(text={"width": 1500, "height": 600, "backstyle": 0,
                                    "Text1": "Post " * 40},
                              image={"show": 0})
        run = self.show(ini)
        shot, client = self.settled_shot(
            run.window, lambda s, c: count(s, shift(label, c[0], c[1]), is_red_ink) > 50)
        on_screen = shift(label, client[0], client[1])
        self.assertGreaterEqual(len(ink_bands(shot, on_screen, lambda p: p != GREEN)), 2)
        self.assertIsNone(bounding_box(shot, client, lambda p: p != GREEN, skip=on_screen),
                          "text drawn outside the label")

    def test_settings_in_every_common_encoding_show_alike(self):
        # Each file (ANSI, UTF-8 with and without its mark, UTF-16) names a
        # picture and a sound with umlauts and a euro sign, found (no failure,
        # no message box), and gives the message in its encoding. Text taken
        # in the wrong encoding (UTF-8 as Windows-1252 or the reverse) would
        # draw other characters than the other files give.
        label = (px(1375), 0, px(2000), px(1627))
        looks = {}
        for encoding in apprun.ENCODINGS:
            with self.subTest(encoding):
                run = self.show(app_dir=self.make_encoded_app(encoding, name=encoding))
                shot, client = self.settled_shot(
                    run.window,
                    lambda s, c: count(s, shift(label, c[0], c[1]), lambda p: p[0] < 100) > 10)
                looks[encoding] = shot.crop(client)
                self.click(run.window)
                self.finish(run)
                self.assertEqual((run.status, run.boxes), (0, 0), run.err)
                self.assertFalse(os.path.exists(run.path(LOCK)))
        for encoding in apprun.ENCODINGS:
            self.assertTrue(looks[encoding] == looks["utf8"], encoding + " looks different")

    # --- closing ------------------------------------------------------------------------

    def test_timed_close_ends_the_notification_by_itself(self):
        run = self.show(QUIET + "[window]\ntime=3000\n")
        # Still there right after it appeared ...
        self.assertTrue(run.alive())
        self.assertTrue(os.path.isfile(run.path(LOCK)))
        # ... and gone later without any input.
        self.x.wait_for_no_window(TITLE)
        self.assert_closed_down(run)

    def test_position_written_back_keeps_the_rest_of_the_file(self):
        # Comments, other sections, blank lines, spacing and CRLF line ends
        # are all left alone; the two lines land in section window.
        head = "; Notification for the mail filter\r\n\r\n[wave]\r\nfile=\r\n\r\n"
        tail = "[program]\r\n; none yet\r\npath = \r\n"
        cases = [
            # name, file before, file after (None: the two lines added)
            ("keys added to the section",
             head + "[Window]\r\ntime=0\r\nbackground = BAFEFE\r\n\r\n" + tail, None),
            ("keys replaced in place",
             head + "[window]\r\nleft=3500\r\ntitle=1\r\ntop=3500\r\n" + tail,
             head + "[window]\r\nleft= 3495\r\ntitle=1\r\ntop= 3495\r\n" + tail),
            ("section added at the end", head + tail, None),
        ]
        for name, before, after in cases:
            with self.subTest(name):
                run = self.show(before)
                self.click_client(run.window, *DEFAULT_SPOTS["free area"])
                self.assert_closed_down(run)
                written = run.read().decode("utf-8")
                if after is not None:
                    self.assertEqual(written, after)
                    continue
                # Taking the two new lines (and a new section line) out gives
                # the old file again.
                pattern = r"^(left|top)= 3495(\r\n|\n)"
                self.assertEqual(len(re.findall(pattern, written, re.M)), 2, written)
                rest = re.sub(pattern, "", written, flags=re.M)
                if "[window]" not in before.lower():
                    self.assertRegex(rest, r"\n\[window\]\r?\n$")
                    rest = re.sub(r"\[window\]\r?\n$", "", rest)
                self.assertEqual(rest, before)
                # Each one below a [window] section line.
                for key in ("left", "top"):
                    above = written[:written.index(key + "= 3495")]
                    sections = re.findall(r"^\[([^\]]*)\]", above, re.M)
                    self.assertEqual(sections[-1].lower(), "window", written)

    def make_program_dir(self, name):
        """A folder `name` of its own for a program to start."""
        folder = os.path.join(tempfile.mkdtemp(prefix="program-", dir=self.root), name)
        os.makedirs(folder)
        return folder

    def program_started(self, marker):
        pid = int(xharness.wait_until(
            lambda: os.path.isfile(marker) and apprun.read_bytes(marker).strip(),
            what="the program to start"))
        self.started_programs.append(pid)
        return pid

    def assert_not_started(self, marker):
        # A started program needs a moment to leave its mark.
        time.sleep(1.0)
        self.assertFalse(os.path.exists(marker), "the program was started")

    def test_click_closes_and_starts_the_program(self):
        cases = [
            # where to click, folder of the program (None: no program),
            # program.path, run in it, window.time (a click during the timed
            # wait counts too, and ends the process: finish's hang detector
            # would see a wait of ten minutes)
            ("free area", None, None, False, 0),
            ("label", None, None, False, 0),
            ("picture", None, None, False, 0),
            ("label", "plain", "{dir}/start.sh", False, 0),
            ("picture", "with blank", "{dir}/start.sh", False, 0),
            ("free area", "plain", "./start.sh", True, 0),
            ("label", "plain", "start.sh", True, 0),
            ("picture", "plain", "{dir}/start.sh", False, 600000),
        ]
        for where, folder_name, path, in_folder, wait in cases:
            with self.subTest(where=where, path=path, folder=folder_name, time=wait):
                ini = QUIET + "[window]\ntime=%d\n" % wait
                folder = marker = None
                if folder_name:
                    folder = self.make_program_dir(folder_name)
                    marker = os.path.join(folder, "started")
                    write_marker_program(os.path.join(folder, "start.sh"), marker)
                    ini += "[program]\npath=%s\n" % path.format(dir=folder)
                run = self.show(ini, cwd=folder if in_folder else None)
                self.click_client(run.window, *DEFAULT_SPOTS[where])
                pid = self.program_started(marker) if marker else None
                self.assert_closed_down(run)
                self.x.wait_for_no_window(TITLE)
                if pid:
                    # Started on its own: it runs on after the notification ended.
                    os.kill(pid, 0)

    def test_missing_program_is_reported_then_the_window_closes(self):
        folder = self.make_program_dir("on-path")
        marker = os.path.join(folder, "started")
        write_marker_program(os.path.join(folder, "zb-start-mail"), marker)
        env = dict(self.x.env, PATH=folder + os.pathsep + self.x.env.get("PATH", ""))
        cases = [
            ("bare name found only along PATH", "zb-start-mail"),
            ("arguments after the name", os.path.join(folder, "zb-start-mail") + " --now"),
            ("a directory", folder),
        ]
        for name, program in cases:
            with self.subTest(name):
                run = self.show(QUIET + "[program]\npath=%s\n" % program, env=env)
                self.click_client(run.window, *DEFAULT_SPOTS["label"])
                box = self.x.wait_for_window(BOX_TITLE)
                # The notification waits for the user.
                self.assertIn(run.window, self.x.viewable(TITLE))
                self.assertTrue(run.alive())
                self.confirm(box)
                self.x.wait_for_no_window(TITLE)
                self.assert_closed_down(run)
                self.assert_not_started(marker)

    def close_box(self, window):
        """Centre of the close button in the window manager's caption: the
        rightmost button-sized window of the frame's title bar."""
        frame = self.x.frame_window(window)
        ox, oy, ow, _ = self.x.outer_geometry(window)
        _, cy, _, _ = self.x.client_geometry(window)
        tree = self.x.run(["xwininfo", "-tree", "-id", str(frame)])
        best = None
        for w, h, x, y in re.findall(r"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)", tree):
            w, h, x, y = int(w), int(h), int(x), int(y)
            if 6 <= w <= 30 and w == h and oy < y and y + h <= cy and x > ox and \
                    x + w < ox + ow and (best is None or x > best[0]):
                best = (x, y, w, h)
        self.assertIsNotNone(best, "no close button found in:\n" + tree)
        return best[0] + best[2] // 2, best[1] + best[3] // 2

    def test_close_box_saves_the_position_and_starts_nothing(self):
        folder = self.make_program_dir("close")
        marker = os.path.join(folder, "started")
        write_marker_program(os.path.join(folder, "start.sh"), marker)
        run = self.show(QUIET + ini_file(
            ("window", {"left": 1500, "top": 3000, "width": 4500, "height": 3000}),
            ("program", {"path": os.path.join(folder, "start.sh")})))
        # A click on the caption itself does nothing.
        ox, oy, _, _ = self.x.outer_geometry(run.window)
        self.x.click(ox + 40, oy + 8)
        time.sleep(0.5)
        self.assertIn(run.window, self.x.viewable(TITLE))
        self.assertFalse(os.path.exists(marker), "a click on the caption started the program")
        self.x.click(*self.close_box(run.window))
        self.x.wait_for_no_window(TITLE)
        self.assert_closed_down(run, left=" 1500", top=" 3000")
        self.assert_not_started(marker)

    def test_window_dragged_by_its_caption_saves_the_place_and_reopens_there(self):
        run = self.show()
        ox, oy, ow, oh = self.x.outer_geometry(run.window)
        # Grab the caption left of its buttons and move by 100, 50 pixels.
        self.x.drag(ox + 40, oy + 8, ox + 140, oy + 58)
        xharness.wait_until(
            lambda: self.x.outer_geometry(run.window)[:2] == (ox + 100, oy + 50),
            what="the window to move")
        self.click_client(run.window, *DEFAULT_SPOTS["label"])
        self.assert_closed_down(run, left=" %d" % ((ox + 100) * TWIPS_PER_PIXEL),
                                top=" %d" % ((oy + 50) * TWIPS_PER_PIXEL))
        # The next start opens where the window was left.
        again = self.show(app_dir=run.app)
        self.assert_close_to(self.x.outer_geometry(again.window),
                             (ox + 100, oy + 50, ow, oh), "reopened window")

    def test_a_new_count_replaces_the_shown_one_of_its_kind(self):
        # As a mail client's count of new messages arrives with replace=1: the
        # notification for 2 takes the place of the one for 1 (which stood
        # aside for another message) and writes nothing of the old one's; the
        # other message's notification stays.
        app = self.make_app(QUIET + "[window]\nreplace=1\n[text]\nText2=You have \\place new\n",
                            name=None)
        other = self.launch(app_dir=app, show=True).window

        def count_window():
            shown = [w for w in self.x.viewable(TITLE) if w != other]
            return shown[0] if len(shown) == 1 else None
        first = self.launch(app_dir=app, args=["/text:Text2", "/place:1"], stop_others=False)
        first_window = xharness.wait_until(count_window, what="the first count")
        place = self.x.settled_geometry(first_window)
        self.assertNotEqual(place[:2], DEFAULT_OUTER[:2], "the first count stands aside")
        second = self.launch(app_dir=app, args=["/text:Text2", "/place:2"], stop_others=False)
        window = xharness.wait_until(lambda: count_window() not in (None, first_window) and
                                     count_window(), what="the second count alone")
        pid = int(self.x.prop(window, "_NET_WM_PID").split("=")[1])
        self.assertIn(pid, second.notification_pids())
        self.assertEqual(self.x.outer_geometry(window), place)
        xharness.wait_until(lambda: not first.alive(), what="the first count's end")
        self.assertEqual(apprun.lock_files(app), [LOCK, "zettelblick_Text2_2.tmp"])
        self.assertNotIn(b"left=", apprun.read_bytes(os.path.join(app, apprun.INI)))
        # Closed where it showed, it keeps the configured place.
        self.click_client(window, *DEFAULT_SPOTS["label"])
        xharness.wait_until(lambda: apprun.lock_files(app) == [LOCK], what="its lock to go")
        self.assertIn(b"left= 3495", apprun.read_bytes(os.path.join(app, apprun.INI)))

    # --- message boxes ----------------------------------------------------------------

    def test_missing_sound_is_reported_and_the_notification_goes_on(self):
        cases = [
            # window.time, window.alwaysontop
            (1000, 0),
            (0, 0),
            (0, 1),
        ]
        for timed, above in cases:
            with self.subTest(time=timed, alwaysontop=above):
                run = self.launch("[wave]\nfile=missing.wav\n[window]\ntime=%d\nalwaysontop=%d\n"
                                  % (timed, above))
                box = self.x.wait_for_window(BOX_TITLE)
                window = self.x.wait_for_window(TITLE)
                self.assertEqual(self.x.prop(box, "WM_NAME"), 'WM_NAME(STRING) = "%s"' % BOX_TITLE)
                # The box is in front of the notification, top-most or not.
                def box_in_front():
                    order = self.stacking()
                    return order.index(box) > order.index(window)
                self.assertTrue(eventually(box_in_front), "the box is behind the notification")
                # The timed close waits for the box: well past its time the
                # window is still there.
                time.sleep(2.5 if timed else 0.5)
                self.assertIn(window, self.x.viewable(TITLE))
                self.assertTrue(run.alive())
                self.confirm(box)
                if timed:
                    self.x.wait_for_no_window(TITLE)
                else:
                    # Still waiting for the user's click.
                    time.sleep(0.5)
                    self.assertIn(window, self.x.viewable(TITLE))
                    self.click_client(window, *DEFAULT_SPOTS["label"])
                self.assert_closed_down(run)

    def test_hidden_notification_with_a_time_shows_nothing_and_ends(self):
        run = self.launch(QUIET + "[window]\nshow=0\ntime=1000\n")
        seen = []
        while run.alive():
            seen += self.x.viewable(TITLE)
            time.sleep(0.05)
        self.finish(run)
        self.assertEqual(run.status, 0, run.err)
        self.assertEqual(seen, [], "a window was shown")
        self.assertFalse(os.path.exists(run.path(LOCK)), "the lock file is left behind")
        # A window that was never shown keeps the configured position.
        self.assertNotIn(b"left=", run.read())

    def test_unexpected_failure_is_reported_and_ends_the_program(self):
        cases = [
            ("missing picture", "[image]\npicture=missing.jpg\n", "image.picture"),
            ("colour that is no number", "[window]\nbackground=GRUEN\n", "window.background"),
            ("tone length too large", "[speaker]\ntime=40000\n", "speaker.time"),
            # Found out before the window shows, so that a caller that does
            # not wait hears of them too.
            ("a time the wait cannot count", "[window]\ntime=700000\n", "window.time = 700000"),
            ("a size that leaves no window", "[window]\nwidth=abc\n", 'window.width = "abc"'),
        ]
        for name, settings, named in cases:
            with self.subTest(name):
                run = self.launch(QUIET + settings)
                box = self.x.wait_for_window(BOX_TITLE)
                self.assertEqual(self.x.viewable(TITLE), [], "the notification was shown")
                # The caller has its status while the box waits for the user.
                self.assertEqual(run.proc.wait(timeout=apprun.TIMEOUT), 1)
                self.assertIn(box, self.x.viewable(BOX_TITLE))
                self.assertTrue(run.alive())
                self.confirm(box)
                self.finish(run)
                self.assertGreater(run.status, 0, run.err)
                self.assertIn(named, run.err)
                self.assertFalse(os.path.exists(run.path(LOCK)), "the lock file is left behind")
                self.assertNotIn(b"left=", run.read())

    def test_program_that_cannot_be_started_is_an_unexpected_failure(self):
        folder = self.make_program_dir("no-exec")
        program = os.path.join(folder, "start.sh")
        marker = os.path.join(folder, "started")
        write_marker_program(program, marker)
        os.chmod(program, stat.S_IRUSR | stat.S_IWUSR)
        # A caller that waits for the end (window.wait) sees the failure.
        run = self.show(QUIET + "[window]\nwait=1\n[program]\npath=%s\n" % program)
        self.click_client(run.window, *DEFAULT_SPOTS["picture"])
        box = self.x.wait_for_window(BOX_TITLE)
        self.confirm(box)
        self.finish(run)
        self.assertGreater(run.status, 0, run.err)
        self.assertFalse(os.path.exists(run.path(LOCK)), "the lock file is left behind")
        self.assertNotIn(b"left=", run.read())
        self.assert_not_started(marker)


class HigherResolutionTest(apprun.AppTest):
    """At 120 dots per inch (12 twips per pixel) sizes and positions follow
    the screen's resolution, in both directions."""

    SESSION = {"dpi": 120}

    def test_twips_follow_the_screen_resolution(self):
        # The desktop's font resolution, which toolkits take as the screen's
        # logical resolution.
        self.x.run(["xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set",
                    "RESOURCE_MANAGER", "Xft.dpi:\t120\n"])
        run = self.show(self.make_app(QUIET))
        # 3500 and 2000 twips are 291.7 and 166.7 pixels.
        outer = self.x.outer_geometry(run.window)
        self.assertTrue(all(abs(a - e) <= 1 for a, e in zip(outer, (292, 292, 292, 167))),
                        outer)
        _, _, _, ch = self.x.client_geometry(run.window)
        self.click_client(run.window, 10, ch - 4)
        # Pixel 292 is 3504 twips at 12 twips per pixel.
        self.assert_closed_down(run, left=" %d" % (outer[0] * 12), top=" %d" % (outer[1] * 12))


if __name__ == "__main__":
    unittest.main()
