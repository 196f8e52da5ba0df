// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Transform, multiply, magnitude and the searches against independent oracles.
#include "Constants.h"
#include "RxDsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace corvane::test {
namespace {

using Vec = std::vector<double>;

Vec Random(std::size_t n, unsigned seed, double scale = 1000.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-scale, scale);
    Vec v(n);
    for (double& x : v) {
        x = dist(rng);
    }
    return v;
}

// Textbook DFT with the negative exponent, in long double.
std::vector<std::complex<long double>> NaiveDft(const Vec& re, const Vec& im) {
    const std::size_t n = re.size();
    std::vector<std::complex<long double>> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<long double> sum = 0;
        for (std::size_t m = 0; m < n; ++m) {
            const long double angle =
                -2 * std::numbers::pi_v<long double> * static_cast<long double>((m * k) % n) / n;
            sum += std::complex<long double>(re[m], im[m]) *
                   std::complex<long double>(std::cos(angle), std::sin(angle));
        }
        out[k] = sum;
    }
    return out;
}

// One stage of the plain radix-2 algorithm (half-span s), each twiddle computed where it is
// used.
void PlainStage(Vec& re, Vec& im, std::size_t s) {
    const std::size_t n = re.size();
    const double step = TwoPi / static_cast<double>(2 * s);
    for (std::size_t j = 0; j < s; ++j) {
        const double angle = static_cast<double>(j) * step;
        const double c = std::cos(angle);
        const double sn = -std::sin(angle);
        for (std::size_t a = j; a < n; a += 2 * s) {
            const std::size_t b = a + s;
            const double xt = re[a] - re[b];
            re[a] = re[a] + re[b];
            const double yt = im[a] - im[b];
            im[a] = im[a] + im[b];
            re[b] = c * xt - sn * yt;
            im[b] = c * yt + sn * xt;
        }
    }
}

// The transform as the plain radix-2 algorithm states it: one stage at a time, then the bit
// reversal.
void PlainTransform(Vec& re, Vec& im) {
    const std::size_t n = re.size();
    for (std::size_t s = n / 2; s >= 1; s /= 2) {
        PlainStage(re, im, s);
    }
    const int bits = std::countr_zero(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t r = 0;
        for (int b = 0; b < bits; ++b) {
            r |= (k >> b & 1u) << (bits - 1 - b);
        }
        if (k < r) {
            std::swap(re[k], re[r]);
            std::swap(im[k], im[r]);
        }
    }
}

// The fused passes, the cache blocking and every instruction-set path must give exactly the
// plain algorithm's bits, signed zeros and tiny values included.
TEST(Transform, EveryPathGivesThePlainAlgorithmsBits) {
    for (const rxDSP::Isa isa : {rxDSP::Isa::Baseline, rxDSP::Isa::Avx2, rxDSP::Isa::Avx512}) {
        const rxDSP::FftPlan plan(4096, isa);
        for (std::int32_t n = 1; n <= 4096; n *= 2) {
            Vec re = Random(static_cast<std::size_t>(n), 30u + static_cast<unsigned>(n));
            Vec im = Random(static_cast<std::size_t>(n), 40u + static_cast<unsigned>(n));
            for (std::size_t i = 0; i < re.size(); i += 5) {
                re[i] = (i / 5) % 3 == 0 ? -0.0 : (i / 5) % 3 == 1 ? 0.0 : re[i] * 1e-310;
                im[(i + 2) % im.size()] = -0.0;
            }
            Vec plainRe = re, plainIm = im;
            PlainTransform(plainRe, plainIm);
            rxDSP::FFT(re, im, n, plan);
            for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
                ASSERT_EQ(std::bit_cast<std::uint64_t>(re[k]),
                          std::bit_cast<std::uint64_t>(plainRe[k]))
                    << n << " bin " << k << " on path " << static_cast<int>(plan.Path());
                ASSERT_EQ(std::bit_cast<std::uint64_t>(im[k]),
                          std::bit_cast<std::uint64_t>(plainIm[k]))
                    << n << " bin " << k << " on path " << static_cast<int>(plan.Path());
            }
        }
    }
}

