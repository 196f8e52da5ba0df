// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ModDsp.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

constexpr double AgcTarget = 16384.0;  // the AGC brings the block peak to this magnitude
constexpr std::int32_t AgcRamp = 48;   // samples (1 ms) over which a gain change is spread
constexpr double ToneAmplitude = 0.36; // test tone; 3.6 with "+ 20dB"

void Fill(std::span<double> values, double v) {
    std::fill(values.begin(), values.end(), v);
}

// Audio sample to the 16-bit output: round half to even, saturate at the 16-bit limits.
std::int16_t ToSample(double v) {
    const double r = RoundHalfEven(v);
    if (r >= 32767.0) {
        return 32767;
    }
    if (r <= -32768.0) {
        return -32768;
    }
    if (std::isnan(r)) {
        return 0;
    }
    return static_cast<std::int16_t>(r);
}

} // namespace

modDSP::modDSP(const ReceiverSettings& settings, DisplaySink& displays, const ChainOptions& options)
    : Settings(settings), Displays(displays), Plan(FilterFrame, options.Isa) {}

void modDSP::Reset() {
    TestPhase = TestStep = Lo1Phase = Lo1Step = BfoPhase = BfoStep = 0.0;
    NegativeOffset = HighSide = 0;
    for (FilterStage& stage : Stages) {
        stage.Reset();
    }
    for (ChainArray* a : {&Window, &BlockRe, &BlockIm, &WinRe, &WinIm, &MagBuf, &SpecBuf, &ChanMag,
                          &FreqRe, &FreqIm}) {
        a->fill(0.0);
    }
    WindowGain = EdgeLow = EdgeHigh = 0.0;
    AgcOn = 0;
    AgcLength = 0;
    MaxGain = 1000;
    AgcIndex = 0;
    AgcHistory.fill(0.0);
    AgcPeak = AgcGain = AgcPrevGain = 0.0;
    SpectrumNorm = SmeterLevel = 0.0;
}

// Overlap-add fast convolution of one 2048-sample block with a 2049-tap filter: the block is
// zero-extended to 4096 points, so the product of the spectra never wraps around.
void FilterStage::Filter(std::span<const double> re, std::span<const double> im,
                         const rxDSP::FftPlan& plan, ChainArray& freqRe, ChainArray& freqIm,
                         std::span<double> outRe, std::span<double> outIm) {
    constexpr auto block = static_cast<std::size_t>(BlockFrames);
    if (re.size() < block || im.size() < block || outRe.size() < block || outIm.size() < block) {
        return;
    }
    // The block is read straight into the transform, its zero half implied. The last pass and
    // the reordering of both transforms are folded into passes made anyway: the product
    // gathers the forward spectrum from bit-reversed order (negating the imaginary part as the
    // inverse begins), and the overlap-add gathers the inverse result. Every value sees the
    // same operations as with the whole transforms.
    plan.PaddedButterflies(re.first(block), im.first(block), WorkRe_, WorkIm_, FilterFrame);
    plan.ConjugateProduct(WorkRe_, WorkIm_, SpectrumRe_, SpectrumIm_, freqRe, freqIm, FilterFrame);
    plan.OpenButterflies(freqRe, freqIm, FilterFrame);
    plan.OverlapAdd(freqRe, freqIm, outRe, outIm, OverlapRe_, OverlapIm_, FilterFrame);
}

void FilterStage::Design(double low, double high, const rxDSP::FftPlan& plan) {
    SpectrumIm_.fill(0.0);
    SpectrumRe_.fill(0.0);
    rxDSP::DesignBandPass(low, high, SpectrumRe_, FilterOrder);
    rxDSP::FFT(SpectrumRe_, SpectrumIm_, FilterFrame, plan);
}

void FilterStage::Reset() {
    for (ChainArray* a :
         {&SpectrumRe_, &SpectrumIm_, &WorkRe_, &WorkIm_, &OverlapRe_, &OverlapIm_}) {
        a->fill(0.0);
    }
}

