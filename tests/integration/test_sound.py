#!/usr/bin/env python3
"""The alerts as they come out of the sound device.

Starts a private PulseAudio server whose only sink is a null sink, records
that sink's monitor while the real program runs (under Xvfb, from a temporary
application folder), and looks for the expected frequencies in the recording
with a Goertzel filter:

- a 880 Hz, 300 ms tone, then the configured WAV file (a pure 1500 Hz tone
  made here), in that order; the tone's temporary file is gone afterwards;
- frequenz 0: no tone at all, and a WAV named in a subfolder (sub\\probe.wav)
  still plays;
- no wave setting: the default message.wav chime plays;
- a wildcard pattern that matches a file: the desktop's alert sound plays
  instead of the file, and no message box holds the program;
- no sound server at all: the program runs to its timed close and exits 0;
- no sound to play: no sound library is loaded, before the window shows or
  while it stays.

Needs the packages pulseaudio and pulseaudio-utils (pactl, parec, pacat),
sound-theme-freedesktop and libcanberra-pulse (or the ALSA route:
libasound2-plugins), what xharness.py needs for the display, and the built
application folder in the environment variable ZB_APP_DIR.
"""

import array
import math
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apprun  # noqa: E402
from pulse_server import RATE, SINK, PulseServer, stop  # noqa: E402

WINDOW = RATE // 50  # 20 ms analysis windows
PROBE_HZ = 1500
TONE_HZ = 880
CHIME_HZ = (1318.5, 1046.5)  # the two notes of assets/message.wav
LOUD = 1000  # RMS of a window that holds sound (full scale is 32767)
PURE = 0.7  # share of a window's amplitude at one frequency: a pure tone


