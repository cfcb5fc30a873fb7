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
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> times(const std::vector<double>& X, int m, int n, const std::vector<double>& x) {
    std::vector<double> y(m, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) y[i] += X[j * m + i] * x[j];
    return y;
}

std::vector<double> timesTransposed(const std::vector<double>& X, int m, int n,
                                    const std::vector<double>& y) {
    std::vector<double> x(n, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) x[j] += X[j * m + i] * y[i];
    return x;
}

void expectNear(const std::vector<double>& a, const std::vector<double>& b, double tol) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], tol) << "entry " << i;
}

// The sparse matrix of a dense column-major one.
SparseMatrix sparseOf(const std::vector<double>& X, int m, int n) {
    SparseMatrix A;
    A.reset(m, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) A.set(i, j, X[j * m + i]);
    return A;
}

struct Factored {
    LayoutSolver s;
    SparseMatrix X;
    NormalFactor factor;
    Factored(const std::vector<double>& dense, int m, int n) : X(sparseOf(dense, m, n)) {
        s.factorNormalMatrix(X, factor);
    }
};

// (X X^T + ridge I)^-1 y by Gaussian elimination of the dense normal matrix.
std::vector<double> denseNormalSolve(const std::vector<double>& X, int m, int n, std::vector<double> y) {
    std::vector<double> N(m * m, 0.0);
    for (int i = 0; i < m; ++i) {
        N[i * m + i] = kRidge;
        for (int k = 0; k < m; ++k)
            for (int j = 0; j < n; ++j) N[i * m + k] += X[j * m + i] * X[j * m + k];
    }
    for (int c = 0; c < m; ++c)
        for (int r = c + 1; r < m; ++r) {
            double f = N[r * m + c] / N[c * m + c];
            for (int k = c; k < m; ++k) N[r * m + k] -= f * N[c * m + k];
            y[r] -= f * y[c];
        }
    for (int r = m - 1; r >= 0; --r) {
        for (int k = r + 1; k < m; ++k) y[r] -= N[r * m + k] * y[k];
        y[r] /= N[r * m + r];
    }
    return y;
}

}  // namespace

TEST(SparseMatrix, LaterAssignmentsReplaceEarlierOnes) {
    SparseMatrix A;
    A.reset(3, 4);
    A.set(1, 2, 5.0);
    A.set(0, 0, 1.0);
    A.set(1, 2, -2.0);  // replaces 5
    A.set(2, 3, 7.0);
    A.set(2, 3, 0.0);  // an entry assigned zero is gone
    A.set(3, 0, 9.0);  // outside: ignored
    A.set(0, -1, 9.0);
    EXPECT_EQ(A.at(1, 2), -2.0);
    EXPECT_EQ(A.at(0, 0), 1.0);
    EXPECT_EQ(A.at(2, 3), 0.0);
    EXPECT_EQ(A.at(5, 5), 0.0);
    EXPECT_EQ(A.nonZeros(), 2u);

    // Once read, later assignments still replace what stands.
    A.set(0, 0, 4.0);
    A.set(2, 1, 3.0);
    EXPECT_EQ(A.at(0, 0), 4.0);
    EXPECT_EQ(A.at(2, 1), 3.0);
    EXPECT_EQ(A.nonZeros(), 3u);

    // More assignments than are collected before merging: the last one stands.
    for (int k = 1; k <= 1000; ++k) A.set(k % 3, k % 4, k);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) {
            int last = 0;
            for (int k = 1; k <= 1000; ++k)
                if (k % 3 == i && k % 4 == j) last = k;
            EXPECT_EQ(A.at(i, j), last) << i << "," << j;
        }

    A.clear();
    EXPECT_EQ(A.nonZeros(), 0u);
    EXPECT_EQ(A.rows(), 3);
    EXPECT_EQ(A.cols(), 4);
    A.release();
    EXPECT_EQ(A.rows(), 0);
    EXPECT_EQ(A.bytes(), 0u);
}

