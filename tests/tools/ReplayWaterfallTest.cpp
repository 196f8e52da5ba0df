// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// corvane-replay --waterfall: the picture of a recording, on the demonstration band (its
// stations where DemoBand puts them, the CW keying down the picture) and on a long recording
// (one row per two blocks, the strongest value kept).
#include "DemoBand.h"
#include "IqFiles.h"
#include "ToolsTestSupport.h"
#include "Waterfall.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace corvane::test {
namespace {

constexpr int Axis = WaterfallAxisHeight;

QString Q(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

// A picture's pixels as positions in the classic palette (0 = weakest, 255 = strongest); -1
// for a colour of the labels.
class PaletteImage {
public:
    explicit PaletteImage(const QImage& image)
        : Image(image.convertToFormat(QImage::Format_RGB32)) {
        const Waterfall::ColourTable classic =
            Waterfall::PaletteColours(Waterfall::PaletteKind::Classic);
        for (std::size_t i = 0; i < classic.size(); ++i) {
            Index.emplace(classic[i], static_cast<int>(i));
        }
    }
    int At(int x, int y) const {
        const auto found = Index.find(Image.pixel(x, y));
        return found == Index.end() ? -1 : found->second;
    }
    // Rows (below the axis) from `first`, of the strongest of columns [x - 1, x + 1].
    std::vector<int> Column(int x, int first) const {
        std::vector<int> values;
        for (int y = Axis + first; y < Image.height(); ++y) {
            values.push_back(std::max({At(x - 1, y), At(x, y), At(x + 1, y)}));
        }
        return values;
    }
    QImage Image;

private:
    std::map<QRgb, int> Index;
};

double ShareAbove(const std::vector<int>& values, int threshold) {
    const auto n =
        std::count_if(values.begin(), values.end(), [&](int v) { return v > threshold; });
    return static_cast<double>(n) / static_cast<double>(values.size());
}

int Median(std::vector<int> values) {
    std::nth_element(values.begin(),
                     values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

int ColumnOf(double hz) {
    return static_cast<int>(std::lround(500 + hz / 48.0));
}

TEST(ReplayWaterfall, TheDemoBandShowsItsStationsAndTheCwKeyingDownThePicture) {
    ScratchDir dir;
    const ProgramRun written =
        RunProgram(CORVANE_DEMO, {QStringLiteral("--write-band"), Q(dir / "band.wav"),
                                  QStringLiteral("--seconds"), QStringLiteral("30")});
    ASSERT_EQ(written.Status, 0) << written.Err;
    const ProgramRun run =
        RunProgram(CORVANE_REPLAY, {QStringLiteral("--quiet"), QStringLiteral("--waterfall"),
                                    Q(dir / "fall.png"), QStringLiteral("--stats"),
                                    Q(dir / "s.jsonl"), Q(dir / "band.wav"), Q(dir / "out.wav")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(dir.Names(),
              (std::vector<std::string>{"band.wav", "fall.png", "out.wav", "s.jsonl"}));
    const PaletteImage fall{QImage(Q(dir / "fall.png"))};
    ASSERT_FALSE(fall.Image.isNull());
    // 30 s are 704 blocks; the first 10 are the warm-up: one row for each of the others.
    ASSERT_EQ(fall.Image.width(), 1000);
    ASSERT_EQ(fall.Image.height(), Axis + 704 - 10);

    // From the second second on (the trace's average has settled), the empty top of the band
    // is the noise, and every station's column stands out from it.
    constexpr int Settled = 24;
    std::vector<int> empty = fall.Column(ColumnOf(22000), Settled);
    const std::vector<int> more = fall.Column(ColumnOf(-22500), Settled);
    empty.insert(empty.end(), more.begin(), more.end());
    const int noise = Median(empty);
    EXPECT_LT(ShareAbove(empty, noise + 40), 0.01);
    for (const tools::CwStation& cw : tools::DemoCwStations) {
        SCOPED_TRACE(cw.Text);
        const std::vector<int> column = fall.Column(ColumnOf(cw.Hz), Settled);
        // Keyed: bright for a good part of the time, dark for another (the gaps, the word
        // spaces), and back and forth many times down the picture.
        const int peak = *std::max_element(column.begin(), column.end());
        EXPECT_GT(peak, noise + 80);
        const int middle = (peak + noise) / 2;
        EXPECT_GT(ShareAbove(column, middle), 0.15);
        EXPECT_LT(ShareAbove(column, middle), 0.85);
        int changes = 0;
        for (std::size_t y = 1; y < column.size(); ++y) {
            changes += (column[y] > middle) != (column[y - 1] > middle) ? 1 : 0;
        }
        EXPECT_GT(changes, 20);
    }
    // The sideband stations: the voice above its carrier (7000 Hz) and the tune below its own
    // (-9500 Hz), with nothing on their other sides.
    const auto busy = [&](double fromHz, double toHz) {
        double most = 0.0;
        for (int x = ColumnOf(fromHz); x <= ColumnOf(toHz); ++x) {
            most = std::max(most, ShareAbove(fall.Column(x, Settled), noise + 40));
        }
        return most;
    };
    EXPECT_GT(busy(7300, 8800), 0.3);
    EXPECT_GT(busy(-11000, -10000), 0.2);
    EXPECT_LT(busy(5000, 6500), 0.02);
    EXPECT_LT(busy(-8900, -7500), 0.02);

    // Time labels from the recording's start at the left: 00:00:10 at the first block past
    // 10 s (block 235, row 225) and 00:00:20 at block 469.
    const auto labelled = [&fall](int row) {
        int white = 0;
        for (int y = Axis + row; y < Axis + row + 8; ++y) {
            for (int x = 0; x < 44; ++x) {
                white += fall.Image.pixel(x, y) == qRgb(255, 255, 255) ? 1 : 0;
            }
        }
        return white;
    };
    EXPECT_GT(labelled(0), 20);
    EXPECT_GT(labelled(225), 20);
    EXPECT_GT(labelled(459), 20);
    EXPECT_EQ(labelled(215), 0);
    EXPECT_EQ(labelled(300), 0);
    // The axis: white labels on black over the band.
    EXPECT_EQ(fall.Image.pixel(700, 5) & 0xFFFFFF, 0u);
}

TEST(ReplayWaterfall, ALongRecordingTakesTheStrongestOfEachPairOfBlocksInAtMost4000Rows) {
    ScratchDir dir;
    // 4100 blocks (more than 4000: two blocks a row) of silence with one block of a
    // carrier at +4800 Hz (column 600).
    constexpr std::int64_t Blocks = 4100;
    constexpr std::int64_t Burst = 2000; // the first of its row's two blocks
    std::vector<std::int16_t> samples(static_cast<std::size_t>(Blocks * 2048 * 2), 0);
    const std::vector<std::int16_t> tone = Tones({{4800, 8000}}, 2048);
    std::copy(tone.begin(), tone.end(), samples.begin() + Burst * 2048 * 2);
    ASSERT_EQ(tools::WriteIqWav(dir / "in.wav", samples), "");
    const ProgramRun run =
        RunProgram(CORVANE_REPLAY, {QStringLiteral("--quiet"), QStringLiteral("--video"),
                                    QStringLiteral("1"), QStringLiteral("--waterfall"),
                                    Q(dir / "fall.png"), Q(dir / "in.wav"), Q(dir / "out.wav")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const PaletteImage fall{QImage(Q(dir / "fall.png"))};
    ASSERT_EQ(fall.Image.height(), Axis + (Blocks - 10 + 1) / 2);
    // Processed blocks 10, 11 make row 0; block 2000 is in row (2000 - 10) / 2 = 995, and
    // nowhere else is column 600 bright.
    const std::vector<int> column = fall.Column(600, 0);
    const auto brightest = std::max_element(column.begin(), column.end()) - column.begin();
    EXPECT_EQ(brightest, (Burst - 10) / 2);
    const int quiet = Median(column);
    EXPECT_GT(column[static_cast<std::size_t>(brightest)], quiet + 100);
    EXPECT_LT(column[static_cast<std::size_t>(brightest) + 3], quiet + 20);
    EXPECT_LT(column[static_cast<std::size_t>(brightest) - 3], quiet + 20);
}

} // namespace
} // namespace corvane::test
