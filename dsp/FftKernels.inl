// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
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
static void LastStage(double* __restrict re, double* __restrict im, int n, double c, double sn) {
    for (int i = 0; i < n; i += 2) {
        const double xt = re[i] - re[i + 1];
        re[i] = re[i] + re[i + 1];
        const double yt = im[i] - im[i + 1];
        im[i] = im[i] + im[i + 1];
        re[i + 1] = c * xt - sn * yt;
        im[i + 1] = c * yt + sn * xt;
    }
}

// Two consecutive stages in one pass over a group of 4q elements (x0..x3 at j, j+q, j+2q,
// j+3q): the stage with half-span 2q pairs (x0, x2) with twiddle j and (x1, x3) with twiddle
// j + q, then the stage with half-span q pairs (x0, x1) and (x2, x3) with twiddle j. Each
// element sees exactly the operations of the two separate stages; only the memory passes go.
static void Butterflies4(double* __restrict r0, double* __restrict r1, double* __restrict r2,
                         double* __restrict r3, double* __restrict m0, double* __restrict m1,
                         double* __restrict m2, double* __restrict m3, const double* __restrict ca,
                         const double* __restrict sa, const double* __restrict cb,
                         const double* __restrict sb, const double* __restrict c1,
                         const double* __restrict s1, int q) {
    for (int j = 0; j < q; ++j) {
        double x0 = r0[j], x1 = r1[j], x2 = r2[j], x3 = r3[j];
        double y0 = m0[j], y1 = m1[j], y2 = m2[j], y3 = m3[j];
        double xt = x0 - x2;
        x0 = x0 + x2;
        double yt = y0 - y2;
        y0 = y0 + y2;
        x2 = ca[j] * xt - sa[j] * yt;
        y2 = ca[j] * yt + sa[j] * xt;
        xt = x1 - x3;
        x1 = x1 + x3;
        yt = y1 - y3;
        y1 = y1 + y3;
        x3 = cb[j] * xt - sb[j] * yt;
        y3 = cb[j] * yt + sb[j] * xt;

        xt = x0 - x1;
        r0[j] = x0 + x1;
        yt = y0 - y1;
        m0[j] = y0 + y1;
        r1[j] = c1[j] * xt - s1[j] * yt;
        m1[j] = c1[j] * yt + s1[j] * xt;
        xt = x2 - x3;
        r2[j] = x2 + x3;
        yt = y2 - y3;
        m2[j] = y2 + y3;
        r3[j] = c1[j] * xt - s1[j] * yt;
        m3[j] = c1[j] * yt + s1[j] * xt;
    }
}

// The last two stages (half-spans 2 and 1) over groups of four, with their three twiddles held
// in registers: the same operations as Butterflies4 with q = 1, without a call per group.
// The groups interleave with a stride of four; 256-bit shuffles for that cost more than they
// gain, so this loop keeps to 128-bit vectors on every path.
__attribute__((target("prefer-vector-width=128"))) static void
LastPass4(double* __restrict re, double* __restrict im, int n, double ca, double sa, double cb,
          double sb, double c1, double s1) {
    for (int i = 0; i < n; i += 4) {
        double x0 = re[i], x1 = re[i + 1], x2 = re[i + 2], x3 = re[i + 3];
        double y0 = im[i], y1 = im[i + 1], y2 = im[i + 2], y3 = im[i + 3];
        double xt = x0 - x2;
        x0 = x0 + x2;
        double yt = y0 - y2;
        y0 = y0 + y2;
        x2 = ca * xt - sa * yt;
        y2 = ca * yt + sa * xt;
        xt = x1 - x3;
        x1 = x1 + x3;
        yt = y1 - y3;
        y1 = y1 + y3;
        x3 = cb * xt - sb * yt;
        y3 = cb * yt + sb * xt;

        xt = x0 - x1;
        re[i] = x0 + x1;
        yt = y0 - y1;
        im[i] = y0 + y1;
        re[i + 1] = c1 * xt - s1 * yt;
        im[i + 1] = c1 * yt + s1 * xt;
        xt = x2 - x3;
        re[i + 2] = x2 + x3;
        yt = y2 - y3;
        im[i + 2] = y2 + y3;
        re[i + 3] = c1 * xt - s1 * yt;
        im[i + 3] = c1 * yt + s1 * xt;
    }
}

// One pass of two stages (half-spans 2q and q) over every group of 4q elements of re/im[0..n).
static void Pass4(double* re, double* im, int n, int q, const double* cosTable,
                  const double* minusSinTable) {
    const double* ct = cosTable + (2 * q - 1);
    const double* st = minusSinTable + (2 * q - 1);
    const double* c1 = cosTable + (q - 1);
    const double* s1 = minusSinTable + (q - 1);
    for (int i0 = 0; i0 < n; i0 += 4 * q) {
        double* r = re + i0;
        double* m = im + i0;
        Butterflies4(r, r + q, r + 2 * q, r + 3 * q, m, m + q, m + 2 * q, m + 3 * q, ct, st, ct + q,
                     st + q, c1, s1, q);
    }
}

// The stages with half-spans s down to 1 on re/im[0..n): pairs of stages while the inner
// half-span fills vectors, then single stages. Twiddles for half-span s start at s - 1.
static void StagesFrom(double* re, double* im, int n, int s, const double* cosTable,
                       const double* minusSinTable) {
    for (; s / 2 >= 4; s /= 4) {
        Pass4(re, im, n, s / 2, cosTable, minusSinTable);
    }
    for (; s >= 4; s /= 2) {
        Stage(re, im, n, s, cosTable + (s - 1), minusSinTable + (s - 1));
    }
    if (s == 2) {
        LastPass4(re, im, n, cosTable[1], minusSinTable[1], cosTable[2], minusSinTable[2],
                  cosTable[0], minusSinTable[0]);
    } else if (s == 1) {
        LastStage(re, im, n, cosTable[0], minusSinTable[0]);
    }
}

// After a stage with half-span s, the later stages work inside groups of s elements that
// never meet again. So the first passes run over the whole frame, and once a group fits the
// first-level cache (1024 points, 16 KiB of re and im), all its remaining stages run on it
// before the next group is touched. Every element still sees the same operations.
void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable) {
    constexpr int CachePoints = 1024;
    int s = n / 2;
    while (2 * s > CachePoints && s / 2 >= 4) {
        Pass4(re, im, n, s / 2, cosTable, minusSinTable);
        s /= 4;
    }
    if (s < 1) {
        return;
    }
    for (int g = 0; g < n; g += 2 * s) {
        StagesFrom(re + g, im + g, 2 * s, s, cosTable, minusSinTable);
    }
}
