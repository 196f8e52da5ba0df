#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
"""Writes an I/Q recording (48000 Hz, 16-bit, 2 channels) of steady carriers through a front end
with a gain and phase error on the left channel and DC on both, as corvane-replay reads it:
right is the real part of the complex signal, left the imaginary part.

  make-imbalanced-iq.py OUT.wav SECONDS GAIN_DB_FROM GAIN_DB_TO PHASE_DEG_FROM PHASE_DEG_TO
                        DC_LEFT DC_RIGHT HZ:AMPLITUDE[,HZ:AMPLITUDE...]
                        [--skew SAMPLES] [--slope DB] [--wander CYCLES] [--noise LSB]

Gain and phase move linearly from their first to their second value over the recording (a
drifting front end); equal values make a steady one. With --wander they swing between the two
values instead, CYCLES times over the recording (a sine). --skew samples the left channel that
many samples late (a fractional delay of one channel), --slope lets the left channel's gain
fall by that many dB more from 0 Hz to the band's edge (24 kHz), linearly in frequency (two
channel filters that differ). --noise is the white noise per channel (0.3 LSB by default)."""
import argparse
import array
import math
import random
import wave


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("out")
    parser.add_argument("seconds", type=float)
    for name in ("g0", "g1", "p0", "p1", "dc_left", "dc_right"):
        parser.add_argument(name, type=float)
    parser.add_argument("carriers")
    parser.add_argument("--skew", type=float, default=0.0)
    parser.add_argument("--slope", type=float, default=0.0)
    parser.add_argument("--wander", type=float, default=0.0)
    parser.add_argument("--noise", type=float, default=0.3)
    a = parser.parse_args()
    carriers = [tuple(float(x) for x in c.split(":")) for c in a.carriers.split(",")]
    rate = 48000
    frames = int(a.seconds * rate)
    rng = random.Random(7)
    samples = array.array("h", bytes(4 * frames))
    steps = [2.0 * math.pi * hz / rate for hz, _ in carriers]
    amps = [amp for _, amp in carriers]
    # The left channel's own filter, per carrier: a gain that falls with |f| (a real filter acts
    # alike on +f and -f).
    tilts = [10.0 ** (-a.slope * abs(hz) / 24000.0 / 20.0) for hz, _ in carriers]
    for n in range(frames):
        share = n / frames
        if a.wander:
            share = 0.5 + 0.5 * math.sin(2.0 * math.pi * a.wander * n / frames)
        g = 10.0 ** ((a.g0 + (a.g1 - a.g0) * share) / 20.0)
        phi = math.radians(a.p0 + (a.p1 - a.p0) * share)
        cphi, sphi = math.cos(phi), math.sin(phi)
        # A trace of noise only: more would set the floor of the measurement itself (3 LSB
        # in a 500 Hz channel is about 77 dB below these carriers).
        re = rng.gauss(0.0, a.noise)
        left = g * rng.gauss(0.0, a.noise)
        for w, amp, tilt in zip(steps, amps, tilts):
            re += amp * math.cos(w * n)
            late = w * (n - a.skew)
            left += g * tilt * amp * (math.sin(late) * cphi + math.cos(late) * sphi)
        samples[2 * n] = max(-32768, min(32767, round(left + a.dc_left)))
        samples[2 * n + 1] = max(-32768, min(32767, round(re + a.dc_right)))
    with wave.open(a.out, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(samples.tobytes())


if __name__ == "__main__":
    main()