class Recording:
    """Records the null sink's monitor as raw 16-bit mono samples. A stream of
    silence keeps the sink running, so that the recording runs in step with
    real time, as on a real device, instead of in bursts."""

    def __init__(self, server, path):
        self.server = server
        self.path = path

    def __enter__(self):
        env = self.server.env()
        self.filler = subprocess.Popen(
            ["pacat", "--playback", "--latency-msec=50", "--format=s16le",
             f"--rate={RATE}", "--channels=1", "--raw", "/dev/zero"],
            env=env, stdin=subprocess.DEVNULL)
        self.recorder = subprocess.Popen(
            ["parec", f"--device={SINK}.monitor", "--latency-msec=20", "--format=s16le",
             f"--rate={RATE}", "--channels=1", "--raw", self.path],
            env=env, stdin=subprocess.DEVNULL)
        try:
            self.wait_for_seconds(0.3)
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def seconds(self):
        try:
            return os.path.getsize(self.path) / (2 * RATE)
        except OSError:
            return 0.0

    def wait_for_seconds(self, more):
        """Waits until `more` seconds of sound have been recorded beyond what
        is there now: the recorder is running and has caught up."""
        goal = self.seconds() + more
        deadline = time.monotonic() + 10 + more
        while self.seconds() < goal:
            if time.monotonic() > deadline:
                raise RuntimeError("the recorder delivers no sound")
            time.sleep(0.05)

    def __exit__(self, *exc):
        stop(self.recorder, signal.SIGINT)
        stop(self.filler)
        return False

    def read_samples(self):
        with open(self.path, "rb") as f:
            data = f.read()
        samples = array.array("h")
        samples.frombytes(data[: len(data) // 2 * 2])
        if sys.byteorder != "little":
            samples.byteswap()
        return samples


# --- analysis --------------------------------------------------------------------


def amplitude(samples, start, hertz):
    """The amplitude of the `hertz` component in one window (Goertzel)."""
    coefficient = 2 * math.cos(2 * math.pi * hertz / RATE)
    s1 = s2 = 0.0
    for x in samples[start:start + WINDOW]:
        s1, s2 = x + coefficient * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coefficient * s1 * s2
    return 2 * math.sqrt(max(power, 0.0)) / WINDOW


class Analysis:
    """The recording cut into 20 ms windows, each with its loudness."""

    def __init__(self, samples):
        self.samples = samples
        self.starts = range(0, len(samples) - WINDOW + 1, WINDOW)
        self.rms = [math.sqrt(sum(x * x for x in samples[s:s + WINDOW]) / WINDOW)
                    for s in self.starts]

    def loud(self):
        return [i for i, rms in enumerate(self.rms) if rms > LOUD]

    def pure(self, hertz):
        """Windows that are loud and hold (almost) nothing but `hertz`."""
        found = []
        for i in self.loud():
            share = amplitude(self.samples, self.starts[i], hertz) / (self.rms[i] * math.sqrt(2))
            if share > PURE:
                found.append(i)
        return found

    def strong(self, hertz, share):
        """Loud windows in which `hertz` carries at least `share` of the sound."""
        return [i for i in self.loud()
                if amplitude(self.samples, self.starts[i], hertz)
                > share * self.rms[i] * math.sqrt(2)]

    def describe(self):
        loud = self.loud()
        if not loud:
            return "silence"
        return (f"{len(loud)} loud windows of 20 ms from {loud[0] * 0.02:.2f}s "
                f"to {loud[-1] * 0.02:.2f}s")


# --- the program -------------------------------------------------------------------


def write_probe(path, hertz=PROBE_HZ, seconds=0.6):
    """A WAV file holding one pure tone, faded in and out over 10 ms."""
    frames = int(seconds * RATE)
    fade = RATE // 100
    data = bytearray()
    for i in range(frames):
        gain = min(1.0, i / fade, (frames - 1 - i) / fade)
        value = int(0.5 * 32767 * gain * math.sin(2 * math.pi * hertz * i / RATE))
        data += struct.pack("<h", value)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(data))


# Every run closes itself, long after the sounds have been started.
TIMED = "[window]\ntime=2500\n"


class SoundTest(apprun.AppTest):
    @classmethod
    def setUpClass(cls):
        for tool in ("pulseaudio", "pactl", "parec", "pacat"):
            if shutil.which(tool) is None:
                raise unittest.SkipTest(f"{tool} is not installed (packages pulseaudio, "
                                        "pulseaudio-utils)")
        super().setUpClass()
        cls.pulse_root = tempfile.mkdtemp(prefix="zb-sound-")
        try:
            cls.server = PulseServer(cls.pulse_root).__enter__()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "server", None):
            cls.server.__exit__(None, None, None)
        if getattr(cls, "pulse_root", None):
            shutil.rmtree(cls.pulse_root, ignore_errors=True)
        super().tearDownClass()

    def run_program(self, name, ini, env, probes=()):
        """Runs the program from a fresh application folder with `ini` as its
        settings file and a probe WAV at each of the relative paths `probes`,
        until its timed close, with a private XDG_RUNTIME_DIR in which no
        temporary tone file may be left."""
        app = self.make_app(ini, name=name)
        for relative in probes:
            target = os.path.join(app, relative)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            write_probe(target)
        runtime = os.path.join(self.root, name + "-runtime")
        os.makedirs(runtime, mode=0o700)
        run = self.finish(self.start(app, env=dict(env, XDG_RUNTIME_DIR=runtime), cwd=app))
        # No message box holds the program.
        self.assertEqual((run.status, run.boxes), (0, 0), f"{name}: stderr: {run.err}")
        leftovers = [n for n in os.listdir(runtime) if n.startswith("zettelblick-tone")]
        self.assertEqual(leftovers, [], f"{name}: temporary tone files left behind")

    def scenario(self, name, ini, probes=()):
        """Runs the program once while recording the sound device; returns the
        analysis of what was heard."""
        with Recording(self.server, os.path.join(self.root, name + ".raw")) as recording:
            self.run_program(name, ini, self.server.env(self.x.env), probes)
            # Let what was still playing at the close reach the recording.
            recording.wait_for_seconds(0.8)
        analysis = Analysis(recording.read_samples())
        print(f"{name}: {analysis.describe()}", file=sys.stderr)
        return analysis

    def test_tone_then_wave(self):
        sound = self.scenario("tone-then-wave",
                              TIMED + f"[speaker]\nfrequenz={TONE_HZ}\ntime=300\n"
                              "[wave]\nfile=probe.wav\n", ["probe.wav"])
        tone, probe = sound.pure(TONE_HZ), sound.pure(PROBE_HZ)
        self.assertTrue(tone, "no 880 Hz tone recorded")
        # The tone's sound, not its timing: 300 ms of samples, less the fades.
        length = len(tone) * WINDOW / RATE
        self.assertTrue(0.2 <= length <= 0.45, f"{length:.2f}s of tone, not about 0.3s")
        self.assertTrue(probe, "the WAV file's 1500 Hz was not recorded")
        self.assertGreater(probe[0], tone[-1], "the WAV file started before the tone ended")

    def test_no_tone_and_subfolder(self):
        sound = self.scenario("no-tone",
                              TIMED + "[speaker]\nfrequenz=0\ntime=500\n"
                              "[wave]\nfile=sub\\probe.wav\n",
                              [os.path.join("sub", "probe.wav")])
        self.assertTrue(sound.pure(PROBE_HZ), "the WAV file in sub\\ was not recorded")
        # Every window with sound holds the probe's frequency: nothing else played.
        probe = set(sound.strong(PROBE_HZ, 0.3))
        other = [i for i in sound.loud() if i not in probe]
        self.assertFalse(other, f"{len(other)} windows of sound besides the WAV file")

    def test_default_sound(self):
        sound = self.scenario("default-sound", TIMED)
        chime = set(sound.strong(CHIME_HZ[0], 0.5)) | set(sound.strong(CHIME_HZ[1], 0.5))
        self.assertGreaterEqual(len(chime), 5, "message.wav's chime was not recorded")

    def test_wildcard_gives_alert(self):
        sound = self.scenario("wildcard", TIMED + "[wave]\nfile=prob?.wav\n", ["probe.wav"])
        self.assertTrue(sound.loud(), "no alert sound recorded")
        self.assertFalse(sound.pure(PROBE_HZ), "the pattern played the file it matches")

    def test_no_sound_library_without_a_sound(self):
        app = self.make_app("[wave]\nfile=\n", name="silent")
        run = self.start(app, env=self.server.env(self.x.env), cwd=app)
        window = self.wait_for_window_or_end(run)
        self.assertIsNotNone(window, "no window")
        with open(f"/proc/{run.notification_pids()[-1]}/maps") as maps:
            loaded = {os.path.basename(line.split()[-1]) for line in maps if ".so" in line}
        self.click(window)
        self.assertEqual(self.finish(run).status, 0, run.err)
        sound = sorted(name for name in loaded
                       if name.startswith(("libcanberra", "libpulse", "libasound")))
        self.assertEqual(sound, [], "sound libraries loaded for a notification without sound")

    def test_no_server(self):
        env = dict(self.x.env, PULSE_SERVER="unix:" + os.path.join(self.root, "no-such-socket"),
                   PULSE_RUNTIME_PATH=os.path.join(self.root, "no-server-runtime"))
        self.run_program("no-server",
                         "[window]\ntime=1000\n[speaker]\nfrequenz=880\ntime=300\n"
                         "[wave]\nfile=probe.wav\n", env, ["probe.wav"])


if __name__ == "__main__":
    unittest.main()
