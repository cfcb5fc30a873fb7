#include "solver/linear_algebra.h"

#include <cblas.h>
#include <cholmod.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "model/console_line.h"
#include "solver/layout_solver.h"

namespace {

// Nothing the solver does is large enough for OpenBLAS's threads to pay:
// the factorisations are sparse and every product is a short loop, while
// idle worker threads spin between calls and eat the idle loop's time.
void useOneBlasThread() {
    static bool set = false;
    if (set) return;
    openblas_set_num_threads(1);
    set = true;
}

}  // namespace

void addScaled(std::vector<double>& y, double alpha, const std::vector<double>& x) {
    useOneBlasThread();
    int n = (int)std::min(x.size(), y.size());
    if (n > 0) cblas_daxpy(n, alpha, x.data(), 1, y.data(), 1);
}

// --- SparseMatrix ---

void SparseMatrix::reset(int rows, int cols) {
    release();
    rows_ = std::max(rows, 0);
    cols_ = std::max(cols, 0);
    start_.assign((size_t)cols_ + 1, 0);
}

void SparseMatrix::clear() {
    pending_.clear();
    row_.clear();
    value_.clear();
    start_.assign((size_t)cols_ + 1, 0);
}

void SparseMatrix::release() {
    std::vector<Assignment>().swap(pending_);
    std::vector<int>().swap(start_);
    std::vector<int>().swap(row_);
    std::vector<double>().swap(value_);
    rows_ = cols_ = 0;
}

void SparseMatrix::set(int row, int col, double value) {
    if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return;
    pending_.push_back(Assignment{row, col, value});
    if ((double)pending_.size() >= pendingLimitFor(rows_, cols_)) settle();
}

// The earlier entries first, then the assignments in the order made: sorted
// stably by column and row, the last of each entry is the one that stands.
void SparseMatrix::settle() const {
    if (pending_.empty()) return;
    std::vector<Assignment> all;
    all.reserve(value_.size() + pending_.size());
    for (int j = 0; j < cols_; ++j)
        for (int k = start_[j]; k < start_[j + 1]; ++k) all.push_back(Assignment{row_[k], j, value_[k]});
    all.insert(all.end(), pending_.begin(), pending_.end());
    std::vector<Assignment>().swap(pending_);

    // Counting sort by column keeps the order within a column.
    std::vector<int> count((size_t)cols_ + 1, 0);
    for (const Assignment& a : all) ++count[a.col + 1];
    for (int j = 0; j < cols_; ++j) count[j + 1] += count[j];
    std::vector<Assignment> byColumn(all.size());
    {
        std::vector<int> next(count.begin(), count.end() - 1);
        for (const Assignment& a : all) byColumn[next[a.col]++] = a;
    }
    std::vector<Assignment>().swap(all);

    start_.assign((size_t)cols_ + 1, 0);
    row_.clear();
    value_.clear();
    for (int j = 0; j < cols_; ++j) {
        auto first = byColumn.begin() + count[j], last = byColumn.begin() + count[j + 1];
        std::stable_sort(first, last, [](const Assignment& a, const Assignment& b) { return a.row < b.row; });
        for (auto a = first; a != last; ++a) {
            if (a + 1 != last && (a + 1)->row == a->row) continue;  // a later one replaces it
            if (a->value == 0.0) continue;
            row_.push_back(a->row);
            value_.push_back(a->value);
        }
        start_[j + 1] = (int)row_.size();
    }
}

double SparseMatrix::at(int row, int col) const {
    if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return 0.0;
    settle();
    auto first = row_.begin() + start_[col], last = row_.begin() + start_[col + 1];
    auto found = std::lower_bound(first, last, row);
    return found != last && *found == row ? value_[found - row_.begin()] : 0.0;
}

size_t SparseMatrix::nonZeros() const {
    settle();
    return value_.size();
}

