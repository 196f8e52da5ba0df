// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The operator's choices kept from one start to the next: a start after closing shows what was
// chosen before, made as the operator's own clicks would make it; values that cannot be used are
// told and left at their defaults; nothing is kept unless asked.
#include "WindowHarness.h"

#include "ReceiverControls.h"
#include "RememberedSettings.h"
#include "WaterfallWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace corvane::test {
namespace {

// What the operator sees of the choices, and what the chain runs with.
struct Shown {
    QString Readout;
    std::vector<bool> Lit; // modes, AGC, windows, video filters, the two boxes
    std::int32_t Tuning;
    std::int32_t Gain;
    DemodMode Mode;
    std::int16_t AgcOn;
    std::int32_t AgcLength;
    std::int32_t MaxGain;
    std::int32_t VideoFilter;
    bool SwapIq;
    bool CorrectIq;
    // The waterfall: open, and (once made) its palette, Auto, range and size.
    bool WaterfallOpen;
    std::string Palette;
    bool Auto;
    std::int32_t Floor;
    std::int32_t Ceiling;
    std::int32_t Width;
    std::int32_t Height;

    bool operator==(const Shown&) const = default;
};

Shown ShownBy(const frmReceiver& w) {
    Shown s{Readout(w),
            {},
            w.Slider1->value(),
            w.Slider2->value(),
            w.Settings.Mode,
            w.Dsp->AgcOn,
            w.Dsp->AgcLength,
            w.Dsp->MaxGain,
            w.VideoFilter,
            w.SwapIq,
            w.CorrectIq,
            w.WaterfallOpen(),
            "",
            false,
            0,
            0,
            0,
            0};
    if (const WaterfallWindow* fall = w.frmWaterfall) {
        s.Palette = fall->PaletteName().toStdString();
        s.Auto = fall->AutoRange();
        s.Floor = fall->FloorDb();
        s.Ceiling = fall->CeilingDb();
        s.Width = fall->width();
        s.Height = fall->height();
    }
    for (const QAbstractButton* b : std::initializer_list<const QAbstractButton*>{
             w.OptCW100, w.OptCW500, w.OptUsb, w.OptLsb, w.OptAgcFast, w.OptAgcSlow, w.OptAgcOff,
             w.Option1, w.Option2, w.Option3, w.Option4, w.Option5, w.Option6, w.Option7,
             w.chkSwapIq, w.chkIqCorrect}) {
        s.Lit.push_back(b->isChecked());
    }
    return s;
}

// The operator's session: every remembered choice away from its default.
void ChooseEverything(frmReceiver& w) {
    ReceiverControls controls(w);
    controls.SelectAnalysisWindow(WindowKind::Hann);
    controls.SelectVideoFilter(16);
    controls.SelectMode(DemodMode::Lsb);
    controls.SelectAgc(AgcChoice::Slow);
    controls.SetGain(83);
    controls.Tune(-12340);
    controls.SetSwapIq(true);
    controls.SetIqCorrection(true);
    w.SetWaterfallOpen(true);
    WaterfallWindow& fall = w.WaterfallPanel();
    fall.resize(700, 333);
    fall.SetPaletteName(QStringLiteral("viridis"));
    fall.SetAutoRange(false);
    fall.SetFloorDb(-111);
    fall.SetCeilingDb(-47);
}

class Remembering : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Dir.isValid()); }
    QString File() const { return Dir.filePath(QStringLiteral("corvane/remembered.conf")); }
    void Write(const std::string& text) const {
        QDir(Dir.path()).mkpath(QStringLiteral("corvane"));
        std::ofstream(File().toStdString()) << text;
    }
    QTemporaryDir Dir;
};

TEST_F(Remembering, AStartAfterClosingShowsWhatWasChosenAsIfChosenByHand) {
    const RememberedSettings memory(File());
    Shown before;
    {
        Receiver first;
        ASSERT_TRUE(first.Load());
        first.Window->Closing = [&] { EXPECT_EQ(memory.Save(*first.Window), ""); };
        ChooseEverything(*first.Window);
        before = ShownBy(*first.Window);
        ASSERT_TRUE(first.Window->close());
    }
    ASSERT_TRUE(QFile::exists(File())) << "saved at closing, into a folder made for it";

    // Made when the window is up, as the program does.
    Receiver second;
    std::vector<std::string> warnings{"not restored"};
    second.Window->Started = [&] { warnings = memory.Restore(*second.Window); };
    ASSERT_TRUE(second.Load());
    second.WaitForDisplays();
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(ShownBy(*second.Window), before);

    // The same as a start where the operator clicks the same choices: the same window, the
    // displays' scales included.
    Receiver byHand;
    ASSERT_TRUE(byHand.Load());
    byHand.WaitForDisplays();
    ChooseEverything(*byHand.Window);
    QTest::qWait(120); // a refresh of the displays in both
    EXPECT_EQ(DifferentPixels(Render(*second.Window), Render(*byHand.Window)), 0.0);
}

