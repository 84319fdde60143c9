#!/usr/bin/env python3
"""Shows the notification on a private X screen and saves a picture of it.

    python3 tools/screenshot.py --app build/app --out notification.png
        [--ini SETTINGS.ini] [--args "/place:Postfach_2"] [--margin 16]

Starts Xvfb and openbox, copies the application folder APP to a temporary
folder (so that the real one keeps its settings file and gets no lock file),
puts SETTINGS.ini there as the settings file when given, runs the program
with the given options, waits until the window is painted, saves the window
with its frame on a plain background with a margin around it, and closes the
notification by clicking it. A message box that comes up before the window
(a missing sound, say) is confirmed and reported; an unexpected failure ends
the script with status 1.

Needs python3, Xvfb, openbox, xdotool, xwininfo, xprop and ImageMagick.
"""

import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

# The integration tests' harness: the application folder and the X session.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "integration"))
import apprun  # noqa: E402
import xharness  # noqa: E402

# The caption as a tool window has it: the title and a close box. (The
# program asks for no minimise and no maximise button; openbox draws its
# theme's buttons whatever the window asks for.)
xharness.OPENBOX_RC = xharness.OPENBOX_RC.replace("<titleLayout>NLIMC</titleLayout>",
                                                  "<titleLayout>LC</titleLayout>")

BACKGROUND = "#e4e8ee"


def fail(message):
    print("screenshot.py: " + message, file=sys.stderr)
    sys.exit(1)


def settings_name(args):
    """The settings file the options choose (the last /config: wins)."""
    name = "zettelblick"
    for word in args:
        parts = word.split(":")
        if parts[0] == "/config":
            name = parts[1] if len(parts) == 2 else ""
    return name + ".ini"


def wait_for_notification(session, program, proc):
    """The notification's window; confirms message boxes on the way."""
    while True:
        kind, window = apprun.wait_for_window_or_end(session, proc)
        if kind == "window":
            return window
        if kind == "ended":
            fail("the program ended with status %d before showing its window" % proc.returncode)
        print("screenshot.py: confirming a message box (check the settings file)",
              file=sys.stderr)
        apprun.confirm_boxes(session, program, session.env)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--app", required=True, help="the application folder (build/app)")
    parser.add_argument("--out", required=True, help="the PNG file to write")
    parser.add_argument("--ini", help="settings file to show the notification with")
    parser.add_argument("--args", default="", help="options for the program, as one text")
    parser.add_argument("--margin", type=int, default=16, help="pixels around the window")
    options = parser.parse_args()
    if options.ini and not os.path.isfile(options.ini):
        fail("no settings file %s" % options.ini)
    args = shlex.split(options.args)

    try:
        program = apprun.Native(os.path.abspath(options.app))
    except xharness.HarnessError as e:
        fail(str(e))
    target = tempfile.mkdtemp(prefix="zb-shot-")
    # A copy of the whole folder, so that the real one keeps its settings
    # file and gets no lock file.
    app = apprun.make_app_folder(os.path.join(target, "app"), program, with_files=None)
    if options.ini:
        shutil.copyfile(options.ini, os.path.join(app, settings_name(args)))
    try:
        with xharness.XSession() as session:
            proc = program.popen(app, args, session.env, app)
            try:
                window = wait_for_notification(session, program, proc)
                x, y, w, h = session.settled_geometry(window)
                # Only what lies on the screen.
                x0, y0 = max(0, x), max(0, y)
                x1, y1 = min(session.width, x + w), min(session.height, y + h)
                if x1 <= x0 or y1 <= y0:
                    fail("the window lies outside the screen")
                full = os.path.join(target, "screen.png")
                session.settled_screenshot((x0, y0, x1 - x0, y1 - y0))
                session.screenshot(full)
                out_dir = os.path.dirname(os.path.abspath(options.out))
                os.makedirs(out_dir, exist_ok=True)
                # The window with a soft shadow on a plain background.
                subprocess.run(
                    ["convert", full, "-crop", "%dx%d+%d+%d" % (x1 - x0, y1 - y0, x0, y0),
                     "+repage", "(", "+clone", "-background", "black", "-shadow", "30x3+2+2",
                     ")", "+swap", "-background", BACKGROUND, "-layers", "merge", "+repage",
                     "-bordercolor", BACKGROUND, "-border", str(options.margin),
                     "-strip", "png:" + options.out], check=True)

                # Close it as a user does.
                cx, cy, cw, ch = session.client_geometry(window)
                session.click(cx + cw // 2, cy + ch // 2)
                try:
                    proc.communicate(timeout=xharness.DEFAULT_TIMEOUT)
                    # The started process may have ended when the window
                    # showed; the notification's own goes with the window.
                    session.wait_for_no_window(apprun.TITLE)
                except (subprocess.TimeoutExpired, xharness.HarnessError):
                    fail("the notification did not close when clicked")
                if proc.returncode != 0:
                    fail("the program ended with status %d" % proc.returncode)
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.communicate()
    finally:
        shutil.rmtree(target, ignore_errors=True)
    print(options.out)


if __name__ == "__main__":
    main()
