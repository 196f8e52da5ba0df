// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "Constants.h"
#include "DisplaySink.h"
#include "ReceiverSettings.h"
#include "RxDsp.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvane {

// Every array of the chain: 4097 doubles (indices 0..4096), of which one block (2048) or one
// filter frame (4096) is used.
using ChainArray = std::array<double, ChainArraySize>;

// How the chain keeps its arrays: cache-line aligned, each followed by 512 spare bytes. Packed
// one after another they started 64 bytes past a multiple of 4 KiB from each other, and the
// processor took a 512-bit store to one array for a store to the same element of the next
// (4 KiB aliasing): a 4096-point transform ran 30 % slower than with its real and imaginary
// parts 576 bytes apart modulo 4 KiB, as they now are. Used as a ChainArray everywhere.
struct alignas(64) ChainBuffer : ChainArray {
    std::array<std::byte, 512> Spare{};
};

struct ChainOptions {
    rxDSP::Isa Isa = rxDSP::Isa::Best; // butterfly path of the chain's transforms
};

// The filters DesignFilter designs. Each number is the stage's place in the chain and the code
// DesignFilter also takes as a plain number.
enum class FilterIndex : std::int32_t {
    Channel = 0, // around the tuned offset, ahead of the AGC
    If = 1,      // the mode's pass band at the IF
    Audio = 2,   // the audio after the product detector
};

// The analysis windows MakeWindow makes for the spectra. Each number is the code MakeWindow also
// takes as a plain number (the golden values name the windows by it).
enum class WindowKind : std::int32_t {
    None = 0,
    BlackmanHarris = 1,
    Hann = 2,
};

// One overlap-add fast-convolution stage, in the shape of GNU Radio's fft_filter_ccc: the
// filter's spectrum, the frame a block is filtered in and the tail the next block adds stay
// inside, behind Design (the taps), Filter (one block) and Reset. The chain keeps three, one per
// FilterIndex, and lends them its transform plan and product scratch.
class FilterStage {
public:
    // 2049 real symmetric taps, a band pass from low to high (cycles per sample), kept as their
    // 4096-bin transform. The tail stays as it is.
    void Design(double low, double high, const rxDSP::FftPlan& plan);
    // Filters re/im[0..2047] into outRe/outIm[0..2047] (which may be re/im) and keeps the new
    // tail; freqRe/freqIm are scratch. Spans shorter than a block are refused.
    void Filter(std::span<const double> re, std::span<const double> im, const rxDSP::FftPlan& plan,
                ChainArray& freqRe, ChainArray& freqIm, std::span<double> outRe,
                std::span<double> outIm);
    // Everything to zero, the filter too (a freshly built receiver has none designed).
    void Reset();

    // The filter's spectrum, 4096 bins (read only).
    const ChainArray& SpectrumRe() const { return SpectrumRe_; }
    const ChainArray& SpectrumIm() const { return SpectrumIm_; }

private:
    ChainBuffer SpectrumRe_{};
    ChainBuffer SpectrumIm_{};
    // The work frame: the transform of the block zero padded to 4096 [4096 used]; scratch.
    ChainBuffer WorkRe_{};
    ChainBuffer WorkIm_{};
    // The tail of the last frame, added to the next block [2048 used], in input sample units.
    ChainBuffer OverlapRe_{};
    ChainBuffer OverlapIm_{};
};

// The receiver's signal processing: the per-block chain, the three fast-convolution stages with
// the AGC, filter design, analysis windows and oscillator setup. The window owns one instance
// (about 1 MB: allocate it on the heap) and calls it on the UI thread only.
class modDSP {
public:
    modDSP(const ReceiverSettings& settings, DisplaySink& displays,
           const ChainOptions& options = {});
    modDSP(const modDSP&) = delete;
    modDSP& operator=(const modDSP&) = delete;

    // One block: InBlock[4096] interleaved I (left), Q (right) in; OutBlock[4096] audio out,
    // equal left and right. Spans shorter than 4096 samples are refused (nothing happens).
    void ProcessBlock(std::span<const std::int16_t> InBlock, std::span<std::int16_t> OutBlock,
                      std::int32_t VideoFilter);

    // The fast-convolution stages filter re/im[0..2047] in place.
    void ChannelFilter(std::span<double> re, std::span<double> im); // then the AGC
    void IFFilter(std::span<double> re, std::span<double> im);
    void AudioFilter(std::span<double> re, std::span<double> im);

    // Band edges in Hz. The second form is for a caller that holds the filter's number; a
    // number that names none of the three only records the edges.
    void DesignFilter(FilterIndex index, std::int32_t lowHz, std::int32_t highHz);
    void DesignFilter(std::int32_t index, std::int32_t lowHz, std::int32_t highHz);
    // n is 2048 in this receiver (2..4096 accepted). The second form is for a caller that holds
    // the window's number; a number that names none keeps the first half and the gain and only
    // mirrors.
    void MakeWindow(WindowKind kind, std::int32_t n);
    void MakeWindow(std::int32_t kind, std::int32_t n);
    // a: absolute offset (Hz); sign: -1, 0, 1; split 15000; IF 6000 or 18000; low/high: pass band.
    void SetOscillators(double a, std::int16_t sign, std::int32_t split, std::int32_t IF,
                        std::int32_t low, std::int32_t high);