TEST(Transform, MatchesTextbookDftForEveryPowerOfTwo) {
    const rxDSP::FftPlan plan;
    for (std::int32_t n = 2; n <= 1024; n *= 2) {
        const Vec re0 = Random(static_cast<std::size_t>(n), 10u + static_cast<unsigned>(n));
        const Vec im0 = Random(static_cast<std::size_t>(n), 20u + static_cast<unsigned>(n));
        Vec re = re0, im = im0;
        rxDSP::FFT(re, im, n, plan);
        const auto expected = NaiveDft(re0, im0);
        // The decimal two pi (6.2831853072, 2e-11 high) skews the twiddles slightly, so the
        // comparison allows a relative error well above rounding but far below any wrong bin.
        const double tolerance = 1e-8 * 1000.0 * n;
        for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
            EXPECT_NEAR(re[k], static_cast<double>(expected[k].real()), tolerance)
                << n << " bin " << k;
            EXPECT_NEAR(im[k], static_cast<double>(expected[k].imag()), tolerance)
                << n << " bin " << k;
        }
    }
}

TEST(Transform, SmallestSizesAndImpulses) {
    const rxDSP::FftPlan plan;
    Vec re{3.5}, im{-2.0};
    rxDSP::FFT(re, im, 1, plan);
    EXPECT_EQ(re[0], 3.5);
    EXPECT_EQ(im[0], -2.0);

    re = {3.0, 5.0};
    im = {1.0, -4.0};
    rxDSP::FFT(re, im, 2, plan);
    EXPECT_EQ(re, (Vec{8.0, -2.0}));
    EXPECT_EQ(im, (Vec{-3.0, 5.0}));

    const std::int32_t n = 64;
    re.assign(n, 0.0);
    im.assign(n, 0.0);
    re[0] = 1.0;
    rxDSP::FFT(re, im, n, plan);
    for (std::size_t k = 0; k < n; ++k) {
        EXPECT_EQ(re[k], 1.0);
        EXPECT_EQ(im[k], 0.0);
    }

    re.assign(n, 0.0);
    im.assign(n, 0.0);
    re[1] = 1.0;
    rxDSP::FFT(re, im, n, plan);
    for (std::size_t k = 0; k < n; ++k) {
        const double angle = 2 * std::numbers::pi * static_cast<double>(k) / n;
        EXPECT_NEAR(re[k], std::cos(angle), 1e-9);
        EXPECT_NEAR(im[k], -std::sin(angle), 1e-9);
    }
}

TEST(Transform, TouchesOnlyItsLengthAndRefusesOtherLengths) {
    const rxDSP::FftPlan plan(1024);
    Vec re = Random(2048, 1), im = Random(2048, 2);
    const Vec re0 = re, im0 = im;
    rxDSP::FFT(re, im, 512, plan);
    for (std::size_t i = 512; i < 2048; ++i) {
        ASSERT_EQ(re[i], re0[i]);
        ASSERT_EQ(im[i], im0[i]);
    }
    for (std::int32_t bad : {0, -4, 3, 1000, 2048}) { // not a power of two, or beyond the plan
        re = re0;
        im = im0;
        rxDSP::FFT(re, im, bad, plan);
        EXPECT_EQ(re, re0) << bad;
        EXPECT_EQ(im, im0) << bad;
    }
}

TEST(Transform, EveryInstructionSetPathIsBitIdentical) {
    const rxDSP::FftPlan baseline(4096, rxDSP::Isa::Baseline);
    int paths = 0;
    for (const rxDSP::Isa isa : {rxDSP::Isa::Avx2, rxDSP::Isa::Avx512}) {
        const rxDSP::FftPlan fast(4096, isa);
        if (fast.Path() != isa) {
            continue; // this CPU lacks it (the plan fell back to a slower path)
        }
        ++paths;
        for (std::int32_t n = 2; n <= 4096; n *= 2) {
            Vec re1 = Random(static_cast<std::size_t>(n), 3),
                im1 = Random(static_cast<std::size_t>(n), 4);
            Vec re2 = re1, im2 = im1;
            rxDSP::FFT(re1, im1, n, baseline);
            rxDSP::FFT(re2, im2, n, fast);
            for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
                ASSERT_EQ(std::bit_cast<std::uint64_t>(re1[k]),
                          std::bit_cast<std::uint64_t>(re2[k]))
                    << n << " on path " << static_cast<int>(isa);
                ASSERT_EQ(std::bit_cast<std::uint64_t>(im1[k]),
                          std::bit_cast<std::uint64_t>(im2[k]))
                    << n << " on path " << static_cast<int>(isa);
            }
        }
    }
    if (paths == 0) {
        GTEST_SKIP() << "this CPU has neither AVX2 nor AVX-512";
    }
}

