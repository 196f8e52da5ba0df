// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The kernels every instruction-set build provides (FftKernels.inl), declared once per build's
// namespace by FftKernels.h.
void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable,
               bool lastPass);
void PaddedDifStages(const double* inRe, const double* inIm, double* re, double* im, int n,
                     const double* cosTable, const double* minusSinTable);
void ConjugateProduct(const double* re, const double* im, const double* fRe, const double* fIm,
                      double* outRe, double* outIm, int n, const int* middleReversal,
                      const double* cosTable, const double* minusSinTable);
void OverlapAdd(const double* re, const double* im, double* outRe, double* outIm, double* tailRe,
                double* tailIm, int n, const int* middleReversal, const double* cosTable,
                const double* minusSinTable);
void Magnitudes(const double* re, const double* im, double* out, int n, const int* middleReversal,
                const double* cosTable, const double* minusSinTable);
void Reverse(double* re, double* im, int n, const int* middleReversal, const double* cosTable,
             const double* minusSinTable);
