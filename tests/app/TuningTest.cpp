// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Tuning through the wide spectrum, the slider and the step buttons; the snapping and limits,
// the readout, the IF switch and the chain's oscillators and filters that follow.
#include "WindowHarness.h"

#include "ModeTable.h"
#include "ReceiverControls.h"
#include "TuningModel.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <random>

namespace corvane::test {
namespace {

constexpr double Rad = 6.2831853072 / 48000;

class Tuning : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rx.Load()); }
    frmReceiver& w() { return *rx.Window; }
    void SelectMode(QPushButton* button) { Click(button); }
    Receiver rx;
};

TEST_F(Tuning, AClickOnTheWideSpectrumTunesToThatPixel) {
    struct Case {
        double X;
        Qt::MouseButton Button;
        int Offset;
    };
    const Case cases[] = {
        {500, Qt::LeftButton, 250},       // 0 Hz moves out to half the pass band
        {600.5, Qt::LeftButton, 4820},    // 4824, truncated to tens
        {510, Qt::LeftButton, 480},       //
        {490, Qt::LeftButton, -480},      //
        {510, Qt::RightButton, 480},      // any button tunes
        {490, Qt::MiddleButton, -480},    //
        {2, Qt::LeftButton, -23750},      // -23904 limited to -23800, then the band edge
        {998, Qt::LeftButton, 23750},     //
        {-30, Qt::LeftButton, -23750},    // outside the box (a grabbed press)
        {1040, Qt::LeftButton, 23750},    //
        {500.2, Qt::LeftButton, 250},     //
        {471.875, Qt::LeftButton, -1350}, // exactly -1350
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.X);
        Press(w().Picture2, {c.X, 100}, c.Button, c.Button);
        Release(w().Picture2, {c.X, 100}, c.Button, Qt::NoButton);
        EXPECT_EQ(w().Slider1->value(), c.Offset);
        EXPECT_EQ(w().TuneOffset, c.Offset);
        EXPECT_EQ(w().Settings.TuningOffset, c.Offset);
    }
}

