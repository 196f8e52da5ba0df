// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "Surface.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace corvane {

// A fixed label of a scale or a meter face: its first cell's top-left corner and its text.
struct PlacedLabel {
    std::int32_t X;
    std::int32_t Y;
    std::string_view Text;
};

// Draws the labels in order, `text` on `background`; where cells overlap the later label wins.
void DrawLabels(Surface& surface, std::span<const PlacedLabel> labels, const LabelFont& font,
                Colour text, Colour background);

} // namespace corvane
