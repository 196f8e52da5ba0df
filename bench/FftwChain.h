// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "DisplaySink.h"
#include "FftwTransform.h"
#include "ModDsp.h"

#include <cstdint>
#include <span>

namespace corvane::bench {

// The receiver's chain with FFTW's transforms in place of its own, to put a figure beside
// modDSP::ProcessBlock: the chain it wraps keeps the state (filters, window, oscillators, AGC,
// overlap tails), and this repeats the steps of its ProcessBlock (without the test tone) around
// whole FFTW transforms. Its output differs from the receiver's in the last bits only.
class FftwChain {
public:
    FftwChain(modDSP& dsp, DisplaySink& displays) : Dsp(dsp), Displays(displays) {}

    void ProcessBlock(std::span<const std::int16_t> InBlock, std::span<std::int16_t> OutBlock,
                      std::int32_t VideoFilter);

private:
    void RunStage(std::int32_t index); // a FilterIndex, on Dsp.BlockRe/BlockIm in place
    // The forward transform of one block, then the magnitudes of bins 0..count-1 into MagBuf.
    void Magnitudes(ChainArray& re, ChainArray& im, std::int32_t count);

    modDSP& Dsp;
    DisplaySink& Displays;
    FftwTransform Fftw;
};

} // namespace corvane::bench
