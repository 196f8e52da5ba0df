// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "DisplayHarness.h"

#include "ModDsp.h"
#include "TuningModel.h"

#include <array>
#include <cmath>
#include <memory>

namespace corvane {

namespace {

constexpr Colour WindowFace = Rgb(212, 208, 200); // the window's background
constexpr Colour BoxBorder = Rgb(0, 0, 0);

// The box with a 1-pixel border whose drawing area starts at `area`.
void PlaceBordered(Surface& window, const SurfaceBox& box, Point area) {
    window.Rectangle(area.X - 1, area.Y - 1, area.X + box.Width() + 1, area.Y + box.Height() + 1,
                     Pen{BoxBorder}, BoxBorder);
    window.Blit(box.Content, RasterOp::Copy, area);
}

// A band with three tones and a little noise, continuous from block to block: a strong signal
// at -12000 Hz, the tuned CW signal 100 Hz above the +3000 Hz tuning, a weak one at +15000 Hz.
// A tone at +f Hz lies above the oscillator: Q lags I by a quarter turn.
class SyntheticBand {
public:
    void Next(std::array<std::int16_t, BlockSamples>& block) {
        struct Tone {
            double Hz;
            double Amplitude;
        };
        constexpr std::array<Tone, 3> Tones{{{-12000.0, 3000.0}, {3100.0, 800.0}, {15000.0, 60.0}}};
        for (std::int32_t j = 0; j < BlockFrames; ++j) {
            const double t = static_cast<double>(Frame++) / SampleRate;
            double i = Noise() + Noise();
            double q = Noise() + Noise();
            for (const Tone& tone : Tones) {
                const double phase = TwoPi * tone.Hz * t;
                i += tone.Amplitude * std::cos(phase);
                q -= tone.Amplitude * std::sin(phase);
            }
            block[static_cast<std::size_t>(2 * j)] = static_cast<std::int16_t>(std::lround(i));
            block[static_cast<std::size_t>(2 * j + 1)] = static_cast<std::int16_t>(std::lround(q));
        }
    }

private:
    // Uniform in [-4, 4), from a fixed linear congruential sequence.
    double Noise() {
        State = State * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(State >> 11) / 9007199254740992.0 * 8.0 - 4.0;
    }

    std::uint64_t State = 20240601;
    std::int64_t Frame = 0;
};

} // namespace

void DisplayBoxes::Init(Displays& displays) {
    displays.Traces.InitWideDisplay(Picture1, Picture2);
    displays.Traces.InitAudioDisplay(Picture3, Picture4);
    displays.Meter.InitMeter(Picture5);
}

Surface DisplayBoxes::Snapshot() const {
    constexpr std::int32_t Top = 30; // window row of the snapshot's row 0
    Surface window(1018, 680);
    window.Fill(WindowFace);
    window.Blit(Picture1.Content, RasterOp::Copy, {0, 30 - Top});
    window.Blit(Picture2.Content, RasterOp::Copy, {9, 31 - Top});
    PlaceBordered(window, Picture3, {311, 381 - Top});
    PlaceBordered(window, Picture4, {311 + 31, 381 + 31 - Top});
    window.Blit(Picture5.Content, RasterOp::Copy, {110, 400 - Top});
    return window;
}

Surface RenderReferenceFrame(int blocks) {
    constexpr std::int32_t Offset = 3000;   // Hz above the band centre
    constexpr std::int32_t VideoFilter = 4; // average over about 4 blocks
    ReceiverSettings settings;              // CW 500 Hz, as at start-up
    settings.TuningOffset = Offset;
    Displays displays(settings);
    DisplayBoxes boxes;
    boxes.Init(displays);
    const auto dsp = std::make_unique<modDSP>(settings, displays);
    ApplyStartupState(*dsp);
    TuneChain(*dsp, settings.Mode, Offset);
    const ModeBands bands = BandsFor(settings.Mode);
    displays.Traces.SetMarkerWidth(
        static_cast<std::int32_t>(std::nearbyint((bands.PassHigh - bands.PassLow) / 48.0)));

    SyntheticBand band;
    std::array<std::int16_t, BlockSamples> in{};
    std::array<std::int16_t, BlockSamples> out{};
    for (int b = 0; b < blocks; ++b) {
        band.Next(in);
        dsp->ProcessBlock(in, out, VideoFilter);
    }
    return boxes.Snapshot();
}

} // namespace corvane
