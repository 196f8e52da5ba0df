// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "WaterfallWindow.h"

#include "PictureBoxWidget.h"
#include "frmReceiver.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTime>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <span>

namespace corvane {

namespace {

const QColor PassBand(0, 255, 0); // the wide spectrum's marker outline

std::span<Colour> Scanline(QImage& image, std::int32_t y) {
    return {reinterpret_cast<Colour*>(image.scanLine(y)), static_cast<std::size_t>(image.width())};
}

} // namespace

// ------------------------------------------------------------------------------------------
// The view.

WaterfallView::WaterfallView(WaterfallWindow& owner)
    : QWidget(&owner), Owner(owner),
      LabelCell(4 + owner.Font.TextWidth("00:00:00"), LabelFont::CellHeight) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(100, 50);
    setFocusPolicy(Qt::StrongFocus);
}

void WaterfallView::RowAdded() {
    if (!Following) {
        return;
    }
    const std::int64_t newest = Owner.Picture.Newest();
    // The usual case: one row more, painted into the scanline above the old top.
    if (!RingStale && !Ring.isNull() && Top == newest - 1 &&
        RingColours == Owner.Picture.ColoursVersion()) {
        RingTop = (RingTop + Ring.height() - 1) % Ring.height();
        Owner.Picture.PaintRow(newest, Scanline(Ring, RingTop));
    } else {
        RingStale = true;
    }
    Top = newest;
    update();
}

void WaterfallView::Follow() {
    Following = true;
    Top = Owner.Picture.Newest();
    RingStale = true;
    update();
}

void WaterfallView::Hold(std::int64_t topRow) {
    Following = false;
    if (topRow != Top) {
        Top = topRow;
        RingStale = true;
        update();
    }
}

double WaterfallView::WideColumn(double x) const {
    return width() == Waterfall::Points ? x : x * Waterfall::Points / width();
}

void WaterfallView::RepaintRing() {
    RingTop = 0;
    for (std::int32_t y = 0; y < Ring.height(); ++y) {
        Owner.Picture.PaintRow(Top - y, Scanline(Ring, y));
    }
    RingStale = false;
    RingColours = Owner.Picture.ColoursVersion();
}

void WaterfallView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (Ring.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (RingStale || RingColours != Owner.Picture.ColoursVersion()) {
        RepaintRing();
    }
    // The ring in two slices: from its top scanline to its end, then from its start.
    const std::int32_t w = Ring.width();
    const std::int32_t h = Ring.height();
    painter.drawImage(QPoint(0, 0), Ring, QRect(0, RingTop, w, h - RingTop));
    if (RingTop > 0) {
        painter.drawImage(QPoint(0, h - RingTop), Ring, QRect(0, 0, w, RingTop));
    }

    // The receive pass band, as the wide spectrum's marker stands.
    const frmReceiver& rx = Owner.Receiver;
    auto marker = Spectrum::MarkerColumns(rx.Settings.TuningOffset, rx.Screens.Traces.MarkerWidth);
    if (marker[0] > marker[1]) {
        std::swap(marker[0], marker[1]);
    }
    const auto [left, right] = Waterfall::ViewColumns(marker, w);
    painter.setPen(PassBand);
    painter.drawLine(left, 0, left, h - 1);
    painter.drawLine(right - 1, 0, right - 1, h - 1);

    // The time stamps at their rows.
    for (std::int32_t y = 0; y < h && Owner.Picture.Holds(Top - y); ++y) {
        if (Owner.Picture.Marked(Top - y, WaterfallWindow::LiveMarkMs)) {
            LabelCell.Fill(Rgb(0, 0, 0));
            DrawWaterfallTime(LabelCell, 0, Owner.Picture.RowTimeMs(Top - y), Owner.Font);
            LabelCell.CopyInto(LabelImage);
            painter.drawImage(0, y, LabelImage);
        }
    }
}

void WaterfallView::resizeEvent(QResizeEvent*) {
    Ring = QImage(width(), height(), QImage::Format_RGB32);
    Owner.Picture.SetViewWidth(width());
    RingStale = true;
    Owner.ViewResized();
}

void WaterfallView::mousePressEvent(QMouseEvent* event) {
    Owner.Receiver.Picture2_MouseDown(PictureBoxWidget::ButtonMask(event->button()),
                                      PictureBoxWidget::ShiftMask(event->modifiers()),
                                      WideColumn(event->position().x()), event->position().y());
}

void WaterfallView::mouseMoveEvent(QMouseEvent* event) {
    Owner.Receiver.Picture2_MouseMove(PictureBoxWidget::ButtonMask(event->buttons()),
                                      PictureBoxWidget::ShiftMask(event->modifiers()),
                                      WideColumn(event->position().x()), event->position().y());
}

