// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Built with -mavx512f -mavx512vl and 512-bit vectors preferred (no FMA: contraction stays off).
// Entered only when the CPU has AVX-512F and AVX-512VL.
#include "FftKernels.h"

namespace corvane::rxDSP::kernels::avx512 {
#include "FftKernels.inl"
} // namespace corvane::rxDSP::kernels::avx512
