// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Per-block drawing cost of the displays: the wide trace, the audio trace and the S-meter as
// the block chain calls them, into boxes that are plain surfaces; and the waterfall's share of
// the UI thread per block and per paint.
#include "Displays.h"
#include "LabelFont.h"
#include "PictureBox.h"
#include "Waterfall.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <span>

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

// The waterfall window's work per block on the UI thread, as it is the wide trace's tap: the
// trace's points in dBV, the row into the history (with Auto's median), and the row painted
// into the view's ring image, one scanline. The wide trace's own drawing is not included.
class RowTap final : public WideTraceTap {
public:
    RowTap() : View(Waterfall::Points, 400, QImage::Format_RGB32) { History.SetAuto(true); }
    void WideTraceDrawn(const Spectrum& traces) override {
        traces.WideTraceDb(Db);
        History.AddRow(Db, Ms += 43);
        History.FollowNoise();
        Line = (Line + View.height() - 1) % View.height();
        History.PaintRow(History.Newest(), std::span(reinterpret_cast<Colour*>(View.scanLine(Line)),
                                                     static_cast<std::size_t>(View.width())));
    }
    Waterfall History;
    QImage View;
    std::array<float, Waterfall::Points> Db{};
    std::int64_t Ms = 0;
    std::int32_t Line = 0;
};

void BM_WaterfallRowPerBlock(benchmark::State& state) {
    Bench<> bench;
    RowTap tap;
    // The trace drawn once per block outside the timing; the tap timed on its own (the pause
    // itself adds a little: an upper bound).
    for (auto _ : state) {
        state.PauseTiming();
        bench.displays.DrawWideSpectrum(bench.Next(), 2048, 4);
        state.ResumeTiming();
        tap.WideTraceDrawn(bench.displays.Traces);
    }
    benchmark::DoNotOptimize(tap.View.pixel(500, tap.Line));
}
BENCHMARK(BM_WaterfallRowPerBlock)->Unit(benchmark::kMicrosecond);

// One paint of a 1000 x 400 view as the window does it, into an image standing for the
// window's backing store: the ring in two slices, the pass band's two lines and the 10 s
// time stamps (two on screen).
void BM_WaterfallPaint1000x400(benchmark::State& state) {
    Bench<> bench;
    RowTap tap;
    const LabelFont font;
    for (int k = 0; k < 600; ++k) {
        bench.displays.DrawWideSpectrum(bench.Next(), 2048, 4);
        tap.WideTraceDrawn(bench.displays.Traces);
    }
    QImage screen(Waterfall::Points, 400, QImage::Format_RGB32);
    Surface cell(4 + font.TextWidth("00:00:00"), LabelFont::CellHeight);
    QImage label;
    for (auto _ : state) {
        QPainter painter(&screen);
        const int h = tap.View.height();
        painter.drawImage(QPoint(0, 0), tap.View, QRect(0, tap.Line, 1000, h - tap.Line));
        painter.drawImage(QPoint(0, h - tap.Line), tap.View, QRect(0, 0, 1000, tap.Line));
        painter.setPen(QColor(0, 255, 0));
        painter.drawLine(560, 0, 560, h - 1);
        painter.drawLine(570, 0, 570, h - 1);
        for (int y = 0; y < h; ++y) {
            if (tap.History.Marked(tap.History.Newest() - y, 10000)) {
                cell.Fill(Rgb(0, 0, 0));
                DrawWaterfallTime(cell, 0, tap.History.RowTimeMs(tap.History.Newest() - y), font);
                cell.CopyInto(label);
                painter.drawImage(0, y, label);
            }
        }
    }
    benchmark::DoNotOptimize(screen.pixel(500, 100));
}
BENCHMARK(BM_WaterfallPaint1000x400)->Unit(benchmark::kMicrosecond);

// The whole view painted again from the history (a palette, range, scroll or size change).
void BM_WaterfallViewFromHistory1000x400(benchmark::State& state) {
    Bench<> bench;
    RowTap tap;
    for (int k = 0; k < 600; ++k) {
        bench.displays.DrawWideSpectrum(bench.Next(), 2048, 4);
        tap.WideTraceDrawn(bench.displays.Traces);
    }
    for (auto _ : state) {
        for (int y = 0; y < tap.View.height(); ++y) {
            tap.History.PaintRow(tap.History.Newest() - y,
                                 std::span(reinterpret_cast<Colour*>(tap.View.scanLine(y)),
                                           static_cast<std::size_t>(tap.View.width())));
        }
    }
    benchmark::DoNotOptimize(tap.View.pixel(500, 100));
}
BENCHMARK(BM_WaterfallViewFromHistory1000x400)->Unit(benchmark::kMicrosecond);

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
