// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The operator's other controls: modes with their filters and audio scale, AGC and GAIN, the
// analysis window, the video filter and the test selection.
#include "WindowHarness.h"

#include "PictureBox.h"
#include "ReceiverControls.h"
#include "RunCaption.h"
#include "Spectrum.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

class Controls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rx.Load()); }
    frmReceiver& w() { return *rx.Window; }
    Receiver rx;
};

// The audio scale's picture as a display of the same size draws it for `cw`.
Surface AudioScaleFor(std::int32_t cw) {
    ReceiverSettings settings;
    Spectrum spectrum(settings);
    SurfaceBox scale(258, 328);
    SurfaceBox trace(198, 280);
    spectrum.InitAudioDisplay(scale, trace);
    spectrum.DrawAudioScale(cw);
    Surface copy(258, 328);
    copy.Blit(spectrum.AudioScaleDC);
    return copy;
}

bool SamePixels(const Surface& a, const Surface& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return false;
    }
    for (std::int32_t y = 0; y < a.Height(); ++y) {
        const auto ra = a.Row(y);
        const auto rb = b.Row(y);
        if (!std::equal(ra.begin(), ra.end(), rb.begin())) {
            return false;
        }
    }
    return true;
}

TEST_F(Controls, EachModeDesignsItsFiltersAndAudioScale) {
    struct Mode {
        QPushButton* Button;
        DemodMode Kind;
        int PassLow, PassHigh, IfLow, IfHigh, AudioLow, AudioHigh, ScaleCw, Offset;
    };
    // Tuned at 250 Hz, the SSB modes move out to 1350 Hz and stay there for CW.
    const Mode modes[] = {
        {w().OptUsb, DemodMode::Usb, 300, 3000, 17990, 20710, 290, 3010, 0, 1350},
        {w().OptCW100, DemodMode::Cw100, 775, 875, 17990, 18110, 765, 885, 1, 1350},
        {w().OptLsb, DemodMode::Lsb, 300, 3000, 17990, 20710, 290, 3010, 0, 1350},
        {w().OptUsb, DemodMode::Usb, 300, 3000, 17990, 20710, 290, 3010, 0, 1350},
        {w().OptCW500, DemodMode::Cw500, 575, 1075, 17990, 18510, 565, 1085, 1, 1350},
    };
    rx.WaitForDisplays();
    const Surface cwScale = AudioScaleFor(1);
    const Surface ssbScale = AudioScaleFor(0);
    ASSERT_FALSE(SamePixels(cwScale, ssbScale));
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.Button->text().toStdString());
        Click(m.Button);
        EXPECT_TRUE(m.Button->isChecked());
        EXPECT_EQ(w().Settings.Mode, m.Kind);
        EXPECT_EQ(w().PassLow, m.PassLow);
        EXPECT_EQ(w().PassHigh, m.PassHigh);
        EXPECT_EQ(w().Slider1->value(), m.Offset);

        ReceiverSettings settings;
        NullDisplaySink sink;
        auto expected = std::make_unique<modDSP>(settings, sink);
        expected->DesignFilter(1, m.IfLow, m.IfHigh);
        expected->DesignFilter(2, m.AudioLow, m.AudioHigh);
        EXPECT_EQ(w().Dsp->IFFilterRe, expected->IFFilterRe);
        EXPECT_EQ(w().Dsp->IFFilterIm, expected->IFFilterIm);
        EXPECT_EQ(w().Dsp->AudioFilterRe, expected->AudioFilterRe);
        EXPECT_EQ(w().Dsp->AudioFilterIm, expected->AudioFilterIm);
        EXPECT_TRUE(SamePixels(w().Screens.Traces.AudioScaleDC, m.ScaleCw ? cwScale : ssbScale));
    }
    // The sidebands differ only in the beat oscillator: above the IF band in LSB.
    Click(w().OptLsb);
    EXPECT_DOUBLE_EQ(w().Dsp->BfoStep, 21000 * 6.2831853072 / 48000);
    Click(w().OptUsb);
    EXPECT_DOUBLE_EQ(w().Dsp->BfoStep, 17700 * 6.2831853072 / 48000);
    // One mode at a time.
    int checked = 0;
    for (QPushButton* b : {w().OptCW100, w().OptCW500, w().OptUsb, w().OptLsb}) {
        checked += b->isChecked() ? 1 : 0;
    }
    EXPECT_EQ(checked, 1);
}

