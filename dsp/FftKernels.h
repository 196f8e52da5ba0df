// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#pragma once

// Per-instruction-set builds of the transform's inner loops (see FftKernels.inl).
namespace corvane::rxDSP::kernels {
namespace baseline {
void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable);
} // namespace baseline
namespace avx2 {
void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable);
} // namespace avx2
namespace avx512 {
void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable);
} // namespace avx512
} // namespace corvane::rxDSP::kernels
