#!/usr/bin/env python3
"""Makes the notifier's default picture and sound, both drawn here from scratch.

    thebat.jpg   253 x 270 JPEG: an open envelope with a letter, on a light
                 background, drawn with ImageMagick's draw primitives.
    message.wav  a short two-note chime, 44100 Hz 16-bit mono PCM, built from
                 decaying sine partials with Python's wave and math modules.

Run it from anywhere (python3 assets/make_assets.py); it rewrites both files
beside itself. The outputs are committed, so a build never needs ImageMagick;
only redrawing does (Debian package imagemagick). Same input, same output.
"""

import math
import os
import struct
import subprocess
import sys
import wave

HERE = os.path.dirname(os.path.abspath(__file__))

WIDTH, HEIGHT = 253, 270

# The picture, back to front, as ImageMagick -draw commands. Coordinates are
# pixels from the top-left corner.
ENVELOPE_LEFT, ENVELOPE_RIGHT = 34, 219
ENVELOPE_TOP, ENVELOPE_BOTTOM = 112, 228
MIDDLE = (ENVELOPE_LEFT + ENVELOPE_RIGHT) // 2

OUTLINE = "#6b5a3e"
PAPER = "#fffefa"
ENVELOPE = "#f6ead0"
ENVELOPE_SHADE = "#ead8b2"
INK = "#7f9cc4"
ACCENT = "#d9534f"


def draw_commands():
    l, r, t, b, m = ENVELOPE_LEFT, ENVELOPE_RIGHT, ENVELOPE_TOP, ENVELOPE_BOTTOM, MIDDLE
    shapes = [
        # Soft shadow under the envelope.
        f"fill #00000022 stroke none ellipse {m},{b + 14} 96,9 0,360",
        # Back of the envelope and its opened flap, pointing up behind the letter.
        f"fill {ENVELOPE_SHADE} stroke {OUTLINE} stroke-width 3 stroke-linejoin round "
        f"polygon {l},{t} {m},{t - 78} {r},{t} {r},{b} {l},{b}",
        # The letter, half out of the envelope.
        f"fill {PAPER} stroke {OUTLINE} stroke-width 2.5 "
        f"roundrectangle {l + 24},{t - 62} {r - 24},{t + 70} 5,5",
    ]
    # Lines of writing on the letter; the first one short, like a greeting.
    for i, y in enumerate(range(t - 42, t + 10, 13)):
        right = r - 44 - (48 if i == 0 else (22 if i == 3 else 0))
        shapes.append(
            f"fill none stroke {INK} stroke-width 4 stroke-linecap round "
            f"line {l + 44},{y} {right},{y}"
        )
    shapes += [
        # Front pocket: the lower body with its two side folds and the bottom fold.
        f"fill {ENVELOPE} stroke {OUTLINE} stroke-width 3 stroke-linejoin round "
        f"polygon {l},{t} {m},{t + 62} {r},{t} {r},{b} {l},{b}",
        f"fill none stroke {ENVELOPE_SHADE} stroke-width 3 stroke-linecap round "
        f"line {l + 6},{b - 6} {m - 26},{t + 52}",
        f"fill none stroke {ENVELOPE_SHADE} stroke-width 3 stroke-linecap round "
        f"line {r - 6},{b - 6} {m + 26},{t + 52}",
        # Seal with a heart where the folds meet.
        f"fill {ACCENT} stroke #a8322f stroke-width 2 circle {m},{t + 62} {m + 15},{t + 62}",
        f"fill {PAPER} stroke none path "
        f"'M {m},{t + 71} C {m - 14},{t + 61} {m - 8},{t + 50} {m},{t + 57} "
        f"C {m + 8},{t + 50} {m + 14},{t + 61} {m},{t + 71} Z'",
        # Notification badge at the top right.
        f"fill {ACCENT} stroke {PAPER} stroke-width 3 circle {r - 6},{t - 70} {r + 14},{t - 70}",
        f"fill {PAPER} stroke none roundrectangle {r - 9},{t - 83} {r - 3},{t - 66} 3,3",
        f"fill {PAPER} stroke none circle {r - 6},{t - 59} {r - 2.5},{t - 59}",
    ]
    return shapes


def make_picture(path):
    args = [
        "convert",
        "-size", f"{WIDTH}x{HEIGHT}",
        "gradient:#fdfaf0-#f1e7c9",
    ]
    for shape in draw_commands():
        args += ["-draw", shape]
    args += ["-strip", "-quality", "92", "-sampling-factor", "4:2:0", f"jpg:{path}"]
    subprocess.run(args, check=True)


RATE = 44100


def chime(seconds=0.9):
    """Two bell notes, a major third apart, each a few inharmonic partials
    that die away exponentially; the second starts 0.16 s after the first."""
    # (start s, fundamental Hz, [(frequency ratio, amplitude, decay per second)])
    bell = [(1.0, 1.0, 4.5), (2.0, 0.45, 7.0), (2.76, 0.22, 10.0), (5.4, 0.08, 16.0)]
    notes = [(0.0, 1318.5, bell), (0.16, 1046.5, bell)]
    frames = int(seconds * RATE)
    samples = [0.0] * frames
    attack = int(0.004 * RATE)
    for start, base, partials in notes:
        first = int(start * RATE)
        for i in range(frames - first):
            t = i / RATE
            value = sum(
                amp * math.exp(-decay * t) * math.sin(2 * math.pi * base * ratio * t)
                for ratio, amp, decay in partials
            )
            if i < attack:
                value *= i / attack
            samples[first + i] += value
    # Fade the last 50 ms to zero so playback ends without a click.
    fade = int(0.05 * RATE)
    for i in range(fade):
        samples[frames - 1 - i] *= i / fade
    peak = max(abs(s) for s in samples)
    scale = 0.6 * 32767 / peak
    return [int(round(s * scale)) for s in samples]


def make_sound(path):
    samples = chime()
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(struct.pack(f"<{len(samples)}h", *samples))


def main():
    picture = os.path.join(HERE, "thebat.jpg")
    sound = os.path.join(HERE, "message.wav")
    make_picture(picture)
    make_sound(sound)
    print(f"wrote {picture} and {sound}")


if __name__ == "__main__":
    sys.exit(main())
