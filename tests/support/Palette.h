// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include "Surface.h"

// The colours the displays draw with, by name, for the tests that look at their pixels.
namespace corvane::test::palette {

constexpr Colour Black = Rgb(0, 0, 0);
constexpr Colour White = Rgb(255, 255, 255);
constexpr Colour Red = Rgb(255, 0, 0);
constexpr Colour Blue = Rgb(0, 0, 128);
constexpr Colour Green = Rgb(0, 128, 0);
constexpr Colour BrightGreen = Rgb(0, 255, 0);
constexpr Colour DarkGreen = Rgb(0, 180, 0);
constexpr Colour Grey = Rgb(128, 128, 128);
constexpr Colour DarkGrey = Rgb(64, 64, 64);
constexpr Colour Yellow = Rgb(255, 255, 0);

} // namespace corvane::test::palette
