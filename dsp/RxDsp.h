// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <span>
#include <vector>

namespace corvane {

// Stateless numeric primitives of the receiver. Every routine touches only the elements it
// names and never allocates the arrays it works on.
namespace rxDSP {

// Instruction-set paths for the transform butterflies. Every path runs the same operations in
// the same order, so all give bit-identical results; Best picks the fastest this CPU runs.
enum class Isa : std::uint8_t { Best, Baseline, Avx2, Avx512 };

bool CpuHasAvx2();
bool CpuHasAvx512();

// Precomputed twiddles and bit-reversal swaps for every power of two up to MaxLength. Each
// twiddle holds exactly cos(angle) and -sin(angle) for the angle the transform would compute,
// so the table path gives the same results as evaluating them inside the transform.
// Built once (it allocates); immutable afterwards.
class FftPlan {
public:
    explicit FftPlan(std::int32_t maxLength = 4096, Isa isa = Isa::Best);

    std::int32_t MaxLength() const { return MaxLength_; }
    Isa Path() const { return Path_; }

    // The transform's butterfly stages alone: the result is left in bit-reversed order, bin k
    // at Reversal(n)[k]. Lets a caller fold the reordering into a pass it makes anyway; the
    // values are those of FFT. Same length rule as FFT.
    void Butterflies(std::span<double> re, std::span<double> im, std::int32_t n) const;
    // The stages for a block pass below to read: an open result. Where the instruction set
    // makes it cheaper, the last two stages (half-spans 2 and 1) are left to the block pass,
    // which runs them as it reads; so an open result is for the block passes only. n as for
    // the block passes; otherwise nothing is written.
    void OpenButterflies(std::span<double> re, std::span<double> im, std::int32_t n) const;
    // OpenButterflies of the frame re/im[0..n/2) followed by n/2 zeros (a block padded for fast
    // convolution), into outRe/outIm[0..n): the same values, without storing the zeros or
    // copying the block first. The inputs must not overlap the outputs; a span too short or a
    // bad n writes nothing.
    void PaddedButterflies(std::span<const double> re, std::span<const double> im,
                           std::span<double> outRe, std::span<double> outIm, std::int32_t n) const;
    // For a power of two n up to MaxLength: position of natural bin k after Butterflies
    // (a permutation that is its own inverse); empty for any other n.
    std::span<const std::int32_t> Reversal(std::int32_t n) const;
    // Passes that read an open result (finishing it where it was left open) in natural order,
    // bin x[k] of the Butterflies result, as 8 x 8 blocks of neighbours instead of one bin from
    // each of eight far-apart lines: each bin's arithmetic is that of the whole transform and
    // then of the plain loop over k. n must be a power of two from 64 to MaxLength and every span
    // long enough (n, or n/2 for the halves); otherwise nothing is written. The inputs must not
    // overlap the outputs, and are left as they were. For k < n: out[k] = conj(x[k] * f[k]), that
    // is xr * fr - xi * fi and -(xr * fi + xi * fr).
    void ConjugateProduct(std::span<const double> re, std::span<const double> im,
                          std::span<const double> fRe, std::span<const double> fIm,
                          std::span<double> outRe, std::span<double> outIm, std::int32_t n) const;
    // Overlap-add of a block: for i < n/2, out[i] = x[i] / n + tail[i], then
    // tail[i] = x[n/2 + i] / n.
    void OverlapAdd(std::span<const double> re, std::span<const double> im, std::span<double> outRe,
                    std::span<double> outIm, std::span<double> tailRe, std::span<double> tailIm,
                    std::int32_t n) const;
    // For k < n: out[k] = sqrt(xr * xr + xi * xi).
    void Magnitudes(std::span<const double> re, std::span<const double> im, std::span<double> out,
                    std::int32_t n) const;

