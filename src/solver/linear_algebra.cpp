#include "solver/linear_algebra.h"

#include <cblas.h>
#include <lapacke.h>

#include <algorithm>
#include <cstdio>

#include "solver/layout_solver.h"

void addScaled(std::vector<double>& y, double alpha, const std::vector<double>& x) {
    int n = (int)std::min(x.size(), y.size());
    if (n > 0) cblas_daxpy(n, alpha, x.data(), 1, y.data(), 1);
}

void LayoutSolver::factorNormalMatrix(const double* X, int m, int n, double* factor) {
    if (m <= 0) return;
    size_t size = (size_t)m * (size_t)m;
    std::fill(factor, factor + size, 0.0);
    for (size_t i = 0; i < (size_t)m; ++i) factor[i * m + i] = 1.0;
    if (n > 0)
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasTrans, m, m, n, 1.0, X, m, X, m, ridge, factor, m);
    else
        for (size_t i = 0; i < (size_t)m; ++i) factor[i * m + i] = ridge;
    // With the ridge a finite matrix is positive definite; only non-finite
    // entries make this fail, and then every later solve is meaningless.
    int info = LAPACKE_dpotrf(LAPACK_COL_MAJOR, 'L', m, factor, m);
    if (info != 0) printf("solver: the %dx%d normal matrix could not be factorised (%d)\n", m, m, info);
}

void LayoutSolver::solveNormalSystem(const double* factor, int m, double* y) {
    if (m <= 0) return;
    LAPACKE_dpotrs(LAPACK_COL_MAJOR, 'L', m, 1, factor, m, y, m);
}

void LayoutSolver::leastNormSolution(const double* X, int m, int n, const double* factor, double* r,
                                     double* x0, double beta) {
    if (n <= 0) return;
    if (m <= 0) {
        for (int j = 0; j < n; ++j) x0[j] *= beta;
        return;
    }
    solveNormalSystem(factor, m, r);
    cblas_dgemv(CblasColMajor, CblasTrans, m, n, 1.0, X, m, r, 1, beta, x0, 1);
}

void LayoutSolver::projectOntoNullSpace(const double* X, int m, int n, const double* factor, double* y,
                                        double* x) {
    if (m <= 0 || n <= 0) return;
    cblas_dgemv(CblasColMajor, CblasNoTrans, m, n, -1.0, X, m, x, 1, 0.0, y, 1);
    solveNormalSystem(factor, m, y);
    cblas_dgemv(CblasColMajor, CblasTrans, m, n, 1.0, X, m, y, 1, 1.0, x, 1);
}

void LayoutSolver::correctTowardConstraints(const double* X, int m, int n, const double* factor,
                                            const double* b, double* y, double* x) {
    if (m <= 0 || n <= 0) return;
    cblas_dcopy(m, b, 1, y, 1);
    cblas_dgemv(CblasColMajor, CblasNoTrans, m, n, -1.0, X, m, x, 1, 1.0, y, 1);
    solveNormalSystem(factor, m, y);
    cblas_dgemv(CblasColMajor, CblasTrans, m, n, 1.0, X, m, y, 1, 1.0, x, 1);
}
