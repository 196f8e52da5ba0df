#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
"""Writes an I/Q recording (48000 Hz, 16-bit, 2 channels) of steady carriers through a front end
with a gain and phase error on the left channel and DC on both, as corvane-replay reads it:
right is the real part of the complex signal, left the imaginary part.

  make-imbalanced-iq.py OUT.wav SECONDS GAIN_DB_FROM GAIN_DB_TO PHASE_DEG_FROM PHASE_DEG_TO
                        DC_LEFT DC_RIGHT HZ:AMPLITUDE[,HZ:AMPLITUDE...]

Gain and phase move linearly from their first to their second value over the recording (a
drifting front end); equal values make a steady one."""
import array
import math
import random
import sys
import wave


def main():
    if len(sys.argv) != 10:
        sys.exit(__doc__)
    out = sys.argv[1]
    seconds = float(sys.argv[2])
    g0, g1, p0, p1, dc_left, dc_right = (float(v) for v in sys.argv[3:9])
    carriers = [tuple(float(x) for x in c.split(":")) for c in sys.argv[9].split(",")]
    rate = 48000
    frames = int(seconds * rate)
    rng = random.Random(7)
    samples = array.array("h", bytes(4 * frames))
    steps = [2.0 * math.pi * hz / rate for hz, _ in carriers]
    amps = [a for _, a in carriers]
    for n in range(frames):
        share = n / frames
        g = 10.0 ** ((g0 + (g1 - g0) * share) / 20.0)
        phi = math.radians(p0 + (p1 - p0) * share)
        # A trace of noise only: more would set the floor of the measurement itself (3 LSB
        # in a 500 Hz channel is about 77 dB below these carriers).
        re = rng.gauss(0.0, 0.3)
        im = rng.gauss(0.0, 0.3)
        for w, a in zip(steps, amps):
            re += a * math.cos(w * n)
            im += a * math.sin(w * n)
        left = g * (im * math.cos(phi) + re * math.sin(phi)) + dc_left
        right = re + dc_right
        samples[2 * n] = max(-32768, min(32767, round(left)))
        samples[2 * n + 1] = max(-32768, min(32767, round(right)))
    with wave.open(out, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(samples.tobytes())


if __name__ == "__main__":
    main()
