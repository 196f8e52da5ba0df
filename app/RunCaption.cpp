// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "RunCaption.h"

#include <array>
#include <charconv>

namespace corvane {

std::string RunCaption(double meanSeconds, char decimalPoint) {
    std::array<char, 64> text{};
    const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(),
                                         meanSeconds * 1000.0, std::chars_format::fixed, 1);
    std::string number = ec == std::errc() ? std::string(text.data(), end) : std::string("0.0");
    const std::size_t point = number.find('.');
    if (point != std::string::npos) {
        number[point] = decimalPoint;
        if (point < 2) {
            number.insert(0, 2 - point, '0'); // at least two integer digits
        }
    }
    return number + "/42,6";
}

} // namespace corvane