// The open butterflies and a block pass against the plain algorithm's stages and then the
// plain loops over k with the plan's reversal table, bit for bit on every path and length:
// ordinary frames, frames of signed zeros and frames whose products fall below the normal
// range. The passes must leave the open result as it was.
TEST(Transform, BlockPassesEqualThePlainLoopsOverTheReversal) {
    for (const rxDSP::Isa isa : {rxDSP::Isa::Baseline, rxDSP::Isa::Avx2, rxDSP::Isa::Avx512}) {
        const rxDSP::FftPlan plan(4096, isa);
        for (std::int32_t n = 64; n <= 4096; n *= 2) {
            for (int pattern = 0; pattern < 3; ++pattern) {
                const auto size = static_cast<std::size_t>(n);
                const auto seed = static_cast<unsigned>(n + pattern);
                Vec re = Random(size, 50u + seed), im = Random(size, 60u + seed);
                const Vec fRe = Random(size, 70u + seed), fIm = Random(size, 80u + seed);
                for (std::size_t i = 0; i < size; ++i) {
                    if (pattern == 0 && i % 7 == 0) {
                        re[i] = i % 3 == 0 ? -0.0 : i % 3 == 1 ? 0.0 : 1e-300;
                    } else if (pattern == 1) {
                        re[i] = -0.0;
                        im[i] = i % 2 == 0 ? 0.0 : -0.0;
                    } else if (pattern == 2) {
                        re[i] *= 1e-300;
                        im[i] *= 1e-300;
                    }
                }
                Vec finishedRe = re, finishedIm = im;
                for (std::size_t s = size / 2; s >= 1; s /= 2) {
                    PlainStage(finishedRe, finishedIm, s);
                }
                plan.OpenButterflies(re, im, n);
                const Vec openRe = re, openIm = im;
                const std::span<const std::int32_t> rev = plan.Reversal(n);
                const auto x = [&](const Vec& v, std::size_t k) {
                    return v[static_cast<std::size_t>(rev[k])];
                };
                const auto same = [](double a, double b) {
                    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
                };

                Vec pRe(size, 9.0), pIm(size, 9.0), mag(size, 9.0);
                plan.ConjugateProduct(re, im, fRe, fIm, pRe, pIm, n);
                plan.Magnitudes(re, im, mag, n);
                for (std::size_t k = 0; k < size; ++k) {
                    const double ar = x(finishedRe, k), ai = x(finishedIm, k);
                    ASSERT_TRUE(same(pRe[k], ar * fRe[k] - ai * fIm[k]))
                        << n << " pattern " << pattern << " bin " << k;
                    ASSERT_TRUE(same(pIm[k], -(ar * fIm[k] + ai * fRe[k])))
                        << n << " pattern " << pattern << " bin " << k;
                    ASSERT_TRUE(same(mag[k], std::sqrt(ar * ar + ai * ai)))
                        << n << " pattern " << pattern << " bin " << k;
                }

                const Vec tailRe0 = Random(size / 2, 90u + seed);
                const Vec tailIm0 = Random(size / 2, 91u);
                Vec outRe(size / 2, 9.0), outIm(size / 2, 9.0);
                Vec tailRe = tailRe0, tailIm = tailIm0;
                plan.OverlapAdd(re, im, outRe, outIm, tailRe, tailIm, n);
                const double length = n;
                for (std::size_t i = 0; i < size / 2; ++i) {
                    ASSERT_TRUE(same(outRe[i], x(finishedRe, i) / length + tailRe0[i]))
                        << n << " pattern " << pattern << " at " << i;
                    ASSERT_TRUE(same(outIm[i], x(finishedIm, i) / length + tailIm0[i]))
                        << n << " pattern " << pattern << " at " << i;
                    ASSERT_TRUE(same(tailRe[i], x(finishedRe, size / 2 + i) / length))
                        << n << " pattern " << pattern << " at " << i;
                    ASSERT_TRUE(same(tailIm[i], x(finishedIm, size / 2 + i) / length))
                        << n << " pattern " << pattern << " at " << i;
                }
                ASSERT_EQ(re, openRe);
                ASSERT_EQ(im, openIm);
            }
        }
    }
}

