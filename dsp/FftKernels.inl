// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Butterfly stages of the forward transform, compiled once per instruction set by
// FftKernelsBaseline.cpp, FftKernelsAvx2.cpp and FftKernelsAvx512.cpp inside their own
// namespaces. Every path runs the same multiplications and additions in the same order for each
// element, so all paths give bit-identical results. Raw pointers and no library calls: nothing
// here may become a shared inline symbol that one path could borrow from the other.

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

// Two consecutive stages on one column of four points (x0..x3, y0..y3 their real and
// imaginary parts, at j, j+q, j+2q, j+3q of a group of 4q): the stage with half-span 2q pairs
// (x0, x2) with twiddle (ca, sa) and (x1, x3) with (cb, sb), then the stage with half-span q
// pairs (x0, x1) and (x2, x3) with (c1, s1). Each element sees exactly the operations of the
// two separate stages. T is a double, or a vector whose lanes each do what a double does.
// Always inlined: called, the eight values would go through memory.
template <typename T>
__attribute__((always_inline)) static inline void Column4(T& x0, T& x1, T& x2, T& x3, T& y0, T& y1,
                                                          T& y2, T& y3, T ca, T sa, T cb, T sb,
                                                          T c1, T s1) {
    T xt = x0 - x2;
    x0 = x0 + x2;
    T yt = y0 - y2;
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
    x0 = x0 + x1;
    yt = y0 - y1;
    y0 = y0 + y1;
    x1 = c1 * xt - s1 * yt;
    y1 = c1 * yt + s1 * xt;
    xt = x2 - x3;
    x2 = x2 + x3;
    yt = y2 - y3;
    y2 = y2 + y3;
    x3 = c1 * xt - s1 * yt;
    y3 = c1 * yt + s1 * xt;
}

// Column4 over the q columns of one group; only the memory passes between the two stages go.
static void Butterflies4(double* __restrict r0, double* __restrict r1, double* __restrict r2,
                         double* __restrict r3, double* __restrict m0, double* __restrict m1,
                         double* __restrict m2, double* __restrict m3, const double* __restrict ca,
                         const double* __restrict sa, const double* __restrict cb,
                         const double* __restrict sb, const double* __restrict c1,
                         const double* __restrict s1, int q) {
    for (int j = 0; j < q; ++j) {
        double x0 = r0[j], x1 = r1[j], x2 = r2[j], x3 = r3[j];
        double y0 = m0[j], y1 = m1[j], y2 = m2[j], y3 = m3[j];
        Column4(x0, x1, x2, x3, y0, y1, y2, y3, ca[j], sa[j], cb[j], sb[j], c1[j], s1[j]);
        r0[j] = x0;
        r1[j] = x1;
        r2[j] = x2;
        r3[j] = x3;
        m0[j] = y0;
        m1[j] = y1;
        m2[j] = y2;
        m3[j] = y3;
    }
}

// Vectors are GCC's generic ones, loaded and stored through memcpy (no alignment assumed). Two
// doubles fit every instruction set's registers; wider ones are never passed to or returned
// from a function, which would tie them to a calling convention.
typedef double Pair __attribute__((vector_size(16)));

static Pair Load2(const double* x) {
    Pair v;
    __builtin_memcpy(&v, x, sizeof v);
    return v;
}

static void Store2(double* x, Pair v) {
    __builtin_memcpy(x, &v, sizeof v);
}

// The square root instruction on each element (errno is off for this library, so no call).
static Pair Sqrt2(Pair v) {
    return Pair{__builtin_sqrt(v[0]), __builtin_sqrt(v[1])};
}

