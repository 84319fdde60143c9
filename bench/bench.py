#!/usr/bin/env python3
"""Zettelblick's start-up, memory, idle and sound benchmark.

Everything runs on a private Xvfb with openbox (tests/integration/xharness.py)
and a private PulseAudio server whose only sink is a null sink
(tests/integration/pulse_server.py), so the programs can connect to a working
sound server. maptime (bench/maptime.c) starts each program and times it.

1. Start-up: interleaved rounds of the Linux build with default settings (an
   application folder with zettelblick, thebat.jpg and message.wav and no
   settings file), qtbare (a plain Qt window with the same picture and text,
   bench/qtbare.cpp) and xmessage. Each is closed (WM_DELETE_WINDOW) one
   second after its map. Per program: exec-to-map time, the CPU time used
   until the map (less disturbed by other load), peak RSS (wait4),
   the high-water mark of RSS at the map and the number of distinct shared
   objects mapped at the map.
2. Timed close: window.time=10000 without sound; the CPU time (user +
   system) from the map to the exit, against the time that passed.
3. Tone: speaker.frequenz=880, speaker.time=300, no WAV, window.time=3000;
   _NET_WM_PING every 10 ms from the map. The longest gap between answers,
   and when answers resume relative to the tone's nominal end (its stream's
   creation plus 300 ms) and to its stream's removal from the sound server
   (both seen through `pactl subscribe`).
4. Burst: ten starts at the same moment for ten places of one settings file
   (the notifications stand apart) against one start: the time from the
   first start to the tenth window's map (RootWatcher), per round, and the
   median ratio of the two. Linux build, and under Wine the Windows build.
5. Held back: a notification started while an xterm is full screen, and
   while dunst is paused (on an X session with a session bus of its own):
   the CPU time it uses while it waits, and the time from the end of the
   full screen or the pause to its window's map.
6. Wine: exec-to-map of zettelblick.exe against winbare.exe (a plain Win32
   window, bench/winbare.cpp, built with the same toolchain), interleaved; the
   ratio only. The loader follows the exe's PE machine: i386 runs with
   `wine` in a 32-bit prefix, x86-64 with /usr/lib/wine/wine64 in a 64-bit
   prefix of its own.

With --before OTHER/app, the program of another build (say, of the commit
before a change) runs beside this one in the same rounds and runs, as
"zettelblick before", with the same picture and sound.

Usage: bench.py --app BUILD/app --tools BUILD-BENCH [--before OTHER/app]
                [--wine-exe zettelblick.exe --wine-bare winbare.exe]
                [--rounds 15] [--wine-rounds 15] [--cpu-runs 3] [--tone-runs 5]
                [--burst-rounds 5] [--held-runs 3]
"""

import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "integration"))
import pulse_server  # noqa: E402
import xharness  # noqa: E402

MESSAGE = "You have got mail!"
HOLD_MS = 1000  # how long a start-up run keeps its window before closing it
PING_MS = 10
TONE_MS = 300


class BenchError(Exception):
    pass


def maptime(tools, args, env, cwd, hold=None, ping=None, timeout=60):
    """Runs one program under maptime; returns its report as a dict (times
    in seconds of time.monotonic, pongs as (sent, received) pairs)."""
    command = [os.path.join(tools, "maptime"), "-t", str(timeout)]
    if hold is not None:
        command += ["-h", str(hold)]
    if ping is not None:
        command += ["-p", str(ping)]
    out = subprocess.run(command + args, env=env, cwd=cwd, capture_output=True, text=True,
                         timeout=timeout + 30, check=True).stdout
    report = {"pongs": []}
    for line in out.splitlines():
        name, *values = line.split()
        if name in ("nomap", "killed"):
            raise BenchError("%s: %s" % (os.path.basename(args[-1]), name))
        if name == "pong":
            report["pongs"].append((float(values[1]), float(values[2])))
        elif name != "window":
            report[name] = float(values[0])
    if "map" not in report:
        raise BenchError("%s ended without a window" % os.path.basename(args[-1]))
    return report


def median_range(values, scale=1.0, digits=1):
    """'median (first quartile-third quartile)' of values times scale."""
    values = [v * scale for v in values]
    q1, q2, q3 = (statistics.quantiles(values, n=4, method="inclusive") if len(values) > 1
                  else values * 3)
    return "%.*f (%.*f-%.*f)" % (digits, q2, digits, q1, digits, q3)