TEST_F(Tuning, OnlyALeftDragRetunes) {
    QWidget* box = w().Picture2;
    Press(box, {600, 50}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(w().Slider1->value(), 4800);
    Move(box, {700, 50}, Qt::LeftButton);
    EXPECT_EQ(w().Slider1->value(), 9600);
    Move(box, {650, 50}, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(w().Slider1->value(), 9600);
    Move(box, {1500, 50}, Qt::LeftButton); // dragged out of the box
    EXPECT_EQ(w().Slider1->value(), 23750);
    Release(box, {1500, 50}, Qt::LeftButton, Qt::NoButton);
    Move(box, {400, 50}, Qt::NoButton);
    EXPECT_EQ(w().Slider1->value(), 23750);

    Press(box, {520, 50}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(w().Slider1->value(), 960);
    Move(box, {700, 50}, Qt::RightButton);
    EXPECT_EQ(w().Slider1->value(), 960);
    Release(box, {700, 50}, Qt::RightButton, Qt::NoButton);
}

TEST_F(Tuning, StepButtonsStepTheDigitTheyStandBy) {
    const int step[7] = {0, 0, 0, 10000, 1000, 100, 10};
    for (int k = 0; k < 7; ++k) {
        SCOPED_TRACE(k);
        w().Slider1->setValue(5000);
        Click(w().CmdP[static_cast<std::size_t>(k)]);
        EXPECT_EQ(w().Slider1->value(), 5000 + step[k]);
        w().Slider1->setValue(5000);
        Click(w().CmdM[static_cast<std::size_t>(k)]);
        EXPECT_EQ(w().Slider1->value(), 5000 - step[k]);
        EXPECT_EQ(w().TuneOffset, 5000 - step[k]);
    }
    w().Slider1->setValue(1000);
    Click(w().CmdP[6]);
    EXPECT_EQ(w().Slider1->value(), 1010);
    w().Slider1->setValue(1000);
    Click(w().CmdM[4]); // 0 Hz: out to half the pass band
    EXPECT_EQ(w().Slider1->value(), 250);
    w().Slider1->setValue(20000);
    Click(w().CmdP[3]); // 30000 asked: the range end, then the band edge
    EXPECT_EQ(w().Slider1->value(), 23750);
    w().Slider1->setValue(-20000);
    Click(w().CmdM[3]);
    EXPECT_EQ(w().Slider1->value(), -23750);
    EXPECT_EQ(Readout(w()), "07.032.25");

    // The buttons at the MHz digits and the hundreds of kHz only refresh the tuning.
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        {
            const QSignalBlocker quiet(w().Slider1);
            w().Slider1->setValue(1234);
        }
        Click(w().CmdP[static_cast<std::size_t>(k)]);
        EXPECT_EQ(w().Slider1->value(), 1230);
        EXPECT_EQ(Readout(w()), "07.057.23");
    }
}

TEST_F(Tuning, ReadoutShowsTheTunedFrequency) {
    EXPECT_EQ(Readout(w()), "07.056.25");
    SelectMode(w().OptCW100);
    Press(w().Picture2, {4, 100}, Qt::LeftButton, Qt::LeftButton); // -23808 asked
    EXPECT_EQ(w().Slider1->value(), -23800);
    EXPECT_EQ(Readout(w()), "07.032.20");
    w().Slider1->setValue(23800); // stays: 23800 + 50 is inside the band
    EXPECT_EQ(Readout(w()), "07.079.80");
    w().Slider1->setValue(-10);
    EXPECT_EQ(Readout(w()), "07.055.95");
}

// A front end elsewhere than 7.056 MHz: the readout is its frequency plus the offset, across a
// MHz boundary either way; the MHz and hundreds-of-kHz buttons still only refresh.
TEST_F(Tuning, ReadoutFollowsTheFrontEndsFrequency) {
    w().SetLoFrequency(6990000);
    EXPECT_EQ(Readout(w()), "06.990.25");
    w().Slider1->setValue(15000);
    EXPECT_EQ(Readout(w()), "07.005.00");
    w().Slider1->setValue(-15000);
    EXPECT_EQ(Readout(w()), "06.975.00");
    Click(w().CmdP[0]);
    Click(w().CmdM[2]);
    EXPECT_EQ(w().Slider1->value(), -15000);
    EXPECT_EQ(Readout(w()), "06.975.00");
    w().SetLoFrequency(99976000);
    w().Slider1->setValue(23800); // CW 500: the pass band's edge stops at 24000
    EXPECT_EQ(Readout(w()), "99.999.75");
    // Out of range: ignored, the readout stays.
    w().SetLoFrequency(23999);
    w().SetLoFrequency(99976001);
    EXPECT_EQ(w().LoFrequency(), 99976000);
    EXPECT_EQ(ParseLoFrequency("14070000"), 14070000);
    for (const char* bad : {"", "7e6", "-7056000", "100000000", "7056000x", "23999"}) {
        EXPECT_FALSE(ParseLoFrequency(bad).has_value()) << bad;
    }
}

// The wheel over the wide spectrum tunes: 10 Hz a notch in CW, 50 Hz in SSB, up is higher; a
// touchpad's part-notches add up; the scale around the trace takes the wheel too.
TEST_F(Tuning, WheelOverTheWideSpectrumTunes) {
    const auto wheel = [](QWidget* widget, int eighths) {
        const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
        QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, eighths), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(widget, &event);
    };
    w().Slider1->setValue(1000);
    wheel(w().Picture2, 120);
    EXPECT_EQ(w().Slider1->value(), 1010);
    wheel(w().Picture2, -360);
    EXPECT_EQ(w().Slider1->value(), 980);
    wheel(w().Picture2, 60);
    EXPECT_EQ(w().Slider1->value(), 980);
    wheel(w().Picture2, 60);
    EXPECT_EQ(w().Slider1->value(), 990);
    SelectMode(w().OptUsb);
    w().Slider1->setValue(2000);
    wheel(w().Picture2, 240);
    EXPECT_EQ(w().Slider1->value(), 2100);
    wheel(w().Picture1, -120);
    EXPECT_EQ(w().Slider1->value(), 2050);
    EXPECT_EQ(Readout(w()), "07.058.05");
    // At the end of the band the wheel stops there.
    w().Slider1->setValue(23800);
    wheel(w().Picture2, 120);
    EXPECT_EQ(w().Slider1->value(), 22650);
}

// The slider always ends where the tuning rule puts the value asked for, in every mode.
TEST_F(Tuning, SliderEndsWhereTheTuningRulePutsIt) {
    struct Vector {
        QPushButton* Mode;
        int Asked;
        int Result;
    };
    const Vector vectors[] = {
        {w().OptCW500, -25, -250},    {w().OptUsb, 0, 1350},        {w().OptUsb, 23800, 22650},
        {w().OptCW100, 23800, 23800}, {w().OptCW500, 14995, 14990}, {w().OptLsb, -1, 1350},
        {w().OptCW100, -49, -50},     {w().OptCW100, -59, -50},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.Asked);
        SelectMode(v.Mode);
        w().Slider1->setValue(v.Asked == 5000 ? 6000 : 5000);
        w().Slider1->setValue(v.Asked);
        EXPECT_EQ(w().Slider1->value(), v.Result);
    }

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> offset(-TuningLimitHz, TuningLimitHz);
    for (QPushButton* mode : {w().OptCW100, w().OptCW500, w().OptUsb, w().OptLsb}) {
        SelectMode(mode);
        const int width = w().PassHigh - w().PassLow;
        for (int k = 0; k < 40; ++k) {
            const int asked = offset(random);
            w().Slider1->setValue(asked);
            SCOPED_TRACE(asked);
            EXPECT_EQ(w().Slider1->value(), NormaliseOffset(asked, width));
            EXPECT_EQ(w().TuneOffset, w().Slider1->value());
        }
    }
}