void WaterfallView::wheelEvent(QWheelEvent* event) {
    constexpr std::int32_t Notch = 120; // eighths of a degree: 15 degrees, one click
    // Some systems turn the wheel with Shift held into a sideways wheel.
    const QPoint delta = event->angleDelta();
    WheelEighths += delta.y() != 0 ? delta.y() : delta.x();
    const std::int32_t notches = WheelEighths / Notch;
    WheelEighths -= notches * Notch;
    event->accept();
    if (notches == 0) {
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier) { // turned up: towards the newest rows
        Owner.ScrollTo(Owner.History->value() - notches * WheelRows);
    } else {
        Owner.Receiver.Picture2_Wheel(notches);
    }
}

// ------------------------------------------------------------------------------------------
// The window.

WaterfallWindow::WaterfallWindow(frmReceiver& receiver)
    : QWidget(&receiver, Qt::Window), Receiver(receiver) {
    setWindowTitle(QStringLiteral("Corvane 2.1 - Waterfall"));
    Axis = new PictureBoxWidget(Qt::black, 0, this);
    Axis->setFixedHeight(WaterfallAxisHeight);
    Axis->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    View = new WaterfallView(*this);
    History = new QScrollBar(Qt::Vertical, this);
    History->setToolTip(QStringLiteral("History: Shift+wheel over the picture scrolls it too"));

    cboPalette = new QComboBox(this);
    cboPalette->addItem(QStringLiteral("Classic"), QStringLiteral("classic"));
    cboPalette->addItem(QStringLiteral("Viridis"), QStringLiteral("viridis"));
    cboPalette->setFocusPolicy(Qt::ClickFocus);
    spnFloor = new QSpinBox(this);
    spnFloor->setRange(-140, -1);
    spnFloor->setSuffix(QStringLiteral(" dBV"));
    spnFloor->setValue(static_cast<int>(Picture.FloorDb()));
    spnFloor->setFocusPolicy(Qt::ClickFocus);
    spnCeiling = new QSpinBox(this);
    spnCeiling->setRange(-139, 0);
    spnCeiling->setSuffix(QStringLiteral(" dBV"));
    spnCeiling->setValue(static_cast<int>(Picture.CeilingDb()));
    spnCeiling->setFocusPolicy(Qt::ClickFocus);
    for (QSpinBox* box : {spnFloor, spnCeiling}) { // room for "-140 dBV" in any style
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("-140 dBV")) + 40);
    }
    chkAuto = new QCheckBox(QStringLiteral("Auto"), this);
    chkAuto->setToolTip(QStringLiteral("Floor at the band's noise, ceiling 60 dB above it"));
    chkAuto->setFocusPolicy(Qt::ClickFocus);
    lbState = new QLabel(this);
    lbState->setToolTip(QStringLiteral("P pauses the picture and follows again"));

    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(6, 4, 6, 4);
    controls->addWidget(new QLabel(QStringLiteral("Palette"), this));
    controls->addWidget(cboPalette);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Floor"), this));
    controls->addWidget(spnFloor);
    controls->addWidget(new QLabel(QStringLiteral("Ceiling"), this));
    controls->addWidget(spnCeiling);
    controls->addWidget(chkAuto);
    controls->addSpacing(12);
    controls->addWidget(lbState);
    controls->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(Axis, 0, 0);
    grid->addWidget(View, 1, 0);
    grid->addWidget(History, 1, 1);
    grid->addLayout(controls, 2, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);

    QObject::connect(cboPalette, &QComboBox::currentIndexChanged, this,
                     [this] { PaletteChanged(); });
    QObject::connect(spnFloor, &QSpinBox::valueChanged, this, [this] { FloorChanged(); });
    QObject::connect(spnCeiling, &QSpinBox::valueChanged, this, [this] { CeilingChanged(); });
    QObject::connect(chkAuto, &QCheckBox::toggled, this, [this] { AutoChanged(); });
    QObject::connect(History, &QScrollBar::valueChanged, this, [this](int v) { ScrollTo(v); });
    auto* pause = new QShortcut(QKeySequence(Qt::Key_P), this);
    QObject::connect(pause, &QShortcut::activated, this, [this] { TogglePause(); });

    // Auto at first: a picture that suits whatever front end and level is connected.
    chkAuto->setChecked(true);
    // 1000 columns, aligned with the wide spectrum, and about 400 rows.
    resize(sizeHint());
    View->setFocus();
}

WaterfallWindow::~WaterfallWindow() = default;

void WaterfallWindow::WideTraceDrawn(const Spectrum& traces) {
    traces.WideTraceDb(Db);
    const std::uint64_t colours = Picture.ColoursVersion();
    Picture.AddRow(Db, QTime::currentTime().msecsSinceStartOfDay());
    if (!Pause) { // a paused picture keeps its colours too
        Picture.FollowNoise();
    }
    View->RowAdded();
    if (!View->Live()) {
        // Once the history loses rows the held view showed, it moves up to the oldest kept.
        const std::int64_t lowest = Picture.Oldest() + View->height() - 1;
        if (Picture.Oldest() > 0 && View->TopRow() < lowest) {
            View->Hold(std::min(lowest, Picture.Newest()));
        }
        ShowHistoryPosition();
    } else if (++RowsSinceScrollShown >= 12) { // twice a second is enough for the thumb
        ShowHistoryPosition();
    }
    if (colours != Picture.ColoursVersion()) { // Auto moved the range
        ShowRange();
    }
}

