// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "LabelFont.h"
#include "Spectrum.h"
#include "Waterfall.h"

#include <QImage>

#include <array>
#include <cstdint>

namespace corvane::tools {

// The waterfall of a whole recording for --waterfall: the wide trace of every processed block,
// as the window's waterfall takes it, one row per block, or for a long recording one row per
// K blocks (the strongest value of each point over them) so that the picture has at most
// MaxRows rows. Rows are stamped with their first block's time from the recording's start.
class ReplayWaterfall final : public WideTraceTap {
public:
    static constexpr std::int32_t MaxRows = 4000;
    static constexpr std::int32_t MinMarkRows = 12; // time labels at least this far apart

    // `blocks`: the recording's length in blocks (warm-up included).
    explicit ReplayWaterfall(std::int64_t blocks);

    // The input block being handled now, counted from the recording's start; set before each.
    void SetBlock(std::int64_t block) { Block = block; }
    void WideTraceDrawn(const Spectrum& traces) override;

    std::int32_t BlocksPerRow() const { return PerRow; }
    // The picture: the frequency axis with `loHz` at the centre, the rows oldest first, time
    // labels at the left; the classic palette from the recording's noise (the median of the
    // rows' medians) to 60 dB above it. Ends a row left part-way.
    QImage Picture(std::int32_t loHz);

private:
    void EndRow();

    std::int32_t PerRow;
    Waterfall Rows;
    LabelFont Font;
    std::int64_t Block = 0;
    std::array<float, Waterfall::Points> Db{};               // the block's trace, dBV
    std::array<std::uint8_t, Waterfall::Points> Strongest{}; // the row so far
    std::int32_t InRow = 0;                                  // blocks in it so far
    std::int64_t RowStartMs = 0;                             // its first block's time
};

} // namespace corvane::tools
