// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The one label font of the displays: Liberation Sans at 9 pixels, hinted and without
// anti-aliasing, in character cells 8 pixels high. The glyphs of the printable ASCII characters
// are rendered once, at construction, into bit masks; drawing text then only reads them.
// Construction needs a QGuiApplication (Qt's font database).
class LabelFont {
public:
    static constexpr std::int32_t CellHeight = 8;  // pixels, every character
    static constexpr std::int32_t MaxAdvance = 16; // pixels, the width of a mask row

    LabelFont();

    // Cell width of `c` in pixels; characters outside printable ASCII are drawn as '?'.
    std::int32_t Advance(char c) const { return Advances[Index(c)]; }
    // Glyph pixels of row `row` (0..7) of the cell: bit i set = column i is ink.
    std::uint16_t Ink(char c, std::int32_t row) const {
        return Masks[Index(c)][static_cast<std::size_t>(row)];
    }
    // Width in pixels of a run of cells.
    std::int32_t TextWidth(std::string_view text) const;
    // The family the font database actually supplied (another one when the package is missing).
    const std::string& ResolvedFamily() const { return Family; }

private:
    static constexpr int First = 32; // ' '
    static constexpr int Count = 95; // ' ' .. '~'
    static std::size_t Index(char c) {
        const int code = static_cast<unsigned char>(c);
        return static_cast<std::size_t>(code >= First && code < First + Count ? code - First
                                                                              : '?' - First);
    }

    std::string Family;
    std::array<std::int32_t, Count> Advances{};
    std::array<std::array<std::uint16_t, CellHeight>, Count> Masks{};
};

} // namespace corvane
