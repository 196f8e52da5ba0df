#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
"""Prints the RMS of the left channel of a 16-bit stereo WAV after SECONDS.

  rms-after.py FILE.wav SECONDS"""
import array
import math
import sys
import wave

with wave.open(sys.argv[1], "rb") as w:
    skip = int(float(sys.argv[2]) * w.getframerate())
    w.setpos(min(skip, w.getnframes()))
    data = array.array("h", w.readframes(w.getnframes() - skip))
left = data[0::2]
print(math.sqrt(sum(v * v for v in left) / max(1, len(left))))
