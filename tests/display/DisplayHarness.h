// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "Displays.h"
#include "PictureBox.h"
#include "ReceiverSettings.h"
#include "Surface.h"

#include <cstdint>

namespace corvane {

// The five picture boxes of the receiver window as plain surfaces, and a picture of them in
// their places on the window.
struct DisplayBoxes {
    SurfaceBox Picture1{1018, 345}; // wide backdrop
    SurfaceBox Picture2{1000, 280}; // wide trace, at (9, 1) inside Picture1
    SurfaceBox Picture3{258, 328};  // audio scale, 1-pixel border
    SurfaceBox Picture4{198, 280};  // audio trace, at (30, 30) inside Picture3, 1-pixel border
    SurfaceBox Picture5{180, 180};  // S-meter

    // The start-up order of the window's first timer tick.
    void Init(Displays& displays);
    // The window from row 30 (the top of Picture1) down to the bottom of Picture3: 1018 x 680.
    Surface Snapshot() const;
};

// The whole-frame picture of the displays: start-up chain and displays tuned to +3000 Hz in
// CW 500 Hz, fed a fixed synthetic band (tones and pseudo-random noise) for `blocks` blocks
// through the block chain.
inline constexpr int ReferenceBlocks = 12;
Surface RenderReferenceFrame(int blocks = ReferenceBlocks);

} // namespace corvane