size_t SparseMatrix::bytes() const {
    return pending_.capacity() * sizeof(Assignment) + start_.capacity() * sizeof(int) +
           row_.capacity() * sizeof(int) + value_.capacity() * sizeof(double);
}

double SparseMatrix::bytesFor(double entries, double pending, double cols) {
    // Merging holds the entries and the pending assignments twice as
    // assignments, beside the compressed columns; every array may have grown
    // to twice its size.
    double merged = 2.0 * sizeof(Assignment) * (entries + pending);
    double kept = (sizeof(int) + sizeof(double)) * entries + sizeof(int) * (cols + 1.0);
    return 2.0 * (sizeof(Assignment) * pending + merged + kept) + sizeof(int) * (cols + 1.0);
}

// As the reference BLAS forms them, column by column.
void SparseMatrix::multiply(double alpha, const double* x, double beta, double* y) const {
    settle();
    if (beta == 0.0)
        std::fill(y, y + rows_, 0.0);
    else if (beta != 1.0)
        for (int i = 0; i < rows_; ++i) y[i] *= beta;
    for (int j = 0; j < cols_; ++j) {
        double t = alpha * x[j];
        for (int k = start_[j]; k < start_[j + 1]; ++k) y[row_[k]] += t * value_[k];
    }
}

void SparseMatrix::multiplyTransposed(double alpha, const double* y, double beta, double* x) const {
    settle();
    for (int j = 0; j < cols_; ++j) {
        double t = 0.0;
        for (int k = start_[j]; k < start_[j + 1]; ++k) t += value_[k] * y[row_[k]];
        x[j] = beta == 0.0 ? alpha * t : beta * x[j] + alpha * t;
    }
}

// --- NormalFactor ---

NormalFactor::~NormalFactor() { release(); }

void NormalFactor::freeFactor() {
    if (!common_) return;
    if (factor_) cholmod_free_factor(&factor_, common_);
    std::vector<double>().swap(work_);
    ready_ = false;
}

void NormalFactor::release() {
    freeFactor();
    if (common_) {
        cholmod_finish(common_);
        delete common_;
        common_ = nullptr;
    }
    size_ = 0;
    ready_ = false;
}

namespace {

const double kEntryBytes = sizeof(int) + sizeof(double);

// Ordering X X^T (m x m, X with `cols` columns and `entries` non-zeros):
// the pattern of X X^T, at most the sum of the squared column counts
// (`pairs`), with AMD's elbow room; X's pattern transposed and permuted; and
// a few vectors.
double orderingBytes(double m, double cols, double entries, double pairs) {
    return sizeof(int) * (1.2 * pairs + 4.0 * entries + 2.0 * cols + 32.0 * m);
}

// Factorising once the ordering has counted the `fill` entries of the
// factor: its columns with the room they may grow by, two permuted copies of
// X, and the vectors of the factorisation and of the solves.
double numericBytes(double m, double cols, double entries, double fill) {
    return 1.5 * kEntryBytes * fill + 2.0 * (kEntryBytes * entries + sizeof(int) * cols) +
           16.0 * sizeof(double) * m;
}

double squaredColumnCounts(const std::vector<int>& start) {
    double pairs = 0.0;
    for (size_t j = 0; j + 1 < start.size(); ++j) {
        double count = start[j + 1] - start[j];
        pairs += count * count;
    }
    return pairs;
}

}  // namespace

bool NormalFactor::withinAllowance(double bytes, double allowedBytes) {
    neededBytes_ = std::max(neededBytes_, bytes);
    tooLarge_ = neededBytes_ > allowedBytes;
    if (tooLarge_) freeFactor();
    return !tooLarge_;
}

