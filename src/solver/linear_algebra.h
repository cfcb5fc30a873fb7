#ifndef PLICATROPE_SOLVER_LINEAR_ALGEBRA_H
#define PLICATROPE_SOLVER_LINEAR_ALGEBRA_H

#include <cstddef>
#include <limits>
#include <vector>

// The solver's constraint matrices, the factors of their ridged normal
// matrices and the vector updates of the solver steps. Every BLAS and
// sparse Cholesky call of the program stays in linear_algebra.cpp.

struct cholmod_common_struct;
struct cholmod_factor_struct;
struct cholmod_dense_struct;

// y := y + alpha * x over the entries both hold.
void addScaled(std::vector<double>& y, double alpha, const std::vector<double>& x);

// A constraint matrix held by its non-zero entries. Entries are assigned one
// by one, in any order; a later assignment to an entry replaces an earlier
// one, and assignments outside the matrix are ignored.
class SparseMatrix {
public:
    // rows x cols, every entry zero.
    void reset(int rows, int cols);
    // Every entry zero; the size stays.
    void clear();
    // 0 x 0, and the memory handed back.
    void release();

    void set(int row, int col, double value);
    double at(int row, int col) const;
    int rows() const { return rows_; }
    int cols() const { return cols_; }
    size_t nonZeros() const;
    size_t bytes() const;

    // y := alpha X x + beta y, with x of cols() and y of rows() entries;
    // y is not read when beta is 0.
    void multiply(double alpha, const double* x, double beta, double* y) const;
    // x := alpha X^T y + beta x; x is not read when beta is 0.
    void multiplyTransposed(double alpha, const double* y, double beta, double* x) const;

    // Assignments are collected up to this many before they are merged in,
    // so that the memory of a matrix follows its entries.
    static double pendingLimitFor(double rows, double cols) { return 8.0 * (rows + cols) + 64.0; }
    // A bound of the bytes of a matrix with `entries` non-zeros, up to
    // `pending` collected assignments and `cols` columns, while they are merged.
    static double bytesFor(double entries, double pending, double cols);

private:
    friend class NormalFactor;
    struct Assignment {
        int row, col;
        double value;
    };
    // Merges the pending assignments into the compressed columns.
    void settle() const;

    int rows_ = 0, cols_ = 0;
    mutable std::vector<Assignment> pending_;
    // Compressed columns: the entries of column j are start_[j] to start_[j+1]-1,
    // by increasing row.
    mutable std::vector<int> start_;
    mutable std::vector<int> row_;
    mutable std::vector<double> value_;
};

// The Cholesky factor of X X^T + ridge I for a constraint matrix X, sparse
// and in a fill-reducing order.
class NormalFactor {
public:
    NormalFactor() = default;
    ~NormalFactor();
    NormalFactor(const NormalFactor&) = delete;
    NormalFactor& operator=(const NormalFactor&) = delete;

    // False, and not ready, when the matrix has no Cholesky factor (a
    // non-finite entry) or its memory could not be had. Nothing is
    // factorised, and tooLarge() says so, when ordering or factorising would
    // hold more than `allowedBytes` at once; neededBytes() then tells how many.
    bool factorise(const SparseMatrix& X, double ridge,
                   double allowedBytes = std::numeric_limits<double>::infinity());
    // y := (X X^T + ridge I)^-1 y. False, with y unchanged, when not ready.
    bool solve(double* y);
    bool ready() const { return ready_; }
    int size() const { return size_; }
    // Bytes held now, and the most held at any time since the first factorisation.
    size_t bytes() const;
    size_t peakBytes() const;
    void release();

    // The most the last factorise() would hold at once, from the pattern of
    // X and the fill its ordering leaves, and whether that was beyond what it
    // was allowed.
    double neededBytes() const { return neededBytes_; }
    bool tooLarge() const { return tooLarge_; }
    // The last factorise() failed because memory could not be had.
    bool outOfMemory() const { return outOfMemory_; }

private:
    void freeFactor();
    // Records `bytes` as needed; false, with nothing factorised, when the
    // most needed so far is beyond `allowedBytes`.
    bool withinAllowance(double bytes, double allowedBytes);

    cholmod_common_struct* common_ = nullptr;
    cholmod_factor_struct* factor_ = nullptr;
    // The solves' workspace, had with the factor.
    std::vector<double> work_;
    int size_ = 0;
    bool ready_ = false;
    double neededBytes_ = 0.0;
    bool tooLarge_ = false;
    bool outOfMemory_ = false;
};

#endif
