// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "ReplayWaterfall.h"

#include "StreamFormat.h"

#include <QList>

#include <algorithm>
#include <vector>

namespace corvane::tools {

namespace {

std::int32_t BlocksPerRowFor(std::int64_t blocks) {
    const std::int64_t rows = ReplayWaterfall::MaxRows;
    return static_cast<std::int32_t>(std::max<std::int64_t>(1, (blocks + rows - 1) / rows));
}

std::int32_t RowsFor(std::int64_t blocks) {
    const std::int32_t perRow = BlocksPerRowFor(blocks);
    return static_cast<std::int32_t>(std::max<std::int64_t>(1, (blocks + perRow - 1) / perRow));
}

} // namespace

ReplayWaterfall::ReplayWaterfall(std::int64_t blocks)
    : PerRow(BlocksPerRowFor(blocks)), Rows(RowsFor(blocks)) {}

void ReplayWaterfall::WideTraceDrawn(const Spectrum& traces) {
    traces.WideTraceDb(Db);
    if (InRow == 0) {
        Strongest.fill(0);
        // Whole milliseconds from the recording's start: 2048 frames at 48000 Hz each block.
        RowStartMs = Block * BlockFrames * 1000 / SampleRate;
    }
    for (std::size_t x = 0; x < Db.size(); ++x) {
        Strongest[x] = std::max(Strongest[x], Waterfall::Level(Db[x]));
    }
    if (++InRow == PerRow) {
        EndRow();
    }
}

void ReplayWaterfall::EndRow() {
    Rows.AddLevels(Strongest, RowStartMs);
    InRow = 0;
}

QImage ReplayWaterfall::Picture(std::int32_t loHz) {
    if (InRow > 0) {
        EndRow();
    }
    std::vector<std::uint8_t> medians;
    medians.reserve(static_cast<std::size_t>(Rows.Count()));
    for (std::int64_t row = Rows.Oldest(); row <= Rows.Newest(); ++row) {
        medians.push_back(Waterfall::MedianLevel(Rows.RowLevels(row)));
    }
    if (!medians.empty()) {
        const double noise = Waterfall::LevelDb(Waterfall::MedianLevel(medians));
        Rows.SetRange(noise, noise + Waterfall::AutoSpanDb);
    }
    const double rowsPerSecond = static_cast<double>(SampleRate) / BlockFrames / PerRow;
    const std::int64_t interval = Waterfall::MarkIntervalMs(rowsPerSecond, MinMarkRows);
    const QImage picture = DrawWaterfallPicture(Rows, Font, loHz, interval).ToImage();
    // Every pixel is one of the levels' colours or the labels' black, white and grey: as an
    // indexed picture the file is a third of the size, pixel for pixel the same.
    QList<QRgb> table;
    for (const Colour c : Rows.Colours()) {
        if (!table.contains(c)) {
            table.push_back(c);
        }
    }
    for (const Colour c : {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(128, 128, 128)}) {
        if (!table.contains(c)) {
            table.push_back(c);
        }
    }
    if (table.size() > 256) {
        return picture;
    }
    return picture.convertToFormat(QImage::Format_Indexed8, table, Qt::AvoidDither);
}

} // namespace corvane::tools
