#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Corvane developers
"""Derives the receiver chain's golden values independently of the C++ code.

Everything here is written from the receiver's arithmetic rules, not from the C++ sources:
literal constants (two pi = 6.2831853072, pi = 3.1415926536), products and quotients left to
right, rounding half to even, and the transform with its twiddles computed per stage exactly as
the algorithm states. Python floats are IEEE doubles without fused multiply-add and its math
module calls the C library, so the values are comparable bit for bit with the C++ chain built
with -ffp-contract=off.

    derive_golden.py > chain_golden.txt       write the values
    derive_golden.py --check chain_golden.txt  exit 1 if the file differs from a fresh derivation
"""
import math
import sys

TWO_PI = 6.2831853072
PI = 3.1415926536
N_ARR = 4097


def fft(re, im, n):
    m = round(math.log(n) / math.log(2.0))
    if m >= 1:
        span2 = n
        for _ in range(m):
            span1 = span2
            span2 = span1 // 2
            step = TWO_PI / span1
            angle = 0.0
            for j in range(span2):
                c = math.cos(angle)
                s = -math.sin(angle)
                for i in range(j, n, span1):
                    l = i + span2
                    xt = re[i] - re[l]
                    re[i] = re[i] + re[l]
                    yt = im[i] - im[l]
                    im[i] = im[i] + im[l]
                    re[l] = c * xt - s * yt
                    im[l] = c * yt + s * xt
                angle = (j + 1) * step
    j = 0
    for i in range(n - 1):
        if i < j:
            re[i], re[j] = re[j], re[i]
            im[i], im[j] = im[j], im[i]
        k = n // 2
        while k <= j:
            j = j - k
            k = k // 2
        j = j + k


def inverse_fft(re, im, n):
    for i in range(n):
        im[i] = -im[i]
    fft(re, im, n)
    for i in range(n):
        im[i] = im[i] / n
        re[i] = re[i] / n


def design_band_pass(f1, f2, h, order):
    half = order // 2
    w = [0.0] * N_ARR
    e = TWO_PI / order
    for k in range(1, half + 1):
        w[k] = 0.35875 + 0.48829 * math.cos(e * k) + 0.14128 * math.cos(2 * e * k) \
            + 0.01168 * math.cos(3 * e * k)
    s = (f1 + f2) * PI
    d = (f2 - f1) * PI
    g0 = 2 * d / PI
    for k in range(1, half + 1):
        h[k] = math.cos(k * s) * 2 * math.sin(k * d) * w[k] / (k * PI)
    for k in range(half + 1, order + 1):
        h[k] = h[k - half]
    for m in range(0, half):
        h[m] = h[order - m]
    h[half] = g0