// The last two stages (half-spans 2 and 1) over groups of four, with their three twiddles held
// in registers: the same operations as Butterflies4 with q = 1, without a call per group. The
// first stage meets elements 0 and 1 of a group with 2 and 3, the second 0 with 1 and 2 with 3;
// shuffles line up the partners and put the results back in place. Each element sees the
// scalar operations in the same order. This one takes a group per step, in two-double vectors.
static void LastPass4Pairs(double* __restrict re, double* __restrict im, int n, double ca,
                           double sa, double cb, double sb, double c1, double s1) {
    const Pair cs = {ca, cb};
    const Pair sn = {sa, sb};
    const Pair c = {c1, c1};
    const Pair s = {s1, s1};
    for (int i = 0; i < n; i += 4) {
        Pair x01 = Load2(re + i), x23 = Load2(re + i + 2);
        Pair y01 = Load2(im + i), y23 = Load2(im + i + 2);
        Pair xt = x01 - x23;
        x01 = x01 + x23;
        Pair yt = y01 - y23;
        y01 = y01 + y23;
        x23 = cs * xt - sn * yt;
        y23 = cs * yt + sn * xt;

        const Pair x02 = __builtin_shufflevector(x01, x23, 0, 2);
        const Pair x13 = __builtin_shufflevector(x01, x23, 1, 3);
        const Pair y02 = __builtin_shufflevector(y01, y23, 0, 2);
        const Pair y13 = __builtin_shufflevector(y01, y23, 1, 3);
        xt = x02 - x13;
        const Pair re02 = x02 + x13;
        yt = y02 - y13;
        const Pair im02 = y02 + y13;
        const Pair re13 = c * xt - s * yt;
        const Pair im13 = c * yt + s * xt;
        Store2(re + i, __builtin_shufflevector(re02, re13, 0, 2));
        Store2(re + i + 2, __builtin_shufflevector(re02, re13, 1, 3));
        Store2(im + i, __builtin_shufflevector(im02, im13, 0, 2));
        Store2(im + i + 2, __builtin_shufflevector(im02, im13, 1, 3));
    }
}

#if defined(__AVX512F__)
// Four groups per step in eight-double vectors, where the instruction set has them; a
// remainder below sixteen points (the 4- and 8-point transforms) goes by pairs.
static void LastPass4(double* __restrict re, double* __restrict im, int n, double ca, double sa,
                      double cb, double sb, double c1, double s1) {
    typedef double Oct __attribute__((vector_size(64)));
    const Oct cs = {ca, cb, ca, cb, ca, cb, ca, cb};
    const Oct sn = {sa, sb, sa, sb, sa, sb, sa, sb};
    const Oct c = {c1, c1, c1, c1, c1, c1, c1, c1};
    const Oct s = {s1, s1, s1, s1, s1, s1, s1, s1};
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        Oct r0, r1, m0, m1;
        __builtin_memcpy(&r0, re + i, sizeof r0);
        __builtin_memcpy(&r1, re + i + 8, sizeof r1);
        __builtin_memcpy(&m0, im + i, sizeof m0);
        __builtin_memcpy(&m1, im + i + 8, sizeof m1);
        Oct x01 = __builtin_shufflevector(r0, r1, 0, 1, 4, 5, 8, 9, 12, 13);
        Oct x23 = __builtin_shufflevector(r0, r1, 2, 3, 6, 7, 10, 11, 14, 15);
        Oct y01 = __builtin_shufflevector(m0, m1, 0, 1, 4, 5, 8, 9, 12, 13);
        Oct y23 = __builtin_shufflevector(m0, m1, 2, 3, 6, 7, 10, 11, 14, 15);
        Oct xt = x01 - x23;
        x01 = x01 + x23;
        Oct yt = y01 - y23;
        y01 = y01 + y23;
        x23 = cs * xt - sn * yt;
        y23 = cs * yt + sn * xt;
        const Oct x02 = __builtin_shufflevector(x01, x23, 0, 8, 2, 10, 4, 12, 6, 14);
        const Oct x13 = __builtin_shufflevector(x01, x23, 1, 9, 3, 11, 5, 13, 7, 15);
        const Oct y02 = __builtin_shufflevector(y01, y23, 0, 8, 2, 10, 4, 12, 6, 14);
        const Oct y13 = __builtin_shufflevector(y01, y23, 1, 9, 3, 11, 5, 13, 7, 15);
        xt = x02 - x13;
        const Oct re02 = x02 + x13;
        yt = y02 - y13;
        const Oct im02 = y02 + y13;
        const Oct re13 = c * xt - s * yt;
        const Oct im13 = c * yt + s * xt;
        r0 = __builtin_shufflevector(re02, re13, 0, 8, 1, 9, 2, 10, 3, 11);
        r1 = __builtin_shufflevector(re02, re13, 4, 12, 5, 13, 6, 14, 7, 15);
        m0 = __builtin_shufflevector(im02, im13, 0, 8, 1, 9, 2, 10, 3, 11);
        m1 = __builtin_shufflevector(im02, im13, 4, 12, 5, 13, 6, 14, 7, 15);
        __builtin_memcpy(re + i, &r0, sizeof r0);
        __builtin_memcpy(re + i + 8, &r1, sizeof r1);
        __builtin_memcpy(im + i, &m0, sizeof m0);
        __builtin_memcpy(im + i + 8, &m1, sizeof m1);
    }
    if (i < n) {
        LastPass4Pairs(re + i, im + i, n - i, ca, sa, cb, sb, c1, s1);
    }
}
#else
static void LastPass4(double* __restrict re, double* __restrict im, int n, double ca, double sa,
                      double cb, double sb, double c1, double s1) {
    LastPass4Pairs(re, im, n, ca, sa, cb, sb, c1, s1);
}
#endif

