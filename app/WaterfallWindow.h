// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "LabelFont.h"
#include "Spectrum.h"
#include "Surface.h"
#include "Waterfall.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QScrollBar;
class QSpinBox;

namespace corvane {

class frmReceiver;
class PictureBoxWidget;
class WaterfallWindow;

// The picture of the waterfall window: the rows on screen kept in an image of the view's own
// size used as a ring (a new block writes one scanline and moves the ring's top), shown in two
// slices, with the pass band and the time stamps drawn over it. A click tunes as the same
// column of the wide spectrum does; the wheel tunes as it does there, and with Shift scrolls
// the history.
class WaterfallView final : public QWidget {
public:
    static constexpr std::int32_t WheelRows = 20; // history rows per wheel notch with Shift

    explicit WaterfallView(WaterfallWindow& owner);

    // A row was added to the history.
    void RowAdded();
    // The rows shown: the newest at the top (live), or fixed at `topRow` (paused or scrolled).
    void Follow();
    void Hold(std::int64_t topRow);
    bool Live() const { return Following; }
    std::int64_t TopRow() const { return Top; }
    // The wide spectrum's column under view x: what a click there tunes to.
    double WideColumn(double x) const;

    QSize sizeHint() const override { return {Waterfall::Points, 400}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void RepaintRing(); // every row of the view again, from the history

    WaterfallWindow& Owner;
    QImage Ring;                   // view width x height, RGB32; scanline RingTop is row Top
    std::int32_t RingTop = 0;      // the scanline of the top row
    std::int64_t Top = -1;         // the history row at the top of the view
    bool Following = true;         // the top is the newest row
    bool RingStale = true;         // the ring must be painted again from the history
    std::uint64_t RingColours = 0; // the colours version the ring was painted in
    Surface LabelCell;             // one time stamp in the label font
    QImage LabelImage;             // LabelCell for painting
    std::int32_t WheelEighths = 0; // wheel rotation not yet a whole notch
};

// The waterfall of the whole band in a window of its own, opened and closed from the receiver
// window ("Waterfall", key W). One row per processed block from the wide trace as it is drawn;
// at least ten minutes kept; P pauses the picture (reception goes on) and P again follows.
// The receiver window owns it; it reads the receiver's tuning and tunes through the receiver's
// own handlers.
//
// Remembered settings, for saving at close and restoring at start (each setter works the
// window's own control, so a restored start is exactly as if the operator had set it):
//   QByteArray saveGeometry() const / bool restoreGeometry(const QByteArray&)   (QWidget's)
//   QString PaletteName() const;            bool SetPaletteName(const QString& name);
//   std::int32_t FloorDb() const;           void SetFloorDb(std::int32_t db);
//   std::int32_t CeilingDb() const;         void SetCeilingDb(std::int32_t db);
//   bool AutoRange() const;                 void SetAutoRange(bool on);
// and on the receiver window: bool WaterfallOpen() const; void SetWaterfallOpen(bool open).
class WaterfallWindow final : public QWidget, public WideTraceTap {
public:
    static constexpr std::int32_t LiveMarkMs = 10000; // a time stamp every 10 s

    explicit WaterfallWindow(frmReceiver& receiver);
    ~WaterfallWindow() override;
    WaterfallWindow(const WaterfallWindow&) = delete;
    WaterfallWindow& operator=(const WaterfallWindow&) = delete;

    // Each block's wide trace, once drawn (the receiver sets this window as the trace's tap
    // while the window is open).
    void WideTraceDrawn(const Spectrum& traces) override;

    // --- Remembered settings. Palette names: "classic", "viridis" (false for any other: nothing
    // changes). Floor -140..-1 dBV and ceiling -139..0 dBV, whole dB; a ceiling not above the
    // floor moves the other one. With Auto on (as at first) the two follow the noise and are
    // shown, not set: restore them with Auto off, then Auto.
    QString PaletteName() const;
    bool SetPaletteName(const QString& name);
    std::int32_t FloorDb() const;
    void SetFloorDb(std::int32_t db);
    std::int32_t CeilingDb() const;
    void SetCeilingDb(std::int32_t db);
    bool AutoRange() const;
    void SetAutoRange(bool on);

    // --- What the receiver tells it.
    void TuningChanged();      // the pass-band overlay moves
    void LoFrequencyChanged(); // the axis's centre frequency

    // --- Pausing and the history's scroll bar.
    void TogglePause();
    bool Paused() const { return Pause; }
    void ScrollTo(std::int32_t rowsBack); // rows back from the newest; 0 and not paused: live
    void ShowHistoryPosition();           // the scroll bar after the rows or the view changed

    // --- Handlers of the window's controls.
    void PaletteChanged();
    void FloorChanged();
    void CeilingChanged();
    void AutoChanged();
    // The view's size changed: the axis is drawn again for its width.
    void ViewResized();

    // --- Parts, reachable for tests.
    frmReceiver& Receiver;
    Waterfall Picture;
    LabelFont Font;
    PictureBoxWidget* Axis = nullptr; // the frequency axis above the picture
    WaterfallView* View = nullptr;
    QScrollBar* History = nullptr; // rows back from the newest
    QComboBox* cboPalette = nullptr;
    QSpinBox* spnFloor = nullptr;
    QSpinBox* spnCeiling = nullptr;
    QCheckBox* chkAuto = nullptr;
    QLabel* lbState = nullptr; // "Paused" while paused

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void DrawAxis();
    void ShowRange();  // the spin boxes show the range in use (Auto's too)
    void ApplyRange(); // the spin boxes' range to the picture, unless Auto chooses it

    Surface AxisDC;                            // the axis as drawn, view width x axis height
    std::array<float, Waterfall::Points> Db{}; // the newest row, dBV
    bool Pause = false;
    std::int32_t RowsSinceScrollShown = 0;
};

} // namespace corvane
