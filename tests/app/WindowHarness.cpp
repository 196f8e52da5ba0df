// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "WindowHarness.h"

#include "ReferencePicture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace corvane::test {

void ToneSource::Fill(std::span<std::int16_t> frames) {
    for (std::size_t j = 0; j + 1 < frames.size(); j += 2, ++Frame) {
        const double phase = 6.283185307179586 * Hz * static_cast<double>(Frame) / 48000.0;
        frames[j] = static_cast<std::int16_t>(std::lround(Amplitude * std::cos(phase)));
        frames[j + 1] = static_cast<std::int16_t>(std::lround(Amplitude * std::sin(phase)));
    }
}

void CountingSink::Take(std::span<const std::int16_t> frames) {
    for (std::size_t j = 0; j + 1 < frames.size(); j += 2) {
        Audible += (frames[j] != 0 || frames[j + 1] != 0) ? 1 : 0;
    }
}

Receiver::Receiver(double toneHz, double amplitude)
    : Source(toneHz, amplitude), Card(Source, Sink), Window(std::make_unique<frmReceiver>(Card)) {}

Receiver::~Receiver() {
    Window.reset();
    QCoreApplication::processEvents();
}

bool Receiver::Load() {
    if (!Window->Form_Load()) {
        return false;
    }
    Window->show();
    return QTest::qWaitForWindowExposed(Window.get());
}

void Receiver::WaitForDisplays() {
    for (int waited = 0; Window->Timer1.Interval() != 0 && waited < 2000; waited += 10) {
        QTest::qWait(10);
    }
}

void Receiver::Block() {
    Card.Advance(2048);
    QCoreApplication::processEvents();
}

void Press(QWidget* widget, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Move(QWidget* widget, QPointF at, Qt::MouseButtons held) {
    QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Release(QWidget* widget, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Click(QWidget* widget) {
    // Near the left edge: option buttons and check boxes answer only on their indicator and text.
    const QPoint at(std::min(8, widget->width() / 2), widget->height() / 2);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
}

void MessageBoxAnswer::Arm() {
    Seen = false;
    QTimer::singleShot(0, [this] { Poll(200); });
}

void MessageBoxAnswer::Poll(int triesLeft) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
        if (triesLeft > 0) {
            QTimer::singleShot(10, [this, triesLeft] { Poll(triesLeft - 1); });
        }
        return;
    }
    Seen = true;
    Title = box->windowTitle();
    Text = box->text();
    box->button(QMessageBox::Ok)->click();
}

QString Readout(const frmReceiver& window) {
    QString text;
    for (const QLabel* digit : window.lbFreq) {
        text += digit->text();
    }
    return text;
}

QImage Render(frmReceiver& window) {
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

double DifferentPixels(const QImage& a, const QImage& b) {
    return ComparePictures(a, b).Share;
}

QImage RenderStartup() {
    Receiver rx;
    if (!rx.Load()) {
        return {};
    }
    rx.WaitForDisplays();
    QTest::qWait(120); // a refresh by Timer2
    return Render(*rx.Window);
}

QImage RenderAfterBlocks() {
    Receiver rx(-7000.0, 2000.0);
    if (!rx.Load()) {
        return {};
    }
    rx.WaitForDisplays();
    Click(rx.Window->cmdOn);
    for (int k = 0; k < 40; ++k) { // 10 warm-up notifications, then 30 processed blocks
        rx.Block();
    }
    QCoreApplication::processEvents();
    return Render(*rx.Window);
}

} // namespace corvane::test