void modDSP::RunStage(FilterIndex index, std::span<double> re, std::span<double> im) {
    // Both refuse spans shorter than a block.
    Stages[Slot(index)].Filter(re, im, Plan, FreqRe, FreqIm, re, im);
    if (index == FilterIndex::Channel) {
        RunAgc(re, im);
    }
}

void modDSP::SpectrumMagnitudes(ChainArray& re, ChainArray& im, std::int32_t count) {
    // Only magnitudes are wanted: read them in natural order straight from the bit-reversed
    // result (re/im are scratch and stay reordered).
    if (count == BlockFrames) { // every bin: the last pass and the reading by blocks
        Plan.OpenButterflies(re, im, BlockFrames);
        Plan.Magnitudes(re, im, MagBuf, BlockFrames);
        return;
    }
    Plan.Butterflies(re, im, BlockFrames);
    const std::span<const std::int32_t> rev = Plan.Reversal(BlockFrames);
    for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) {
        const auto m = static_cast<std::size_t>(rev[k]);
        MagBuf[k] = std::sqrt(re[m] * re[m] + im[m] * im[m]);
    }
}

void modDSP::ChannelFilter(std::span<double> re, std::span<double> im) {
    RunStage(FilterIndex::Channel, re, im);
}

void modDSP::IFFilter(std::span<double> re, std::span<double> im) {
    RunStage(FilterIndex::If, re, im);
}

void modDSP::AudioFilter(std::span<double> re, std::span<double> im) {
    RunStage(FilterIndex::Audio, re, im);
}

// Peak-hold AGC over the last AgcLength blocks, on the channel filter's work frame [0..2047].
void modDSP::RunAgc(std::span<double> chanRe, std::span<double> chanIm) {
    if (chanRe.size() < static_cast<std::size_t>(BlockFrames) ||
        chanIm.size() < static_cast<std::size_t>(BlockFrames)) {
        return;
    }
    rxDSP::Magnitude(chanRe, chanIm, ChanMag, BlockFrames);
    AgcPeak = rxDSP::MaxValue(ChanMag, BlockFrames);
    if (AgcOn != -1) {
        return;
    }
    // Lengths beyond the history would index past it; the handlers only ever set 4 or 9.
    const std::int32_t length = std::clamp(AgcLength, 0, AgcSlots);
    if (AgcIndex < length - 1) {
        AgcIndex = AgcIndex + 1;
    } else {
        AgcIndex = 0;
    }
    if (AgcPeak != 0.0) {
        AgcHistory[static_cast<std::size_t>(AgcIndex)] = AgcTarget / AgcPeak;
        AgcGain = rxDSP::MinValue(AgcHistory, length);
    } else {
        AgcGain = 1.0;
    }
    if (MaxGain < AgcGain) {
        AgcGain = MaxGain;
    }

    std::size_t rampEnd = 0;
    if (AgcGain < AgcPrevGain) {
        const double step = (AgcPrevGain - AgcGain) / AgcRamp;
        for (std::size_t i = 0; i < AgcRamp; ++i) {
            const double g = AgcPrevGain - static_cast<double>(i + 1) * step;
            chanRe[i] = chanRe[i] * g;
            chanIm[i] = chanIm[i] * g;
        }
        rampEnd = AgcRamp;
    } else if (AgcGain > AgcPrevGain) {
        const double step = (AgcGain - AgcPrevGain) / AgcRamp;
        for (std::size_t i = 0; i < AgcRamp; ++i) {
            const double g = AgcPrevGain + static_cast<double>(i + 1) * step;
            chanRe[i] = chanRe[i] * g;
            chanIm[i] = chanIm[i] * g;
        }
        rampEnd = AgcRamp;
    }
    for (std::size_t i = rampEnd; i < static_cast<std::size_t>(BlockFrames); ++i) {
        chanRe[i] = chanRe[i] * AgcGain;
        chanIm[i] = chanIm[i] * AgcGain;
    }
    AgcPrevGain = AgcGain;
}