// The I/Q corrector's bin passes give on every path the bits of the plain loops: the
// widely-linear product (its mirror bin at n - k, bin 0 its own), and the rounding to 16-bit
// values, clipped, half to even, the sign of a zero kept. Bad lengths and short spans write
// nothing.
TEST(Transform, CorrectorPassesGiveThePlainLoopsBitsOnEveryPath) {
    const auto same = [](double a, double b) {
        return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
    };
    for (const rxDSP::Isa isa : {rxDSP::Isa::Baseline, rxDSP::Isa::Avx2, rxDSP::Isa::Avx512}) {
        const rxDSP::FftPlan plan(4096, isa);
        for (const std::int32_t n : {1, 2, 8, 2048}) {
            const auto size = static_cast<std::size_t>(n);
            const Vec re = Random(size, 1), im = Random(size, 2);
            const Vec wRe = Random(size, 3, 0.3), wIm = Random(size, 4, 0.3);
            Vec outRe(size, 9.0), outIm(size, 9.0);
            plan.WidelyLinear(re, im, wRe, wIm, outRe, outIm, n);
            for (std::size_t k = 0; k < size; ++k) {
                const std::size_t m = (size - k) % size;
                const double yr = re[k] + (wRe[k] * re[m] - wIm[k] * -im[m]);
                const double yi = im[k] + (wRe[k] * -im[m] + wIm[k] * re[m]);
                ASSERT_TRUE(same(outRe[k], yr) && same(outIm[k], -yi))
                    << n << " bin " << k << " on path " << static_cast<int>(isa);
            }
        }
        Vec untouched(64, 5.0), out(64, 5.0);
        plan.WidelyLinear(Random(64, 1), Random(64, 2), Random(64, 3), Random(64, 4), out,
                          untouched, 48);
        plan.WidelyLinear(Random(64, 1), Random(63, 2), Random(64, 3), Random(64, 4), out,
                          untouched, 64);
        EXPECT_EQ(out, Vec(64, 5.0));
        EXPECT_EQ(untouched, Vec(64, 5.0));

        Vec x = Random(999, 5, 80000.0);
        x.insert(x.end(), {0.5, 1.5, 2.5, -0.5, -2.5, -0.2, 0.0, -0.0, 32767.4, 32767.6, -32768.4,
                           -32768.6, 1e300, -1e300});
        for (const double scale : {1.0, -1.0 / 2048.0 * 2048.0, 0.25}) {
            Vec rounded(x.size(), 9.0);
            plan.Rounded16(x, scale, rounded);
            for (std::size_t j = 0; j < x.size(); ++j) {
                const double want = std::clamp(RoundHalfEven(x[j] * scale), -32768.0, 32767.0);
                ASSERT_TRUE(same(rounded[j], want))
                    << x[j] << " times " << scale << " on path " << static_cast<int>(isa);
            }
        }
    }
}