def clean_app_dir(app):
    """Removes what a run leaves (position written back, a lock), so the
    next run starts from the default settings again."""
    for name in os.listdir(app):
        if name.endswith((".ini", ".tmp")):
            os.remove(os.path.join(app, name))


BEFORE = "zettelblick before"
BEFORE_EXE = "zettelblick-before"  # beside zettelblick, so it reads the same files


def builds(app, before):
    """(name, program) of the build measured, and of the one before it."""
    found = [("zettelblick", os.path.join(app, "zettelblick"))]
    if before:
        found.append((BEFORE, os.path.join(app, BEFORE_EXE)))
    return found


# --- 1. start-up -------------------------------------------------------------------


def startup(tools, app, env, rounds, before):
    programs = [(name, [program]) for name, program in builds(app, before)] + [
        ("bare Qt window", [os.path.join(app, "qtbare")]),
        ("xmessage", ["xmessage", MESSAGE]),
    ]
    results = {name: [] for name, _ in programs}
    for round_ in range(rounds + 1):  # round 0 warms the caches and is dropped
        # Each round starts with another program, so none is always first.
        turn = round_ % len(programs)
        for name, args in programs[turn:] + programs[:turn]:
            # The process that shows the window is the one started (window.wait).
            write_settings(app, WAITED)
            report = maptime(tools, args, env, app, hold=HOLD_MS)
            clean_app_dir(app)
            if round_:
                results[name].append(report)

    def column(name, key, scale=1.0, digits=1):
        return median_range([r[key] for r in results[name]], scale, digits)

    def ratio(a, b, key):
        # Per round: the programs of one round ran back to back, under the
        # same load.
        return statistics.median(ra[key] / rb[key] for ra, rb in zip(results[a], results[b]))

    for report in sum(results.values(), []):
        report["map_s"] = report["map"] - report["start"]
    lines = ["Start-up: %d interleaved rounds after a warm-up round; each program closed %d ms "
             "after its map." % (rounds, HOLD_MS),
             "Median (interquartile range); ratios: the median of the rounds' ratios.",
             "",
             "| program | exec-to-map ms | CPU ms to map | peak RSS MiB | RSS at map MiB "
             "| shared objects |",
             "|---|---|---|---|---|---|"]
    for name, _ in programs:
        lines.append("| %s | %s | %s | %s | %s | %s |" % (
            name, column(name, "map_s", 1000), column(name, "cpu_map_s", 1000),
            column(name, "maxrss_kb", 1 / 1024),
            column(name, "hwm_kb", 1 / 1024), column(name, "objects", digits=0)))
    pairs = [("zettelblick", "bare Qt window"), ("zettelblick", "xmessage"),
             ("bare Qt window", "xmessage")]
    if before:
        pairs += [(BEFORE, "bare Qt window"), ("zettelblick", BEFORE)]
    for a, b in pairs:
        lines.append("| %s / %s | %s |" % (a, b, " | ".join(
            "%.2f" % ratio(a, b, key)
            for key in ("map_s", "cpu_map_s", "maxrss_kb", "hwm_kb", "objects"))))
    return lines


# --- 2. timed close ----------------------------------------------------------------


def timed_close(tools, app, env, runs, before):
    lines = []
    for name, program in builds(app, before):
        shares, cpu = [], []
        for _ in range(runs):
            write_settings(app, WAITED + "time=10000\n[wave]\nfile=\n")
            report = maptime(tools, [program], env, app)
            clean_app_dir(app)
            cpu.append(report["cpu_s"] - report["cpu_map_s"])
            shares.append(cpu[-1] / (report["exit"] - report["map"]))
        lines.append("Timed close of %s (window.time=10000, no sound; %d runs): CPU time from "
                     "the map to the exit %s ms, %s %% of one CPU." % (
                         name, runs, median_range(cpu, 1000), median_range(shares, 100, 2)))
    return lines


# The measured process is the notification's own: it runs whole, its caller
# waiting for its end.
WAITED = "[window]\nwait=1\n"