// One pass of two stages (half-spans 2q and q) over every group of 4q elements of re/im[0..n).
static void Pass4(double* re, double* im, int n, int q, const double* cosTable,
                  const double* minusSinTable) {
    const double* ct = cosTable + 2 * q;
    const double* st = minusSinTable + 2 * q;
    const double* c1 = cosTable + q;
    const double* s1 = minusSinTable + q;
    for (int i0 = 0; i0 < n; i0 += 4 * q) {
        double* r = re + i0;
        double* m = im + i0;
        Butterflies4(r, r + q, r + 2 * q, r + 3 * q, m, m + q, m + 2 * q, m + 3 * q, ct, st, ct + q,
                     st + q, c1, s1, q);
    }
}

// Where the last pass (half-spans 2 and 1) of a result for the block passes runs. In
// eight-double vectors it is cheapest as a pass of its own (four groups per step, above); in
// two-double vectors the block passes run it on the way, lane by lane, which saves a pass over
// memory and its shuffles.
#if defined(__AVX512F__)
static constexpr bool LastPassInBlocks = false;
#else
static constexpr bool LastPassInBlocks = true;
#endif

// The stages with half-spans s down to 1 on re/im[0..n): pairs of stages while the inner
// half-span fills vectors, then single stages. Twiddles for half-span s are at [s, 2s). For
// n >= 4 the walk ends with the pass of half-spans 2 and 1, which `lastPass` false leaves to
// the block passes below where they run it.
static void StagesFrom(double* re, double* im, int n, int s, const double* cosTable,
                       const double* minusSinTable, bool lastPass) {
    for (; s / 2 >= 4; s /= 4) {
        Pass4(re, im, n, s / 2, cosTable, minusSinTable);
    }
    for (; s >= 4; s /= 2) {
        Stage(re, im, n, s, cosTable + s, minusSinTable + s);
    }
    if (s == 2) {
        if (!lastPass && LastPassInBlocks) {
            return;
        }
        LastPass4(re, im, n, cosTable[2], minusSinTable[2], cosTable[3], minusSinTable[3],
                  cosTable[1], minusSinTable[1]);
    } else if (s == 1) {
        LastStage(re, im, n, cosTable[1], minusSinTable[1]);
    }
}

// After a stage with half-span s, the later stages work inside groups of s elements that
// never meet again. So the first passes run over the whole frame, and once a group fits the
// first-level cache (1024 points, 16 KiB of re and im), all its remaining stages run on it
// before the next group is touched. Every element still sees the same operations. Runs the
// stages with half-spans s down to 1 (or 4, as StagesFrom).
static void DifStagesFrom(double* re, double* im, int n, int s, const double* cosTable,
                          const double* minusSinTable, bool lastPass) {
    constexpr int CachePoints = 1024;
    while (2 * s > CachePoints && s / 2 >= 4) {
        Pass4(re, im, n, s / 2, cosTable, minusSinTable);
        s /= 4;
    }
    if (s < 1) {
        return;
    }
    for (int g = 0; g < n; g += 2 * s) {
        StagesFrom(re + g, im + g, 2 * s, s, cosTable, minusSinTable, lastPass);
    }
}

void DifStages(double* re, double* im, int n, const double* cosTable, const double* minusSinTable,
               bool lastPass) {
    DifStagesFrom(re, im, n, n / 2, cosTable, minusSinTable, lastPass);
}

