// Butterfly stages of the forward transform, compiled once per instruction set by
// FftKernelsBaseline.cpp and FftKernelsAvx2.cpp inside their own namespaces. Every path runs the
// same multiplications and additions in the same order for each element, so all paths give
// bit-identical results. Raw pointers and no library calls: nothing here may become a shared
// inline symbol that one path could borrow from the other.

// Butterflies of one group: element j of the upper half (a) meets element j of the lower half
// (b); (xt, yt) = a - b is turned by the twiddle (cs, sn) = (cos, -sin).
static void Butterflies(double* __restrict ra, double* __restrict rb, double* __restrict ia,
                        double* __restrict ib, const double* __restrict cs,
                        const double* __restrict sn, int s) {
    for (int j = 0; j < s; ++j) {
        const double xt = ra[j] - rb[j];
        ra[j] = ra[j] + rb[j];
        const double yt = ia[j] - ib[j];
        ia[j] = ia[j] + ib[j];
        rb[j] = cs[j] * xt - sn[j] * yt;
        ib[j] = cs[j] * yt + sn[j] * xt;
    }
}

// One stage with half-span s: groups of 2s elements, twiddle j shared by all groups.
static void Stage(double* re, double* im, int n, int s, const double* cs, const double* sn) {
    for (int i0 = 0; i0 < n; i0 += 2 * s) {
        Butterflies(re + i0, re + i0 + s, im + i0, im + i0 + s, cs, sn, s);
    }
}

// The last stage (half-span 1) has one twiddle; running over the pairs keeps the loop long.
static void LastStage(double* re, double* im, int n, double c, double sn) {
    for (int i = 0; i < n; i += 2) {
        const double xt = re[i] - re[i + 1];
        re[i] = re[i] + re[i + 1];
        const double yt = im[i] - im[i + 1];
        im[i] = im[i] + im[i + 1];
        re[i + 1] = c * xt - sn * yt;
        im[i + 1] = c * yt + sn * xt;
    }
}

// Runs the stages with half-spans n/2 down to 1. Twiddles for half-span s start at s - 1.
void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable) {
    for (int s = n / 2; s >= 2; s /= 2) {
        Stage(re, im, n, s, cosTable + (s - 1), minusSinTable + (s - 1));
    }
    if (n >= 2) {
        LastStage(re, im, n, cosTable[0], minusSinTable[0]);
    }
}

void MultiplySpectra(const double* aRe, const double* aIm, const double* bRe, const double* bIm,
                     double* outRe, double* outIm, int n) {
    for (int i = 0; i < n; ++i) {
        const double ar = aRe[i];
        const double ai = aIm[i];
        const double br = bRe[i];
        const double bi = bIm[i];
        outRe[i] = ar * br - ai * bi;
        outIm[i] = ar * bi + ai * br;
    }
}