TEST(SparseMatrix, ProductsAreThoseOfTheDenseMatrix) {
    // A 4 x 5 matrix with an empty row and an empty column.
    const int m = 4, n = 5;
    const std::vector<double> X = {1, 0, -2, 0, 0, 0, 0, 0, 3, 0, 0.5, 0, 0, 0, 4, 0, -1, 0, 2, 0};
    SparseMatrix A = sparseOf(X, m, n);
    const std::vector<double> x = {1, -2, 3, 0.25, 5}, y = {2, 1, -1, 3};
    struct Case {
        double alpha, beta;
    };
    for (Case c : {Case{1.0, 0.0}, Case{-1.0, 1.0}, Case{0.5, -2.0}}) {
        SCOPED_TRACE(c.beta);
        std::vector<double> Ax = times(X, m, n, x), ATy = timesTransposed(X, m, n, y);
        std::vector<double> yOut = {7, -3, 2, 1}, xOut = {1, 2, 3, 4, 5};
        std::vector<double> yExpected(m), xExpected(n);
        for (int i = 0; i < m; ++i) yExpected[i] = c.alpha * Ax[i] + c.beta * yOut[i];
        for (int j = 0; j < n; ++j) xExpected[j] = c.alpha * ATy[j] + c.beta * xOut[j];
        A.multiply(c.alpha, x.data(), c.beta, yOut.data());
        A.multiplyTransposed(c.alpha, y.data(), c.beta, xOut.data());
        expectNear(yOut, yExpected, 1e-15);
        expectNear(xOut, xExpected, 1e-15);
    }
    // With beta 0 the output's former content is not read.
    std::vector<double> yOut(m, kNaN), xOut(n, kNaN);
    A.multiply(1.0, x.data(), 0.0, yOut.data());
    A.multiplyTransposed(1.0, y.data(), 0.0, xOut.data());
    expectNear(yOut, times(X, m, n, x), 1e-15);
    expectNear(xOut, timesTransposed(X, m, n, y), 1e-15);
}

TEST(LinearAlgebra, FactorIsCholeskyOfRidgedNormalMatrix) {
    // Solving with the factor undoes the normal matrix: its columns come back.
    Factored f(kX, 2, 3);
    const double a = 2 + kRidge;
    const std::vector<std::vector<double>> columns = {{a, 1.0}, {1.0, a}};
    for (size_t c = 0; c < columns.size(); ++c) {
        std::vector<double> y = columns[c];
        ASSERT_TRUE(f.factor.solve(y.data()));
        expectNear(y, {c == 0 ? 1.0 : 0.0, c == 1 ? 1.0 : 0.0}, 1e-12);
    }
    EXPECT_TRUE(f.factor.ready());
    EXPECT_EQ(f.factor.size(), 2);
    EXPECT_GT(f.factor.bytes(), 0u);

    // A zero matrix still factorises: its normal matrix is the ridge alone.
    Factored zero(std::vector<double>(6, 0.0), 2, 3);
    std::vector<double> y = {kRidge, -2 * kRidge};
    ASSERT_TRUE(zero.factor.solve(y.data()));
    expectNear(y, {1.0, -2.0}, 1e-9);
    Factored noColumns({}, 2, 0);
    y = {kRidge, -2 * kRidge};
    ASSERT_TRUE(noColumns.factor.solve(y.data()));
    expectNear(y, {1.0, -2.0}, 1e-9);

    f.factor.release();
    EXPECT_FALSE(f.factor.ready());
    EXPECT_EQ(f.factor.bytes(), 0u);
}

TEST(LinearAlgebra, SolveInvertsTheNormalMatrix) {
    Factored f(kX, 2, 3);
    std::vector<double> y = {1.0, -2.0};
    f.s.solveNormalSystem(f.factor, y.data());
    const double a = 2 + kRidge;
    expectNear({a * y[0] + y[1], y[0] + a * y[1]}, {1.0, -2.0}, 1e-12);
}