// Oscillators, flags and filters for the worked tuning examples, against the chain's own
// tuning of the same mode and offset. Below 0 Hz the chain puts the beat oscillator on the other
// side of the IF band (IF + high instead of IF - low), which keeps the sideband the one chosen.
TEST_F(Tuning, ChainFollowsModeAndOffset) {
    struct Worked {
        QPushButton* Mode;
        DemodMode Kind;
        int Offset;
        double L, T;
        std::int16_t Negative, High;
    };
    const Worked cases[] = {
        {w().OptCW500, DemodMode::Cw500, 250, 18000, 17425, 0, 0},
        {w().OptUsb, DemodMode::Usb, -1350, 18000, 21000, -1, 0},
        {w().OptLsb, DemodMode::Lsb, 20000, 12650, 9000, 0, -1},
        {w().OptCW100, DemodMode::Cw100, -15000, 8950, 6875, -1, -1},
        {w().OptLsb, DemodMode::Lsb, -1350, 18000, 17700, -1, 0},
        {w().OptUsb, DemodMode::Usb, 20000, 12650, 5700, 0, -1},
    };
    for (const Worked& c : cases) {
        SCOPED_TRACE(c.Offset);
        SelectMode(c.Mode);
        w().Slider1->setValue(c.Offset);
        ASSERT_EQ(w().Slider1->value(), c.Offset);
        const modDSP& dsp = *w().Dsp;
        EXPECT_DOUBLE_EQ(dsp.Lo1Step, c.L * Rad);
        EXPECT_DOUBLE_EQ(dsp.BfoStep, c.T * Rad);
        EXPECT_EQ(dsp.NegativeOffset, c.Negative);
        EXPECT_EQ(dsp.HighSide, c.High);

        ReceiverSettings settings;
        settings.Mode = c.Kind;
        NullDisplaySink sink;
        auto expected = std::make_unique<modDSP>(settings, sink);
        TuneChain(*expected, c.Kind, c.Offset);
        EXPECT_EQ(dsp.ChanFilterRe, expected->ChanFilterRe);
        EXPECT_EQ(dsp.ChanFilterIm, expected->ChanFilterIm);
        EXPECT_EQ(dsp.IFFilterRe, expected->IFFilterRe);
        EXPECT_EQ(dsp.AudioFilterRe, expected->AudioFilterRe);
        EXPECT_EQ(dsp.Lo1Step, expected->Lo1Step);
        EXPECT_EQ(dsp.BfoStep, expected->BfoStep);
    }
}

TEST_F(Tuning, ChannelFilterAndMarkerFollowTheSignedOffset) {
    SelectMode(w().OptCW100);
    ReceiverSettings settings;
    NullDisplaySink sink;
    auto expected = std::make_unique<modDSP>(settings, sink);
    expected->DesignFilter(0, 951, 1050);
    for (int offset : {1000, -1000}) {
        SCOPED_TRACE(offset);
        w().Slider1->setValue(offset);
        EXPECT_EQ(w().Dsp->ChanFilterRe, expected->ChanFilterRe);
        EXPECT_EQ(w().Dsp->ChanFilterIm, expected->ChanFilterIm);
        EXPECT_EQ(w().Screens.Traces.MarkerWidth, offset > 0 ? 2 : -2);
    }
    SelectMode(w().OptUsb);
    EXPECT_EQ(w().Screens.Traces.MarkerWidth, -56);
    SelectMode(w().OptCW500);
    EXPECT_EQ(w().Screens.Traces.MarkerWidth, -10);
}