    // For a power of two n, natural-order bins, indices modulo n: out[k] = conj(x[k] + w[k]
    // conj(x[-k])), a widely-linear filter conjugated for an inverse by the forward transform.
    // The outputs must not overlap the inputs; a span too short or a bad n writes nothing.
    void WidelyLinear(std::span<const double> re, std::span<const double> im,
                      std::span<const double> wRe, std::span<const double> wIm,
                      std::span<double> outRe, std::span<double> outIm, std::int32_t n) const;
    // out[j] = x[j] * scale clipped to -32768..32767 and rounded half to even (16-bit samples),
    // for as many values as both spans hold. out may be x.
    void Rounded16(std::span<const double> x, double scale, std::span<double> out) const;

private:
    friend void FFT(std::span<double>, std::span<double>, std::int32_t, const FftPlan&);

    std::int32_t MaxLength_;
    Isa Path_;
    // Storage that starts on a cache line, so that vector loads of a stage's twiddles never
    // straddle two lines.
    template <typename T> struct LineAligned {
        using value_type = T;
        LineAligned() = default;
        template <typename U> LineAligned(const LineAligned<U>&) {}
        T* allocate(std::size_t n) {
            return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{64}));
        }
        void deallocate(T* p, std::size_t) { ::operator delete (p, std::align_val_t{64}); }
        bool operator==(const LineAligned&) const = default;
    };
    // Stage with half-span s (1, 2, 4, ... MaxLength/2) uses entries [s, 2s): from s = 8 on, a
    // stage's twiddles start on a cache line. Entry 0 is unused.
    std::vector<double, LineAligned<double>> Cos_;      // cos(j * 2pi/(2s)), [MaxLength]
    std::vector<double, LineAligned<double>> MinusSin_; // -sin(j * 2pi/(2s)), [MaxLength]
    // Bit-reversal permutation of length 2^k at [2^k - 1, 2^(k+1) - 1), [2 * MaxLength - 1].
    std::vector<std::int32_t> Reversal_;

    // Whether the block passes can run at length n on spans of at least `length` values.
    bool Blocked(std::int32_t n, std::size_t length,
                 std::initializer_list<std::size_t> sizes) const;
};

// In-place forward transform, natural order, unscaled, negative exponent (radix-2 decimation in
// frequency, then bit reversal). n must be a power of two no larger than the plan's MaxLength;
// any other n leaves the arrays unchanged.
void FFT(std::span<double> re, std::span<double> im, std::int32_t n, const FftPlan& plan);

// Complex conjugate of the normalised inverse transform: the imaginary part is not negated back.
// The filters return their output through this, and the sideband selection relies on it.
void InverseFFT(std::span<double> re, std::span<double> im, std::int32_t n, const FftPlan& plan);

// out = a * b element-wise for i = 0..n-1; every input of an element is read before either
// output is written, so out may be the same arrays as a (in-place multiply by a filter).
void ComplexMultiply(std::span<const double> aRe, std::span<const double> aIm,
                     std::span<const double> bRe, std::span<const double> bIm,
                     std::span<double> outRe, std::span<double> outIm, std::int32_t n);

// out[i] = sqrt(re[i]^2 + im[i]^2), i = 0..n-1.
void Magnitude(std::span<const double> re, std::span<const double> im, std::span<double> out,
               std::int32_t n);

// Largest of values[0..n-1], never below 0.0 (the running value starts at 0.0).
double MaxValue(std::span<const double> values, std::int32_t n);

// Smallest of values[0..n-1], starting from 1e40.
double MinValue(std::span<const double> values, std::int32_t n);

// Windowed (Blackman-Harris) linear-phase band pass from low to high cycles per sample:
// h[0..order] receives order + 1 taps symmetric about h[order/2]. order must be even, 2..8192,
// and h must hold order + 1 values; otherwise nothing is written.
void DesignBandPass(double low, double high, std::span<double> h, std::int32_t order);

} // namespace rxDSP
} // namespace corvane