TEST(LinearAlgebra, SparseSolvesMatchTheDenseNormalMatrix) {
    // Rank-deficient, with a row of zeros and rows that repeat: the ridge
    // carries the solve, as it does for the solver's own systems.
    const int m = 6, n = 9;
    std::vector<double> X(m * n, 0.0);
    for (int j = 0; j < n; ++j) {
        X[j * m + j % 5] = 1.0 + 0.1 * j;
        X[j * m + (3 * j + 1) % 5] -= 0.7;
    }
    for (int j = 0; j < n; ++j) X[j * m + 4] = X[j * m + 3];
    Factored f(X, m, n);
    const std::vector<double> r = {0.3, -1.2, 2.0, 0.5, 0.5, 0.0};
    std::vector<double> y = r;
    ASSERT_TRUE(f.factor.solve(y.data()));
    std::vector<double> dense = denseNormalSolve(X, m, n, r);
    for (int i = 0; i < m; ++i) EXPECT_NEAR(y[i], dense[i], 1e-9 * std::max(1.0, std::fabs(dense[i]))) << i;
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
        f.s.leastNormSolution(f.X, f.factor, r.data(), x0.data(), c.beta);
        expectNear(x0, c.expected, 1e-14);
        EXPECT_NEAR(r[0], 3.0 / (2 + kRidge), 1e-14) << "r holds the multipliers";
    }
}

TEST(LinearAlgebra, ProjectionOntoNullSpace) {
    Factored f(kX, 2, 3);
    std::vector<double> y(2, 9.0);

    std::vector<double> inNullSpace = {1.5, -1.5, 1.5};
    f.s.projectOntoNullSpace(f.X, f.factor, y.data(), inNullSpace.data());
    EXPECT_EQ(inNullSpace, (std::vector<double>{1.5, -1.5, 1.5}));

    // By hand: x - X^T (X X^T + ridge I)^-1 X x for x = (1, 0, 0).
    const double a = 2 + kRidge, det = a * a - 1;
    std::vector<double> x = {1.0, 0.0, 0.0};
    f.s.projectOntoNullSpace(f.X, f.factor, y.data(), x.data());
    expectNear(x, {1 - a / det, -(a - 1) / det, 1 / det}, 1e-14);
    expectNear(times(kX, 2, 3, x), {0.0, 0.0}, 1e-5);
}

TEST(LinearAlgebra, CorrectionTowardConstraints) {
    Factored f(kX, 2, 3);
    std::vector<double> y(2, 9.0);

    std::vector<double> satisfied = {1.0, 2.0, 3.0};  // X x = (3, 5)
    std::vector<double> b = {3.0, 5.0};
    f.s.correctTowardConstraints(f.X, f.factor, b.data(), y.data(), satisfied.data());
    EXPECT_EQ(satisfied, (std::vector<double>{1.0, 2.0, 3.0}));

    // From x = 0 toward X x = (1, 1): the least change is X^T M^-1 b.
    const double a = 2 + kRidge, det = a * a - 1, m = (a - 1) / det;
    std::vector<double> x = {0.0, 0.0, 0.0}, ones = {1.0, 1.0};
    f.s.correctTowardConstraints(f.X, f.factor, ones.data(), y.data(), x.data());
    expectNear(x, {m, 2 * m, m}, 1e-14);
    expectNear(times(kX, 2, 3, x), {1.0, 1.0}, 1e-4);
    EXPECT_EQ(ones, (std::vector<double>{1.0, 1.0})) << "b is read only";
}

TEST(LinearAlgebra, NonFiniteMatrixIsReported) {
    std::vector<double> X = kX;
    X[2] = kNaN;
    std::string out = testsupport::captureStdout([&] {
        Factored f(X, 2, 3);
        EXPECT_FALSE(f.factor.ready());
        // Nothing is solved or projected with a factor that is not there.
        std::vector<double> y = {1.0, 2.0}, x = {1.0, 2.0, 3.0};
        EXPECT_FALSE(f.factor.solve(y.data()));
        f.s.projectOntoNullSpace(f.X, f.factor, y.data(), x.data());
        EXPECT_EQ(y, (std::vector<double>{1.0, 2.0}));
        EXPECT_EQ(x, (std::vector<double>{1.0, 2.0, 3.0}));
    });
    EXPECT_NE(out.find("could not be factorised"), std::string::npos) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line: " << out;
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