TEST_F(Controls, GainSliderSetsTheCeiling) {
    QTest::keyClick(w().Slider2, Qt::Key_Home);
    EXPECT_EQ(w().Slider2->value(), 40);
    EXPECT_EQ(w().Dsp->MaxGain, 9897);
    QTest::keyClick(w().Slider2, Qt::Key_End);
    EXPECT_EQ(w().Slider2->value(), 100);
    EXPECT_EQ(w().Dsp->MaxGain, 10);
    const int table[][2] = {{40, 9897}, {50, 3134}, {60, 992}, {70, 314},
                            {80, 99},   {90, 32},   {100, 10}};
    for (const auto& row : table) {
        SCOPED_TRACE(row[0]);
        w().Slider2->setValue(row[0]);
        EXPECT_EQ(w().Dsp->MaxGain, row[1]);
    }
}

// Where the GAIN thumb is drawn, in the slider's own coordinates: the style's answer for a
// slider of the same size, range, value and appearance (the window's own is a plain QSlider,
// whose style option is not public).
int ThumbTop(const QSlider* slider) {
    struct Probe : QSlider {
        using QSlider::initStyleOption;
    };
    Probe probe;
    probe.setOrientation(slider->orientation());
    probe.setRange(slider->minimum(), slider->maximum());
    probe.setValue(slider->value());
    probe.setInvertedAppearance(slider->invertedAppearance());
    probe.resize(slider->size());
    QStyleOptionSlider option;
    probe.initStyleOption(&option);
    return probe.style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &probe)
        .top();
}

