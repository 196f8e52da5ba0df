// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The waterfall window: opening and closing from the receiver, its rows from the wide trace,
// its picture (colours, pass band, time stamps, the ring, narrower views), tuning by clicking
// it, pausing and scrolling, and the settings the receiver remembers.
#include "WindowHarness.h"

#include "Palette.h"
#include "PictureBoxWidget.h"
#include "WaterfallWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace corvane::test {
namespace {

constexpr auto Points = static_cast<std::size_t>(Waterfall::Points);

class WaterfallWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rx.Load());
        rx.WaitForDisplays();
    }
    frmReceiver& w() { return *rx.Window; }
    WaterfallWindow& Open() {
        w().SetWaterfallOpen(true);
        WaterfallWindow& fall = *w().frmWaterfall;
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&fall));
        return fall;
    }
    // The view as the screen shows it.
    static QImage Shot(WaterfallWindow& fall) {
        return fall.View->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    static Colour At(const QImage& image, int x, int y) { return image.pixel(x, y); }
    // A row of levels: `level` everywhere except `spikes`, at 255.
    static std::array<std::uint8_t, Points> Levels(std::uint8_t level,
                                                   std::initializer_list<std::size_t> spikes = {}) {
        std::array<std::uint8_t, Points> row{};
        row.fill(level);
        for (const std::size_t p : spikes) {
            row[p] = 255;
        }
        return row;
    }
    static void Add(WaterfallWindow& fall, const std::array<std::uint8_t, Points>& row,
                    std::int64_t ms) {
        fall.Picture.AddLevels(row, ms);
        fall.View->RowAdded();
    }

    Receiver rx{3000.0, 3000.0};
};

TEST_F(WaterfallWindowTest, TheBoxUnderSwapIqAndTheKeyWOpenAndCloseTheWindow) {
    ASSERT_NE(w().chkWaterfall, nullptr);
    EXPECT_EQ(w().chkWaterfall->parentWidget(), w().FrTuning);
    EXPECT_EQ(w().chkWaterfall->geometry(), QRect(110, 210, 90, 20));
    EXPECT_EQ(w().chkWaterfall->text(), "Waterfall");
    EXPECT_TRUE(w().chkWaterfall->isVisible());
    // Nothing of the waterfall exists until it is asked for, and the trace has no tap.
    EXPECT_FALSE(w().WaterfallOpen());
    EXPECT_EQ(w().frmWaterfall, nullptr);
    EXPECT_EQ(w().Screens.Traces.WideTapOf(), nullptr);

    Click(w().chkWaterfall);
    ASSERT_NE(w().frmWaterfall, nullptr);
    WaterfallWindow& fall = *w().frmWaterfall;
    EXPECT_TRUE(fall.isVisible());
    EXPECT_TRUE(fall.isWindow());
    EXPECT_EQ(w().Screens.Traces.WideTapOf(), &fall);
    // 1000 columns, aligned with the wide spectrum, and about 400 rows.
    EXPECT_EQ(fall.View->width(), 1000);
    EXPECT_NEAR(fall.View->height(), 400, 20);
    EXPECT_EQ(fall.Axis->width(), 1000);

    // Closing the window clears the box and the tap.
    fall.close();
    EXPECT_FALSE(w().chkWaterfall->isChecked());
    EXPECT_FALSE(fall.isVisible());
    EXPECT_EQ(w().Screens.Traces.WideTapOf(), nullptr);

    // W on the receiver window opens it again and closes it.
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    QTest::keyClick(&w(), Qt::Key_W);
    EXPECT_TRUE(w().chkWaterfall->isChecked());
    EXPECT_TRUE(fall.isVisible());
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    QTest::keyClick(w().Slider1, Qt::Key_W); // whichever control has the focus
    EXPECT_FALSE(w().chkWaterfall->isChecked());
    EXPECT_FALSE(fall.isVisible());
}

