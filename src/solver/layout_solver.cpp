#include "solver/layout_solver.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "model/console_line.h"
#include "model/memory_use.h"
#include "model/oripoly.h"

double LayoutSolver::storageLimitOverride = 0.0;

namespace {

// swap, unlike clear(), hands the memory back.
void freeArray(std::vector<double>& a) { std::vector<double>().swap(a); }

}  // namespace

LayoutSolver::~LayoutSolver() { release(); }

double LayoutSolver::storageBytes(double V, double E, double F) {
    // Three angle and four width arrays, the defects and the width system's
    // right-hand side, the translations with their right-hand side and workspace.
    double vectors = sizeof(double) * (9.0 * E + 3.0 * V + 2.0 * F);
    // Each column of the angle matrix has two entries, of the width matrix
    // four, and each row of the translation matrix four.
    double matrices = SparseMatrix::bytesFor(2.0 * E, SparseMatrix::pendingLimitFor(V, E), E) +
                      SparseMatrix::bytesFor(4.0 * E, SparseMatrix::pendingLimitFor(2.0 * V, E), E) +
                      SparseMatrix::bytesFor(4.0 * E, SparseMatrix::pendingLimitFor(E, 2.0 * F), 2.0 * F);
    return vectors + matrices;
}

// Half of the memory stays for the models, the crease pattern, the views and
// the library's own workspace.
double LayoutSolver::storageLimit() {
    if (storageLimitOverride > 0.0) return storageLimitOverride;
    return 0.5 * processMemoryLimit();
}

bool LayoutSolver::storageFits(int v, int e, int f, double bytes) {
    double limit = storageLimit();
    if (bytes <= limit) return true;
    // Loading and the offsets dots leave the console inside a line.
    consolePrintf(
        "\nmodel too large to develop (v:%d e:%d f:%d): the solver may need %.1f MB, %.1f MB allowed\n", v, e,
        f, bytes / kMegabyte, limit / kMegabyte);
    return false;
}

void LayoutSolver::sayOutOfMemory(const char* step, int v, int e, int f, const char* outcome) {
    consoleLine("not enough memory to %s (v:%d e:%d f:%d); %s\n", step, v, e, f, outcome);
}

bool LayoutSolver::allocate() {
    if (!model) return false;
    model->numberElements();
    numVertices = model->numVertices;
    numEdges = model->numEdges;
    numFaces = model->numFaces;
    numOuterEdges = model->numEdges - model->numInteriorEdges;
    factorRefused = false;
    halted = false;

    if (!reinstating) {
        // A refusal drops the old storage too: it follows the old numbering.
        if (!storageFits(numVertices, numEdges, numFaces, storageBytes(numVertices, numEdges, numFaces))) {
            release();
            return false;
        }
        consolePrintf("\nv:%d e:%d f:%d\n", numVertices, numEdges, numFaces);
        consolePrintf("DOF:%d\n", 2 * numFaces - numEdges);
        consolePrintf("num_outer_edge:%d\n", numOuterEdges);
    }

    release();

    size_t V = (size_t)numVertices, E = (size_t)numEdges, F = (size_t)numFaces;
    // From here release() frees whatever has been sized.
    allocated = true;
    bool sized = true;
    try {
        edgeAngles.assign(E, 0.0);
        particularAngles.assign(E, 0.0);
        angleStep.assign(E, 0.0);
        angleDefects.assign(V, 0.0);
        tuckWidths.assign(E, 0.0);
        particularWidths.assign(E, 0.0);
        widthIncrement.assign(E, 0.0);
        penaltyGradient.assign(E, 0.0);
        widthRhs.assign(2 * V, 0.0);
        angleMatrix.reset(numVertices, numEdges);
        widthMatrix.reset(2 * numVertices, numEdges);
        translationMatrix.reset(numEdges, 2 * numFaces);
    } catch (const std::bad_alloc&) {
        sized = false;
    }
    if (sized) {
        faceTranslations = new (std::nothrow) Vec2[F];
        translationRhs = new (std::nothrow) double[E];
        translationWork = new (std::nothrow) double[E];
        sized = faceTranslations && translationRhs && translationWork;
    }
    if (!sized) {
        release();
        consoleLine("not enough memory to develop (v:%d e:%d f:%d): %.0f MB could not be allocated\n",
                    numVertices, numEdges, numFaces,
                    storageBytes(numVertices, numEdges, numFaces) / kMegabyte);
        return false;
    }
    return true;
}

void LayoutSolver::release() {
    if (!allocated) return;
    freeArray(edgeAngles);
    freeArray(particularAngles);
    freeArray(angleStep);
    freeArray(angleDefects);
    freeArray(tuckWidths);
    freeArray(particularWidths);
    freeArray(widthIncrement);
    freeArray(penaltyGradient);
    freeArray(widthRhs);
    // A layout kept for the old numbering is no layout of the new one.
    finiteLayout = SavedPlacement();
    angleMatrix.release();
    widthMatrix.release();
    translationMatrix.release();
    angleFactor.release();
    widthFactor.release();
    translationFactor.release();
    delete[] faceTranslations;
    delete[] translationRhs;
    delete[] translationWork;
    faceTranslations = nullptr;
    translationRhs = translationWork = nullptr;
    allocated = false;
}

int LayoutSolver::edgeSign(const HalfEdge* he) const {
    if (!he || !he->vert || he->vert->index == -1 || !he->pair || !he->pair->vert ||
        he->pair->vert->index == -1)
        return 0;
    return he->vert->index < he->pair->vert->index ? 1 : -1;
}
