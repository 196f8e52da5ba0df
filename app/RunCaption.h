// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <string>

namespace corvane {

// The "Run mS" caption: the mean time per block in milliseconds to one decimal, at least two
// integer digits, with the user's decimal separator, then the block length "/42,6".
std::string RunCaption(double meanSeconds, char decimalPoint);

} // namespace corvane
