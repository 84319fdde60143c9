"""A private X server for the integration tests.

XSession starts Xvfb on a free display and a window manager on it (openbox,
or IceWM or Fluxbox), and offers helpers to find windows (the one test of
"viewable"), read their geometry and properties, wait for them to settle,
read screen pixels, click and type. RootWatcher records how the window
manager's frames are mapped and moved. The program itself is started by
apprun.py.

Needs python3 (standard library only), Xvfb, openbox, icewm, fluxbox,
xdotool, xwininfo, xprop and ImageMagick's import.
"""

import os
import re
import shutil
import subprocess
import tempfile
import time

# Generous: a loaded machine may be slow, and no test asserts a duration.
# Hang detector, not a time limit. A sanitizer build runs several times
# slower and sets ZB_TIMEOUT_SCALE to stretch every wait alike.
TIMEOUT_SCALE = float(os.environ.get("ZB_TIMEOUT_SCALE", "1"))
DEFAULT_TIMEOUT = 30.0 * TIMEOUT_SCALE

# Openbox with a fixed theme, program positions honoured, one desktop, and
# the bindings the tests use: Alt+F4 and the close box close, a drag on the
# caption moves.
OPENBOX_RC = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy><center>yes</center></placement>
  <theme>
    <name>Clearlooks</name>
    <titleLayout>NLIMC</titleLayout>
    <keepBorder>yes</keepBorder>
    <animateIconify>no</animateIconify>
  </theme>
  <desktops><number>1</number></desktops>
  <keyboard>
    <keybind key="A-F4"><action name="Close"/></keybind>
  </keyboard>
  <mouse>
    <dragThreshold>1</dragThreshold>
    <context name="Frame">
      <mousebind button="A-Left" action="Drag"><action name="Move"/></mousebind>
    </context>
    <context name="Titlebar">
      <mousebind button="Left" action="Press">
        <action name="Focus"/><action name="Raise"/>
      </mousebind>
      <mousebind button="Left" action="Drag"><action name="Move"/></mousebind>
    </context>
    <context name="Client">
      <mousebind button="Left" action="Press">
        <action name="Focus"/><action name="Raise"/>
      </mousebind>
    </context>
    <context name="Close">
      <mousebind button="Left" action="Click"><action name="Close"/></mousebind>
    </context>
  </mouse>
</openbox_config>
"""


class HarnessError(Exception):
    pass


def wait_until(predicate, timeout=DEFAULT_TIMEOUT, interval=0.05, what="condition"):
    """Polls predicate until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise HarnessError("timed out waiting for " + what)
        time.sleep(interval)


def read_ppm(data):
    """Parses a binary PPM (P6, 8 bits): returns (width, height, pixels)."""
    tokens = []
    pos = 0
    while len(tokens) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] not in (b"\n", b""):
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        tokens.append(data[start:pos])
    if tokens[0] != b"P6" or int(tokens[3]) != 255:
        raise HarnessError("unexpected screenshot format")
    return int(tokens[1]), int(tokens[2]), data[pos + 1:]


class Screenshot:
    def __init__(self, ppm):
        self.width, self.height, self.pixels = read_ppm(ppm)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def crop(self, rect):
        """The bytes of the pixels of rect = (x, y, width, height), row by row."""
        x, y, w, h = rect
        return b"".join(self.pixels[((row * self.width) + x) * 3:((row * self.width) + x + w) * 3]
                        for row in range(y, y + h))