// The keys and the wheel move the thumb the way their arrows point, whatever the scale's
// direction.
TEST_F(Controls, GainSliderKeysAndWheelMoveTheThumbTheirWay) {
    QSlider* gain = w().Slider2;
    for (const auto& [key, up] :
         {std::pair{Qt::Key_Up, true}, std::pair{Qt::Key_PageUp, true},
          std::pair{Qt::Key_Down, false}, std::pair{Qt::Key_PageDown, false}}) {
        SCOPED_TRACE(key);
        gain->setValue(70);
        const int before = ThumbTop(gain);
        QTest::keyClick(gain, key);
        EXPECT_NE(gain->value(), 70);
        EXPECT_EQ(ThumbTop(gain) < before, up) << ThumbTop(gain) << " from " << before;
    }
    for (const int notch : {120, -120}) {
        SCOPED_TRACE(notch);
        gain->setValue(70);
        const int before = ThumbTop(gain);
        const QPointF at(gain->width() / 2.0, gain->height() / 2.0);
        QWheelEvent wheel(at, gain->mapToGlobal(at), QPoint(), QPoint(0, notch), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(gain, &wheel);
        EXPECT_NE(gain->value(), 70);
        EXPECT_EQ(ThumbTop(gain) < before, notch > 0);
    }
}

// A mode handler called directly (as start-up does) brings the mode record along with the
// filters: the sideband and the audio trace follow it.
TEST_F(Controls, ModeHandlersKeepTheModeRecord) {
    w().OptLsb_Click();
    EXPECT_EQ(w().Settings.Mode, DemodMode::Lsb);
    EXPECT_DOUBLE_EQ(w().Dsp->BfoStep, 21000 * 6.2831853072 / 48000);
    w().OptCW100_Click();
    EXPECT_EQ(w().Settings.Mode, DemodMode::Cw100);
    EXPECT_TRUE(w().Settings.IsCw());
    w().OptUsb_Click();
    EXPECT_EQ(w().Settings.Mode, DemodMode::Usb);
    EXPECT_DOUBLE_EQ(w().Dsp->BfoStep, 17700 * 6.2831853072 / 48000);
}

// The choices in words land on the matching controls, with their handlers' effects.
TEST_F(Controls, ReceiverControlsOperateTheMatchingControls) {
    rx.WaitForDisplays();
    ReceiverControls controls(w());
    controls.SelectAnalysisWindow(WindowKind::Hann);
    EXPECT_TRUE(w().Option3->isChecked());
    controls.SelectAnalysisWindow(WindowKind::None);
    EXPECT_TRUE(w().Option1->isChecked());
    for (const std::int32_t blocks : {1, 8, 16, 4}) {
        controls.SelectVideoFilter(blocks);
        EXPECT_EQ(w().VideoFilter, blocks);
    }
    for (const DemodMode mode :
         {DemodMode::Usb, DemodMode::Lsb, DemodMode::Cw100, DemodMode::Cw500}) {
        controls.SelectMode(mode);
        EXPECT_EQ(w().Settings.Mode, mode);
    }
    controls.SelectAgc(AgcChoice::Off);
    EXPECT_TRUE(w().OptAgcOff->isChecked());
    controls.SelectAgc(AgcChoice::Slow);
    EXPECT_EQ(w().Dsp->AgcLength, 9);
    controls.SetGain(90);
    EXPECT_EQ(w().Dsp->MaxGain, 32);
    controls.Tune(-3000);
    EXPECT_EQ(controls.Readout(), QStringLiteral("07.053.00"));
    for (const TestSignal test :
         {TestSignal::IPlusQ, TestSignal::IMinusQ, TestSignal::IOnly, TestSignal::None}) {
        controls.SelectTest(test);
        EXPECT_EQ(w().Settings.Test, test);
    }
    controls.SetPlus20(true);
    EXPECT_TRUE(w().Check1->isChecked());
    controls.SetPlus20(true);
    EXPECT_TRUE(w().Check1->isChecked());
}

TEST(RunCaption, MillisecondsWithTheUsersSeparatorAndTheBlockLength) {
    EXPECT_EQ(RunCaption(0.00704, '.'), "07.0/42,6");
    EXPECT_EQ(RunCaption(0.01234, '.'), "12.3/42,6");
    EXPECT_EQ(RunCaption(0.01234, ','), "12,3/42,6");
    EXPECT_EQ(RunCaption(0.0, '.'), "00.0/42,6");
    EXPECT_EQ(RunCaption(0.12346, '.'), "123.5/42,6");
}

TEST_F(Controls, AgcOffKeepsLengthAndCeilingUntilFastOrSlow) {
    Click(w().OptAgcSlow);
    EXPECT_EQ(w().Dsp->AgcOn, -1);
    EXPECT_EQ(w().Dsp->AgcLength, 9);
    EXPECT_EQ(w().Dsp->MaxGain, 314);

    Click(w().OptAgcOff);
    EXPECT_TRUE(w().OptAgcOff->isChecked());
    EXPECT_FALSE(w().OptAgcSlow->isChecked());
    EXPECT_EQ(w().Dsp->AgcOn, 0);
    EXPECT_EQ(w().Dsp->AgcLength, 9);
    EXPECT_EQ(w().Dsp->MaxGain, 314);

    // GAIN still sets the ceiling while the AGC is off.
    w().Slider2->setValue(80);
    EXPECT_EQ(w().Dsp->MaxGain, 99);
    w().Dsp->MaxGain = 1; // Fast must recompute it from the slider
    Click(w().OptAgcFast);
    EXPECT_EQ(w().Dsp->AgcOn, -1);
    EXPECT_EQ(w().Dsp->AgcLength, 4);
    EXPECT_EQ(w().Dsp->MaxGain, 99);
}

TEST_F(Controls, WindowVideoFilterAndTestSelections) {
    ReceiverSettings settings;
    NullDisplaySink sink;
    auto expected = std::make_unique<modDSP>(settings, sink);
    const std::pair<QRadioButton*, int> windows[] = {
        {w().Option1, 0}, {w().Option3, 2}, {w().Option2, 1}};
    for (const auto& [button, kind] : windows) {
        SCOPED_TRACE(kind);
        Click(button);
        expected->MakeWindow(kind, 2048);
        EXPECT_EQ(w().Dsp->Window, expected->Window);
        EXPECT_EQ(w().Dsp->WindowGain, expected->WindowGain);
    }

    const std::pair<QPushButton*, int> video[] = {
        {w().Option4, 1}, {w().Option6, 8}, {w().Option7, 16}, {w().Option5, 4}};
    for (const auto& [button, factor] : video) {
        Click(button);
        EXPECT_EQ(w().VideoFilter, factor);
    }

    const std::pair<QRadioButton*, TestSignal> tests[] = {{w().Option9, TestSignal::IPlusQ},
                                                          {w().Option10, TestSignal::IMinusQ},
                                                          {w().Option11, TestSignal::IOnly},
                                                          {w().Option8, TestSignal::None}};
    for (const auto& [button, signal] : tests) {
        Click(button);
        EXPECT_EQ(w().Settings.Test, signal);
    }
    Click(w().Check1);
    EXPECT_TRUE(w().Settings.TestPlus20dB);
    Click(w().Check1);
    EXPECT_FALSE(w().Settings.TestPlus20dB);
}

} // namespace
} // namespace corvane::test
