// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// ON, OFF, closing, and the receiver running on the virtual sound card.
#include "WindowHarness.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace corvane::test {
namespace {

std::vector<SoundOp> TailOf(const std::vector<SoundOp>& log, std::size_t n) {
    return {log.end() - static_cast<std::ptrdiff_t>(std::min(n, log.size())), log.end()};
}

TEST(Power, ClosingBeforeAnyOnReleasesTheSoundSystemInOrder) {
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    rx.Card.ClearLog();
    EXPECT_TRUE(rx.Window->close());
    EXPECT_FALSE(rx.Window->isVisible());
    const std::vector<SoundOp> expected{SoundOp::DestroyEvent,         SoundOp::DestroyEvent,
                                        SoundOp::ReleaseRoot,          SoundOp::ReleasePlayDevice,
                                        SoundOp::ReleaseCaptureDevice, SoundOp::ReleasePlayBuffer,
                                        SoundOp::ReleaseCaptureBuffer};
    EXPECT_EQ(rx.Card.Log(), expected);
}

TEST(Power, ClosingWhileOnIsRefusedUntilOff) {
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    frmReceiver& w = *rx.Window;
    rx.WaitForDisplays();

    Click(w.cmdOn);
    EXPECT_EQ(w.Running, -1);
    EXPECT_TRUE(w.Exchange->Capturing());
    EXPECT_TRUE(w.Exchange->Resync);
    EXPECT_FALSE(w.Timer2.Enabled());
    EXPECT_FALSE(w.Timer2.Ticking());

    rx.Card.ClearLog();
    MessageBoxAnswer answer;
    answer.Arm();
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(answer.Seen);
    EXPECT_EQ(answer.Title, "Richiesta chiusura");
    EXPECT_EQ(answer.Text, "     Acquisizione in corso. Premere OFF      ");
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Running, -1);
    EXPECT_TRUE(w.Exchange->Capturing());
    EXPECT_TRUE(rx.Card.Log().empty()); // nothing stopped, nothing released
    rx.Block();                         // and blocks still flow
    EXPECT_EQ(w.Exchange->WarmupCount, 1);

    Click(w.cmdOff);
    EXPECT_EQ(w.Running, 0);
    EXPECT_FALSE(w.Exchange->Capturing());
    EXPECT_FALSE(w.Exchange->Resync);
    EXPECT_TRUE(w.Timer2.Ticking());
    const auto& log = rx.Card.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), SoundOp::StopCapture), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), SoundOp::StopPlay), log.end());

    EXPECT_TRUE(w.close());
    EXPECT_EQ(TailOf(rx.Card.Log(), 1), std::vector<SoundOp>{SoundOp::ReleaseCaptureBuffer});
}

TEST(Power, OnTwiceRestartsPlaybackFromSegmentZero) {
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    frmReceiver& w = *rx.Window;
    Click(w.cmdOn);
    for (int k = 0; k < 5; ++k) {
        rx.Block();
    }
    EXPECT_FALSE(w.Exchange->Resync); // playback started three notifications after ON
    EXPECT_NE(w.Exchange->PlayIndex, 0);
    Click(w.cmdOn);
    EXPECT_EQ(w.Running, -1);
    EXPECT_TRUE(w.Exchange->Capturing());
    EXPECT_EQ(w.Exchange->PlayIndex, 0);
    EXPECT_TRUE(w.Exchange->Resync);
    Click(w.cmdOff);
    Click(w.cmdOff); // OFF while off is harmless
    EXPECT_EQ(w.Running, 0);
}

TEST(Power, ALostSoundStreamTellsTheOperatorAndTurnsOff) {
    Receiver rx;
    ASSERT_TRUE(rx.Load());
    frmReceiver& w = *rx.Window;
    Click(w.cmdOn);
    rx.Block();
    MessageBoxAnswer answer;
    answer.Arm();
    rx.Card.FailStream("the sound card went away");
    for (int k = 0; k < 50 && !answer.Seen; ++k) {
        QTest::qWait(10);
    }
    EXPECT_TRUE(answer.Seen);
    EXPECT_TRUE(answer.Text.contains("the sound card went away"));
    EXPECT_EQ(w.Running, 0);
    EXPECT_TRUE(w.Timer2.Enabled());
    EXPECT_TRUE(w.close()); // off again: closing is allowed
}

TEST(VirtualCard, BlocksDriveTheDisplaysUntilOffFreezesThem) {
    Receiver rx(300.0, 3000.0); // a tone next to the CW 500 Hz pass band at 250 Hz
    ASSERT_TRUE(rx.Load());
    frmReceiver& w = *rx.Window;
    rx.WaitForDisplays();
    const QImage wideIdle = w.Picture2->Shown();
    const QImage audioIdle = w.Picture4->Shown();
    const QImage meterIdle = w.Picture5->Shown();

    Click(w.cmdOn);
    for (int k = 0; k < 10; ++k) { // warm-up: nothing is processed
        rx.Block();
    }
    EXPECT_EQ(w.Picture2->Shown(), wideIdle);
    for (int k = 0; k < 20; ++k) {
        rx.Block();
    }
    EXPECT_NE(w.Picture2->Shown(), wideIdle);
    EXPECT_NE(w.Picture4->Shown(), audioIdle);
    EXPECT_NE(w.Picture5->Shown(), meterIdle);
    EXPECT_GT(rx.Sink.Audible, 0); // the demodulated tone is played

    // While on, only blocks redraw the displays.
    const int shows = w.Picture2->ShowCount();
    QTest::qWait(160);
    EXPECT_EQ(w.Picture2->ShowCount(), shows);

    // The processing time appears after 100 notifications.
    EXPECT_TRUE(w.Label1->text().isEmpty());
    for (int k = 30; k < 100; ++k) {
        rx.Block();
    }
    EXPECT_TRUE(QRegularExpression("^\\d\\d[.,]\\d/42,6$").match(w.Label1->text()).hasMatch())
        << w.Label1->text().toStdString();

    Click(w.cmdOff);
    const QImage frozen = w.Picture2->Shown();
    const QImage frozenMeter = w.Picture5->Shown();
    const int frozenShows = w.Picture2->ShowCount();
    const int frozenCopies = w.Picture2->CopyCount();
    rx.Block(); // the card is stopped: no capture, no notification
    QTest::qWait(160);
    EXPECT_GE(w.Picture2->ShowCount(), frozenShows + 2); // refreshed by Timer2
    EXPECT_EQ(w.Picture2->CopyCount(), frozenCopies);    // with the picture it already has
    EXPECT_EQ(w.Picture2->Shown(), frozen);
    EXPECT_EQ(w.Picture5->Shown(), frozenMeter);
}

} // namespace
} // namespace corvane::test