// Lengths the blocks cannot take, or spans too short, leave every output untouched.
TEST(Transform, BlockPassesRefuseBadLengthsAndShortSpans) {
    const rxDSP::FftPlan plan(1024);
    const Vec re = Random(2048, 1), im = Random(2048, 2);
    for (const std::int32_t n : {32, 100, 2048, 0, -64}) {
        Vec a(2048, 5.0), b(2048, 5.0), c(2048, 5.0), d(2048, 5.0);
        plan.ConjugateProduct(re, im, re, im, a, b, n);
        plan.Magnitudes(re, im, c, n);
        plan.OverlapAdd(re, im, c, d, a, b, n);
        for (const Vec* v : {&a, &b, &c, &d}) {
            EXPECT_EQ(*v, Vec(2048, 5.0)) << n;
        }
    }
    Vec shortOut(255, 5.0), out(512, 5.0), tail(512, 5.0);
    plan.ConjugateProduct(re, im, re, im, shortOut, out, 256);
    plan.Magnitudes(re, im, shortOut, 256);
    plan.OverlapAdd(re, im, out, out, shortOut, tail, 512);
    EXPECT_EQ(shortOut, Vec(255, 5.0));
    EXPECT_EQ(out, Vec(512, 5.0));
    EXPECT_EQ(tail, Vec(512, 5.0));
}

// Reading a block straight into the transform, its zero half implied, must give the bits of
// the open butterflies on the padded frame at every length and on every path: signed zeros and tiny
// values in the block, and blocks of -0 (which meet the implied +0 and must come out as +0
// does). Refused calls write nothing.
TEST(Transform, PaddedButterfliesEqualButterfliesOnThePaddedFrame) {
    for (const rxDSP::Isa isa : {rxDSP::Isa::Baseline, rxDSP::Isa::Avx2, rxDSP::Isa::Avx512}) {
        const rxDSP::FftPlan plan(4096, isa);
        for (std::int32_t n = 64; n <= 4096; n *= 2) {
            const auto half = static_cast<std::size_t>(n / 2);
            for (int pattern = 0; pattern < 3; ++pattern) {
                Vec re = Random(half, 50u + static_cast<unsigned>(n));
                Vec im = Random(half, 60u + static_cast<unsigned>(n));
                for (std::size_t i = 0; i < half; ++i) {
                    if (pattern == 0 && i % 3 == 0) {
                        re[i] = (i / 3) % 3 == 0 ? -0.0 : (i / 3) % 3 == 1 ? 0.0 : re[i] * 1e-310;
                        im[(i + 1) % half] = -0.0;
                    } else if (pattern == 1 || (pattern == 2 && i < half / 2)) {
                        re[i] = -0.0;
                        im[i] = -0.0;
                    }
                }
                Vec paddedRe(static_cast<std::size_t>(n), 0.0), paddedIm = paddedRe;
                std::copy(re.begin(), re.end(), paddedRe.begin());
                std::copy(im.begin(), im.end(), paddedIm.begin());
                plan.OpenButterflies(paddedRe, paddedIm, n);
                Vec outRe(static_cast<std::size_t>(n), 7.0), outIm = outRe;
                plan.PaddedButterflies(re, im, outRe, outIm, n);
                for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(outRe[k]),
                              std::bit_cast<std::uint64_t>(paddedRe[k]))
                        << n << " pattern " << pattern << " at " << k << " on path "
                        << static_cast<int>(plan.Path());
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(outIm[k]),
                              std::bit_cast<std::uint64_t>(paddedIm[k]))
                        << n << " pattern " << pattern << " at " << k << " on path "
                        << static_cast<int>(plan.Path());
                }
            }
        }
    }

    const rxDSP::FftPlan plan(1024);
    const Vec re = Random(1024, 3), im = Random(1024, 4);
    for (const std::int32_t n : {0, -64, 32, 96, 2048}) {
        Vec outRe(2048, 5.0), outIm(2048, 5.0);
        plan.PaddedButterflies(re, im, outRe, outIm, n);
        EXPECT_EQ(outRe, Vec(2048, 5.0)) << n;
        EXPECT_EQ(outIm, Vec(2048, 5.0)) << n;
    }
    Vec shortOut(511, 5.0), out(512, 5.0);
    plan.PaddedButterflies(re, im, shortOut, out, 512);
    plan.PaddedButterflies(Vec(255, 1.0), im, out, out, 512);
    EXPECT_EQ(shortOut, Vec(511, 5.0));
    EXPECT_EQ(out, Vec(512, 5.0));
}