void modDSP::DesignFilter(FilterIndex index, std::int32_t lowHz, std::int32_t highHz) {
    EdgeHigh = highHz / 48000.0;
    EdgeLow = lowHz / 48000.0;
    if (Slot(index) >= Stages.size()) {
        return; // a number that names no filter
    }
    Stages[Slot(index)].Design(EdgeLow, EdgeHigh, Plan);
}

void modDSP::DesignFilter(std::int32_t index, std::int32_t lowHz, std::int32_t highHz) {
    DesignFilter(static_cast<FilterIndex>(index), lowHz, highHz);
}

void modDSP::MakeWindow(WindowKind kind, std::int32_t n) {
    if (n < 2 || n > BlockSamples) {
        return; // the window array holds at most 4096 used values
    }
    const double e = TwoPi / n;
    const auto count = static_cast<std::size_t>(n);
    switch (kind) {
    case WindowKind::None:
        std::fill_n(Window.begin(), count, 1.0);
        WindowGain = 1.0;
        break;
    case WindowKind::BlackmanHarris:
        for (std::size_t i = 0; i < count / 2; ++i) {
            const double id = static_cast<double>(i);
            Window[i] = 0.35875 - 0.48829 * std::cos(e * id) + 0.14128 * std::cos(2 * e * id) -
                        0.01168 * std::cos(3 * e * id);
        }
        WindowGain = 2.8;
        break;
    case WindowKind::Hann:
        for (std::size_t i = 0; i < count; ++i) {
            Window[i] = 0.5 - 0.5 * std::cos(e * static_cast<double>(i));
        }
        WindowGain = 2.0;
        break;
    }
    // Mirror: the second half repeats the first backwards, symmetric about (n - 1) / 2.
    for (std::size_t i = count / 2; i < count; ++i) {
        Window[i] = Window[count - 1 - i];
    }
}

void modDSP::MakeWindow(std::int32_t kind, std::int32_t n) {
    MakeWindow(static_cast<WindowKind>(kind), n);
}

void modDSP::SetOscillators(double a, std::int16_t sign, std::int32_t split, std::int32_t IF,
                            std::int32_t low, std::int32_t high) {
    TestStep = 62831.853072 / 48000;
    NegativeOffset = sign < 0 ? -1 : 0;
    const double h = std::nearbyint((high - low) / 2.0);
    double L = 0.0;
    if (a >= split) {
        HighSide = -1;
        L = a - IF - h;
    } else {
        HighSide = 0;
        L = IF - a + h;
    }
    Lo1Step = L * TwoPi / 48000;

    // Below 0 Hz the first mixer delivers the pass band mirrored, so the beat oscillator goes to
    // the other side of the IF band there: the audio stays upright in USB and CW and inverted in
    // LSB on both halves of the band.
    const bool lsb = Settings.Mode == DemodMode::Lsb;
    const bool negative = NegativeOffset == -1;
    const std::int32_t T = (lsb != negative) ? IF + high : IF - low;
    BfoStep = T * TwoPi / 48000;
}

