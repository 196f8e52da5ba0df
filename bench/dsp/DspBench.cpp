// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Speed of the exact chain and its parts, and of the same chain on FFTW, in one binary.
// Real-time factor of ProcessBlock = 42.67 ms / time per block.
#include "FftwChain.h"
#include "FftwTransform.h"
#include "IqCorrector.h"
#include "ModDsp.h"
#include "RxDsp.h"
#include "TuningModel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <vector>

namespace {

using namespace corvane;

std::vector<double> Noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-1000.0, 1000.0);
    std::vector<double> v(n);
    for (double& x : v) {
        x = dist(rng);
    }
    return v;
}

// The real and imaginary parts of a transform, laid out as the chain keeps its arrays
// (ChainBuffer): where two heap vectors happened to land decided the figure, up to 1.8 times,
// because parts a multiple of 4 KiB apart alias in the processor's store checks.
struct TransformFrame {
    ChainBuffer Re{};
    ChainBuffer Im{};
    std::span<double> RealPart(std::int32_t n) { return {Re.data(), static_cast<std::size_t>(n)}; }
    std::span<double> ImagPart(std::int32_t n) { return {Im.data(), static_cast<std::size_t>(n)}; }
};

// A band with a carrier in the pass band and noise, as 16-bit I/Q.
std::vector<std::int16_t> BandBlock(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-300, 300);
    std::vector<std::int16_t> block(BlockSamples);
    for (int j = 0; j < BlockFrames; ++j) {
        const double p = 6.283185307179586 * 1075.0 * j / 48000.0;
        block[2 * j] = static_cast<std::int16_t>(std::lround(8000 * std::sin(p)) + noise(rng));
        block[2 * j + 1] = static_cast<std::int16_t>(std::lround(8000 * std::cos(p)) + noise(rng));
    }
    return block;
}

