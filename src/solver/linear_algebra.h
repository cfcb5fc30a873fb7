#ifndef PLICATROPE_SOLVER_LINEAR_ALGEBRA_H
#define PLICATROPE_SOLVER_LINEAR_ALGEBRA_H

#include <vector>

// Vector updates for the solver steps; every BLAS and LAPACK call of the
// program stays in linear_algebra.cpp.

// y := y + alpha * x over the entries both hold.
void addScaled(std::vector<double>& y, double alpha, const std::vector<double>& x);

#endif
