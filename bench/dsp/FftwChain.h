// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "DisplaySink.h"
#include "FftwTransform.h"
#include "ModDsp.h"

#include <cstdint>
#include <memory>
#include <span>

namespace corvane::bench {

// The receiver's chain with FFTW's transforms in place of its own, to put a figure beside
// modDSP::ProcessBlock: the chain it wraps keeps the state (filters, window, oscillators, AGC),
// this keeps its own overlap tails, and repeats the steps of its ProcessBlock (without the test
// tone) around whole FFTW transforms. Its output differs from the receiver's in the last bits
// only.
class FftwChain {
public:
    FftwChain(modDSP& dsp, DisplaySink& displays) : Dsp(dsp), Displays(displays) {}

    void ProcessBlock(std::span<const std::int16_t> InBlock, std::span<std::int16_t> OutBlock,
                      std::int32_t VideoFilter);

private:
    // The tail one stage adds to the next block [2048 used].
    struct Tail {
        ChainBuffer Re{};
        ChainBuffer Im{};
    };
    // The frame every stage filters a block in [4096 used], and each stage's tail.
    struct StageBuffers {
        ChainBuffer FrameRe{};
        ChainBuffer FrameIm{};
        Tail Channel;
        Tail If;
        Tail Audio;
    };

    void RunStage(FilterIndex index, Tail& tail); // on Dsp.BlockRe/BlockIm in place
    // The forward transform of one block, then the magnitudes of bins 0..count-1 into MagBuf.
    void Magnitudes(ChainArray& re, ChainArray& im, std::int32_t count);

    modDSP& Dsp;
    DisplaySink& Displays;
    FftwTransform Fftw;
    std::unique_ptr<StageBuffers> Stages = std::make_unique<StageBuffers>();
};

} // namespace corvane::bench