void BM_FFT(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const auto isa = static_cast<rxDSP::Isa>(state.range(1));
    const rxDSP::FftPlan plan(4096, isa);
    const auto re0 = Noise(static_cast<std::size_t>(n), 1);
    const auto im0 = Noise(static_cast<std::size_t>(n), 2);
    const auto frame = std::make_unique<TransformFrame>();
    const std::span<double> re = frame->RealPart(n), im = frame->ImagPart(n);
    // Fresh input each time (the copy is part of the figure, as for FFTW below), so the values
    // never grow into infinities.
    for (auto _ : state) {
        std::copy(re0.begin(), re0.end(), re.begin());
        std::copy(im0.begin(), im0.end(), im.begin());
        rxDSP::FFT(re, im, n, plan);
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(plan.Path() == rxDSP::Isa::Avx512 ? "avx512"
                   : plan.Path() == rxDSP::Isa::Avx2 ? "avx2"
                                                     : "baseline");
}
BENCHMARK(BM_FFT)
    ->Args({2048, static_cast<int>(rxDSP::Isa::Baseline)})
    ->Args({2048, static_cast<int>(rxDSP::Isa::Avx2)})
    ->Args({2048, static_cast<int>(rxDSP::Isa::Avx512)})
    ->Args({4096, static_cast<int>(rxDSP::Isa::Baseline)})
    ->Args({4096, static_cast<int>(rxDSP::Isa::Avx2)})
    ->Args({4096, static_cast<int>(rxDSP::Isa::Avx512)});

void BM_FftwFFT(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const bench::FftwTransform fftw;
    const auto re0 = Noise(static_cast<std::size_t>(n), 1);
    const auto im0 = Noise(static_cast<std::size_t>(n), 2);
    const auto frame = std::make_unique<TransformFrame>();
    const std::span<double> re = frame->RealPart(n), im = frame->ImagPart(n);
    std::copy(re0.begin(), re0.end(), re.begin());
    std::copy(im0.begin(), im0.end(), im.begin());
    fftw.Forward(re, im, n); // plans
    for (auto _ : state) {
        std::copy(re0.begin(), re0.end(), re.begin());
        std::copy(im0.begin(), im0.end(), im.begin());
        fftw.Forward(re, im, n);
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FftwFFT)->Arg(2048)->Arg(4096);

struct Chain {
    ReceiverSettings settings;
    NullDisplaySink displays;
    std::unique_ptr<modDSP> dsp;
    explicit Chain(const ChainOptions& options = {})
        : dsp(std::make_unique<modDSP>(settings, displays, options)) {
        ApplyStartupState(*dsp);
    }
};

enum Stage { Channel, IntermediateFreq, Audio };

void BM_FilterStage(benchmark::State& state) {
    Chain chain;
    const auto stage = static_cast<Stage>(state.range(0));
    const auto re0 = Noise(ChainArraySize, 3);
    ChainArray re{}, im{};
    for (auto _ : state) {
        std::copy(re0.begin(), re0.end(), re.begin());
        im.fill(0.0);
        switch (stage) {
        case Channel:
            chain.dsp->ChannelFilter(re, im);
            break;
        case IntermediateFreq:
            chain.dsp->IFFilter(re, im);
            break;
        case Audio:
            chain.dsp->AudioFilter(re, im);
            break;
        }
        benchmark::DoNotOptimize(re.data());
    }
    state.SetLabel(stage == Channel            ? "ChannelFilter"
                   : stage == IntermediateFreq ? "IFFilter"
                                               : "AudioFilter");
}
BENCHMARK(BM_FilterStage)->Arg(Channel)->Arg(IntermediateFreq)->Arg(Audio);

template <typename Process> void RunChain(benchmark::State& state, Process process) {
    const auto in = BandBlock(7);
    std::vector<std::int16_t> out(BlockSamples);
    process(in, out); // warm-up (and FFTW planning)
    for (auto _ : state) {
        process(in, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime_x"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * BlockFrames / SampleRate,
                           benchmark::Counter::kIsRate);
}

void BM_ProcessBlock(benchmark::State& state) {
    Chain chain({static_cast<rxDSP::Isa>(state.range(0))});
    RunChain(state, [&](std::span<const std::int16_t> in, std::span<std::int16_t> out) {
        chain.dsp->ProcessBlock(in, out, 4);
    });
}
BENCHMARK(BM_ProcessBlock)
    ->Arg(static_cast<int>(rxDSP::Isa::Baseline))
    ->Arg(static_cast<int>(rxDSP::Isa::Avx2))
    ->Arg(static_cast<int>(rxDSP::Isa::Avx512));

// The same chain wrapped around FFTW's transforms. First it must be the same chain: over 20
// blocks its audio may differ from the receiver's by rounding only (max_diff_lsb).
void BM_ProcessBlockOnFftw(benchmark::State& state) {
    Chain exact;
    Chain wrapped;
    bench::FftwChain fftw(*wrapped.dsp, wrapped.displays);
    const auto in = BandBlock(7);
    std::vector<std::int16_t> want(BlockSamples), got(BlockSamples);
    int worst = 0;
    for (int block = 0; block < 20; ++block) {
        exact.dsp->ProcessBlock(in, want, 4);
        fftw.ProcessBlock(in, got, 4);
        for (std::size_t i = 0; i < want.size(); ++i) {
            worst = std::max(worst, std::abs(int{want[i]} - int{got[i]}));
        }
    }
    if (worst > 2) {
        state.SkipWithError("the FFTW chain's audio is not the receiver's");
        return;
    }
    RunChain(state, [&](std::span<const std::int16_t> blockIn, std::span<std::int16_t> out) {
        fftw.ProcessBlock(blockIn, out, 4);
    });
    state.counters["max_diff_lsb"] = worst;
}
BENCHMARK(BM_ProcessBlockOnFftw);

// The chain behind "I/Q corr." on a band with DC (60 and -40 LSB): its time per block, against
// BM_ProcessBlock, and how far the wide spectrum's 0 Hz bin falls with the correction
// (dc_drop_db, after 200 blocks of settling).
void BM_ProcessBlockWithIqCorrection(benchmark::State& state) {
    // A carrier of a whole number of cycles per block (1500 Hz), so that the block's own mean
    // is the DC alone.
    std::vector<std::int16_t> in(BlockSamples);
    for (int j = 0; j < BlockFrames; ++j) {
        const double p = 6.283185307179586 * 1500.0 * j / 48000.0;
        in[2 * static_cast<std::size_t>(j)] =
            static_cast<std::int16_t>(std::lround(8000 * std::sin(p)) + 60);
        in[2 * static_cast<std::size_t>(j) + 1] =
            static_cast<std::int16_t>(std::lround(8000 * std::cos(p)) - 40);
    }
    Chain plain;
    Chain corrected;
    IqCorrector corrector;
    std::vector<std::int16_t> out(BlockSamples);
    std::vector<std::int16_t> block(BlockSamples);
    for (int k = 0; k < 200; ++k) {
        plain.dsp->ProcessBlock(in, out, 4);
        std::copy(in.begin(), in.end(), block.begin());
        corrector.Correct(block);
        corrected.dsp->ProcessBlock(block, out, 4);
    }
    const double drop =
        20.0 * std::log10(plain.dsp->SpecBuf[0] / std::max(corrected.dsp->SpecBuf[0], 1e-300));
    for (auto _ : state) {
        std::copy(in.begin(), in.end(), block.begin());
        corrector.Correct(block);
        corrected.dsp->ProcessBlock(block, out, 4);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["dc_drop_db"] = drop;
}
BENCHMARK(BM_ProcessBlockWithIqCorrection);

// What "I/Q corr." adds per block: the estimates and the correction of one captured block
// (copied fresh each time, as the window copies it before correcting).
void BM_IqCorrection(benchmark::State& state) {
    const std::vector<std::int16_t> captured = BandBlock(3);
    std::vector<std::int16_t> block(captured.size());
    IqCorrector corrector;
    for (auto _ : state) {
        std::copy(captured.begin(), captured.end(), block.begin());
        corrector.Correct(block);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_IqCorrection);

} // namespace

BENCHMARK_MAIN();