// The first pass of a frame whose upper half is zero (x2 = x3 = +0 in every column, q = n/4),
// read from in and written to out: Column4 with the zeros as constants. The compiler drops
// only x - 0.0, which is x for every x; x + 0.0 stays (it turns -0 into +0).
static void PaddedButterflies4(const double* __restrict in0, const double* __restrict in1,
                               const double* __restrict inIm0, const double* __restrict inIm1,
                               double* __restrict r0, double* __restrict r1, double* __restrict r2,
                               double* __restrict r3, double* __restrict m0, double* __restrict m1,
                               double* __restrict m2, double* __restrict m3,
                               const double* __restrict ca, const double* __restrict sa,
                               const double* __restrict cb, const double* __restrict sb,
                               const double* __restrict c1, const double* __restrict s1, int q) {
    for (int j = 0; j < q; ++j) {
        double x0 = in0[j], x1 = in1[j], x2 = 0.0, x3 = 0.0;
        double y0 = inIm0[j], y1 = inIm1[j], y2 = 0.0, y3 = 0.0;
        Column4(x0, x1, x2, x3, y0, y1, y2, y3, ca[j], sa[j], cb[j], sb[j], c1[j], s1[j]);
        r0[j] = x0;
        r1[j] = x1;
        r2[j] = x2;
        r3[j] = x3;
        m0[j] = y0;
        m1[j] = y1;
        m2[j] = y2;
        m3[j] = y3;
    }
}

// DifStages of inRe/inIm[0..n/2) followed by n/2 zeros, into re/im[0..n), without the last
// pass (for a block pass to finish); n >= 16, so that the first pass is a whole-frame
// Butterflies4 pass.
void PaddedDifStages(const double* inRe, const double* inIm, double* re, double* im, int n,
                     const double* cosTable, const double* minusSinTable) {
    const int q = n / 4;
    const double* ct = cosTable + 2 * q;
    const double* st = minusSinTable + 2 * q;
    PaddedButterflies4(inRe, inRe + q, inIm, inIm + q, re, re + q, re + 2 * q, re + 3 * q, im,
                       im + q, im + 2 * q, im + 3 * q, ct, st, ct + q, st + q, cosTable + q,
                       minusSinTable + q, q);
    DifStagesFrom(re, im, n, n / 8, cosTable, minusSinTable, false);
}

// Reading a result in bit-reversed order, by blocks, running its last pass (half-spans 2
// and 1) on the way where LastPassInBlocks. For n = 2^b (b >= 6) write a bin k as top (its three
// highest bits), middle and low (its three lowest): it sits at rev3(low) * n/8 + rev(middle) * 8 +
// rev3(top). The 64 bins of one middle thus come from eight source rows of eight neighbours, and
// bin (top, low) is row rev3(low), column rev3(top): an 8 x 8 transpose, made here two rows at a
// time. A shuffle pairs column c of the two rows; the groups of four of the last pass are
// columns 0-3 and 4-7 of a row, so in these pairs each lane runs its own row's last pass with
// no shuffles at all. The transposed pairs are then what the passes want: visit(even, odd,
// rEven, iEven, rOdd, iOdd) gets, for the rows of low = 2t and 2t + 1, columns 2j and 2j + 1:
// those of column 2j are bins low = 2t, 2t + 1 of the run from `even` (rEven, iEven), those of
// column 2j + 1 the same bins of the run from `odd` (rOdd, iOdd). middleReversal is the bit
// reversal for n / 64.
static constexpr int Rev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// The bins at a, a + 1, b, b + 1 of x as the pairs (a, b) and (a + 1, b + 1).
static void LoadColumns(const double* x, int a, int b, Pair& first, Pair& second) {
    const Pair pa = Load2(x + a);
    const Pair pb = Load2(x + b);
    first = __builtin_shufflevector(pa, pb, 0, 2);
    second = __builtin_shufflevector(pa, pb, 1, 3);
}

// The last pass's three twiddles, in both lanes.
struct LastTwiddles {
    Pair ca, sa, cb, sb, c1, s1;
};

static LastTwiddles LastPassTwiddles(const double* cosTable, const double* minusSinTable) {
    return {Pair{cosTable[2], cosTable[2]}, Pair{minusSinTable[2], minusSinTable[2]},
            Pair{cosTable[3], cosTable[3]}, Pair{minusSinTable[3], minusSinTable[3]},
            Pair{cosTable[1], cosTable[1]}, Pair{minusSinTable[1], minusSinTable[1]}};
}

