#include "solver/layout_solver.h"

#include <unistd.h>

#include <cstdio>
#include <new>

#include "model/oripoly.h"

double LayoutSolver::storageLimitOverride = 0.0;

namespace {

const double kMegabyte = 1048576.0;
// Used when the machine does not tell its memory size.
const double kFallbackLimit = 2048.0 * kMegabyte;

// swap, unlike clear(), hands the memory back.
void freeArray(std::vector<double>& a) { std::vector<double>().swap(a); }

}  // namespace

LayoutSolver::~LayoutSolver() { release(); }

double LayoutSolver::storageBytes(double V, double E, double F) {
    double edgeArrays = 7.0 * E;    // three angle and four width arrays
    double vertexArrays = 3.0 * V;  // the defects and the width system's right-hand side
    double matrices = 3.0 * V * E + 5.0 * V * V;
    double translation = 2.0 * F + 2.0 * E * F + E * E + 2.0 * E;
    return sizeof(double) * (edgeArrays + vertexArrays + matrices + translation);
}

// Half of the memory stays for the models, the crease pattern, the views and
// the library's own workspace.
double LayoutSolver::storageLimit() {
    if (storageLimitOverride > 0.0) return storageLimitOverride;
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return kFallbackLimit;
    return 0.5 * (double)pages * (double)pageSize;
}

bool LayoutSolver::storageFits(int v, int e, int f, double bytes) {
    double limit = storageLimit();
    if (bytes <= limit) return true;
    printf("model too large to develop (v:%d e:%d f:%d): the solver needs %.0f MB, %.0f MB allowed\n", v, e,
           f, bytes / kMegabyte, limit / kMegabyte);
    return false;
}

bool LayoutSolver::allocate() {
    if (!model) return false;
    model->numberElements();
    numVertices = model->numVertices;
    numEdges = model->numEdges;
    numFaces = model->numFaces;
    numOuterEdges = model->numEdges - model->numInteriorEdges;

    // A refusal drops the old storage too: it follows the old numbering.
    if (!storageFits(numVertices, numEdges, numFaces, storageBytes(numVertices, numEdges, numFaces))) {
        release();
        return false;
    }

    printf("\nv:%d e:%d f:%d\n", numVertices, numEdges, numFaces);
    printf("DOF:%d\n", 2 * numFaces - numEdges);
    printf("num_outer_edge:%d\n", numOuterEdges);

    release();

    size_t V = (size_t)numVertices, E = (size_t)numEdges, F = (size_t)numFaces;
    // From here release() frees whatever has been sized.
    allocated = true;
    bool sized = true;
    try {
        edgeAngles.assign(E, 0.0);
        particularAngles.assign(E, 0.0);
        angleStep.assign(E, 0.0);
        angleMatrix.assign(V * E, 0.0);
        angleFactor.assign(V * V, 0.0);
        angleDefects.assign(V, 0.0);
        tuckWidths.assign(E, 0.0);
        particularWidths.assign(E, 0.0);
        widthIncrement.assign(E, 0.0);
        penaltyGradient.assign(E, 0.0);
        widthMatrix.assign(2 * V * E, 0.0);
        widthFactor.assign(4 * V * V, 0.0);
        widthRhs.assign(2 * V, 0.0);
    } catch (const std::bad_alloc&) {
        sized = false;
    }
    if (sized) {
        faceTranslations = new (std::nothrow) Vec2[F];
        translationMatrix = new (std::nothrow) double[E * 2 * F];
        translationFactor = new (std::nothrow) double[E * E];
        translationRhs = new (std::nothrow) double[E];
        translationWork = new (std::nothrow) double[E];
        sized =
            faceTranslations && translationMatrix && translationFactor && translationRhs && translationWork;
    }
    if (!sized) {
        release();
        printf("not enough memory to develop (v:%d e:%d f:%d): %.0f MB could not be allocated\n", numVertices,
               numEdges, numFaces, storageBytes(numVertices, numEdges, numFaces) / kMegabyte);
        return false;
    }
    return true;
}

void LayoutSolver::release() {
    if (!allocated) return;
    freeArray(edgeAngles);
    freeArray(particularAngles);
    freeArray(angleStep);
    freeArray(angleMatrix);
    freeArray(angleFactor);
    freeArray(angleDefects);
    freeArray(tuckWidths);
    freeArray(particularWidths);
    freeArray(widthIncrement);
    freeArray(penaltyGradient);
    freeArray(widthMatrix);
    freeArray(widthFactor);
    freeArray(widthRhs);
    delete[] faceTranslations;
    delete[] translationMatrix;
    delete[] translationFactor;
    delete[] translationRhs;
    delete[] translationWork;
    faceTranslations = nullptr;
    translationMatrix = translationFactor = translationRhs = translationWork = nullptr;
    allocated = false;
}

int LayoutSolver::edgeSign(const HalfEdge* he) const {
    if (!he || !he->vert || he->vert->index == -1 || !he->pair || !he->pair->vert ||
        he->pair->vert->index == -1)
        return 0;
    return he->vert->index < he->pair->vert->index ? 1 : -1;
}