def caller_released(command, app, env, display, rounds, name):
    """With window.wait=0: how long the started process takes to give its
    caller control back (it ends once the window is mapped), and how long
    after the map that is; against the map of a start whose caller waits."""
    released, mapped, after = [], {0: [], 1: []}, []
    with xharness.RootWatcher(display) as watcher:
        for round_ in range(rounds + 1):
            for wait in (0, 1):
                write_settings(app, "[wave]\nfile=\n[window]\nwait=%d\n" % wait)
                start = time.monotonic()
                proc = subprocess.Popen(command, env=env, cwd=app, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
                if wait == 0:
                    # Without a time-out: with one, Python looks for the
                    # end only every few milliseconds (up to 50).
                    proc.wait()
                    released_at = time.monotonic()
                mapped_at = xharness.wait_until(lambda: watcher.map_times(start), timeout=60,
                                                what="the window")[0]
                # Closed as its close box does (Wine's windows too).
                xharness.wait_until(lambda: subprocess.run(
                    ["wmctrl", "-F", "-c", "Zettelblick 2"], env=env,
                    capture_output=True).returncode == 0, what="the window to close")
                if wait == 1:
                    proc.wait(timeout=60)
                time.sleep(0.5)  # the frame goes before the next start
                clean_app_dir(app)
                if round_:
                    mapped[wait].append(mapped_at - start)
                    if wait == 0:
                        released.append(released_at - start)
                        after.append(released_at - mapped_at)
    return ["Caller released, %s (window.wait=0; %d interleaved rounds after a warm-up "
            "round): the window maps %s ms after the start and the started process ends %s ms "
            "after it, %s ms after the map; with window.wait=1 the window maps %s ms after "
            "the start." % (name, rounds, median_range(mapped[0], 1000, 1),
                            median_range(released, 1000, 1), median_range(after, 1000, 1),
                            median_range(mapped[1], 1000, 1))]


def write_settings(app, text):
    with open(os.path.join(app, "zettelblick.ini"), "w") as f:
        f.write(text)


# --- 3. tone -------------------------------------------------------------------------


class StreamWatch:
    """When sound streams (sink inputs) appear on and leave the server, as
    `pactl subscribe` reports them."""

    def __init__(self, server):
        self.server = server
        self.events = []  # (time, "new" or "remove", index)
        self.ready = threading.Event()

    def __enter__(self):
        self.process = subprocess.Popen(["stdbuf", "-oL", "pactl", "subscribe"],
                                        env=self.server.env(), stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        # Any change shows that the subscription is in place.
        while not self.ready.is_set():
            subprocess.run(["pactl", "set-sink-mute", pulse_server.SINK, "0"],
                           env=self.server.env(), check=True)
            self.ready.wait(0.2)
        return self

    def _read(self):
        for line in self.process.stdout:
            self.ready.set()
            words = line.replace("'", "").split()  # Event 'new' on sink-input #12
            if len(words) == 5 and words[3] == "sink-input":
                self.events.append((time.monotonic(), words[1], words[4]))

    def __exit__(self, *exc):
        pulse_server.stop(self.process)
        return False

    def first_stream(self, after):
        """(start, end) of the first stream that appeared after `after`."""
        for t, kind, index in list(self.events):
            if kind == "new" and t > after:
                ends = [e for e, k, i in self.events if k == "remove" and i == index]
                if ends:
                    return t, ends[0]
        raise BenchError("no sound stream seen")


def tone(tools, app, env, server, runs, before):
    lines = []
    for name, program in builds(app, before):
        lines += ([""] if lines else []) + tone_of(tools, name, program, app, env, server, runs)
    return lines


def tone_of(tools, name, program, app, env, server, runs):
    length, gaps, starts, resumes, late = [], [], [], [], []
    with StreamWatch(server) as streams:
        for _ in range(runs):
            write_settings(app, WAITED + "time=3000\n[speaker]\nfrequenz=880\ntime=%d\n"
                           "[wave]\nfile=\n" % TONE_MS)
            report = maptime(tools, [program], env, app, ping=PING_MS)
            clean_app_dir(app)
            time.sleep(0.3)  # for the last stream event
            tone_start, tone_end = streams.first_stream(report["start"])
            answers = [report["map"]] + sorted(received for _, received in report["pongs"])
            gap, before, after = max((b - a, a, b) for a, b in zip(answers, answers[1:]))
            length.append(tone_end - tone_start)
            gaps.append(gap)
            starts.append(before - tone_start)
            late.append(after - (tone_start + TONE_MS / 1000))
            resumes.append(after - tone_end)
    rows = [("the tone's stream on the server (sink input created to removed)", length),
            ("longest gap between answers", gaps),
            ("the gap begins, from the stream's creation", starts),
            ("answers resume, from the tone's nominal end (creation + %d ms)" % TONE_MS, late),
            ("answers resume, from the stream's removal", resumes)]
    return ["Tone of %s (speaker.frequenz=880, speaker.time=%d, no WAV; %d runs), "
            "_NET_WM_PING every %d ms from the map:" % (name, TONE_MS, runs, PING_MS),
            "", "| | ms |", "|---|---|"] + [
                "| %s | %s |" % (what, median_range(values, 1000, 0)) for what, values in rows]


# --- 4. burst ------------------------------------------------------------------------


BURSTS = (10, 20, 40)


def cpu_seconds(pid):
    """The CPU time (user + system) the process `pid` has used so far, all its
    threads, from the scheduler's nanosecond counts; 0 once it is gone."""
    total = 0
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[0])
    except (OSError, ValueError):
        pass
    return total / 1e9


def burst(command, app, env, display, rounds, name, servers, counts=BURSTS):
    """`command` (the program, after a loader) started once and `count` times
    at once for each of `counts`, in interleaved rounds after a warm-up round:
    the time from the first start to the last window's map, and the CPU time
    the starts and the `servers` (X server, window manager, wineserver) used
    until then. The floor of a burst is its count times the CPU time of one
    start (the servers' share included) over the cores: the time it would
    take if nothing but the processors held it up."""
    write_settings(app, WAITED + "[wave]\nfile=\n")
    cores = os.cpu_count() or 1
    times = {count: [] for count in (1,) + tuple(counts)}
    cpu = {count: [] for count in times}
    floors = {count: [] for count in counts}
    with xharness.RootWatcher(display) as watcher:
        for round_ in range(rounds + 1):
            for count in times:
                before = sum(cpu_seconds(pid) for pid in servers)
                start = time.monotonic()
                procs = [subprocess.Popen(command + ["/place:P%d" % i], env=env, cwd=app,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                         for i in range(count)]
                mapped = xharness.wait_until(
                    lambda: len(watcher.map_times(start)) >= count and watcher.map_times(start),
                    timeout=120, what="%d windows" % count)
                used = (sum(cpu_seconds(proc.pid) for proc in procs) +
                        sum(cpu_seconds(pid) for pid in servers) - before)
                for proc in procs:
                    proc.terminate()  # a close request: the notification closes down
                for proc in procs:
                    proc.wait(timeout=60)
                time.sleep(0.5 + count / 40)  # the frames go before the next start
                clean_app_dir(app)
                write_settings(app, WAITED + "[wave]\nfile=\n")
                if round_:
                    times[count].append(mapped[count - 1] - start)
                    cpu[count].append(used / count)
                    if count > 1:
                        floors[count].append(count * cpu[1][-1] / cores)
    lines = ["Burst of %s (%d interleaved rounds after a warm-up round; %d cores): from the "
             "first start to the map of the last window, and the CPU time per start until "
             "then (the program, the X server and the window manager%s); the floor is the "
             "count times the CPU time of one start over the cores." % (
                 name, rounds, cores, ", wineserver" if len(servers) > 2 else ""),
             "", "| starts at once | all mapped ms | CPU ms per start | floor ms | "
             "mapped / floor |", "|---|---|---|---|---|"]
    for count in times:
        ratio = ([t / f for t, f in zip(times[count], floors[count])] if count > 1 else None)
        lines.append("| %d | %s | %s | %s | %s |" % (
            count, median_range(times[count], 1000, 0), median_range(cpu[count], 1000, 1),
            median_range(floors[count], 1000, 0) if count > 1 else "",
            median_range(ratio, digits=2) if ratio else ""))
    return lines


# --- 5. held back --------------------------------------------------------------------

HELD_S = 5.0  # how long each held-back notification waits before the user is free


def cpu_seconds(pid):
    """The time the process's threads have run on a CPU (their scheduler
    statistics, in nanoseconds)."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
            total += int(f.read().split()[0])
    return total / 1e9


def held_back(app, server, rounds):
    """A notification started while the user is busy, on an X session of its
    own with a session bus: an xterm made full screen (the X server's events
    tell of its end), and dunst paused (its D-Bus signal does). Per case the
    CPU time the waiting process uses in HELD_S seconds, and the time from
    the end of the busy state (the command that ends it returning) to the
    map of the window."""
    program = os.path.join(app, "zettelblick")
    lines = []
    with xharness.XSession(session_bus=True) as session:
        env = server.env(session.env)

        def run(command):
            subprocess.run(command, env=env, check=True, capture_output=True)
        term = subprocess.Popen(["xterm", "-T", "Vollbild"], env=env, stderr=subprocess.DEVNULL)
        dunst = subprocess.Popen(["dunst"], env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            session.wait_for_window("Vollbild")
            xharness.wait_until(lambda: subprocess.run(["dunstctl", "is-paused"], env=env,
                                                       capture_output=True).returncode == 0,
                                what="dunst")
            cases = [
                ("a full-screen window (X events)",
                 ["wmctrl", "-r", "Vollbild", "-b", "add,fullscreen"],
                 ["wmctrl", "-r", "Vollbild", "-b", "remove,fullscreen"]),
                ("dunst paused (D-Bus signal)", ["dunstctl", "set-paused", "true"],
                 ["dunstctl", "set-paused", "false"]),
            ]
            with xharness.RootWatcher(session.display) as watcher:
                for name, busy, free in cases:
                    cpu, shown = [], []
                    for _ in range(rounds):
                        run(busy)
                        write_settings(app, WAITED + "[wave]\nfile=\n")
                        proc = subprocess.Popen([program], env=env, cwd=app,
                                                stdout=subprocess.DEVNULL,
                                                stderr=subprocess.DEVNULL)
                        time.sleep(1.0)  # started and held back
                        used = cpu_seconds(proc.pid)
                        time.sleep(HELD_S)
                        cpu.append(cpu_seconds(proc.pid) - used)
                        start = time.monotonic()
                        run(free)
                        freed = time.monotonic()
                        mapped = xharness.wait_until(lambda: watcher.map_times(start),
                                                     timeout=60, what="the window")[0]
                        shown.append(max(mapped - freed, 0.0))
                        proc.terminate()
                        proc.wait(timeout=60)
                        time.sleep(0.5)
                        clean_app_dir(app)
                    lines.append(
                        "Held back by %s (%d runs): CPU time while it waits %s ms in %.0f s "
                        "(%s %% of one CPU); the window maps %s ms after the end." % (
                            name, rounds, median_range(cpu, 1000, 2), HELD_S,
                            median_range(cpu, 100 / HELD_S, 3), median_range(shown, 1000, 0)))
        finally:
            for proc in (term, dunst):
                proc.kill()
                proc.wait()
    return lines


# --- 6. Wine -------------------------------------------------------------------------


class WinePrefix:
    """A private prefix for the exe's architecture, created once in `work`,
    with a wineserver that stays while it is in use."""

    def __init__(self, exe, work):
        with open(exe, "rb") as f:
            head = f.read(4096)
        pe = struct.unpack_from("<I", head, 0x3C)[0]
        machine = struct.unpack_from("<H", head, pe + 4)[0]
        if machine == 0x14C:
            self.arch, self.loader, self.vars = "i386", "wine", {"WINEARCH": "win32"}
        elif machine == 0x8664:
            wine64 = "/usr/lib/wine/wine64"
            self.arch, self.loader = "x86-64", wine64
            self.vars = {"WINEARCH": "win64", "WINELOADER": wine64}
        else:
            raise BenchError("%s: unknown PE machine 0x%x" % (exe, machine))
        self.prefix = os.path.join(work, "wine-" + self.arch)
        self.server = None

    def env(self, base):
        env = dict(base, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        env.update(self.vars)
        return env

    def __enter__(self):
        env = self.env(os.environ)
        marker = os.path.join(self.prefix, ".bench-ready")
        if not os.path.isfile(marker):
            shutil.rmtree(self.prefix, ignore_errors=True)
            subprocess.run([self.loader, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=True, timeout=600)
            subprocess.run(["wineserver", "-w"], env=env, timeout=600)
            open(marker, "w").close()
        self.server = subprocess.Popen(["wineserver", "-p300", "-f"], env=env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self

    def __exit__(self, *exc):
        subprocess.run(["wineserver", "-k"], env=self.env(os.environ), timeout=60)
        self.server.wait(timeout=60)
        return False


def wine(tools, exe, bare, env, work, rounds, display, burst_rounds, servers):
    with WinePrefix(exe, work) as prefix, tempfile.TemporaryDirectory(dir=work) as app:
        for path in (exe, bare, os.path.join(os.path.dirname(exe), "thebat.jpg"),
                     os.path.join(os.path.dirname(exe), "message.wav")):
            shutil.copy2(path, app)
        env = prefix.env(env)
        programs = [os.path.basename(exe), os.path.basename(bare)]
        ratios = []
        for round_ in range(rounds + 1):
            times = {}
            for name in programs[round_ % 2:] + programs[:round_ % 2]:
                report = maptime(tools, [prefix.loader, name], env, app, hold=HOLD_MS)
                clean_app_dir(app)
                times[name] = report["map"] - report["start"]
            if round_:
                ratios.append(times[programs[0]] / times[programs[1]])
        apart = caller_released([prefix.loader, programs[0]], app, env, display,
                                burst_rounds, "%s under Wine" % programs[0])
        stacked = burst([prefix.loader, programs[0]], app, env, display, burst_rounds,
                        "%s under Wine" % programs[0], servers + [prefix.server.pid],
                        counts=(10,))
    return ["Wine (%s, %s; %d interleaved rounds after a warm-up round): exec-to-map of %s "
            "against the bare Win32 window %s (median and interquartile range of the rounds' "
            "ratios)." % (prefix.arch, prefix.loader, rounds, programs[0],
                          median_range(ratios, digits=2)), ""] + apart + [""] + stacked


def machine(start_load):
    """The processor, cores, memory and the load before and after the run."""
    model = "unknown processor"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return ("Machine: %s, %d cores, %.0f GiB; load average %.2f %.2f %.2f before the run, "
            "%.2f %.2f %.2f after it." % (model, os.cpu_count(), memory, *start_load,
                                          *os.getloadavg()))


# --- the whole run -------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--app", required=True, help="the Linux build's application folder")
    parser.add_argument("--tools", required=True, help="the folder with maptime and qtbare")
    parser.add_argument("--before", help="another build's application folder, measured beside")
    parser.add_argument("--wine-exe", help="zettelblick.exe (skip Wine without it)")
    parser.add_argument("--wine-bare", help="winbare.exe")
    parser.add_argument("--work", help="where the Wine prefix is kept (default: --tools)")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--wine-rounds", type=int, default=15)
    parser.add_argument("--cpu-runs", type=int, default=3)
    parser.add_argument("--tone-runs", type=int, default=5)
    parser.add_argument("--burst-rounds", type=int, default=5)
    parser.add_argument("--held-runs", type=int, default=3)
    parser.add_argument("--parts", default="startup,close,tone,caller,burst,held,wine",
                        help="the measurements to run, comma-separated (default: all)")
    args = parser.parse_args()
    parts = set(args.parts.split(","))
    tools = os.path.abspath(args.tools)
    start_load = os.getloadavg()

    with tempfile.TemporaryDirectory(prefix="zb-bench-") as root:
        app = os.path.join(root, "app")
        os.mkdir(app)
        for name in ("zettelblick", "thebat.jpg", "message.wav"):
            shutil.copy2(os.path.join(args.app, name), app)
        shutil.copy2(os.path.join(tools, "qtbare"), app)
        if args.before:
            shutil.copy2(os.path.join(args.before, "zettelblick"), os.path.join(app, BEFORE_EXE))
        with xharness.XSession() as session, pulse_server.PulseServer(root) as server:
            env = server.env(session.env)
            report = []
            if "startup" in parts:
                report += [""] + startup(tools, app, env, args.rounds, args.before)
            if "close" in parts:
                report += [""] + timed_close(tools, app, env, args.cpu_runs, args.before)
            if "tone" in parts:
                report += [""] + tone(tools, app, env, server, args.tone_runs, args.before)
            if "caller" in parts:
                report += [""] + caller_released([os.path.join(app, "zettelblick")], app, env,
                                                 session.display, args.burst_rounds,
                                                 "zettelblick")
            if "burst" in parts:
                report += [""] + burst([os.path.join(app, "zettelblick")], app, env,
                                       session.display, args.burst_rounds, "zettelblick",
                                       session.server_pids())
            if "held" in parts:
                report += [""] + held_back(app, server, args.held_runs)
            if args.wine_exe and "wine" in parts:
                report += [""] + wine(tools, os.path.abspath(args.wine_exe),
                                      os.path.abspath(args.wine_bare), env,
                                      os.path.abspath(args.work or tools), args.wine_rounds,
                                      session.display, args.burst_rounds,
                                      session.server_pids())
    print("\n".join(report[1:]))
    print("\n" + machine(start_load))
    return 0


if __name__ == "__main__":
    sys.exit(main())