bool NormalFactor::factorise(const SparseMatrix& X, double ridge, double allowedBytes) {
    useOneBlasThread();
    freeFactor();
    size_ = X.rows();
    neededBytes_ = 0.0;
    tooLarge_ = false;
    outOfMemory_ = false;
    if (size_ == 0) {
        ready_ = true;
        return true;
    }
    if (!common_) {
        common_ = new (std::nothrow) cholmod_common;
        if (!common_) {
            outOfMemory_ = true;
            consoleLine("solver: not enough memory to factorise the %dx%d normal matrix\n", size_, size_);
            return false;
        }
        cholmod_start(common_);
        // The solver says itself what went wrong, in one line.
        common_->print = 0;
        // AMD alone: its memory is bounded by the pattern of X X^T, and on
        // surface meshes it orders as well as the others.
        common_->nmethods = 1;
        common_->method[0].ordering = CHOLMOD_AMD;
        // A simplicial factor needs no dense workspace, and every column
        // gets exactly the space it fills.
        common_->supernodal = CHOLMOD_SIMPLICIAL;
        common_->final_ll = 1;
        common_->grow2 = 0;
    }

    X.settle();
    cholmod_sparse A;
    A.nrow = (size_t)X.rows();
    A.ncol = (size_t)X.cols();
    A.nzmax = std::max<size_t>(X.value_.size(), 1);
    A.p = X.start_.data();
    A.i = X.row_.empty() ? nullptr : X.row_.data();
    A.nz = nullptr;
    A.x = X.value_.empty() ? nullptr : X.value_.data();
    A.z = nullptr;
    A.stype = 0;  // unsymmetric: CHOLMOD factors A A^T
    A.itype = CHOLMOD_INT;
    A.xtype = CHOLMOD_REAL;
    A.dtype = CHOLMOD_DOUBLE;
    A.sorted = 1;
    A.packed = 1;
    // A matrix without entries still has valid arrays for CHOLMOD to read.
    int noRow = 0;
    double noValue = 0.0;
    if (!A.i) A.i = &noRow;
    if (!A.x) A.x = &noValue;

    const double m = size_, cols = X.cols(), entries = (double)X.value_.size();
    double held = (double)bytes();
    if (!withinAllowance(held + orderingBytes(m, cols, entries, squaredColumnCounts(X.start_)), allowedBytes))
        return false;
    factor_ = cholmod_analyze(&A, common_);
    if (factor_) {
        const int* columnCounts = static_cast<const int*>(factor_->ColCount);
        double fill = 0.0;
        for (size_t j = 0; j < factor_->n; ++j) fill += columnCounts[j];
        if (!withinAllowance((double)bytes() + numericBytes(m, cols, entries, fill), allowedBytes))
            return false;
        double beta[2] = {ridge, 0.0};
        cholmod_factorize_p(&A, beta, nullptr, 0, factor_, common_);
    }
    // solve() reads a simplicial LL' factor, which the settings above ask for.
    bool factorised = factor_ && common_->status == CHOLMOD_OK && factor_->minor == factor_->n &&
                      !factor_->is_super && factor_->is_ll;
    if (factorised) {
        // A non-finite entry need not stop the factorisation; it shows on the diagonal.
        const int* p = static_cast<const int*>(factor_->p);
        const double* x = static_cast<const double*>(factor_->x);
        for (size_t j = 0; factorised && j < factor_->n; ++j)
            factorised = x[p[j]] > 0.0 && std::isfinite(x[p[j]]);
    }
    int status = common_->status;
    if (factorised) {
        try {
            work_.assign((size_t)size_, 0.0);
        } catch (const std::bad_alloc&) {
            factorised = false;
            status = CHOLMOD_OUT_OF_MEMORY;
        }
    }
    if (!factorised) {
        freeFactor();
        outOfMemory_ = status == CHOLMOD_OUT_OF_MEMORY;
        if (outOfMemory_)
            consoleLine("solver: not enough memory to factorise the %dx%d normal matrix\n", size_, size_);
        else
            consoleLine("solver: the %dx%d normal matrix could not be factorised\n", size_, size_);
        return false;
    }
    ready_ = true;
    return true;
}

