#include "transform/transform_tables.h"

#include <cmath>
#include <memory>

// The angle is formed in double from the float 2*pi (multiply, then divide),
// so every table entry depends only on k, n and that float. n = 0 has no
// roots; it gives the unrotated (scale, 0) instead of dividing by zero.
void rootOfUnity(int k, int n, float scale, Complex& out) {
    if (n == 0) {
        out.re = scale;
        out.im = 0.0f;
        return;
    }
    const double angle = static_cast<double>(k) * static_cast<double>(twoPi) / static_cast<double>(n);
    out.re = static_cast<float>(static_cast<double>(scale) * std::cos(angle));
    out.im = static_cast<float>(static_cast<double>(scale) * std::sin(angle));
}

// A negative sign turns clockwise (roots), any other sign counterclockwise.
Complex* makeRootTable(int sign, float scale, int n) {
    if (n <= 0) return nullptr;
    Complex* table = new Complex[n];
    for (int k = 0; k < n; ++k) rootOfUnity(sign < 0 ? -k : k, n, scale, table[k]);
    return table;
}

float* makeSineWindow(int n) {
    if (n <= 0) return nullptr;
    float* window = new float[n];
    for (int k = 0; k < n; ++k) {
        const double angle = static_cast<double>(2 * static_cast<long long>(k) + 1) *
                             static_cast<double>(singlePi) / (2.0 * static_cast<double>(n));
        window[k] = static_cast<float>(std::sin(angle));
    }
    return window;
}

namespace {

template <int n>
void fillRoots(int sign, Complex (&table)[n]) {
    for (int k = 0; k < n; ++k) rootOfUnity(sign < 0 ? -k : k, n, 1.0f, table[k]);
}

int quarterTurnIndex(int k) { return (1764 * (k % 4) + 882) % 7056; }

// The fast plan copies the very floats of the tables into the order the
// kernels read them, so the fast path multiplies by what the literal path does.
void buildPlan(const TransformTables& t, FastTransformPlan& plan) {
    for (int p = 1; p <= 3; ++p) {
        for (int q = 0; q < FastTransformPlan::radix4Columns; ++q) {
            const Complex w = q < 441 ? t.roots1764[(p * q) % 1764] : Complex{1.0f, 0.0f};
            plan.radix4Re[p - 1][q] = w.re;
            plan.radix4Im[p - 1][q] = w.im;
        }
    }
    for (int q = 0; q < 49; ++q) {
        for (int p = 0; p < 9; ++p) {
            plan.stage441Re[q][p] = t.roots441[(p * q) % 441].re;
            plan.stage441Im[q][p] = t.roots441[(p * q) % 441].im;
        }
    }
    for (int q = 0; q < 7; ++q) {
        for (int p = 0; p < 7; ++p) {
            plan.stage49Re[q][p] = t.roots49[(p * q) % 49].re;
            plan.stage49Im[q][p] = t.roots49[(p * q) % 49].im;
        }
    }
    for (int q = 0; q < 3; ++q) {
        for (int p = 0; p < 3; ++p) {
            plan.stage9Re[q][p] = t.roots9[(p * q) % 9].re;
            plan.stage9Im[q][p] = t.roots9[(p * q) % 9].im;
        }
    }
    plan.dft3Cos = t.roots3[1].re;
    plan.dft3Sin = t.roots3[1].im;
    for (int k = 0; k < 7; ++k) {
        plan.dft7Re[k] = t.roots7[k].re;
        plan.dft7Im[k] = t.roots7[k].im;
    }
    for (int n = 0; n < 1764; ++n) {
        plan.window[n] = t.sineWindow[n];
        plan.analysisPreRe[n] = t.invRoots3528[n].re;
        plan.analysisPreIm[n] = t.invRoots3528[n].im;
        plan.analysisPostRe[n] = t.invRoots7056[2 * n + 1].re;
        plan.analysisPostIm[n] = t.invRoots7056[2 * n + 1].im;
        plan.synthesisPreRe[n] = t.roots7056[2 * n + 1].re;
        plan.synthesisPreIm[n] = t.roots7056[2 * n + 1].im;
        plan.synthesisPostRe[n] = t.roots3528[n].re;
        plan.synthesisPostIm[n] = t.roots3528[n].im;
    }
    for (int p = 0; p < 3; ++p) {
        for (int q = 0; q < FastTransformPlan::radix4Columns; ++q) {
            plan.radix4WideRe[p][q] = plan.radix4Re[p][q];
            plan.radix4WideIm[p][q] = plan.radix4Im[p][q];
        }
    }
    for (int q = 0; q < 49; ++q) {
        for (int p = 0; p < 9; ++p) {
            plan.stage441WideRe[q][p] = plan.stage441Re[q][p];
            plan.stage441WideIm[q][p] = plan.stage441Im[q][p];
        }
    }
    for (int pair = 0; pair < 25; ++pair) {
        for (int p = 0; p < 9; ++p) {
            for (int lane = 0; lane < 8; ++lane) {
                const int q = lane < 4 ? 2 * pair : (2 * pair + 1) % 49;
                plan.stage441PairsRe[pair][p][lane] = plan.stage441Re[q][p];
                plan.stage441PairsIm[pair][p][lane] = plan.stage441Im[q][p];
            }
        }
    }
    for (int q = 0; q < 7; ++q) {
        for (int p = 0; p < 7; ++p) {
            plan.stage49WideRe[q][p] = plan.stage49Re[q][p];
            plan.stage49WideIm[q][p] = plan.stage49Im[q][p];
        }
    }
    for (int k = 0; k < 8; ++k) {
        plan.analysisTurnRe[k] = t.roots7056[quarterTurnIndex(k)].re;
        plan.analysisTurnIm[k] = t.roots7056[quarterTurnIndex(k)].im;
        plan.synthesisTurnRe[k] = t.invRoots7056[quarterTurnIndex(k)].re;
        plan.synthesisTurnIm[k] = t.invRoots7056[quarterTurnIndex(k)].im;
    }
}

}  // namespace

TransformTables::TransformTables() {
    fillRoots(-1, roots3);
    fillRoots(-1, roots7);
    fillRoots(-1, roots9);
    fillRoots(-1, roots49);
    fillRoots(-1, roots441);
    fillRoots(-1, roots1764);
    fillRoots(-1, roots3528);
    fillRoots(-1, roots7056);
    fillRoots(+1, invRoots3528);
    fillRoots(+1, invRoots7056);
    const std::unique_ptr<float[]> window(makeSineWindow(1764));
    for (int k = 0; k < 1764; ++k) sineWindow[k] = window[k];
    buildPlan(*this, fast);
}

const TransformTables& transformTables() {
    // Held by a pointer rather than as a static object of about 250 kB, and
    // built by C++'s thread-safe initialisation of a local static.
    static const std::unique_ptr<const TransformTables> tables(new TransformTables());
    return *tables;
}
