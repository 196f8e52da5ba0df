// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "PictureBox.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace corvane {

// A picture box on the receiver window: a fixed-size widget with a background colour and an
// optional flat border, which shows the last surface a display handed to it. Mouse presses and
// moves are reported with the fractional X of the pointer inside the drawing area.
class PictureBoxWidget final : public QWidget, public PictureBox {
public:
    // Button masks as the handlers see them: 1 left, 2 right, 4 middle.
    using MouseHandler =
        std::function<void(std::int16_t Button, std::int16_t Shift, double X, double Y)>;

    PictureBoxWidget(QColor background, std::int32_t border, QWidget* parent);

    // Qt's buttons and modifiers as the handlers see them: buttons 1 left, 2 right, 4 middle;
    // Shift 1, Ctrl 2, Alt 4.
    static std::int16_t ButtonMask(Qt::MouseButtons buttons);
    static std::int16_t ShiftMask(Qt::KeyboardModifiers modifiers);

    std::int32_t Width() const override;
    std::int32_t Height() const override;
    void Show(const Surface& frame) override;

    // What the box shows now (null until a display showed something) and how often it was
    // given a new picture.
    const QImage& Shown() const;
    std::int32_t ShowCount() const { return Shows; }  // Show calls
    std::int32_t CopyCount() const { return Copies; } // of them, those that changed the picture

    MouseHandler MouseDown;
    MouseHandler MouseMove;
    // Whole notches of the wheel, positive turned up (away from the operator); a touchpad's
    // small steps add up to notches. Without a handler the wheel goes to the parent.
    std::function<void(std::int32_t notches)> Wheel;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void Report(const MouseHandler& handler, const QMouseEvent& event, std::int16_t button) const;

    QColor Background;
    std::int32_t Border; // pixels of flat border on each side
    void CopyPending() const;

    // The last frame shown. While the box is hidden nobody sees it, so the copy waits until it
    // is painted or asked for (a headless replay then copies nothing per block); `Pending` is
    // the display's surface, which outlives the box's paint events.
    mutable QImage Image;
    mutable const Surface* Pending = nullptr;
    std::int32_t Shows = 0;
    std::int32_t Copies = 0;
    const Surface* ShownFrame = nullptr; // the surface last shown, and its version then
    std::uint64_t ShownVersion = 0;
    std::int32_t WheelEighths = 0; // wheel rotation not yet a whole notch, 1/8 degree units
};

} // namespace corvane
