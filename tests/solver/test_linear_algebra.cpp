#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/linear_algebra.h"
#include "support/test_support.h"

namespace {

// X = [[1, 1, 0], [0, 1, 1]] column-major: two constraints on three unknowns.
const std::vector<double> kX = {1, 0, 1, 1, 0, 1};
const double kRidge = 1e-5;

std::vector<double> times(const std::vector<double>& X, int m, int n, const std::vector<double>& x) {
    std::vector<double> y(m, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) y[i] += X[j * m + i] * x[j];
    return y;
}

void expectNear(const std::vector<double>& a, const std::vector<double>& b, double tol) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], tol) << "entry " << i;
}

struct Factored {
    LayoutSolver s;
    std::vector<double> X;
    int m, n;
    std::vector<double> factor;
    Factored(const std::vector<double>& X_, int m_, int n_) : X(X_), m(m_), n(n_), factor(m_ * m_, -7.0) {
        s.factorNormalMatrix(X.data(), m, n, factor.data());
    }
};

}  // namespace

TEST(LinearAlgebra, FactorIsCholeskyOfRidgedNormalMatrix) {
    Factored f(kX, 2, 3);
    const double a = 2 + kRidge;
    const double l11 = std::sqrt(a), l21 = 1 / l11, l22 = std::sqrt(a - 1 / a);
    EXPECT_NEAR(f.factor[0], l11, 1e-14);
    EXPECT_NEAR(f.factor[1], l21, 1e-14);
    EXPECT_NEAR(f.factor[3], l22, 1e-14);

    // A zero matrix still factorises: its normal matrix is the ridge alone.
    Factored zero(std::vector<double>(6, 0.0), 2, 3);
    EXPECT_NEAR(zero.factor[0], std::sqrt(kRidge), 1e-15);
    EXPECT_EQ(zero.factor[1], 0.0);
    EXPECT_NEAR(zero.factor[3], std::sqrt(kRidge), 1e-15);
}

TEST(LinearAlgebra, SolveInvertsTheNormalMatrix) {
    Factored f(kX, 2, 3);
    std::vector<double> y = {1.0, -2.0};
    f.s.solveNormalSystem(f.factor.data(), 2, y.data());
    const double a = 2 + kRidge;
    expectNear({a * y[0] + y[1], y[0] + a * y[1]}, {1.0, -2.0}, 1e-12);
}

TEST(LinearAlgebra, LeastNormSolutionOverwritesOrAccumulates) {
    // One constraint x1 + x2 = 3: the least-norm solution splits it evenly.
    const double half = 3.0 / (2 + kRidge);
    struct Case {
        double beta;
        std::vector<double> expected;
    };
    for (const Case& c : std::vector<Case>{{0.0, {half, half}}, {1.0, {5 + half, 7 + half}}}) {
        SCOPED_TRACE(c.beta);
        Factored f({1, 1}, 1, 2);
        std::vector<double> r = {3.0}, x0 = {5.0, 7.0};
        f.s.leastNormSolution(f.X.data(), 1, 2, f.factor.data(), r.data(), x0.data(), c.beta);
        expectNear(x0, c.expected, 1e-14);
        EXPECT_NEAR(r[0], 3.0 / (2 + kRidge), 1e-14) << "r holds the multipliers";
    }
}

TEST(LinearAlgebra, ProjectionOntoNullSpace) {
    Factored f(kX, 2, 3);
    std::vector<double> y(2, 9.0);

    std::vector<double> inNullSpace = {1.5, -1.5, 1.5};
    f.s.projectOntoNullSpace(f.X.data(), 2, 3, f.factor.data(), y.data(), inNullSpace.data());
    EXPECT_EQ(inNullSpace, (std::vector<double>{1.5, -1.5, 1.5}));

    // By hand: x - X^T (X X^T + ridge I)^-1 X x for x = (1, 0, 0).
    const double a = 2 + kRidge, det = a * a - 1;
    std::vector<double> x = {1.0, 0.0, 0.0};
    f.s.projectOntoNullSpace(f.X.data(), 2, 3, f.factor.data(), y.data(), x.data());
    expectNear(x, {1 - a / det, -(a - 1) / det, 1 / det}, 1e-14);
    expectNear(times(kX, 2, 3, x), {0.0, 0.0}, 1e-5);
}

TEST(LinearAlgebra, CorrectionTowardConstraints) {
    Factored f(kX, 2, 3);
    std::vector<double> y(2, 9.0);

    std::vector<double> satisfied = {1.0, 2.0, 3.0};  // X x = (3, 5)
    std::vector<double> b = {3.0, 5.0};
    f.s.correctTowardConstraints(f.X.data(), 2, 3, f.factor.data(), b.data(), y.data(), satisfied.data());
    EXPECT_EQ(satisfied, (std::vector<double>{1.0, 2.0, 3.0}));

    // From x = 0 toward X x = (1, 1): the least change is X^T M^-1 b.
    const double a = 2 + kRidge, det = a * a - 1, m = (a - 1) / det;
    std::vector<double> x = {0.0, 0.0, 0.0}, ones = {1.0, 1.0};
    f.s.correctTowardConstraints(f.X.data(), 2, 3, f.factor.data(), ones.data(), y.data(), x.data());
    expectNear(x, {m, 2 * m, m}, 1e-14);
    expectNear(times(kX, 2, 3, x), {1.0, 1.0}, 1e-4);
    EXPECT_EQ(ones, (std::vector<double>{1.0, 1.0})) << "b is read only";
}

TEST(LinearAlgebra, NonFiniteMatrixIsReported) {
    std::vector<double> X = kX;
    X[2] = std::numeric_limits<double>::quiet_NaN();
    std::string out = testsupport::captureStdout([&] { Factored f(X, 2, 3); });
    EXPECT_NE(out.find("could not be factorised"), std::string::npos) << out;
    EXPECT_EQ(testsupport::captureStdout([&] { Factored f(kX, 2, 3); }), "");
}

TEST(LinearAlgebra, AddScaled) {
    std::vector<double> y = {1, 2, 3}, x = {10, 20, 30};
    addScaled(y, 0.5, x);
    EXPECT_EQ(y, (std::vector<double>{6, 12, 18}));
    std::vector<double> shorter = {1};
    addScaled(y, 1.0, shorter);
    EXPECT_EQ(y, (std::vector<double>{7, 12, 18})) << "only the common entries";
}