TEST_F(WaterfallWindowTest, OneRowPerProcessedBlockFromTheTraceAsDrawnAndNoneWhileClosed) {
    WaterfallWindow& fall = Open();
    Click(w().cmdOn);
    for (int k = 0; k < 10 + 6; ++k) { // warm-up, then 6 processed blocks
        rx.Block();
    }
    ASSERT_EQ(fall.Picture.Count(), 6);
    // The newest row is the wide trace's points as drawn: row y of 280 is y / 2 dB down.
    const std::span<const std::uint8_t> row = fall.Picture.RowLevels(fall.Picture.Newest());
    for (std::size_t x = 0; x < Points; ++x) {
        ASSERT_EQ(row[x], Waterfall::Level(-w().Screens.Traces.WidePoints[x].Y / 2.0)) << x;
    }
    // The tone (3000 Hz from the centre, on the side the harness's wiring puts it: column
    // 437.5) is the strongest point, far above the rest of the band.
    const auto strongest = std::max_element(row.begin(), row.end()) - row.begin();
    EXPECT_TRUE(strongest == 437 || strongest == 438) << strongest;
    EXPECT_GT(row[static_cast<std::size_t>(strongest)], row[300] + 60);

    w().SetWaterfallOpen(false);
    for (int k = 0; k < 4; ++k) {
        rx.Block();
    }
    EXPECT_EQ(fall.Picture.Count(), 6);
    w().SetWaterfallOpen(true);
    rx.Block();
    EXPECT_EQ(fall.Picture.Count(), 7);
    Click(w().cmdOff);
}

