// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Built with -mavx512f and 512-bit vectors preferred (no FMA: contraction stays off). Entered
// only when the CPU has AVX-512F.
#include "FftKernels.h"

namespace corvane::rxDSP::kernels::avx512 {
#include "FftKernels.inl"
} // namespace corvane::rxDSP::kernels::avx512