void modDSP::ProcessBlock(std::span<const std::int16_t> InBlock, std::span<std::int16_t> OutBlock,
                          std::int32_t VideoFilter) {
    if (InBlock.size() < static_cast<std::size_t>(BlockSamples) ||
        OutBlock.size() < static_cast<std::size_t>(BlockSamples)) {
        return;
    }
    constexpr auto frames = static_cast<std::size_t>(BlockFrames);

    // Input plus test tone. The transformed signal is right + i * left.
    const double toneAmp = Settings.TestPlus20dB ? 3.6 : ToneAmplitude;
    const TestSignal test = Settings.Test;
    double testPhase = TestPhase;
    for (std::size_t j = 0; j < frames; ++j) {
        testPhase = AdvancePhase(testPhase, TestStep);
        double left = 0.0;
        double right = 0.0;
        switch (test) {
        case TestSignal::IPlusQ:
            left = toneAmp * std::sin(testPhase);
            right = toneAmp * std::cos(testPhase);
            break;
        case TestSignal::IMinusQ:
            left = toneAmp * std::sin(testPhase);
            right = -toneAmp * std::cos(testPhase);
            break;
        case TestSignal::IOnly:
            left = 2 * toneAmp * std::sin(testPhase);
            break;
        case TestSignal::None:
            break;
        }
        BlockRe[j] = InBlock[2 * j + 1] + right;
        BlockIm[j] = InBlock[2 * j] + left;
    }
    TestPhase = testPhase;

    // Wide spectrum of the windowed input.
    for (std::size_t j = 0; j < frames; ++j) {
        WinRe[j] = Window[j] * BlockRe[j];
        WinIm[j] = Window[j] * BlockIm[j];
    }
    SpectrumMagnitudes(WinRe, WinIm, BlockFrames);
    SpectrumNorm = SpectrumScale / WindowGain;
    for (std::size_t k = 0; k < frames; ++k) {
        SpecBuf[k] = MagBuf[k] / SpectrumNorm;
    }
    Displays.DrawWideSpectrum(SpecBuf, BlockFrames, VideoFilter);

    ChannelFilter(BlockRe, BlockIm);

    // Quadrature mixer; the sum selects the band when exactly one of the flags is set.
    const bool sum =
        (NegativeOffset == -1 && HighSide == 0) || (NegativeOffset == 0 && HighSide == -1);
    double lo1Phase = Lo1Phase;
    for (std::size_t j = 0; j < frames; ++j) {
        lo1Phase = AdvancePhase(lo1Phase, Lo1Step);
        const double re = std::sin(lo1Phase) * BlockRe[j] * MixerGain;
        const double im = std::cos(lo1Phase) * BlockIm[j] * MixerGain;
        BlockRe[j] = sum ? re + im : re - im;
    }
    Lo1Phase = lo1Phase;

    Fill(BlockIm, 0.0);
    IFFilter(BlockRe, BlockIm);

    // Beat oscillator down to audio.
    double bfoPhase = BfoPhase;
    for (std::size_t j = 0; j < frames; ++j) {
        bfoPhase = AdvancePhase(bfoPhase, BfoStep);
        BlockRe[j] = std::sin(bfoPhase) * BlockRe[j];
    }
    BfoPhase = bfoPhase;

    Fill(BlockIm, 0.0);
    AudioFilter(BlockRe, BlockIm);

    // Output block, both channels alike; then window the audio for its spectrum.
    for (std::size_t j = 0; j < frames; ++j) {
        const std::int16_t v = ToSample(BlockRe[j]);
        OutBlock[2 * j + 1] = v;
        OutBlock[2 * j] = v;
        BlockRe[j] = Window[j] * BlockRe[j];
    }

    Fill(BlockIm, 0.0);
    SpectrumMagnitudes(BlockRe, BlockIm, AudioBins);
    for (std::size_t k = 0; k < static_cast<std::size_t>(AudioBins); ++k) {
        SpecBuf[k] = MagBuf[k] / SpectrumNorm;
    }
    Displays.DrawAudioSpectrum(SpecBuf, BlockFrames, VideoFilter);

    // S-meter: 0 at -140 dB, 1000 at 0 dB, no upper limit.
    if (AgcPeak == 0.0) {
        AgcPeak = ZeroPeak;
    }
    const double dB = 20 * std::log10(AgcPeak / SpectrumNorm * 300);
    if (dB >= -140) {
        SmeterLevel = 1000.0 / 140 * (140 + dB);
    } else {
        SmeterLevel = 0.0;
    }
    Displays.DrawMeter(SmeterLevel);
}

} // namespace corvane