TEST_F(WaterfallWindowTest, AClickTunesExactlyAsTheSameColumnOfTheWideSpectrum) {
    WaterfallWindow& fall = Open();
    QPushButton* modes[] = {w().OptCW100, w().OptCW500, w().OptUsb, w().OptLsb};
    const double columns[] = {0, 1, 4, 17, 250, 480, 494, 499, 500, 501, 502, 506, 777, 995, 999};
    const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
    for (QPushButton* mode : modes) {
        Click(mode);
        for (const double c : columns) {
            for (const Qt::MouseButton button : buttons) {
                SCOPED_TRACE(mode->text().toStdString() + " column " + std::to_string(c));
                w().Slider1->setValue(-12340);
                Press(w().Picture2, {c, 100}, button, button);
                Release(w().Picture2, {c, 100}, button, Qt::NoButton);
                const int wide = w().Slider1->value();
                const QString readout = Readout(w());
                w().Slider1->setValue(-12340);
                Press(fall.View, {c, 100}, button, button);
                Release(fall.View, {c, 100}, button, Qt::NoButton);
                EXPECT_EQ(w().Slider1->value(), wide);
                EXPECT_EQ(Readout(w()), readout);
            }
        }
    }
    // A click on the current offset still runs the tuning routine: the same as on the trace.
    Click(w().OptCW500);
    w().Slider1->setValue(2400);
    Press(fall.View, {550, 10}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(w().Slider1->value(), 2400);
    // Half as wide: each column stands for two of the wide spectrum's.
    fall.resize(500 + fall.History->width(), fall.height());
    QCoreApplication::processEvents();
    ASSERT_EQ(fall.View->width(), 500);
    Press(fall.View, {300, 10}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(w().Slider1->value(), 4800);
}

TEST_F(WaterfallWindowTest, TheWheelTunesAsOverTheTraceAndWithShiftScrollsTheHistory) {
    WaterfallWindow& fall = Open();
    for (std::int64_t r = 0; r < 1000; ++r) {
        Add(fall, Levels(static_cast<std::uint8_t>(r % 200)), r * 43);
    }
    fall.ShowHistoryPosition();
    const auto wheel = [](QWidget* target, int eighths, Qt::KeyboardModifiers mods) {
        QWheelEvent event(QPointF(500, 50), target->mapToGlobal(QPointF(500, 50)), QPoint(),
                          QPoint(0, eighths), Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    };
    w().Slider1->setValue(1000);
    wheel(fall.View, 240, Qt::NoModifier);
    EXPECT_EQ(w().Slider1->value(), 1020); // CW: 10 Hz a notch
    wheel(w().Picture2, 240, Qt::NoModifier);
    EXPECT_EQ(w().Slider1->value(), 1040);
    EXPECT_TRUE(fall.View->Live());

    wheel(fall.View, -360, Qt::ShiftModifier); // three notches down: older rows
    EXPECT_EQ(w().Slider1->value(), 1040);
    EXPECT_FALSE(fall.View->Live());
    EXPECT_EQ(fall.History->value(), 3 * WaterfallView::WheelRows);
    EXPECT_EQ(fall.View->TopRow(), 999 - 3 * WaterfallView::WheelRows);
    wheel(fall.View, 480, Qt::ShiftModifier); // back to the newest: live again
    EXPECT_EQ(fall.History->value(), 0);
    EXPECT_TRUE(fall.View->Live());
    // The scroll bar reaches back to the oldest row held.
    EXPECT_EQ(fall.History->maximum(), 1000 - fall.View->height());
    fall.History->setValue(fall.History->maximum());
    EXPECT_EQ(fall.View->TopRow(), fall.View->height() - 1);
}

TEST_F(WaterfallWindowTest, PixelsShowThePalettesColoursThePassBandAndTheTimeStamps) {
    WaterfallWindow& fall = Open();
    fall.SetAutoRange(false);
    fall.SetFloorDb(-140);
    fall.SetCeilingDb(0);
    w().Slider1->setValue(4800); // CW 500: pass band 575-1075 Hz above... marker 10 columns
    // One row a second from 10:59:55: stamps where 11:00:00 and 11:00:10 pass.
    const std::int64_t start = (10 * 3600 + 59 * 60 + 55) * 1000;
    for (std::int64_t r = 0; r < 30; ++r) {
        Add(fall, Levels(static_cast<std::uint8_t>(60 + r), {120, 121, 700}), start + 1000 * r);
    }
    QImage shot = Shot(fall);
    const Colour green = palette::BrightGreen;
    auto marker =
        Spectrum::MarkerColumns(w().Settings.TuningOffset, w().Screens.Traces.MarkerWidth);
    ASSERT_LT(marker[0], marker[1]);
    const int h = fall.View->height();
    for (int y = 0; y < h; ++y) {
        ASSERT_EQ(At(shot, marker[0], y), green) << y;
        ASSERT_EQ(At(shot, marker[1] - 1, y), green) << y;
        ASSERT_NE(At(shot, marker[0] + 1, y), green) << y;
        ASSERT_NE(At(shot, marker[0] - 1, y), green) << y;
    }
    // Rows newest at the top, in the palette's colours; the spikes in their columns.
    const Waterfall::ColourTable classic =
        Waterfall::PaletteColours(Waterfall::PaletteKind::Classic);
    for (int y = 0; y < 30; ++y) {
        const auto level = static_cast<std::size_t>(60 + 29 - y);
        EXPECT_EQ(At(shot, 400, y), classic[level]) << y; // floor -140, ceiling 0: level = index
        EXPECT_EQ(At(shot, 120, y), classic[255]) << y;
        EXPECT_EQ(At(shot, 121, y), classic[255]) << y;
        EXPECT_EQ(At(shot, 700, y), classic[255]) << y;
        EXPECT_EQ(At(shot, 122, y), classic[level]) << y;
    }
    EXPECT_EQ(At(shot, 400, 30), palette::Black); // no rows yet below
    // Time stamps at the left edge: the oldest row (10:59:55, y 29), 11:00:00 (y 24), 11:00:10
    // (y 14) and 11:00:20 (y 4), drawn in the label font, and nothing between them.
    const auto inked = [&shot](int top, int rows) {
        int n = 0;
        for (int y = top; y < top + rows; ++y) {
            for (int x = 0; x < 44; ++x) {
                n += At(shot, x, y) == palette::White ? 1 : 0;
            }
        }
        return n;
    };
    EXPECT_GT(inked(4, 8), 30);
    EXPECT_GT(inked(14, 8), 30);
    EXPECT_GT(inked(24, 5), 20);
    EXPECT_GT(inked(29, 1), 0);
    EXPECT_EQ(inked(0, 4), 0);
    EXPECT_EQ(inked(12, 2), 0);
    EXPECT_EQ(inked(22, 2), 0);
    EXPECT_EQ(inked(37, 20), 0);
    const int cell = 4 + fall.Font.TextWidth("11:00:10");
    Surface label(cell, 8);
    label.Text(2, 0, "11:00:10", fall.Font, palette::White, palette::Black);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(At(shot, cell, 14 + y), classic[static_cast<std::size_t>(60 + 29 - 14 - y)]);
        for (int x = 0; x < cell; ++x) {
            ASSERT_EQ(At(shot, x, 14 + y), label.Pixel(x, y)) << x << "," << y;
        }
    }

    // Viridis recolours what is there; the marker follows the tuning.
    ASSERT_TRUE(fall.SetPaletteName(QStringLiteral("viridis")));
    w().Slider1->setValue(-9600);
    shot = Shot(fall);
    const Waterfall::ColourTable viridis =
        Waterfall::PaletteColours(Waterfall::PaletteKind::Viridis);
    EXPECT_EQ(At(shot, 400, 0), viridis[60 + 29]);
    EXPECT_EQ(At(shot, 700, 5), viridis[255]);
    marker = Spectrum::MarkerColumns(w().Settings.TuningOffset, w().Screens.Traces.MarkerWidth);
    EXPECT_EQ(At(shot, std::min(marker[0], marker[1]), 100), green);
    EXPECT_NE(At(shot, 450, 100), green);
}

TEST_F(WaterfallWindowTest, TheRingOfTheViewWrapsWithoutASeamAndANarrowerViewKeepsTheStrongest) {
    WaterfallWindow& fall = Open();
    fall.SetAutoRange(false);
    fall.SetFloorDb(-140);
    fall.SetCeilingDb(0);
    const int h = fall.View->height();
    // More rows than the view holds, each painted as it comes (the ring's top goes round).
    for (std::int64_t r = 0; r < h + 137; ++r) {
        Add(fall, Levels(static_cast<std::uint8_t>(r % 251), {static_cast<std::size_t>(r % 400)}),
            r);
        if (r % 50 == 0) {
            QCoreApplication::processEvents(); // painted now and then, as on a screen
        }
    }
    const QImage incremental = Shot(fall);
    const Waterfall::ColourTable classic =
        Waterfall::PaletteColours(Waterfall::PaletteKind::Classic);
    const std::int64_t newest = h + 136;
    for (int y = 0; y < h; ++y) {
        const std::int64_t r = newest - y;
        ASSERT_EQ(At(incremental, 900, y), classic[static_cast<std::size_t>(r % 251)]) << y;
        ASSERT_EQ(At(incremental, static_cast<int>(r % 400), y), classic[255]) << y;
    }
    // Painted whole from the history, the same picture.
    fall.View->Hold(newest);
    fall.View->Follow();
    EXPECT_EQ(Shot(fall), incremental);

    // Narrower: a spike in point 333 shows in column 333 * 500 / 1000 = 166.
    fall.resize(500 + fall.History->width(), fall.height());
    QCoreApplication::processEvents();
    ASSERT_EQ(fall.View->width(), 500);
    Add(fall, Levels(10, {333}), newest + 1);
    const QImage narrow = Shot(fall);
    EXPECT_EQ(At(narrow, 166, 0), classic[255]);
    EXPECT_EQ(At(narrow, 165, 0), classic[10]);
    EXPECT_EQ(At(narrow, 167, 0), classic[10]);
    EXPECT_EQ(fall.Axis->width(), 500);
}

TEST_F(WaterfallWindowTest, PPausesThePictureWhileRowsGoOnAndPAgainFollows) {
    WaterfallWindow& fall = Open();
    for (std::int64_t r = 0; r < 100; ++r) {
        Add(fall, Levels(static_cast<std::uint8_t>(r)), r);
    }
    fall.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&fall));
    QTest::keyClick(fall.View, Qt::Key_P);
    ASSERT_TRUE(fall.Paused());
    const QImage paused = Shot(fall);
    for (std::int64_t r = 100; r < 150; ++r) { // reception goes on
        fall.WideTraceDrawn(w().Screens.Traces);
    }
    EXPECT_EQ(fall.Picture.Count(), 150);
    EXPECT_EQ(Shot(fall), paused);
    EXPECT_EQ(fall.View->TopRow(), 99);
    EXPECT_EQ(fall.History->value(), 50);
    QTest::keyClick(fall.View, Qt::Key_P);
    EXPECT_FALSE(fall.Paused());
    EXPECT_TRUE(fall.View->Live());
    EXPECT_EQ(fall.View->TopRow(), 149);
    EXPECT_NE(Shot(fall), paused);
}

