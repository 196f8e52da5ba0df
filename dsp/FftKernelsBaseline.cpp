// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "FftKernels.h"

namespace corvane::rxDSP::kernels::baseline {
#include "FftKernels.inl"
} // namespace corvane::rxDSP::kernels::baseline