// P^T L^-T L^-1 P y with the simplicial factor's columns, the diagonal first
// in each: unlike the library's solve, it allocates nothing, so memory
// running out never leaves a projection half done.
bool NormalFactor::solve(double* y) {
    if (!ready_) return false;
    if (size_ == 0) return true;
    const int* perm = static_cast<const int*>(factor_->Perm);
    const int* p = static_cast<const int*>(factor_->p);
    const int* i = static_cast<const int*>(factor_->i);
    const int* nz = static_cast<const int*>(factor_->nz);
    const double* x = static_cast<const double*>(factor_->x);
    double* w = work_.data();
    const int n = size_;
    for (int k = 0; k < n; ++k) w[k] = y[perm[k]];
    for (int j = 0; j < n; ++j) {
        const double wj = w[j] / x[p[j]];
        w[j] = wj;
        for (int k = p[j] + 1; k < p[j] + nz[j]; ++k) w[i[k]] -= x[k] * wj;
    }
    for (int j = n - 1; j >= 0; --j) {
        double wj = w[j];
        for (int k = p[j] + 1; k < p[j] + nz[j]; ++k) wj -= x[k] * w[i[k]];
        w[j] = wj / x[p[j]];
    }
    for (int k = 0; k < n; ++k) y[perm[k]] = w[k];
    return true;
}

size_t NormalFactor::bytes() const { return common_ ? sizeof(cholmod_common) + common_->memory_inuse : 0; }

size_t NormalFactor::peakBytes() const {
    return common_ ? sizeof(cholmod_common) + common_->memory_usage : 0;
}

// --- the operations of the solver steps ---

// The factors share what the storage leaves of this machine's allowance.
void LayoutSolver::factorNormalMatrix(const SparseMatrix& X, NormalFactor& factor) {
    // One refusal has been said; the solve it belongs to is abandoned.
    if (factorRefused) {
        factor.release();
        return;
    }
    double held = storageBytes(numVertices, numEdges, numFaces);
    for (const NormalFactor* other : {&angleFactor, &widthFactor, &translationFactor})
        if (other != &factor) held += (double)other->bytes();
    const double allowed = reinstating ? std::numeric_limits<double>::infinity() : storageLimit() - held;
    if (factor.factorise(X, ridge, allowed)) return;
    // Memory that could not be had refuses the solve as memory judged too
    // small does; a matrix without a factor (a non-finite entry) does not.
    if (factor.tooLarge())
        storageFits(numVertices, numEdges, numFaces, held + factor.neededBytes());
    else if (!factor.outOfMemory())
        return;
    factorRefused = true;
}

void LayoutSolver::solveNormalSystem(NormalFactor& factor, double* y) { factor.solve(y); }

void LayoutSolver::leastNormSolution(const SparseMatrix& X, NormalFactor& factor, double* r, double* x0,
                                     double beta) {
    if (X.cols() <= 0) return;
    if (X.rows() <= 0) {
        for (int j = 0; j < X.cols(); ++j) x0[j] *= beta;
        return;
    }
    if (!factor.solve(r)) return;
    X.multiplyTransposed(1.0, r, beta, x0);
}

void LayoutSolver::projectOntoNullSpace(const SparseMatrix& X, NormalFactor& factor, double* y, double* x) {
    if (X.rows() <= 0 || X.cols() <= 0 || !factor.ready()) return;
    X.multiply(-1.0, x, 0.0, y);
    factor.solve(y);
    X.multiplyTransposed(1.0, y, 1.0, x);
}

void LayoutSolver::correctTowardConstraints(const SparseMatrix& X, NormalFactor& factor, const double* b,
                                            double* y, double* x) {
    if (X.rows() <= 0 || X.cols() <= 0 || !factor.ready()) return;
    std::copy(b, b + X.rows(), y);
    X.multiply(-1.0, x, 1.0, y);
    factor.solve(y);
    X.multiplyTransposed(1.0, y, 1.0, x);
}