def make_window(kind, n):
    win = [0.0] * N_ARR
    e = TWO_PI / n
    gain = 0.0
    if kind == 0:
        for i in range(n):
            win[i] = 1.0
        gain = 1.0
    if kind == 1:
        for i in range(n // 2):
            win[i] = 0.35875 - 0.48829 * math.cos(e * i) + 0.14128 * math.cos(2 * e * i) \
                - 0.01168 * math.cos(3 * e * i)
        gain = 2.8
    if kind == 2:
        for i in range(n):
            win[i] = 0.5 - 0.5 * math.cos(e * i)
        gain = 2.0
    for i in range(n // 2, n):
        win[i] = win[n - 1 - i]
    return win, gain


def advance(phase, step):
    phase = phase + step
    if phase >= TWO_PI:
        phase = phase - TWO_PI
    return phase


class Chain:
    """The block chain with its three fast-convolution stages and the AGC."""

    def __init__(self):
        self.window = [0.0] * N_ARR
        self.window_gain = 0.0
        self.spectra = {i: ([0.0] * N_ARR, [0.0] * N_ARR) for i in range(3)}
        self.tail = {i: ([0.0] * N_ARR, [0.0] * N_ARR) for i in range(3)}
        self.test_phase = self.test_step = 0.0
        self.lo1_phase = self.lo1_step = 0.0
        self.bfo_phase = self.bfo_step = 0.0
        self.negative_offset = 0
        self.high_side = 0
        self.agc_on = 0
        self.agc_length = 0
        self.max_gain = 1000
        self.agc_index = 0
        self.agc_history = [0.0] * 25
        self.agc_peak = 0.0
        self.agc_gain = 0.0
        self.agc_prev_gain = 0.0
        self.lsb = False
        self.test = 'none'
        self.plus20 = False
        self.wide = None
        self.audio = None
        self.smeter = 0.0

    def design_filter(self, index, low_hz, high_hz):
        edge_high = high_hz / 48000.0
        edge_low = low_hz / 48000.0
        if index not in self.spectra:
            return
        re, im = self.spectra[index]
        for i in range(N_ARR):
            im[i] = 0.0
        for i in range(N_ARR):
            re[i] = 0.0
        design_band_pass(edge_low, edge_high, re, 2048)
        fft(re, im, 4096)

    def set_oscillators(self, a, sign, split, if_hz, low, high):
        self.test_step = 62831.853072 / 48000
        self.negative_offset = -1 if sign < 0 else 0
        h = round((high - low) / 2.0)
        if a >= split:
            self.high_side = -1
            lo = a - if_hz - h
        else:
            self.high_side = 0
            lo = if_hz - a + h
        self.lo1_step = lo * TWO_PI / 48000
        # The beat oscillator sits above the IF band when exactly one of "LSB" and "below 0 Hz"
        # holds, so the audio is upright in USB and CW and inverted in LSB on both halves.
        if self.lsb != (self.negative_offset == -1):
            t = if_hz + high
        else:
            t = if_hz - low
        self.bfo_step = t * TWO_PI / 48000

    def stage(self, index, re, im, agc):
        wre = [0.0] * N_ARR
        wim = [0.0] * N_ARR
        for i in range(2048):
            wre[i] = re[i]
            wim[i] = im[i]
        fft(wre, wim, 4096)
        fre, fim = self.spectra[index]
        for i in range(4096):
            ar, ai, br, bi = wre[i], wim[i], fre[i], fim[i]
            wre[i] = ar * br - ai * bi
            wim[i] = ar * bi + ai * br
        inverse_fft(wre, wim, 4096)
        tre, tim = self.tail[index]
        for i in range(2048):
            wre[i] += tre[i]
            wim[i] += tim[i]
        for i in range(2048):
            tre[i] = wre[2048 + i]
            tim[i] = wim[2048 + i]
        if agc:
            self.agc(wre, wim)
        for i in range(2048):
            re[i] = wre[i]
            im[i] = wim[i]

    def agc(self, wre, wim):
        peak = 0.0
        for i in range(2048):
            m = math.sqrt(wre[i] * wre[i] + wim[i] * wim[i])
            if peak < m:
                peak = m
        self.agc_peak = peak
        if self.agc_on != -1:
            return
        if self.agc_index < self.agc_length - 1:
            self.agc_index += 1
        else:
            self.agc_index = 0
        if peak != 0.0:
            self.agc_history[self.agc_index] = 16384 / peak
            g = 1e40
            for i in range(self.agc_length):
                if g > self.agc_history[i]:
                    g = self.agc_history[i]
            self.agc_gain = g
        else:
            self.agc_gain = 1.0
        if self.max_gain < self.agc_gain:
            self.agc_gain = float(self.max_gain)
        prev, gain = self.agc_prev_gain, self.agc_gain
        start = 0
        if gain < prev:
            step = (prev - gain) / 48
            for i in range(48):
                f = prev - (i + 1) * step
                wre[i] *= f
                wim[i] *= f
            start = 48
        elif gain > prev:
            step = (gain - prev) / 48
            for i in range(48):
                f = prev + (i + 1) * step
                wre[i] *= f
                wim[i] *= f
            start = 48
        for i in range(start, 2048):
            wre[i] *= gain
            wim[i] *= gain
        self.agc_prev_gain = gain

    def process_block(self, block):
        tone = 3.6 if self.plus20 else 0.36
        bre = [0.0] * N_ARR
        bim = [0.0] * N_ARR
        for j in range(2048):
            self.test_phase = advance(self.test_phase, self.test_step)
            p = self.test_phase
            left = right = 0.0
            if self.test == 'iq':
                left, right = tone * math.sin(p), tone * math.cos(p)
            elif self.test == 'i-q':
                left, right = tone * math.sin(p), -tone * math.cos(p)
            elif self.test == 'i':
                left, right = 2 * tone * math.sin(p), 0.0
            bre[j] = block[2 * j + 1] + right
            bim[j] = block[2 * j] + left
        wre = [0.0] * N_ARR
        wim = [0.0] * N_ARR
        for j in range(2048):
            wre[j] = self.window[j] * bre[j]
            wim[j] = self.window[j] * bim[j]
        fft(wre, wim, 2048)
        norm = 67108864 / self.window_gain
        self.wide = [math.sqrt(wre[k] * wre[k] + wim[k] * wim[k]) / norm for k in range(2048)]
        self.stage(0, bre, bim, True)
        total = (self.negative_offset == -1 and self.high_side == 0) or \
                (self.negative_offset == 0 and self.high_side == -1)
        for j in range(2048):
            self.lo1_phase = advance(self.lo1_phase, self.lo1_step)
            p = self.lo1_phase
            bre[j] = math.sin(p) * bre[j] * 4
            bim[j] = math.cos(p) * bim[j] * 4
            bre[j] = bre[j] + bim[j] if total else bre[j] - bim[j]
        bim = [0.0] * N_ARR
        self.stage(1, bre, bim, False)
        for j in range(2048):
            self.bfo_phase = advance(self.bfo_phase, self.bfo_step)
            bre[j] = math.sin(self.bfo_phase) * bre[j]
        bim = [0.0] * N_ARR
        self.stage(2, bre, bim, False)
        out = [0] * 4096
        for j in range(2048):
            v = min(32767, max(-32768, round(bre[j])))
            out[2 * j + 1] = v
            out[2 * j] = v
            bre[j] = self.window[j] * bre[j]
        bim = [0.0] * N_ARR
        fft(bre, bim, 2048)
        self.audio = [math.sqrt(bre[k] * bre[k] + bim[k] * bim[k]) / norm for k in range(200)]
        if self.agc_peak == 0.0:
            self.agc_peak = 1.1e-7
        db = 20 * math.log10(self.agc_peak / norm * 300)
        self.smeter = 1000 / 140 * (140 + db) if db >= -140 else 0.0
        return out


BANDS = {  # pass band, IF filter for 6000, IF filter for 18000, audio filter
    'cw100': ((775, 875), (5990, 6110), (17990, 18110), (765, 885)),
    'cw500': ((575, 1075), (5990, 6510), (17990, 18510), (565, 1085)),
    'usb': ((300, 3000), (5990, 8710), (17990, 20710), (290, 3010)),
    'lsb': ((300, 3000), (5990, 8710), (17990, 20710), (290, 3010)),
}


def tune(chain, mode, offset):
    """The chain's side of tuning to an already normalised offset."""
    (low, high), if6, if18, audio = BANDS[mode]
    width = high - low
    a = float(abs(offset))
    if_hz = 6000 if a >= 15000 else 18000
    chain.lsb = mode == 'lsb'
    chain.design_filter(1, *(if6 if if_hz == 6000 else if18))
    chain.design_filter(2, *audio)
    chain.design_filter(0, round(a + 1 - width / 2), round(width / 2 + a))
    sign = -1 if offset < 0 else (1 if offset > 0 else 0)
    chain.set_oscillators(a, sign, 15000, if_hz, low, high)


def gain_ceiling(v):
    return round(math.exp((120 - v) / 20.0 * 2.3))


class Source:
    """Deterministic I/Q test input: a carrier plus integer noise from a 31-bit LCG."""

    def __init__(self, freq, amp, noise, seed, square=False):
        self.freq, self.amp, self.noise, self.state, self.square = freq, amp, noise, seed, square
        self.n = 0

    def rand(self):
        self.state = (self.state * 1103515245 + 12345) % 2147483648
        return (self.state >> 16) % (2 * self.noise + 1) - self.noise if self.noise else 0

    def block(self):
        out = [0] * 4096
        for j in range(2048):
            p = 2 * math.pi * self.freq * self.n / 48000
            if self.square:
                i_val = self.amp if math.sin(p) >= 0 else -self.amp
                q_val = self.amp if math.cos(p) >= 0 else -self.amp
            else:
                i_val = round(self.amp * math.sin(p))
                q_val = round(self.amp * math.cos(p))
            out[2 * j] = min(32767, max(-32768, i_val + self.rand()))
            out[2 * j + 1] = min(32767, max(-32768, q_val + self.rand()))
            self.n += 1
        return out


def fnv1a(samples):
    h = 2166136261
    for s in samples:
        v = s & 0xFFFF
        for byte in (v & 0xFF, v >> 8):
            h ^= byte
            h = (h * 16777619) & 0xFFFFFFFF
    return h


# Scenarios: (name, window kind, mode, offset, agc, test, +20 dB, source, blocks)
SCENARIOS = [
    ('startup_cw500', 1, 'cw500', 250, 'fast', 'none', False, Source(300.0, 3000, 200, 1), 6),
    ('usb_negative_hann', 2, 'usb', -5000, 'slow', 'iq', True, Source(-4150.0, 2000, 50, 7), 4),
    ('lsb_high_side_square', 0, 'lsb', 20000, 'off', 'i', False,
     Source(19500.0, 32767, 0, 3, square=True), 3),
]


def run_scenario(name, kind, mode, offset, agc, test, plus20, source, blocks, emit):
    chain = Chain()
    chain.window, chain.window_gain = make_window(kind, 2048)
    chain.test, chain.plus20 = test, plus20
    tune(chain, mode, offset)
    if agc == 'off':
        chain.agc_on = 0
        chain.agc_length = 4
    else:
        chain.agc_on = -1
        chain.agc_length = 4 if agc == 'fast' else 9
    chain.max_gain = gain_ceiling(70)
    for b in range(blocks):
        out = chain.process_block(source.block())
        key = f'{name}.{b}'
        emit(f'{key}.out_fnv1a {fnv1a(out)}')
        emit(f'{key}.out_sample {out[0]} {out[1234]} {out[4094]}')
        emit(f'{key}.agc_peak {chain.agc_peak.hex()}')
        emit(f'{key}.agc_gain {chain.agc_gain.hex()}')
        emit(f'{key}.smeter {chain.smeter.hex()}')
        emit(f'{key}.wide {chain.wide[5].hex()} {chain.wide[1500].hex()} {chain.wide[427].hex()}')
        emit(f'{key}.audio {chain.audio[0].hex()} {chain.audio[37].hex()} {chain.audio[199].hex()}')


def derive(emit):
    emit('# Derived by derive_golden.py; do not edit by hand.')
    for kind in (1, 2):
        win, gain = make_window(kind, 2048)
        emit(f'window.{kind} {gain.hex()} ' + ' '.join(win[i].hex() for i in (0, 1, 512, 1023, 1024, 2047)))
    taps = [0.0] * N_ARR
    design_band_pass(17990 / 48000.0, 18510 / 48000.0, taps, 2048)
    emit('bandpass.if18k_cw500 ' + ' '.join(taps[i].hex() for i in (0, 1, 500, 1023, 1024, 1025, 2048)))
    for n in (8, 16):
        re = [math.sin(0.37 * i) * 100 + i for i in range(n)]
        im = [math.cos(1.3 * i) * 50 - i for i in range(n)]
        fft(re, im, n)
        emit(f'fft.{n} ' + ' '.join(f'{re[k].hex()} {im[k].hex()}' for k in range(n)))
    chain = Chain()
    chain.design_filter(0, 1, 500)
    emit('spectrum.chan_1_500 ' + ' '.join(f'{chain.spectra[0][0][k].hex()} {chain.spectra[0][1][k].hex()}' for k in (0, 1, 21, 42, 2048, 4095)))
    for mode, offset in (('cw500', 250), ('usb', -1350), ('lsb', 20000), ('cw100', -15000), ('usb', 5000)):
        c = Chain()
        tune(c, mode, offset)
        emit(f'osc.{mode}.{offset} {c.lo1_step.hex()} {c.bfo_step.hex()} {c.test_step.hex()} {c.negative_offset} {c.high_side}')
    emit('gain ' + ' '.join(str(gain_ceiling(v)) for v in (40, 50, 60, 70, 80, 90, 100)))
    for scenario in SCENARIOS:
        run_scenario(*scenario, emit)


def main():
    lines = []
    derive(lines.append)
    text = '\n'.join(lines) + '\n'
    if len(sys.argv) == 3 and sys.argv[1] == '--check':
        with open(sys.argv[2]) as f:
            if f.read() != text:
                print('golden values differ from a fresh derivation', file=sys.stderr)
                return 1
        print('golden values reproduced')
        return 0
    sys.stdout.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main())
