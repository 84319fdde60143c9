"""Runs the programs of the Windows build under Wine for the integration tests.

Where the host runs the 32-bit Wine loader (it is started to find out), the
32-bit build runs under it, as users get it. Where it does not (a kernel
without 32-bit support), the 64-bit build of the same sources runs under the
64-bit loader, called directly: Debian's `wine` script would pick the 32-bit
one whenever wine32 is installed. A host that runs neither is an error.

WineEnv keeps one private Wine prefix for the build it runs (created once with
wineboot and then reused) in a work folder under the build tree, and holds a
persistent wineserver while it is in use, so that each program start costs
little; on leaving it stops that wineserver again. GUI tests run the programs
on the X session of xharness.XSession (pass its environment to env());
console programs need no display. apprun.py starts zettelblick.exe through it.

Environment:
    ZB_WIN32_BUILD_DIR  the 32-bit Windows build (zettelblick.exe in app/, the
                        profile tool in tools/)
    ZB_WIN64_BUILD_DIR  the 64-bit Windows build; the one of the two that
                        runs on this host is required
    ZB_WINE_WORK        the work folder for the prefixes and helpers (one
                        folder per build); default wine-tests in the build

Needs python3 (standard library only), wine with wine32 or wine64 (Debian),
and the MinGW compiler of the Windows build for the small test helper
winprobe.exe. Run as a program, it prints which build runs under Wine here.
"""

import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

DEFAULT_TIMEOUT = 60.0

HERE = os.path.dirname(os.path.abspath(__file__))
PROBE_SOURCE = os.path.join(HERE, "wine", "winprobe.cpp")

# The program in the build's application folder (app/).
APP_EXE = "zettelblick.exe"


class WineError(Exception):
    pass


# A Windows build and the Wine that runs it: the prefix architecture
# (WINEARCH), the loader, the variable naming the build, its MinGW triplet.
Target = collections.namedtuple("Target", "arch loader build_variable mingw bits")
WIN32 = Target("win32", "/usr/lib/wine/wine", "ZB_WIN32_BUILD_DIR", "i686-w64-mingw32", 32)
WIN64 = Target("win64", "/usr/lib/wine/wine64", "ZB_WIN64_BUILD_DIR", "x86_64-w64-mingw32", 64)


def loader_runs(loader):
    """Whether this host runs `loader`: it is started and must answer."""
    try:
        result = subprocess.run([loader, "--version"], stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=DEFAULT_TIMEOUT)
    except (OSError, subprocess.TimeoutExpired):
        return False  # missing, "Exec format error", hanging
    return result.returncode == 0 and result.stdout.startswith(b"wine-")


def choose_target():
    """WIN32 where the host runs the 32-bit loader, else WIN64 where it runs
    the 64-bit one; (target, one line saying so)."""
    if loader_runs(WIN32.loader):
        return WIN32, "Wine: the 32-bit Windows build runs under %s" % WIN32.loader
    if loader_runs(WIN64.loader):
        return WIN64, ("Wine: this host does not run the 32-bit loader %s; the 64-bit "
                       "Windows build runs under %s" % (WIN32.loader, WIN64.loader))
    raise WineError("this host runs neither %s (wine32) nor %s (wine64): the Windows "
                    "tests cannot run" % (WIN32.loader, WIN64.loader))


def build_dir(target):
    path = os.environ.get(target.build_variable)
    if not path or not os.path.isfile(os.path.join(path, "app", APP_EXE)):
        raise WineError("no built %s: set %s to the %d-bit Windows build"
                        % (APP_EXE, target.build_variable, target.bits))
    return os.path.abspath(path)


def windows_path(path):
    """The name Wine gives a Unix path: drive Z: is the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def cache_value(build_dir, name):
    """A variable of a CMake build's cache, or None."""
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
            for line in f:
                match = re.match(r"%s(?::[A-Z]+)?=(.*)$" % re.escape(name), line.rstrip("\n"))
                if match:
                    return match.group(1)
    except OSError:
        pass
    return None


