// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Start-up: the layout, the state the receiver is left in, the timers and a missing sound card.
#include "WindowHarness.h"

#include "TuningModel.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace corvane::test {
namespace {

struct Placement {
    const char* Name;
    QWidget* Control;
    QWidget* Container;
    QRect Expected; // left, top, width, height inside the container's drawing area
};

TEST(StartUp, PlacesEveryControlInItsContainer) {
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    frmReceiver& w = *rx.Window;

    // The client area is fixed, so the layout cannot reflow.
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(w.size(), QSize(frmReceiver::ClientWidth, frmReceiver::ClientHeight));
    EXPECT_LE(w.width(), 1024);
    EXPECT_LE(w.height(), 768);
    EXPECT_TRUE(w.windowTitle().contains("Corvane"));
    EXPECT_TRUE(w.windowTitle().contains("2.1"));

    const Placement table[] = {
        {"Slider1", w.Slider1, &w, {0, 0, 1019, 30}},
        {"Picture1", w.Picture1, &w, {0, 30, 1018, 345}},
        {"Picture3", w.Picture3, &w, {310, 380, 260, 330}},
        {"Picture5", w.Picture5, &w, {110, 400, 180, 180}},
        {"frPower", w.frPower, &w, {10, 390, 80, 100}},
        {"FrWindow", w.FrWindow, &w, {210, 600, 80, 110}},
        {"FrTest", w.FrTest, &w, {10, 500, 80, 210}},
        {"FrTuning", w.FrTuning, &w, {676, 390, 300, 320}},
        {"FrAGC", w.FrAGC, &w, {580, 390, 60, 320}},
        {"Frame1", w.Frame1, &w, {110, 600, 80, 50}},
        {"Frame2", w.Frame2, &w, {110, 660, 80, 50}},
        {"Picture2", w.Picture2, w.Picture1, {9, 1, 1000, 280}},
        {"Picture4", w.Picture4, w.Picture3, {30, 30, 200, 282}},
        {"cmdOn", w.cmdOn, w.frPower, {10, 20, 60, 30}},
        {"cmdOff", w.cmdOff, w.frPower, {10, 60, 60, 30}},
        {"Option1", w.Option1, w.FrWindow, {10, 20, 65, 20}},
        {"Option2", w.Option2, w.FrWindow, {10, 40, 65, 20}},
        {"Option3", w.Option3, w.FrWindow, {10, 60, 65, 20}},
        {"Label2", w.Label2, w.FrTest, {5, 20, 65, 20}},
        {"Label4", w.Label4, w.FrTest, {5, 40, 65, 20}},
        {"Option8", w.Option8, w.FrTest, {10, 100, 65, 20}},
        {"Option9", w.Option9, w.FrTest, {10, 120, 65, 20}},
        {"Option10", w.Option10, w.FrTest, {10, 140, 65, 20}},
        {"Option11", w.Option11, w.FrTest, {10, 160, 65, 20}},
        {"Check1", w.Check1, w.FrTest, {10, 180, 65, 20}},
        {"LbMhz", w.LbMhz, w.FrTuning, {240, 50, 50, 30}},
        {"Line1", w.Line1, w.FrTuning, {0, 119, 297, 3}},
        {"frFilter", w.frFilter, w.FrTuning, {210, 130, 80, 180}},
        {"Option4", w.Option4, w.frFilter, {10, 20, 65, 25}},
        {"Option5", w.Option5, w.frFilter, {10, 60, 65, 25}},
        {"Option6", w.Option6, w.frFilter, {10, 100, 65, 25}},
        {"Option7", w.Option7, w.frFilter, {10, 140, 65, 25}},
        {"frMode", w.frMode, w.FrTuning, {10, 130, 90, 180}},
        {"OptCW100", w.OptCW100, w.frMode, {10, 20, 70, 25}},
        {"OptCW500", w.OptCW500, w.frMode, {10, 60, 70, 25}},
        {"OptUsb", w.OptUsb, w.frMode, {10, 100, 70, 25}},
        {"OptLsb", w.OptLsb, w.frMode, {10, 140, 70, 25}},
        {"Label5", w.Label5, w.FrAGC, {5, 20, 40, 20}},
        {"Slider2", w.Slider2, w.FrAGC, {5, 35, 30, 160}},
        {"OptAgcOff", w.OptAgcOff, w.FrAGC, {10, 215, 40, 25}},
        {"OptAgcSlow", w.OptAgcSlow, w.FrAGC, {10, 250, 40, 25}},
        {"OptAgcFast", w.OptAgcFast, w.FrAGC, {10, 285, 40, 25}},
        {"Label1", w.Label1, w.Frame1, {10, 20, 60, 20}},
    };
    for (const Placement& p : table) {
        SCOPED_TRACE(p.Name);
        ASSERT_NE(p.Control, nullptr);
        EXPECT_EQ(p.Control->parentWidget(), p.Container);
        EXPECT_TRUE(p.Control->isVisible());
        // Picture3 is the one container with a border: its contents start inside it.
        const QPoint inset = p.Container == w.Picture3 ? QPoint(1, 1) : QPoint(0, 0);
        EXPECT_EQ(p.Control->geometry().translated(-inset), p.Expected);
    }
    // The drawing areas the displays are sized from.
    EXPECT_EQ(w.Picture3->Width(), 258);
    EXPECT_EQ(w.Picture3->Height(), 328);
    EXPECT_EQ(w.Picture4->Width(), 198);
    EXPECT_EQ(w.Picture4->Height(), 280);
    EXPECT_EQ(w.Picture2->Width(), 1000);

    // The readout: nine digits, seven step buttons above and below.
    const int digitLeft[9] = {25, 50, 75, 90, 115, 140, 165, 180, 205};
    for (int k = 0; k < 9; ++k) {
        SCOPED_TRACE(k);
        QLabel* digit = w.lbFreq[static_cast<std::size_t>(k)];
        ASSERT_NE(digit, nullptr);
        EXPECT_EQ(digit->parentWidget(), w.FrTuning);
        EXPECT_TRUE(digit->isVisible());
        EXPECT_EQ(digit->geometry(), QRect(digitLeft[k], 40, k == 2 || k == 6 ? 15 : 25, 45));
    }
    const int stepLeft[7] = {25, 50, 90, 115, 140, 180, 205};
    for (int k = 0; k < 7; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(w.CmdP[static_cast<std::size_t>(k)]->geometry(), QRect(stepLeft[k], 24, 25, 10));
        EXPECT_EQ(w.CmdM[static_cast<std::size_t>(k)]->geometry(), QRect(stepLeft[k], 87, 25, 10));
        EXPECT_EQ(w.CmdP[static_cast<std::size_t>(k)]->text(), "+");
        EXPECT_EQ(w.CmdM[static_cast<std::size_t>(k)]->text(), "-");
    }
    EXPECT_EQ(w.FrTuning->findChildren<QLabel*>(QRegularExpression("^lbFreq")).size(), 9);

    // Substituted faces come from the installed font packages, not a fallback.
    EXPECT_EQ(QFontInfo(w.lbFreq[0]->font()).family(), "DejaVu Sans");
    EXPECT_EQ(QFontInfo(w.cmdOn->font()).family(), "Liberation Sans");
    EXPECT_TRUE(w.lbFreq[0]->font().bold());
    EXPECT_FALSE(w.Option1->font().bold()); // a bold frame title does not reach its contents
}

TEST(StartUp, LeavesTheReceiverIdleWithTheDefaultSettings) {
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    const frmReceiver& w = *rx.Window;

    EXPECT_TRUE(w.OptCW500->isChecked());
    EXPECT_EQ(w.PassLow, 575);
    EXPECT_EQ(w.PassHigh, 1075);
    EXPECT_EQ(w.UseLowIf, 0);
    EXPECT_TRUE(w.Option2->isChecked());
    EXPECT_EQ(w.VideoFilter, 4);
    EXPECT_TRUE(w.Option5->isChecked());
    EXPECT_TRUE(w.OptAgcFast->isChecked());
    EXPECT_EQ(w.Dsp->AgcOn, -1);
    EXPECT_EQ(w.Dsp->AgcLength, 4);
    EXPECT_EQ(w.Slider2->value(), 70);
    EXPECT_EQ(w.Dsp->MaxGain, 314);
    EXPECT_EQ(w.Slider1->value(), 250);
    EXPECT_EQ(w.TuneOffset, 250.0);
    EXPECT_EQ(Readout(w), "07.056.25");
    EXPECT_TRUE(w.Option8->isChecked());
    EXPECT_FALSE(w.Check1->isChecked());
    EXPECT_EQ(w.Exchange->WarmupCount, 0);
    EXPECT_EQ(w.Running, 0);
    EXPECT_FALSE(w.Exchange->Capturing());

    // What the chain and the displays read agrees with the controls.
    EXPECT_EQ(w.Settings.Mode, DemodMode::Cw500);
    EXPECT_EQ(w.Settings.Test, TestSignal::None);
    EXPECT_FALSE(w.Settings.TestPlus20dB);
    EXPECT_EQ(w.Settings.TuningOffset, 250);

    // Devices made and notifications armed; capture waits for ON.
    const auto& log = rx.Card.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), SoundOp::SetNotificationPositions), log.end());
    EXPECT_EQ(std::find(log.begin(), log.end(), SoundOp::StartCapture), log.end());
}