    // Back to the state of a freshly built receiver (phases, overlap tails, AGC, spectra, window).
    void Reset();

    // --- Oscillators (radians, radians per sample); phases run on across blocks and retunes.
    double TestPhase = 0.0; // 10 kHz test tone
    double TestStep = 0.0;
    double Lo1Phase = 0.0; // first, quadrature oscillator
    double Lo1Step = 0.0;
    double BfoPhase = 0.0; // beat oscillator
    double BfoStep = 0.0;
    std::int16_t NegativeOffset = 0; // -1: tuned below 0 Hz
    std::int16_t HighSide = 0;       // -1: absolute offset 15000 Hz or more

    // --- Analysis window for both spectra.
    ChainBuffer Window{};    // [2048 used]
    double WindowGain = 0.0; // 1.0 none, 2.8 Blackman-Harris, 2.0 Hann

    // A stage as the chain keeps it (read only); index: one of the three.
    const FilterStage& Stage(FilterIndex index) const { return Stages[Slot(index)]; }

private:
    // --- The fast-convolution stages, at Slot(index) (here, ahead of the views below).
    std::array<FilterStage, 3> Stages{};

public:
    // Read-only views of the filters' spectra (transforms of 2049 real symmetric taps, 4096
    // bins each).
    const ChainArray& ChanFilterRe = Stage(FilterIndex::Channel).SpectrumRe();
    const ChainArray& ChanFilterIm = Stage(FilterIndex::Channel).SpectrumIm();
    const ChainArray& IFFilterRe = Stage(FilterIndex::If).SpectrumRe();
    const ChainArray& IFFilterIm = Stage(FilterIndex::If).SpectrumIm();
    const ChainArray& AudioFilterRe = Stage(FilterIndex::Audio).SpectrumRe();
    const ChainArray& AudioFilterIm = Stage(FilterIndex::Audio).SpectrumIm();
    double EdgeLow = 0.0; // edges of the latest design, cycles per sample
    double EdgeHigh = 0.0;

    // --- AGC.
    static constexpr std::int32_t AgcSlots = 25;
    std::int16_t AgcOn = 0;                    // -1: the AGC acts
    std::int32_t AgcLength = 0;                // history slots in use: 4 fast, 9 slow
    std::int32_t MaxGain = 1000;               // gain ceiling
    std::int32_t AgcIndex = 0;                 // slot written last
    std::array<double, AgcSlots> AgcHistory{}; // per-block gain candidates 16384 / peak
    double AgcPeak = 0.0;     // largest channel-filter output magnitude of the block, pre-gain
    double AgcGain = 0.0;     // gain chosen for the latest block
    double AgcPrevGain = 0.0; // gain in force at the end of the previous block

    // --- Results of the latest block, as handed to the displays.
    double SpectrumNorm = 0.0; // 67108864 / WindowGain
    double SmeterLevel = 0.0;  // 0 at -140 dB, 1000 at 0 dB

    // --- Per-block scratch of ProcessBlock (contents valid after a block; nothing carried over).
    ChainBuffer BlockRe{}; // complex block, then the real IF/audio signal
    ChainBuffer BlockIm{};
    ChainBuffer WinRe{}; // windowed copies for the wide spectrum
    ChainBuffer WinIm{};
    ChainBuffer MagBuf{};  // magnitudes
    ChainBuffer SpecBuf{}; // normalised magnitudes handed to the displays

    // Peak-hold AGC on the channel stage's output re/im[0..2047], which ChannelFilter runs after
    // the stage.
    void RunAgc(std::span<double> re, std::span<double> im);

    // Gains and scales of the chain.
    static constexpr double MixerGain = 4.0;
    static constexpr double SpectrumScale = 67108864.0; // 2^26, divided by the window gain
    static constexpr double ZeroPeak = 1.1e-7; // stands in for a zero peak before the logarithm

private:
    // Where a filter's stage sits in Stages: past the end for a number that names none.
    static std::size_t Slot(FilterIndex index) { return static_cast<std::size_t>(index); }
    // Forward transform then magnitudes of bins 0..count-1 into MagBuf.
    void SpectrumMagnitudes(ChainArray& re, ChainArray& im, std::int32_t count);
    // One stage over re/im[0..2047] in place; the channel stage's output passes the AGC.
    void RunStage(FilterIndex index, std::span<double> re, std::span<double> im);

    const ReceiverSettings& Settings;
    DisplaySink& Displays;
    rxDSP::FftPlan Plan; // exact transform, 2..4096 points

    ChainBuffer ChanMag{}; // magnitudes of the channel output [2048 used]
    // Product of a block's spectrum with a filter, in natural bin order [4096 used]; scratch.
    ChainBuffer FreqRe{};
    ChainBuffer FreqIm{};
};

} // namespace corvane