TEST_F(WaterfallWindowTest, RememberedSettingsGoThroughTheWindowsOwnControls) {
    WaterfallWindow& fall = w().WaterfallPanel(); // made, not shown
    EXPECT_FALSE(fall.isVisible());
    EXPECT_EQ(fall.PaletteName(), "classic");
    EXPECT_TRUE(fall.SetPaletteName(QStringLiteral("viridis")));
    EXPECT_EQ(fall.cboPalette->currentText(), "Viridis");
    EXPECT_EQ(fall.Picture.Palette(), Waterfall::PaletteKind::Viridis);
    EXPECT_FALSE(fall.SetPaletteName(QStringLiteral("rainbow")));
    EXPECT_EQ(fall.PaletteName(), "viridis");

    EXPECT_TRUE(fall.AutoRange()); // at first
    fall.SetAutoRange(false);
    fall.SetFloorDb(-110);
    fall.SetCeilingDb(-50);
    EXPECT_EQ(fall.FloorDb(), -110);
    EXPECT_EQ(fall.CeilingDb(), -50);
    EXPECT_DOUBLE_EQ(fall.Picture.FloorDb(), -110.0);
    EXPECT_DOUBLE_EQ(fall.Picture.CeilingDb(), -50.0);
    fall.SetFloorDb(-40); // above the ceiling: the ceiling makes room
    EXPECT_EQ(fall.CeilingDb(), -39);
    EXPECT_DOUBLE_EQ(fall.Picture.CeilingDb(), -39.0);

    Add(fall, Levels(Waterfall::Level(-97.0), {5, 6, 7}), 0);
    fall.SetAutoRange(true);
    EXPECT_TRUE(fall.chkAuto->isChecked());
    EXPECT_FALSE(fall.spnFloor->isEnabled());
    EXPECT_NEAR(fall.Picture.FloorDb(), -97.0, 0.3);
    EXPECT_EQ(fall.FloorDb(), -97);
    EXPECT_EQ(fall.CeilingDb(), -37);
    fall.SetFloorDb(-120); // shown, not set, while Auto chooses
    EXPECT_NEAR(fall.Picture.FloorDb(), -97.0, 0.3);
    fall.SetFloorDb(-97);
    fall.SetAutoRange(false);
    EXPECT_TRUE(fall.spnFloor->isEnabled());
    EXPECT_DOUBLE_EQ(fall.Picture.FloorDb(), -97.0);
    EXPECT_DOUBLE_EQ(fall.Picture.CeilingDb(), -37.0);

    fall.setGeometry(40, 50, 700, 300);
    const QByteArray geometry = fall.saveGeometry();
    fall.setGeometry(0, 0, 900, 500);
    ASSERT_TRUE(fall.restoreGeometry(geometry));
    EXPECT_EQ(fall.size(), QSize(700, 300));

    w().SetWaterfallOpen(true);
    EXPECT_TRUE(w().WaterfallOpen());
    EXPECT_TRUE(w().chkWaterfall->isChecked());
    EXPECT_TRUE(fall.isVisible());
    w().SetWaterfallOpen(false);
    EXPECT_FALSE(fall.isVisible());
}

} // namespace
} // namespace corvane::test