TEST(Transform, InverseReturnsTheConjugate) {
    const rxDSP::FftPlan plan;
    const std::int32_t n = 4096;
    // A real sequence comes back real.
    Vec re = Random(n, 5), im(n, 0.0);
    const Vec original = re;
    rxDSP::FFT(re, im, n, plan);
    rxDSP::InverseFFT(re, im, n, plan);
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_NEAR(re[i], original[i], 1e-9);
        ASSERT_NEAR(im[i], 0.0, 1e-9);
    }
    // A complex sequence comes back with its imaginary part negated.
    re = Random(n, 6);
    im = Random(n, 7);
    const Vec re0 = re, im0 = im;
    rxDSP::FFT(re, im, n, plan);
    rxDSP::InverseFFT(re, im, n, plan);
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_NEAR(re[i], re0[i], 1e-9);
        ASSERT_NEAR(im[i], -im0[i], 1e-9);
    }
}

// The inlined rounding must be the library's nearbyint, bit for bit, for every kind of double:
// ties both ways, signed zeros, the edges around 2^52 and 2^53, huge values, infinities, NaN.
TEST(Rounding, InlinedRoundingIsTheLibrarysNearbyint) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5,
                                  -0.5,
                                  1.5,
                                  -1.5,
                                  2.5,
                                  -2.5,
                                  0.49999999999999994,
                                  -0.4,
                                  32766.5,
                                  32767.5,
                                  -32768.5,
                                  4503599627370495.5,
                                  4503599627370496.0,
                                  4503599627370497.0,
                                  9007199254740991.0,
                                  1e300,
                                  -1e300,
                                  5e-324,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity()};
    for (double v = -70000.0; v <= 70000.0; v += 0.25) { // every tie in the sample range
        values.push_back(v);
    }
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200000; ++i) { // any bit pattern: every exponent, subnormals, NaNs
        values.push_back(std::bit_cast<double>(rng()));
    }
    for (const double v : values) {
        const double want = std::nearbyint(v);
        const double got = RoundHalfEven(v);
        if (std::isnan(want)) {
            ASSERT_TRUE(std::isnan(got)) << v;
            continue;
        }
        ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want))
            << std::hexfloat << v;
    }
}

TEST(VectorOps, ComplexMultiplyInPlaceEqualsSeparateOutput) {
    const std::int32_t n = 300;
    const Vec aRe = Random(n, 8), aIm = Random(n, 9), bRe = Random(n, 10), bIm = Random(n, 11);
    Vec outRe(n), outIm(n);
    rxDSP::ComplexMultiply(aRe, aIm, bRe, bIm, outRe, outIm, n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::complex<double> expected =
            std::complex<double>(aRe[i], aIm[i]) * std::complex<double>(bRe[i], bIm[i]);
        ASSERT_NEAR(outRe[i], expected.real(), 1e-6);
        ASSERT_NEAR(outIm[i], expected.imag(), 1e-6);
    }
    Vec inRe = aRe, inIm = aIm;
    rxDSP::ComplexMultiply(inRe, inIm, bRe, bIm, inRe, inIm, n);
    EXPECT_EQ(inRe, outRe);
    EXPECT_EQ(inIm, outIm);
}

TEST(VectorOps, MagnitudeAndSearches) {
    const Vec re{3.0, -5.0, 0.0}, im{4.0, 12.0, 0.0};
    Vec mag(4, -1.0);
    rxDSP::Magnitude(re, im, mag, 3);
    EXPECT_EQ(mag, (Vec{5.0, 13.0, 0.0, -1.0}));

    const Vec values{2.0, 9.5, -3.0, 9.5, 1.0};
    EXPECT_EQ(rxDSP::MaxValue(values, 5), 9.5);
    EXPECT_EQ(rxDSP::MinValue(values, 5), -3.0);
    EXPECT_EQ(rxDSP::MaxValue(values, 1), 2.0); // only the first n are searched
    EXPECT_EQ(rxDSP::MaxValue(values, 0), 0.0);
    EXPECT_EQ(rxDSP::MaxValue(Vec{-2.0, -1.0}, 2), 0.0); // never below zero
    EXPECT_EQ(rxDSP::MinValue(values, 0), 1e40);
    EXPECT_EQ(rxDSP::MinValue(Vec{5e40}, 1), 1e40);
}

} // namespace
} // namespace corvane::test
