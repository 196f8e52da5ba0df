#pragma once

// Per-instruction-set builds of the transform's inner loops (see FftKernels.inl).
namespace corvane::rxDSP::kernels {
namespace baseline {
void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable);
void MultiplySpectra(const double* aRe, const double* aIm, const double* bRe, const double* bIm,
                     double* outRe, double* outIm, int n);
} // namespace baseline
namespace avx2 {
void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable);
void MultiplySpectra(const double* aRe, const double* aIm, const double* bRe, const double* bIm,
                     double* outRe, double* outIm, int n);
} // namespace avx2
} // namespace corvane::rxDSP::kernels