class XSession:
    """Xvfb plus a window manager on a free display: `window_manager` is
    "openbox" (or True), "icewm", "fluxbox", "xfwm4", "mutter", "kwin_x11",
    or False for none. With
    `session_bus`, a private D-Bus session bus too (DBUS_SESSION_BUS_ADDRESS
    in env), on which programs find the accessibility bus. Xvfb runs without
    its screen-saver extension unless `screen_saver`: on a virtual screen
    nobody's input resets its idle time, which after two minutes would have
    every timed close wait for a user coming back. Use as a context
    manager."""

    def __init__(self, width=1280, height=1024, dpi=96, window_manager=True,
                 session_bus=False, screen_saver=False):
        self.width = width
        self.height = height
        self.dpi = dpi
        self.window_manager = "openbox" if window_manager is True else window_manager
        self.session_bus = session_bus
        self.screen_saver = screen_saver
        self.display = None
        self.env = None
        self._xvfb = None
        self._wm = None
        self._bus = None
        self._tmp = None

    def __enter__(self):
        self._tmp = tempfile.mkdtemp(prefix="zb-x-")
        try:
            self._start_xvfb()
            self.env = dict(os.environ)
            self.env["DISPLAY"] = self.display
            self.env.pop("XAUTHORITY", None)
            for name in ("HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
                path = os.path.join(self._tmp, name.lower())
                os.makedirs(path, exist_ok=True)
                self.env[name] = path
            runtime = os.path.join(self._tmp, "runtime")
            os.makedirs(runtime, mode=0o700, exist_ok=True)
            self.env["XDG_RUNTIME_DIR"] = runtime
            if self.window_manager:
                self._start_window_manager()
            if self.session_bus:
                self._start_session_bus()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for proc in (self._bus, self._wm, self._xvfb):
            if proc and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        if self._bus:
            self._bus.stdout.close()
        if self._tmp:
            shutil.rmtree(self._tmp, ignore_errors=True)
        return False

    def _start_xvfb(self):
        # -displayfd: Xvfb picks a free display and writes its number once it
        # accepts connections.
        read_fd, write_fd = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
             "%dx%dx24" % (self.width, self.height), "-dpi", str(self.dpi),
             "-nolisten", "tcp", "-noreset"]
            + ([] if self.screen_saver else ["-extension", "MIT-SCREEN-SAVER"]),
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise HarnessError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def _start_window_manager(self):
        # IceWM, Fluxbox, xfwm4 (XFCE), mutter (GNOME) and KWin (KDE) as they
        # come, from the session's empty home folder; the last three without
        # a compositor, which Xvfb cannot serve.
        args = {"icewm": ["icewm"], "fluxbox": ["fluxbox"],
                "xfwm4": ["xfwm4", "--compositor=off", "--sm-client-disable"],
                "mutter": ["mutter", "--x11", "--replace", "--sm-disable"],
                "kwin_x11": ["kwin_x11", "--replace"]}.get(self.window_manager)
        if self.window_manager == "openbox":
            rc = os.path.join(self._tmp, "rc.xml")
            with open(rc, "w") as f:
                f.write(OPENBOX_RC)
            args = ["openbox", "--config-file", rc, "--sm-disable"]
        if not args:
            raise HarnessError("unknown window manager %r" % self.window_manager)
        self._wm = subprocess.Popen(args, env=self.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        # Fluxbox announces itself before it has finished starting; its
        # first focus decision (on its own window) marks the end.
        ready = ("_NET_ACTIVE_WINDOW" if self.window_manager == "fluxbox"
                 else "_NET_SUPPORTING_WM_CHECK")
        wait_until(lambda: ready + "(WINDOW)" in self.run(["xprop", "-root", ready],
                                                          check=False),
                   what="%s to manage the screen" % self.window_manager)

    def _start_session_bus(self):
        self._bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=self.env,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        address = self._bus.stdout.readline().strip()
        if not address:
            raise HarnessError("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def server_pids(self):
        """The processes of the X server and of the window manager (if any)."""
        return [proc.pid for proc in (self._xvfb, self._wm) if proc]

    def kill_server(self):
        """Ends the X server at once, as when a session ends."""
        self._xvfb.kill()
        self._xvfb.wait()

    # --- processes -------------------------------------------------------------

    def run(self, args, check=True, timeout=DEFAULT_TIMEOUT):
        """Runs a tool on this display; returns its stdout as text."""
        result = subprocess.run(args, env=self.env, capture_output=True, text=True,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise HarnessError("%s failed: %s" % (args[0], result.stderr.strip()))
        return result.stdout

    # --- windows ---------------------------------------------------------------

    def find_windows(self, title):
        """Ids of the windows whose title is exactly `title`, shown or not."""
        out = self.run(["xdotool", "search", "--name", "^%s$" % re.escape(title)],
                       check=False)
        return [int(line) for line in out.split()]

    def viewable(self, title):
        """Ids of the windows titled `title` that are on the screen now (a
        window may exist, unmapped, before it is shown)."""
        return [w for w in self.find_windows(title)
                if "IsViewable" in self.run(["xwininfo", "-id", str(w)], check=False)]

    def wait_for_window(self, title, timeout=DEFAULT_TIMEOUT):
        """The id of a window titled `title`, once it is on the screen."""
        return wait_until(lambda: next(iter(self.viewable(title)), None), timeout,
                          what="window %r" % title)

    def wait_for_no_window(self, title, timeout=DEFAULT_TIMEOUT):
        wait_until(lambda: not self.viewable(title), timeout, what="window %r to go" % title)

    def settled_geometry(self, window):
        """The outer geometry of `window` once its place and size (frame and
        client area) stay the same for a moment: the window manager may still
        be fitting the frame when it first shows."""
        last = [None]

        def settled():
            now = (self.outer_geometry(window), self.client_geometry(window))
            same, last[0] = now == last[0], now
            if not same:
                time.sleep(0.1)
            return same
        wait_until(settled, interval=0, what="the window to keep its size")
        return last[0][0]

    def _xwininfo(self, window):
        out = self.run(["xwininfo", "-id", str(window)])

        def field(name):
            return int(re.search(r"^\s*%s:\s*(-?\d+)" % re.escape(name), out, re.M).group(1))
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"))

    def frame_window(self, window):
        """The window manager's frame around `window`: its ancestor just below
        the root (the window itself when it has no frame)."""
        while True:
            out = self.run(["xwininfo", "-tree", "-id", str(window)])
            root = int(re.search(r"Root window id: (0x[0-9a-f]+)", out).group(1), 16)
            parent = int(re.search(r"Parent window id: (0x[0-9a-f]+)", out).group(1), 16)
            if parent == root:
                return window
            window = parent

    def outer_geometry(self, window):
        """(x, y, width, height) of the window with its frame (caption, border)."""
        return self._xwininfo(self.frame_window(window))

    def client_geometry(self, window):
        """(x, y, width, height) of the window's own area, without the frame."""
        return self._xwininfo(window)

    def prop(self, window, name):
        """xprop's text for one property of `window` ("" when not set)."""
        out = self.run(["xprop", "-id", str(window), name], check=False)
        return "" if "not found" in out or "no such atom" in out else out.strip()

    # --- pixels and input -------------------------------------------------------

    def screenshot(self, path=None):
        """The whole screen; also written to `path` (any ImageMagick format)."""
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                              capture_output=True, check=True,
                              timeout=DEFAULT_TIMEOUT).stdout
        if path:
            subprocess.run(["import", "-window", "root", path], env=self.env, check=True,
                           timeout=DEFAULT_TIMEOUT)
        return Screenshot(data)

    def pixel(self, x, y):
        """(red, green, blue) of the screen at x, y."""
        return self.screenshot().pixel(x, y)

    def settled_screenshot(self, region, ready=lambda shot: True, timeout=10.0):
        """A screenshot once ready(shot) holds and two screenshots in a row
        agree in `region` (painting is over). After the time-out the last one
        is returned as it is, for the caller to say what is wrong with it."""
        deadline = time.monotonic() + timeout
        previous = None
        while True:
            shot = self.screenshot()
            here = shot.crop(region)
            if (here == previous and ready(shot)) or time.monotonic() > deadline:
                return shot
            previous = here
            time.sleep(0.1)

    def mouse_position(self):
        out = self.run(["xdotool", "getmouselocation", "--shell"])
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"])

    def move_mouse(self, x, y):
        # --sync waits until the pointer has moved, which takes xdotool's
        # whole time-out when it is already there.
        if self.mouse_position() != (x, y):
            self.run(["xdotool", "mousemove", "--sync", str(x), str(y)])

    def click(self, x, y, button=1):
        self.move_mouse(x, y)
        self.run(["xdotool", "click", str(button)])

    def drag(self, x0, y0, x1, y1, button=1, hold=None):
        """A drag with `button`, with the key `hold` (such as "alt") held
        down throughout when given."""
        self.move_mouse(x0, y0)
        if hold:
            self.run(["xdotool", "keydown", hold])
        self.run(["xdotool", "mousedown", str(button)])
        # A few steps, so that the window manager sees a drag.
        for i in range(1, 5):
            self.move_mouse(x0 + (x1 - x0) * i // 4, y0 + (y1 - y0) * i // 4)
        self.run(["xdotool", "mouseup", str(button)])
        if hold:
            self.run(["xdotool", "keyup", hold])

    def key(self, keys):
        self.run(["xdotool", "key", keys])


class RootWatcher:
    """Records how the top-level windows of a display (the window manager's
    frames) are created, mapped, moved and resized, as the X server reports
    it, from a connection of its own. A poll with xwininfo can miss a window
    that shows at one size and is resized a moment later; this cannot.

    Use as a context manager around the start of the program; then
    history(frame) gives the frame's geometries from the moment it was mapped.
    Speaks the X11 protocol over the display's local socket (no
    authorisation, as for Xvfb started by XSession)."""

    SUBSTRUCTURE_NOTIFY = 0x00080000
    CW_EVENT_MASK = 0x00000800
    CREATE, DESTROY, UNMAP, MAP, REPARENT, CONFIGURE = 16, 17, 18, 19, 21, 22

    def __init__(self, display):
        self.display = display
        self._socket = None
        self._thread = None
        self._lock = None
        self._events = []

    def __enter__(self):
        import socket
        import struct
        import threading
        number = self.display.lstrip(":").split(".")[0]
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect("/tmp/.X11-unix/X" + number)
        sock.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
        head = self._read(sock, 8)
        data = self._read(sock, struct.unpack("<H", head[6:8])[0] * 4)
        if head[0] != 1:
            sock.close()
            raise HarnessError("the X server refused the connection")
        vendor_length = struct.unpack("<H", data[16:18])[0]
        formats = data[21]
        screens = 32 + (vendor_length + 3) // 4 * 4 + 8 * formats
        root = struct.unpack("<I", data[screens:screens + 4])[0]
        # ChangeWindowAttributes(root, event-mask = SubstructureNotify)
        sock.sendall(struct.pack("<BxHIII", 2, 4, root, self.CW_EVENT_MASK,
                                 self.SUBSTRUCTURE_NOTIFY))
        self._socket = sock
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._listen, daemon=True)
        self._thread.start()
        return self

    def __exit__(self, *exc):
        import socket
        if self._socket:
            try:
                self._socket.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self._socket.close()
        if self._thread:
            self._thread.join(timeout=5)
        return False

    @staticmethod
    def _read(sock, size):
        data = b""
        while len(data) < size:
            chunk = sock.recv(size - len(data))
            if not chunk:
                raise OSError("connection closed")
            data += chunk
        return data

    def _listen(self):
        import struct
        while True:
            try:
                event = self._read(self._socket, 32)
            except OSError:
                return
            code = event[0] & 0x7F
            if code in (self.CREATE,):
                window = struct.unpack("<I", event[8:12])[0]
                geometry = struct.unpack("<hhHH", event[12:20])
            elif code == self.CONFIGURE:
                window = struct.unpack("<I", event[8:12])[0]
                geometry = struct.unpack("<hhHH", event[16:24])
            elif code in (self.MAP, self.UNMAP, self.DESTROY):
                window = struct.unpack("<I", event[8:12])[0]
                geometry = None
            else:
                continue
            with self._lock:
                self._events.append((code, window, geometry, time.monotonic()))

    def map_times(self, since):
        """When each window first mapped after `since` (time.monotonic()), in
        order."""
        with self._lock:
            events = list(self._events)
        first = {}
        for code, window, _, when in events:
            if code == self.MAP and when >= since and window not in first:
                first[window] = when
        return sorted(first.values())

    def history(self, window):
        """The geometries (x, y, width, height) that `window` had while it
        was mapped, in order: the one it was mapped with, then every change."""
        with self._lock:
            events = [e for e in self._events if e[1] == window]
        seen = []
        current = None
        mapped = False
        for code, _, geometry, _ in events:
            if geometry is not None:
                current = geometry
                if mapped and (not seen or seen[-1] != current):
                    seen.append(current)
            elif code == self.MAP:
                mapped = True
                if current is not None and (not seen or seen[-1] != current):
                    seen.append(current)
            else:
                mapped = False
        return seen