TEST(StartUp, ChainIsLeftAsTheSignalChainDefinesItsStartupState) {
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    const modDSP& dsp = *rx.Window->Dsp;

    ReceiverSettings settings; // CW 500 Hz
    NullDisplaySink sink;
    auto expected = std::make_unique<modDSP>(settings, sink);
    ApplyStartupState(*expected);

    EXPECT_EQ(dsp.Window, expected->Window);
    EXPECT_EQ(dsp.WindowGain, expected->WindowGain);
    EXPECT_EQ(dsp.ChanFilterRe, expected->ChanFilterRe);
    EXPECT_EQ(dsp.ChanFilterIm, expected->ChanFilterIm);
    EXPECT_EQ(dsp.IFFilterRe, expected->IFFilterRe);
    EXPECT_EQ(dsp.IFFilterIm, expected->IFFilterIm);
    EXPECT_EQ(dsp.AudioFilterRe, expected->AudioFilterRe);
    EXPECT_EQ(dsp.AudioFilterIm, expected->AudioFilterIm);
    EXPECT_EQ(dsp.Lo1Step, expected->Lo1Step);
    EXPECT_EQ(dsp.BfoStep, expected->BfoStep);
    EXPECT_EQ(dsp.TestStep, expected->TestStep);
    EXPECT_EQ(dsp.NegativeOffset, expected->NegativeOffset);
    EXPECT_EQ(dsp.HighSide, expected->HighSide);
    EXPECT_EQ(dsp.AgcOn, expected->AgcOn);
    EXPECT_EQ(dsp.AgcLength, expected->AgcLength);
    EXPECT_EQ(dsp.MaxGain, expected->MaxGain);
    // Worked values: L = 18000 Hz, T = 17425 Hz.
    EXPECT_DOUBLE_EQ(dsp.Lo1Step, 18000 * 6.2831853072 / 48000);
    EXPECT_DOUBLE_EQ(dsp.BfoStep, 17425 * 6.2831853072 / 48000);
    EXPECT_EQ(rx.Window->Screens.Traces.MarkerWidth, 10);
}

