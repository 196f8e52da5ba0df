// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "Labels.h"

namespace corvane {

void DrawLabels(Surface& surface, std::span<const PlacedLabel> labels, const LabelFont& font,
                Colour text, Colour background) {
    for (const PlacedLabel& label : labels) {
        surface.Text(label.X, label.Y, label.Text, font, text, background);
    }
}

} // namespace corvane
