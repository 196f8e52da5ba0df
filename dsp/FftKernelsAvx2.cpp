// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Built with -mavx2 (no FMA: contraction stays off). Entered only when the CPU has AVX2.
#include "FftKernels.h"

namespace corvane::rxDSP::kernels::avx2 {
#include "FftKernels.inl"
} // namespace corvane::rxDSP::kernels::avx2
