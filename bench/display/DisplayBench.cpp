// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Per-block drawing cost of the displays: the wide trace, the audio trace and the S-meter as
// the block chain calls them, into boxes that are plain surfaces.
#include "Displays.h"
#include "PictureBox.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>

namespace {

using namespace corvane;

// A box that shows nothing: what is left is the displays' own drawing.
class DiscardingBox final : public PictureBox {
public:
    DiscardingBox(std::int32_t width, std::int32_t height) : W(width), H(height) {}
    std::int32_t Width() const override { return W; }
    std::int32_t Height() const override { return H; }
    void Show(const Surface&) override {}

private:
    std::int32_t W;
    std::int32_t H;
};

// A receiver's displays on the window's five boxes, fed noise with a few carriers.
template <typename Box = SurfaceBox> struct Bench {
    Bench() {
        settings.TuningOffset = 3000;
        displays.Traces.InitWideDisplay(p1, p2);
        displays.Traces.InitAudioDisplay(p3, p4);
        displays.Meter.InitMeter(p5);
        displays.Traces.SetMarkerWidth(10);
        std::uint32_t state = 1;
        for (auto& spectrum : spectra) {
            for (double& bin : spectrum) {
                state = state * 1664525u + 1013904223u;
                bin = 1e-5 * (0.5 + static_cast<double>(state >> 8) / 16777216.0);
            }
            spectrum[1536] = 0.3;
            spectrum[133] = 0.01;
            spectrum[35] = 0.02;
        }
    }

    const std::array<double, 2048>& Next() { return spectra[(block++) % spectra.size()]; }

    ReceiverSettings settings;
    Displays displays{settings};
    Box p1{1018, 345}, p2{1000, 280}, p3{258, 328}, p4{198, 280}, p5{180, 180};
    std::array<std::array<double, 2048>, 8> spectra{};
    std::size_t block = 0;
};

void BM_WideSpectrum(benchmark::State& state) {
    Bench<> bench;
    for (auto _ : state) {
        bench.displays.DrawWideSpectrum(bench.Next(), 2048, 4);
    }
    benchmark::DoNotOptimize(bench.p2.Content.Pixel(500, 100));
}
BENCHMARK(BM_WideSpectrum)->Unit(benchmark::kMicrosecond);

void BM_AudioSpectrum(benchmark::State& state) {
    Bench<> bench;
    for (auto _ : state) {
        bench.displays.DrawAudioSpectrum(bench.Next(), 2048, 4);
    }
    benchmark::DoNotOptimize(bench.p4.Content.Pixel(100, 100));
}
BENCHMARK(BM_AudioSpectrum)->Unit(benchmark::kMicrosecond);

void BM_Meter(benchmark::State& state) {
    Bench<> bench;
    double level = 0;
    for (auto _ : state) {
        bench.displays.DrawMeter(level);
        level = level < 1000 ? level + 37 : 0;
    }
    benchmark::DoNotOptimize(bench.p5.Content.Pixel(100, 100));
}
BENCHMARK(BM_Meter)->Unit(benchmark::kMicrosecond);

// One block's display work as the chain does it, shown in boxes that are plain surfaces (the
// box copies included): the figure to keep under 0.3 ms.
template <typename Box> void BM_AllDisplaysPerBlock(benchmark::State& state) {
    Bench<Box> bench;
    double level = 0;
    for (auto _ : state) {
        const auto& spectrum = bench.Next();
        bench.displays.DrawWideSpectrum(spectrum, 2048, 4);
        bench.displays.DrawAudioSpectrum(spectrum, 2048, 4);
        bench.displays.DrawMeter(level);
        level = level < 1000 ? level + 37 : 0;
    }
    benchmark::DoNotOptimize(bench.displays.Traces.WideFrameDC.Pixel(500, 100));
}
BENCHMARK(BM_AllDisplaysPerBlock<SurfaceBox>)->Unit(benchmark::kMicrosecond);
// The same without the copies to the boxes: the displays' own share.
BENCHMARK(BM_AllDisplaysPerBlock<DiscardingBox>)->Unit(benchmark::kMicrosecond);

} // namespace

// The label font needs a QGuiApplication; benchmarks always run off-screen.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