TEST_F(Tuning, CrossingFifteenKilohertzSwitchesTheIfAndRerunsTheModeOnce) {
    w().Slider1->setValue(14990);
    EXPECT_EQ(w().UseLowIf, 0);
    EXPECT_EQ(w().Dsp->HighSide, 0);
    int runs = w().ModeHandlerRuns;
    Click(w().CmdP[6]); // 15000
    EXPECT_EQ(w().Slider1->value(), 15000);
    EXPECT_EQ(w().UseLowIf, -1);
    EXPECT_EQ(w().Dsp->HighSide, -1);
    EXPECT_EQ(w().ModeHandlerRuns, runs + 1);

    // The IF filter is now the one for 6000 Hz.
    ReceiverSettings settings;
    NullDisplaySink sink;
    auto expected = std::make_unique<modDSP>(settings, sink);
    expected->DesignFilter(1, 5990, 6510);
    EXPECT_EQ(w().Dsp->IFFilterRe, expected->IFFilterRe);

    runs = w().ModeHandlerRuns;
    Click(w().CmdP[5]); // stays on the 6000 Hz side: no re-run
    EXPECT_EQ(w().ModeHandlerRuns, runs);
    Click(w().CmdM[4]); // 14100: back to 18000 Hz
    EXPECT_EQ(w().UseLowIf, 0);
    EXPECT_EQ(w().ModeHandlerRuns, runs + 1);
    expected->DesignFilter(1, 17990, 18510);
    EXPECT_EQ(w().Dsp->IFFilterRe, expected->IFFilterRe);

    runs = w().ModeHandlerRuns;
    w().Slider1->setValue(-15000); // the other side of the band alike
    EXPECT_EQ(w().UseLowIf, -1);
    EXPECT_EQ(w().ModeHandlerRuns, runs + 1);
}

// UpdateTuning run once with the slider's nested change notifications and once without them
// must leave the same receiver.
TEST(TuningReentry, SameFinalStateWithOrWithoutNestedNotifications) {
    struct Start {
        bool Ssb;
        int Raw;
    };
    const Start starts[] = {{false, 0},      {false, -25},   {true, 23800}, {false, 15003},
                            {false, -14995}, {true, -23799}, {false, 7}};
    for (const Start& s : starts) {
        SCOPED_TRACE(s.Raw);
        Receiver nested;
        Receiver quiet;
        ASSERT_TRUE(nested.Load());
        ASSERT_TRUE(quiet.Load());
        for (Receiver* rx : {&nested, &quiet}) {
            frmReceiver& w = *rx->Window;
            if (s.Ssb) {
                Click(w.OptUsb);
            }
            {
                const QSignalBlocker block(w.Slider1);
                w.Slider1->setValue(s.Raw);
            }
            if (rx == &quiet) {
                const QSignalBlocker block(w.Slider1);
                w.UpdateTuning();
            } else {
                w.UpdateTuning();
            }
        }
        const frmReceiver& a = *nested.Window;
        const frmReceiver& b = *quiet.Window;
        EXPECT_EQ(a.Slider1->value(), b.Slider1->value());
        EXPECT_EQ(a.TuneOffset, b.TuneOffset);
        EXPECT_EQ(a.Settings.TuningOffset, b.Settings.TuningOffset);
        EXPECT_EQ(a.UseLowIf, b.UseLowIf);
        EXPECT_EQ(Readout(a), Readout(b));
        EXPECT_EQ(a.Screens.Traces.MarkerWidth, b.Screens.Traces.MarkerWidth);
        EXPECT_EQ(a.Dsp->ChanFilterRe, b.Dsp->ChanFilterRe);
        EXPECT_EQ(a.Dsp->IFFilterRe, b.Dsp->IFFilterRe);
        EXPECT_EQ(a.Dsp->AudioFilterRe, b.Dsp->AudioFilterRe);
        EXPECT_EQ(a.Dsp->Lo1Step, b.Dsp->Lo1Step);
        EXPECT_EQ(a.Dsp->BfoStep, b.Dsp->BfoStep);
        EXPECT_EQ(a.Dsp->NegativeOffset, b.Dsp->NegativeOffset);
        EXPECT_EQ(a.Dsp->HighSide, b.Dsp->HighSide);
        EXPECT_EQ(a.Slider1->value(), NormaliseOffset(s.Raw, a.PassHigh - a.PassLow));
    }
}

} // namespace
} // namespace corvane::test