// One source block (rows srcRow apart) finished and transposed: visit(j, t, rEven, iEven,
// rOdd, iOdd) for columns 2j, 2j + 1 of the rows of low = 2t, 2t + 1.
template <typename Visit>
static void FinishBlock(const double* re, const double* im, int srcRow, const LastTwiddles& w,
                        Visit visit) {
    for (int t = 0; t < 4; ++t) {
        const int a = Rev3[2 * t] * srcRow;
        const int b = Rev3[2 * t + 1] * srcRow;
        for (int group = 0; group < 8; group += 4) {
            Pair x[4], y[4];
            LoadColumns(re, a + group, b + group, x[0], x[1]);
            LoadColumns(re, a + group + 2, b + group + 2, x[2], x[3]);
            LoadColumns(im, a + group, b + group, y[0], y[1]);
            LoadColumns(im, a + group + 2, b + group + 2, y[2], y[3]);
            if (LastPassInBlocks) { // Column4 with q = 1, lane by lane
                Column4(x[0], x[1], x[2], x[3], y[0], y[1], y[2], y[3], w.ca, w.sa, w.cb, w.sb,
                        w.c1, w.s1);
            }
            visit(group / 2, t, x[0], y[0], x[1], y[1]);
            visit(group / 2 + 1, t, x[2], y[2], x[3], y[3]);
        }
    }
}

template <typename Visit>
static void ForEachReversedBlock(int n, const int* middleReversal, const double* re,
                                 const double* im, const LastTwiddles& w, Visit visit) {
    const int row = n / 8;
    for (int middle = 0; middle < n / 64; ++middle) {
        const int source = middleReversal[middle] * 8;
        FinishBlock(re + source, im + source, row, w,
                    [=](int j, int t, Pair rEven, Pair iEven, Pair rOdd, Pair iOdd) {
                        visit(Rev3[2 * j] * row + middle * 8 + 2 * t,
                              Rev3[2 * j + 1] * row + middle * 8 + 2 * t, rEven, iEven, rOdd, iOdd);
                    });
    }
}

void ConjugateProduct(const double* re, const double* im, const double* fRe, const double* fIm,
                      double* outRe, double* outIm, int n, const int* middleReversal,
                      const double* cosTable, const double* minusSinTable) {
    const auto product = [=](int k, Pair ar, Pair ai) {
        const Pair br = Load2(fRe + k);
        const Pair bi = Load2(fIm + k);
        Store2(outRe + k, ar * br - ai * bi);
        Store2(outIm + k, -(ar * bi + ai * br));
    };
    ForEachReversedBlock(n, middleReversal, re, im, LastPassTwiddles(cosTable, minusSinTable),
                         [=](int even, int odd, Pair rEven, Pair iEven, Pair rOdd, Pair iOdd) {
                             product(even, rEven, iEven);
                             product(odd, rOdd, iOdd);
                         });
}

void OverlapAdd(const double* re, const double* im, double* outRe, double* outIm, double* tailRe,
                double* tailIm, int n, const int* middleReversal, const double* cosTable,
                const double* minusSinTable) {
    // n is a power of two, so 1/n is exact and x * (1/n) rounds the same real number as x / n:
    // the same result, bit for bit, without a division per value.
    const double scale = 1.0 / n;
    const int half = n / 2;
    // Column 2j always lands in the lower half and column 2j + 1 at the same place of the upper
    // half, so each tail value is read before it is replaced.
    ForEachReversedBlock(n, middleReversal, re, im, LastPassTwiddles(cosTable, minusSinTable),
                         [=](int even, int odd, Pair rEven, Pair iEven, Pair rOdd, Pair iOdd) {
                             Store2(outRe + even, rEven * scale + Load2(tailRe + even));
                             Store2(outIm + even, iEven * scale + Load2(tailIm + even));
                             Store2(tailRe + odd - half, rOdd * scale);
                             Store2(tailIm + odd - half, iOdd * scale);
                         });
}

void Magnitudes(const double* re, const double* im, double* out, int n, const int* middleReversal,
                const double* cosTable, const double* minusSinTable) {
    ForEachReversedBlock(n, middleReversal, re, im, LastPassTwiddles(cosTable, minusSinTable),
                         [=](int even, int odd, Pair rEven, Pair iEven, Pair rOdd, Pair iOdd) {
                             Store2(out + even, Sqrt2(rEven * rEven + iEven * iEven));
                             Store2(out + odd, Sqrt2(rOdd * rOdd + iOdd * iOdd));
                         });
}

