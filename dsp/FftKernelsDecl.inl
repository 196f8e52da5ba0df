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
// Natural-order bins, any n that is a power of two: out[k] = conj(x[k] + w[k] conj(x[-k])),
// indices modulo n (a widely-linear filter, conjugated for the inverse transform that follows).
void WidelyLinear(const double* re, const double* im, const double* wRe, const double* wIm,
                  double* outRe, double* outIm, int n);
// out[j] = x[j] * scale clipped to -32768..32767 and rounded half to even.
void Rounded16(const double* x, double scale, double* out, int n);