// ------------------------------------------------------------------------------------------
// Remembered settings.

QString WaterfallWindow::PaletteName() const {
    return cboPalette->currentData().toString();
}

bool WaterfallWindow::SetPaletteName(const QString& name) {
    const int index = cboPalette->findData(name);
    if (index < 0) {
        return false;
    }
    cboPalette->setCurrentIndex(index);
    return true;
}

std::int32_t WaterfallWindow::FloorDb() const {
    return spnFloor->value();
}

void WaterfallWindow::SetFloorDb(std::int32_t db) {
    spnFloor->setValue(db);
}

std::int32_t WaterfallWindow::CeilingDb() const {
    return spnCeiling->value();
}

void WaterfallWindow::SetCeilingDb(std::int32_t db) {
    spnCeiling->setValue(db);
}

bool WaterfallWindow::AutoRange() const {
    return chkAuto->isChecked();
}

void WaterfallWindow::SetAutoRange(bool on) {
    chkAuto->setChecked(on);
}

// ------------------------------------------------------------------------------------------
// Handlers.

void WaterfallWindow::PaletteChanged() {
    if (const auto kind = Waterfall::PaletteNamed(PaletteName().toStdString())) {
        Picture.SetPalette(*kind);
        View->update();
    }
}

void WaterfallWindow::FloorChanged() {
    if (spnCeiling->value() <= spnFloor->value()) {
        const QSignalBlocker quiet(spnCeiling);
        spnCeiling->setValue(spnFloor->value() + 1);
    }
    ApplyRange();
}

void WaterfallWindow::CeilingChanged() {
    if (spnFloor->value() >= spnCeiling->value()) {
        const QSignalBlocker quiet(spnFloor);
        spnFloor->setValue(spnCeiling->value() - 1);
    }
    ApplyRange();
}

void WaterfallWindow::ApplyRange() {
    if (!chkAuto->isChecked()) { // with Auto the boxes only show the range it chose
        Picture.SetRange(spnFloor->value(), spnCeiling->value());
        View->update();
    }
}

void WaterfallWindow::AutoChanged() {
    const bool on = chkAuto->isChecked();
    spnFloor->setEnabled(!on);
    spnCeiling->setEnabled(!on);
    Picture.SetAuto(on);
    if (on) {
        ShowRange();
    } else { // the range Auto reached, as the boxes show it, stays
        ApplyRange();
    }
    View->update();
}

void WaterfallWindow::ShowRange() {
    const QSignalBlocker quietFloor(spnFloor);
    const QSignalBlocker quietCeiling(spnCeiling);
    spnFloor->setValue(static_cast<int>(std::lround(Picture.FloorDb())));
    spnCeiling->setValue(static_cast<int>(std::lround(Picture.CeilingDb())));
}

void WaterfallWindow::TuningChanged() {
    View->update();
}

void WaterfallWindow::LoFrequencyChanged() {
    DrawAxis();
}

void WaterfallWindow::ViewResized() {
    DrawAxis();
    ShowHistoryPosition();
}

void WaterfallWindow::DrawAxis() {
    AxisDC = Surface(View->width(), WaterfallAxisHeight);
    DrawWaterfallAxis(AxisDC, Font, Receiver.LoFrequency());
    Axis->Show(AxisDC);
}

// ------------------------------------------------------------------------------------------
// Pausing and scrolling.

void WaterfallWindow::TogglePause() {
    Pause = !Pause;
    lbState->setText(Pause ? QStringLiteral("Paused (P)") : QString());
    if (Pause) {
        View->Hold(View->TopRow());
    } else {
        View->Follow();
    }
    ShowHistoryPosition();
}

void WaterfallWindow::ScrollTo(std::int32_t rowsBack) {
    rowsBack = std::clamp(rowsBack, 0, History->maximum());
    if (rowsBack == 0 && !Pause) {
        View->Follow();
    } else {
        View->Hold(Picture.Newest() - rowsBack);
    }
    ShowHistoryPosition();
}

void WaterfallWindow::ShowHistoryPosition() {
    RowsSinceScrollShown = 0;
    const std::int64_t kept = Picture.Count() - Picture.Oldest();
    const auto rows = static_cast<int>(std::max<std::int64_t>(0, kept - View->height()));
    const auto back = static_cast<int>(
        View->Live() ? 0 : std::max<std::int64_t>(0, Picture.Newest() - View->TopRow()));
    const QSignalBlocker quiet(History);
    History->setRange(0, std::max(rows, back));
    History->setPageStep(std::max(1, View->height()));
    History->setValue(back);
}

// ------------------------------------------------------------------------------------------
// Closing.

void WaterfallWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Receiver.SetWaterfallOpen(false); // the receiver's box follows, and the rows stop
}

} // namespace corvane