TEST_F(Remembering, NothingRememberedOrNotAskedLeavesTheDefaults) {
    Receiver plain;
    ASSERT_TRUE(plain.Load());
    const Shown defaults = ShownBy(*plain.Window);

    // The first start with remembering on: no file yet, nothing said.
    Receiver first;
    ASSERT_TRUE(first.Load());
    EXPECT_TRUE(RememberedSettings(File()).Restore(*first.Window).empty());
    EXPECT_EQ(ShownBy(*first.Window), defaults);

    // Closing without remembering writes nothing.
    Receiver other;
    ASSERT_TRUE(other.Load());
    ChooseEverything(*other.Window);
    ASSERT_TRUE(other.Window->close());
    EXPECT_FALSE(QFile::exists(File()));
}

TEST_F(Remembering, ValuesThatCannotBeUsedAreToldOneByOneAndLeftAtTheirDefaults) {
    Write("[General]\n"
          "mode=am\n"
          "tuning=30000\n"
          "agc=slow\n"
          "gain=ninety\n"
          "window=hann\n"
          "video-filter=3\n"
          "swap-iq=yes\n"
          "iq-correction=true\n"
          "waterfall-geometry=not a geometry\n"
          "waterfall-palette=rainbow\n"
          "waterfall-floor=-150\n"
          "waterfall=perhaps\n"
          "some-later-setting=1\n");
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    const std::vector<std::string> warnings = RememberedSettings(File()).Restore(*rx.Window);
    const std::string file = File().toStdString();
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            file + ": video-filter=3 is not 1, 4, 8 or 16; ignored",
                            file + ": mode=am is not cw100, cw500, usb or lsb; ignored",
                            file + ": gain=ninety is not a whole number from 40 to 100; ignored",
                            file + ": tuning=30000 is not a whole number of Hz from -23800 to "
                                   "23800; ignored",
                            file + ": swap-iq=yes is not true or false; ignored",
                            file + ": waterfall-geometry=not a geometry is not a window "
                                   "geometry saved by Corvane; ignored",
                            file + ": waterfall-palette=rainbow is not classic or viridis; ignored",
                            file + ": waterfall-floor=-150 is not a whole number of dBV from -140 "
                                   "to -1; ignored",
                            file + ": waterfall=perhaps is not true or false; ignored",
                        }));
    // The good ones are made; the others stay as a start without them leaves them.
    Receiver expected;
    ASSERT_TRUE(expected.Load());
    ReceiverControls controls(*expected.Window);
    controls.SelectAnalysisWindow(WindowKind::Hann);
    controls.SelectAgc(AgcChoice::Slow);
    controls.SetIqCorrection(true);
    EXPECT_EQ(ShownBy(*rx.Window), ShownBy(*expected.Window));
}

TEST_F(Remembering, AFileThatCannotBeReadIsToldOnceAndChangesNothing) {
    // A folder where the file should be: unreadable as settings, whoever runs the test.
    ASSERT_TRUE(QDir(Dir.path()).mkpath(QStringLiteral("corvane/remembered.conf")));
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    const Shown defaults = ShownBy(*rx.Window);
    const std::vector<std::string> warnings = RememberedSettings(File()).Restore(*rx.Window);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              File().toStdString() + " cannot be read; the settings start at their defaults");
    EXPECT_EQ(ShownBy(*rx.Window), defaults);
    // Nor can it be saved: said, not hidden.
    EXPECT_EQ(RememberedSettings(File()).Save(*rx.Window),
              "the settings could not be saved to " + File().toStdString());
}

TEST_F(Remembering, NotSavedWhenClosingIsRefusedWhileOn) {
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    int saves = 0;
    rx.Window->Closing = [&] { ++saves; };
    rx.WaitForDisplays();
    ReceiverControls(*rx.Window).PowerOn();
    ASSERT_EQ(rx.Window->Running, -1);
    MessageBoxAnswer answer;
    answer.Arm();
    EXPECT_FALSE(rx.Window->close());
    EXPECT_TRUE(answer.Seen);
    EXPECT_EQ(saves, 0);
    ReceiverControls(*rx.Window).PowerOff();
    EXPECT_TRUE(rx.Window->close());
    EXPECT_EQ(saves, 1);
}

} // namespace
} // namespace corvane::test
