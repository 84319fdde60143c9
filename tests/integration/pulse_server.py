"""A private PulseAudio server for the sound tests and the benchmark.

PulseServer starts a PulseAudio daemon whose only sink is the null sink SINK
(RATE samples a second), reachable through a socket in a temporary folder;
its env() leads clients, the program among them, to it. stop() ends a
process politely, then for sure.

Needs the packages pulseaudio and pulseaudio-utils (pactl).
"""

import os
import signal
import subprocess
import time

RATE = 44100
SINK = "zbsink"


class PulseServer:
    """A private PulseAudio daemon with one null sink, reachable through a
    socket in a temporary directory. Runs as root too: the daemon only warns."""

    def __init__(self, root):
        self.root = root
        self.runtime = os.path.join(root, "pulse-run")
        self.home = os.path.join(root, "pulse-home")
        self.socket = os.path.join(self.runtime, "native")
        self.process = None

    def env(self, base=None):
        """`base` (by default this process's environment) with the variables
        that lead PulseAudio clients to this server."""
        env = dict(os.environ if base is None else base)
        for name in ("PULSE_SINK", "PULSE_SOURCE", "PULSE_COOKIE", "PULSE_PROP"):
            env.pop(name, None)
        env.update(PULSE_SERVER="unix:" + self.socket, PULSE_RUNTIME_PATH=self.runtime)
        if base is None:
            env.update(XDG_RUNTIME_DIR=self.runtime, HOME=self.home)
        return env

    def __enter__(self):
        os.makedirs(self.runtime, mode=0o700)
        os.makedirs(self.home)
        config = os.path.join(self.root, "server.pa")
        with open(config, "w") as f:
            f.write(
                f"load-module module-null-sink sink_name={SINK} rate={RATE}\n"
                f"load-module module-native-protocol-unix auth-anonymous=1 socket={self.socket}\n"
                f"set-default-sink {SINK}\n"
            )
        self.log = open(os.path.join(self.root, "pulseaudio.log"), "w")
        self.process = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
             "--use-pid-file=no", "--disable-shm=yes", "-n", "-F", config,
             "--log-target=stderr"],
            env=self.env(), stdout=self.log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                break
            probe = subprocess.run(["pactl", "info"], env=self.env(),
                                   capture_output=True, text=True)
            if probe.returncode == 0 and SINK in probe.stdout:
                return self
            time.sleep(0.1)
        self.__exit__(None, None, None)
        raise RuntimeError("PulseAudio did not start; see "
                           + os.path.join(self.root, "pulseaudio.log"))

    def __exit__(self, *exc):
        stop(self.process)
        self.log.close()
        return False


def stop(process, sig=signal.SIGTERM):
    if process is None or process.poll() is not None:
        return
    process.send_signal(sig)
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
