// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "FftwChain.h"

#include "RxDsp.h"

#include <algorithm>
#include <cmath>

namespace corvane::bench {

namespace {
constexpr auto Frames = static_cast<std::size_t>(BlockFrames);
} // namespace

void FftwChain::Magnitudes(ChainArray& re, ChainArray& im, std::int32_t count) {
    Fftw.Forward(re, im, BlockFrames);
    rxDSP::Magnitude(re, im, Dsp.MagBuf, count);
}

void FftwChain::RunStage(FilterIndex index, Tail& tail) {
    const FilterStage& stage = Dsp.Stage(index);
    ChainArray& re = Stages->FrameRe;
    ChainArray& im = Stages->FrameIm;
    std::copy_n(Dsp.BlockRe.begin(), Frames, re.begin());
    std::copy_n(Dsp.BlockIm.begin(), Frames, im.begin());
    std::fill(re.begin() + BlockFrames, re.end(), 0.0);
    std::fill(im.begin() + BlockFrames, im.end(), 0.0);
    Fftw.Forward(re, im, FilterFrame);
    rxDSP::ComplexMultiply(re, im, stage.SpectrumRe(), stage.SpectrumIm(), re, im, FilterFrame);
    Fftw.Inverse(re, im, FilterFrame);
    for (std::size_t i = 0; i < Frames; ++i) {
        re[i] = re[i] + tail.Re[i];
        im[i] = im[i] + tail.Im[i];
    }
    std::copy(re.begin() + BlockFrames, re.begin() + FilterFrame, tail.Re.begin());
    std::copy(im.begin() + BlockFrames, im.begin() + FilterFrame, tail.Im.begin());
    if (index == FilterIndex::Channel) {
        Dsp.RunAgc(re, im);
    }
    std::copy_n(re.begin(), Frames, Dsp.BlockRe.begin());
    std::copy_n(im.begin(), Frames, Dsp.BlockIm.begin());
}

void FftwChain::ProcessBlock(std::span<const std::int16_t> InBlock,
                             std::span<std::int16_t> OutBlock, std::int32_t VideoFilter) {
    modDSP& d = Dsp;
    for (std::size_t j = 0; j < Frames; ++j) {
        d.BlockRe[j] = InBlock[2 * j + 1];
        d.BlockIm[j] = InBlock[2 * j];
    }
    for (std::size_t j = 0; j < Frames; ++j) {
        d.WinRe[j] = d.Window[j] * d.BlockRe[j];
        d.WinIm[j] = d.Window[j] * d.BlockIm[j];
    }
    Magnitudes(d.WinRe, d.WinIm, BlockFrames);
    d.SpectrumNorm = modDSP::SpectrumScale / d.WindowGain;
    for (std::size_t k = 0; k < Frames; ++k) {
        d.SpecBuf[k] = d.MagBuf[k] / d.SpectrumNorm;
    }
    Displays.DrawWideSpectrum(d.SpecBuf, BlockFrames, VideoFilter);

    RunStage(FilterIndex::Channel, Stages->Channel);
    const bool sum =
        (d.NegativeOffset == -1 && d.HighSide == 0) || (d.NegativeOffset == 0 && d.HighSide == -1);
    for (std::size_t j = 0; j < Frames; ++j) {
        d.Lo1Phase = AdvancePhase(d.Lo1Phase, d.Lo1Step);
        const double re = std::sin(d.Lo1Phase) * d.BlockRe[j] * modDSP::MixerGain;
        const double im = std::cos(d.Lo1Phase) * d.BlockIm[j] * modDSP::MixerGain;
        d.BlockRe[j] = sum ? re + im : re - im;
    }
    d.BlockIm.fill(0.0);
    RunStage(FilterIndex::If, Stages->If);
    for (std::size_t j = 0; j < Frames; ++j) {
        d.BfoPhase = AdvancePhase(d.BfoPhase, d.BfoStep);
        d.BlockRe[j] = std::sin(d.BfoPhase) * d.BlockRe[j];
    }
    d.BlockIm.fill(0.0);
    RunStage(FilterIndex::Audio, Stages->Audio);

    for (std::size_t j = 0; j < Frames; ++j) {
        const double r = std::clamp(std::nearbyint(d.BlockRe[j]), -32768.0, 32767.0);
        const auto v = static_cast<std::int16_t>(std::isnan(r) ? 0.0 : r);
        OutBlock[2 * j + 1] = v;
        OutBlock[2 * j] = v;
        d.BlockRe[j] = d.Window[j] * d.BlockRe[j];
    }
    d.BlockIm.fill(0.0);
    Magnitudes(d.BlockRe, d.BlockIm, AudioBins);
    for (std::size_t k = 0; k < static_cast<std::size_t>(AudioBins); ++k) {
        d.SpecBuf[k] = d.MagBuf[k] / d.SpectrumNorm;
    }
    Displays.DrawAudioSpectrum(d.SpecBuf, BlockFrames, VideoFilter);

    if (d.AgcPeak == 0.0) {
        d.AgcPeak = modDSP::ZeroPeak;
    }
    const double dB = 20 * std::log10(d.AgcPeak / d.SpectrumNorm * 300);
    d.SmeterLevel = dB >= -140 ? 1000.0 / 140 * (140 + dB) : 0.0;
    Displays.DrawMeter(d.SmeterLevel);
}

} // namespace corvane::bench
