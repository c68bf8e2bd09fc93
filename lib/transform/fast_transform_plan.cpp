#include "transform/fast_transform_plan.h"

#include <memory>

#include "transform/transform_tables.h"

namespace {

// A root table exactly as initTransformTables builds it, freed on scope exit.
std::unique_ptr<Complex[]> rootTable(int sign, int n) { return std::unique_ptr<Complex[]>(makeRootTable(sign, 1.0f, n)); }

int quarterTurnIndex(int k) { return (1764 * (k % 4) + 882) % 7056; }

}  // namespace

FastTransformPlan::FastTransformPlan() {
    const auto r3 = rootTable(-1, 3);
    const auto r7 = rootTable(-1, 7);
    const auto r9 = rootTable(-1, 9);
    const auto r49 = rootTable(-1, 49);
    const auto r441 = rootTable(-1, 441);
    const auto r1764 = rootTable(-1, 1764);
    const auto r3528 = rootTable(-1, 3528);
    const auto r7056 = rootTable(-1, 7056);
    const auto inv3528 = rootTable(+1, 3528);
    const auto inv7056 = rootTable(+1, 7056);
    const std::unique_ptr<float[]> sine(makeSineWindow(1764));

    for (int p = 1; p <= 3; ++p) {
        for (int q = 0; q < radix4Columns; ++q) {
            const Complex w = q < 441 ? r1764[(p * q) % 1764] : Complex{1.0f, 0.0f};
            radix4Re[p - 1][q] = w.re;
            radix4Im[p - 1][q] = w.im;
        }
    }
    for (int q = 0; q < 49; ++q) {
        for (int p = 0; p < 9; ++p) {
            stage441Re[q][p] = r441[(p * q) % 441].re;
            stage441Im[q][p] = r441[(p * q) % 441].im;
        }
    }
    for (int q = 0; q < 7; ++q) {
        for (int p = 0; p < 7; ++p) {
            stage49Re[q][p] = r49[(p * q) % 49].re;
            stage49Im[q][p] = r49[(p * q) % 49].im;
        }
    }
    for (int q = 0; q < 3; ++q) {
        for (int p = 0; p < 3; ++p) {
            stage9Re[q][p] = r9[(p * q) % 9].re;
            stage9Im[q][p] = r9[(p * q) % 9].im;
        }
    }
    dft3Cos = r3[1].re;
    dft3Sin = r3[1].im;
    for (int k = 0; k < 7; ++k) {
        dft7Re[k] = r7[k].re;
        dft7Im[k] = r7[k].im;
    }

    for (int n = 0; n < 1764; ++n) {
        window[n] = sine[n];
        analysisPreRe[n] = inv3528[n].re;
        analysisPreIm[n] = inv3528[n].im;
        analysisPostRe[n] = inv7056[2 * n + 1].re;
        analysisPostIm[n] = inv7056[2 * n + 1].im;
        synthesisPreRe[n] = r7056[2 * n + 1].re;
        synthesisPreIm[n] = r7056[2 * n + 1].im;
        synthesisPostRe[n] = r3528[n].re;
        synthesisPostIm[n] = r3528[n].im;
    }
    for (int k = 0; k < 8; ++k) {
        analysisTurnRe[k] = r7056[quarterTurnIndex(k)].re;
        analysisTurnIm[k] = r7056[quarterTurnIndex(k)].im;
        synthesisTurnRe[k] = inv7056[quarterTurnIndex(k)].re;
        synthesisTurnIm[k] = inv7056[quarterTurnIndex(k)].im;
    }
}

const FastTransformPlan& fastTransformPlan() {
    static const FastTransformPlan plan;
    return plan;
}
