// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "VirtualSoundCard.h"
#include "frmReceiver.h"

#include <QImage>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>

class QWidget;

namespace corvane::test {

// I/Q capture of one steady complex tone: I = A cos(2 pi Hz t), Q = A sin(2 pi Hz t).
class ToneSource final : public CaptureSource {
public:
    ToneSource(double hz, double amplitude) : Hz(hz), Amplitude(amplitude) {}
    void Fill(std::span<std::int16_t> frames) override;

private:
    double Hz;
    double Amplitude;
    std::int64_t Frame = 0;
};

// Counts the played frames that are not silent.
class CountingSink final : public PlaybackSink {
public:
    void Take(std::span<const std::int16_t> frames) override;
    std::int64_t Audible = 0;
};

// A receiver window on a virtual sound card whose clock the test steps, loaded and shown.
class Receiver {
public:
    explicit Receiver(double toneHz = 300.0, double amplitude = 3000.0);
    ~Receiver();

    // Form_Load and show; false when start-up ended the program.
    bool Load();
    // Waits for the first Timer1 tick (the displays exist afterwards).
    void WaitForDisplays();
    // One block of device time, then the event loop delivers what it signalled.
    void Block();

    ToneSource Source;
    CountingSink Sink;
    VirtualSoundCard Card;
    std::unique_ptr<frmReceiver> Window;
};

// Mouse input as the window system delivers it, with a fractional position.
void Press(QWidget* widget, QPointF at, Qt::MouseButton button, Qt::MouseButtons held);
void Move(QWidget* widget, QPointF at, Qt::MouseButtons held);
void Release(QWidget* widget, QPointF at, Qt::MouseButton button, Qt::MouseButtons held);
void Click(QWidget* widget); // a left click on the control

// Answers the next modal message box with OK and remembers what it said. Arm before the action
// that shows the box.
class MessageBoxAnswer {
public:
    void Arm();
    bool Seen = false;
    QString Title;
    QString Text;

private:
    void Poll(int triesLeft);
};

// The seven digits of the readout with its two points, e.g. "07.056.25".
QString Readout(const frmReceiver& window);

// The window as the screen shows it, at its own size.
QImage Render(frmReceiver& window);

// Fraction of pixels that differ between two images of the same size (1.0 when sizes differ).
double DifferentPixels(const QImage& a, const QImage& b);

// The reference pictures: the window right after start-up, and after some blocks of a tone.
QImage RenderStartup();
QImage RenderAfterBlocks();

} // namespace corvane::test