// One array's block of one middle in natural order from its source block, for a result that
// needs no finishing: dst[top][low] = src[rev3(low)][rev3(top)].
static void TransposeBlock(const double* src, int srcRow, double* dst, int dstRow) {
    for (int j = 0; j < 4; ++j) {
        double* even = dst + Rev3[2 * j] * dstRow;
        double* odd = dst + Rev3[2 * j + 1] * dstRow;
        for (int t = 0; t < 4; ++t) {
            Pair first, second;
            LoadColumns(src, Rev3[2 * t] * srcRow + 2 * j, Rev3[2 * t + 1] * srcRow + 2 * j, first,
                        second);
            Store2(even + 2 * t, first);
            Store2(odd + 2 * t, second);
        }
    }
}

// The natural-order block of one middle from its source block: finished and transposed as
// above, from rows srcRow apart to rows dstRow apart. Without a last pass to run, each array
// goes on its own, which keeps fewer lines in flight.
static void ReverseBlock(const double* srcRe, const double* srcIm, int srcRow, double* dstRe,
                         double* dstIm, int dstRow, const LastTwiddles& w) {
    if (!LastPassInBlocks) {
        TransposeBlock(srcRe, srcRow, dstRe, dstRow);
        TransposeBlock(srcIm, srcRow, dstIm, dstRow);
        return;
    }
    FinishBlock(srcRe, srcIm, srcRow, w,
                [=](int j, int t, Pair rEven, Pair iEven, Pair rOdd, Pair iOdd) {
                    const int even = Rev3[2 * j] * dstRow + 2 * t;
                    const int odd = Rev3[2 * j + 1] * dstRow + 2 * t;
                    Store2(dstRe + even, rEven);
                    Store2(dstIm + even, iEven);
                    Store2(dstRe + odd, rOdd);
                    Store2(dstIm + odd, iOdd);
                });
}

// The last pass and the bit-reversal permutation in place, by blocks: the block of middle m
// and that of rev(middle) trade places, each finished and turned as above. One of the two is
// set aside first, so that neither is overwritten before it is read.
void Reverse(double* re, double* im, int n, const int* middleReversal, const double* cosTable,
             const double* minusSinTable) {
    const LastTwiddles w = LastPassTwiddles(cosTable, minusSinTable);
    const int row = n / 8;
    double keptRe[64];
    double keptIm[64];
    for (int middle = 0; middle < n / 64; ++middle) {
        const int partner = middleReversal[middle];
        if (partner < middle) {
            continue; // moved with its partner
        }
        double* r = re + middle * 8;
        double* m = im + middle * 8;
        for (int i = 0; i < 8; ++i) {
            __builtin_memcpy(keptRe + 8 * i, r + i * row, 8 * sizeof(double));
            __builtin_memcpy(keptIm + 8 * i, m + i * row, 8 * sizeof(double));
        }
        if (partner != middle) {
            ReverseBlock(re + partner * 8, im + partner * 8, row, r, m, row, w);
            r = re + partner * 8;
            m = im + partner * 8;
        }
        ReverseBlock(keptRe, keptIm, 8, r, m, row, w);
    }
}

void WidelyLinear(const double* re, const double* im, const double* wRe, const double* wIm,
                  double* __restrict outRe, double* __restrict outIm, int n) {
    const auto at = [=](int k, int m) {
        const double xr = re[m];
        const double xi = -im[m];
        outRe[k] = re[k] + (wRe[k] * xr - wIm[k] * xi);
        outIm[k] = -(im[k] + (wRe[k] * xi + wIm[k] * xr));
    };
    at(0, 0);
    for (int k = 1; k < n; ++k) {
        at(k, n - k);
    }
}

void Rounded16(const double* x, double scale, double* out, int n) {
    // Clipped first, a value is far below 2^52, where the sum and difference round it.
    constexpr double Shift = 4503599627370496.0; // 2^52
    for (int j = 0; j < n; ++j) {
        double v = x[j] * scale;
        v = v < -32768.0 ? -32768.0 : v;
        v = v > 32767.0 ? 32767.0 : v;
        out[j] = std::copysign((std::fabs(v) + Shift) - Shift, v);
    }
}