class WineEnv:
    """A private prefix with a running wineserver. Use as a context manager."""

    def __init__(self, work_dir=None):
        self.target, self.description = choose_target()
        self.build_dir = build_dir(self.target)
        work = os.environ.get("ZB_WINE_WORK")
        self.work_dir = os.path.abspath(work_dir or
                                        (os.path.join(work, self.target.arch) if work else
                                         os.path.join(self.build_dir, "wine-tests")))
        self.prefix = os.path.join(self.work_dir, "prefix")
        self._server = None

    # --- set-up and tear-down ----------------------------------------------------

    def __enter__(self):
        print(self.description, file=sys.stderr)
        os.makedirs(self.work_dir, exist_ok=True)
        self._create_prefix()
        # The server stays between the programs the tests start and end, and
        # goes by itself five minutes after the last one should a run be
        # killed before it can stop the server.
        self._server = subprocess.Popen(["wineserver", "-p300", "-f"], env=self.env(),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self

    def __exit__(self, *exc):
        self.stop_server()
        return False

    def stop_server(self):
        """Ends every program of the prefix and the wineserver itself."""
        subprocess.run(["wineserver", "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=DEFAULT_TIMEOUT)
        if self._server:
            try:
                self._server.wait(timeout=DEFAULT_TIMEOUT)
            except subprocess.TimeoutExpired:
                self._server.kill()
                self._server.wait()
            self._server = None

    def _create_prefix(self):
        marker = os.path.join(self.prefix, ".zb-ready")
        if os.path.isfile(marker):
            return
        shutil.rmtree(self.prefix, ignore_errors=True)
        subprocess.run([self.target.loader, "wineboot", "-i"], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                       timeout=300)
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=300)
        if not os.path.isdir(os.path.join(self.prefix, "dosdevices", "z:")):
            raise WineError("the Wine prefix has no drive Z: for the Unix root")
        with open(marker, "w") as f:
            f.write("created by wine_env.py\n")

    def env(self, base=None):
        """`base` (default: this process's environment) set up for the prefix."""
        env = dict(base if base is not None else os.environ)
        env["WINEPREFIX"] = self.prefix
        env["WINEARCH"] = self.target.arch
        env["WINELOADER"] = self.target.loader
        env["WINEDEBUG"] = "-all"
        # No Mono or Gecko: their install prompts would wait for a user.
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        return env

    # --- programs ------------------------------------------------------------------

    def build_file(self, *parts):
        return os.path.join(self.build_dir, *parts)

    def run(self, args, env=None, cwd=None, timeout=DEFAULT_TIMEOUT):
        """Runs a Windows program to its end; stdout and stderr as bytes.

        The output goes through files, not pipes: a helper process that Wine
        starts on the way (and that outlives the program) can inherit the
        handles, and a pipe would then not see its end until that helper
        exits."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen([self.target.loader] + list(args), env=env or self.env(),
                                    cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            try:
                proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                raise
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(proc.args, proc.returncode, out.read(), err.read())

    def start(self, args, env=None, cwd=None):
        """Starts a Windows program; its output is dropped (see run)."""
        return subprocess.Popen([self.target.loader] + list(args), env=env or self.env(),
                                cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def run_batch(self, commands, cwd, timeout=600):
        """Runs many commands in one cmd.exe, which starts each far faster than
        a start from Linux. Returns, per command, its output (line ends
        normalised to LF) and exit status. The commands must not need quoting."""
        lines = ["@echo off", "cd /d " + windows_path(cwd)]
        for i, command in enumerate(commands):
            lines += ["echo @@begin %d" % i, command, "echo @@status %ERRORLEVEL%"]
        handle, batch = tempfile.mkstemp(suffix=".bat", dir=self.work_dir)
        with os.fdopen(handle, "w", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        try:
            result = self.run(["cmd", "/c", windows_path(batch)], cwd=cwd, timeout=timeout)
        finally:
            os.unlink(batch)
        text = result.stdout.replace(b"\r\n", b"\n")
        results = []
        for i in range(len(commands)):
            match = re.search(rb"@@begin %d\n(.*?)@@status (-?\d+)\n" % i, text, re.S)
            if not match:
                raise WineError("no output for batch command %d: %r" % (i, commands[i]))
            results.append((match.group(1), int(match.group(2))))
        return results

    # --- the test helper -------------------------------------------------------------

    def probe_exe(self):
        """winprobe.exe, built from its source with the Windows build's compiler
        when missing or older than the source."""
        exe = os.path.join(self.work_dir, "winprobe.exe")
        if os.path.isfile(exe) and os.path.getmtime(exe) >= os.path.getmtime(PROBE_SOURCE):
            return exe
        compiler = (cache_value(self.build_dir, "CMAKE_CXX_COMPILER")
                    or shutil.which(self.target.mingw + "-g++-win32")
                    or shutil.which(self.target.mingw + "-g++"))
        if not compiler:
            raise WineError("no MinGW compiler for winprobe.exe")
        subprocess.run([compiler, "-std=c++17", "-O1", "-municode", "-static", "-s",
                        "-o", exe, PROBE_SOURCE, "-loleacc", "-loleaut32", "-lole32"],
                       check=True, timeout=300)
        return exe

    def probe(self, *args, env=None, cwd=None):
        """Runs winprobe.exe; returns (exit status, output as text)."""
        result = self.run([self.probe_exe()] + list(args), env=env, cwd=cwd)
        return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")


if __name__ == "__main__":
    try:
        print(choose_target()[1])
    except WineError as error:
        sys.exit("Wine: %s" % error)
