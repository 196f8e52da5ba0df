#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
"""Writes an I/Q recording (48000 Hz, 16-bit, 2 channels) holding an upper-sideband DTMF
sequence with its suppressed carrier at CARRIER_HZ, for the live benchmark and replay checks.

    make-dtmf-iq.py [options] CARRIER_HZ OUTPUT.wav

The receiver's complex signal is right + i * left, so an audio tone f of the upper sideband is
the complex tone at CARRIER_HZ + f: right = cos(2 pi (C + f) t), left = sin(2 pi (C + f) t).
In USB the receiver is tuned at CARRIER_HZ + 1650 Hz to hear it.

The digits are sent in order, each a pair of tones for --tone-ms with --gap-ms of silence after
it, after --lead seconds of noise only (the receiver's start and the AGC settling), and the
digit string is repeated until at least --seconds of digits are written. Prints the digits sent,
one string, on stdout. Standard library only.
"""

import argparse
import math
import random
import struct
import sys
import wave

RATE = 48000
ROWS = {"1": 697, "2": 697, "3": 697, "A": 697,
        "4": 770, "5": 770, "6": 770, "B": 770,
        "7": 852, "8": 852, "9": 852, "C": 852,
        "*": 941, "0": 941, "#": 941, "D": 941}
COLUMNS = {"1": 1209, "4": 1209, "7": 1209, "*": 1209,
           "2": 1336, "5": 1336, "8": 1336, "0": 1336,
           "3": 1477, "6": 1477, "9": 1477, "#": 1477,
           "A": 1633, "B": 1633, "C": 1633, "D": 1633}


def sequence(digits, seconds, tone_ms, gap_ms):
    """The digit string repeated to fill `seconds` (at least once)."""
    per_digit = (tone_ms + gap_ms) / 1000.0
    repeats = max(1, math.ceil(seconds / (per_digit * len(digits))))
    return digits * repeats


def envelope(n, length, ramp):
    """Raised-cosine rise and fall of `ramp` samples at both ends of a tone."""
    if n < ramp:
        return 0.5 - 0.5 * math.cos(math.pi * n / ramp)
    if n >= length - ramp:
        return 0.5 - 0.5 * math.cos(math.pi * (length - n) / ramp)
    return 1.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("carrier", type=float, help="suppressed carrier, Hz (-21000..21000)")
    parser.add_argument("output", help="the WAV file to write")
    parser.add_argument("--digits", default="0123456789*#ABCD",
                        help="DTMF digits to send, in order (default 0123456789*#ABCD)")
    parser.add_argument("--seconds", type=float, default=3.2,
                        help="repeat the digits until this long (default 3.2 s: once)")
    parser.add_argument("--tone-ms", type=float, default=100.0)
    parser.add_argument("--gap-ms", type=float, default=100.0)
    parser.add_argument("--lead", type=float, default=1.0,
                        help="seconds of noise before the first digit (default 1)")
    parser.add_argument("--tail", type=float, default=0.5,
                        help="seconds of noise after the last digit (default 0.5)")
    parser.add_argument("--level", type=float, default=2000.0,
                        help="amplitude of each of the two tones, 16-bit units (default 2000)")
    parser.add_argument("--noise", type=float, default=20.0,
                        help="noise standard deviation per channel, 16-bit units (default 20)")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    digits = args.digits.upper()
    bad = [d for d in digits if d not in ROWS]
    if not digits or bad:
        parser.error(f"not DTMF digits: {''.join(bad) or '(none)'}")
    if not -21000 <= args.carrier <= 21000:
        parser.error("the carrier must be within -21000..21000 Hz (the band is +-24000 Hz)")
    if 2 * args.level + 4 * args.noise > 32767:
        parser.error("--level and --noise would clip")

    sent = sequence(digits, args.seconds, args.tone_ms, args.gap_ms)
    rng = random.Random(args.seed)
    tone_n = round(args.tone_ms * RATE / 1000)
    gap_n = round(args.gap_ms * RATE / 1000)
    ramp = min(round(0.005 * RATE), tone_n // 4)
    two_pi = 2.0 * math.pi

    def noise():
        return rng.gauss(0.0, args.noise) if args.noise > 0 else 0.0

    def clip(x):
        return max(-32768, min(32767, int(round(x))))

    frames = bytearray()
    sample = 0

    def silence(n):
        nonlocal sample
        for _ in range(n):
            frames.extend(struct.pack("<hh", clip(noise()), clip(noise())))
        sample += n

    silence(round(args.lead * RATE))
    for d in sent:
        # Complex tones at the carrier plus each audio frequency (upper sideband), with the
        # phase running on the absolute sample count so the tones are continuous in time.
        f1 = args.carrier + ROWS[d]
        f2 = args.carrier + COLUMNS[d]
        for n in range(tone_n):
            t = (sample + n) / RATE
            a = args.level * envelope(n, tone_n, ramp)
            right = a * (math.cos(two_pi * f1 * t) + math.cos(two_pi * f2 * t))
            left = a * (math.sin(two_pi * f1 * t) + math.sin(two_pi * f2 * t))
            frames.extend(struct.pack("<hh", clip(left + noise()), clip(right + noise())))
        sample += tone_n
        silence(gap_n)
    silence(round(args.tail * RATE))

    with wave.open(args.output, "wb") as w:
        w.setnchannels(2)  # left I, right Q
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))
    print(sent)
    return 0


if __name__ == "__main__":
    sys.exit(main())
