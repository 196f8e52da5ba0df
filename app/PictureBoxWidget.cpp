// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "PictureBoxWidget.h"

#include "Surface.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <array>

namespace corvane {

namespace {

// A mask as the handlers see it: 1 when the first flag of `order` is set, 2 the second, 4 the
// third; other flags are left out.
template <typename Flag> std::int16_t Mask(QFlags<Flag> flags, const std::array<Flag, 3>& order) {
    std::int16_t mask = 0;
    std::int16_t bit = 1;
    for (const Flag flag : order) {
        if (flags & flag) {
            mask = static_cast<std::int16_t>(mask | bit);
        }
        bit = static_cast<std::int16_t>(bit * 2);
    }
    return mask;
}

} // namespace

std::int16_t PictureBoxWidget::ButtonMask(Qt::MouseButtons buttons) {
    return Mask(buttons, std::array{Qt::LeftButton, Qt::RightButton, Qt::MiddleButton});
}

std::int16_t PictureBoxWidget::ShiftMask(Qt::KeyboardModifiers modifiers) {
    return Mask(modifiers, std::array{Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier});
}

PictureBoxWidget::PictureBoxWidget(QColor background, std::int32_t border, QWidget* parent)
    : QWidget(parent), Background(background), Border(border) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

std::int32_t PictureBoxWidget::Width() const {
    return std::max(0, width() - 2 * Border);
}

std::int32_t PictureBoxWidget::Height() const {
    return std::max(0, height() - 2 * Border);
}

void PictureBoxWidget::Show(const Surface& frame) {
    ++Shows;
    // Shown already and not drawn on since (the 50 ms refresh of a receiver that is OFF): the
    // picture is the same, so nothing is copied or painted.
    if (&frame == ShownFrame && frame.Version() == ShownVersion) {
        return;
    }
    ShownFrame = &frame;
    ShownVersion = frame.Version();
    ++Copies;
    // A copy: the display goes on drawing into its surface after this returns. The image keeps
    // its storage from block to block, so showing a frame allocates nothing.
    if (isVisible()) {
        frame.CopyInto(Image);
        Pending = nullptr;
    } else {
        Pending = &frame;
    }
    update();
}

void PictureBoxWidget::CopyPending() const {
    if (Pending != nullptr) {
        Pending->CopyInto(Image);
        Pending = nullptr;
    }
}

const QImage& PictureBoxWidget::Shown() const {
    CopyPending();
    return Image;
}

void PictureBoxWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Background);
    if (Border > 0) {
        painter.setPen(QPen(Qt::black, Border));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(Border / 2.0, Border / 2.0, width() - Border, height() - Border));
    }
    CopyPending();
    if (!Image.isNull()) {
        painter.setClipRect(Border, Border, Width(), Height());
        painter.drawImage(Border, Border, Image);
    }
}

void PictureBoxWidget::Report(const MouseHandler& handler, const QMouseEvent& event,
                              std::int16_t button) const {
    if (handler) {
        const QPointF at = event.position() - QPointF(Border, Border);
        handler(button, ShiftMask(event.modifiers()), at.x(), at.y());
    }
}

void PictureBoxWidget::mousePressEvent(QMouseEvent* event) {
    Report(MouseDown, *event, ButtonMask(event->button()));
}

void PictureBoxWidget::mouseMoveEvent(QMouseEvent* event) {
    Report(MouseMove, *event, ButtonMask(event->buttons()));
}

void PictureBoxWidget::wheelEvent(QWheelEvent* event) {
    if (!Wheel) {
        event->ignore();
        return;
    }
    constexpr std::int32_t Notch = 120; // eighths of a degree: 15 degrees, one click
    WheelEighths += event->angleDelta().y();
    const std::int32_t notches = WheelEighths / Notch;
    WheelEighths -= notches * Notch;
    event->accept();
    if (notches != 0) {
        Wheel(notches);
    }
}

} // namespace corvane
