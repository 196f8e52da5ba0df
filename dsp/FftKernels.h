// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

#include <cmath> // for the kernels, which are included inside a namespace

// Per-instruction-set builds of the transform's inner loops (see FftKernels.inl).
namespace corvane::rxDSP::kernels {
namespace baseline {
#include "FftKernelsDecl.inl"
} // namespace baseline
namespace avx2 {
#include "FftKernelsDecl.inl"
} // namespace avx2
namespace avx512 {
#include "FftKernelsDecl.inl"
} // namespace avx512
} // namespace corvane::rxDSP::kernels