TEST(StartUp, DrawsNothingUntilTimer1TicksOnceThenTimer2Refreshes) {
    Receiver rx;
    ASSERT_TRUE(rx.Window->Form_Load());
    frmReceiver& w = *rx.Window;
    EXPECT_EQ(w.Timer1.Interval(), 50);
    EXPECT_EQ(w.Timer2.Interval(), 0);
    EXPECT_EQ(w.Timer3.Interval(), 0);
    for (const PictureBoxWidget* box :
         {w.Picture1, w.Picture2, w.Picture3, w.Picture4, w.Picture5}) {
        EXPECT_EQ(box->ShowCount(), 0);
        EXPECT_TRUE(box->Shown().isNull());
    }

    w.show();
    rx.WaitForDisplays();
    EXPECT_EQ(w.Timer1.Interval(), 0);
    EXPECT_FALSE(w.Timer1.Ticking());
    EXPECT_EQ(w.Timer2.Interval(), 50);
    EXPECT_TRUE(w.Timer2.Ticking());
    EXPECT_EQ(w.Timer3.Interval(), 0);
    EXPECT_FALSE(w.Timer3.Ticking());
    // While off, the pictures are shown again every 50 ms without changing, and as nothing was
    // drawn, nothing is copied or painted.
    const int before = w.Picture2->ShowCount();
    const QImage shown = w.Picture2->Shown();
    QTest::qWait(60); // the first refresh shows the trace frame in place of the bare grid
    const int copies = w.Picture2->CopyCount();
    QTest::qWait(170);
    EXPECT_GE(w.Picture2->ShowCount(), before + 2);
    EXPECT_EQ(w.Picture2->CopyCount(), copies);
    EXPECT_EQ(w.Picture2->Shown(), shown);
    for (const PictureBoxWidget* box :
         {w.Picture1, w.Picture2, w.Picture3, w.Picture4, w.Picture5}) {
        EXPECT_FALSE(box->Shown().isNull());
        EXPECT_EQ(box->Shown().size(), QSize(box->Width(), box->Height()));
    }
}

TEST(StartUp, WithoutASoundCardTellsTheOperatorAndEndsTheProgram) {
    Receiver rx;
    rx.Card.FailOperation(SoundOp::CreateCaptureDevice, "no capture device");
    MessageBoxAnswer answer;
    answer.Arm();
    EXPECT_FALSE(rx.Window->Form_Load());
    EXPECT_TRUE(answer.Seen);
    EXPECT_EQ(answer.Text, "Unable to start DirectSound. Check proper sound card installation");
    EXPECT_FALSE(rx.Window->Timer1.Ticking()); // nothing left to run
}

} // namespace
} // namespace corvane::test
