#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using testsupport::captureStdout;
using testsupport::loadObjText;

namespace {

const char* kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n";

std::vector<std::vector<double>*> growableArrays(LayoutSolver& s) {
    return {&s.edgeAngles,       &s.particularAngles, &s.angleStep,       &s.angleDefects, &s.tuckWidths,
            &s.particularWidths, &s.widthIncrement,   &s.penaltyGradient, &s.widthRhs};
}

std::vector<SparseMatrix*> matrices(LayoutSolver& s) {
    return {&s.angleMatrix, &s.widthMatrix, &s.translationMatrix};
}

std::vector<NormalFactor*> factors(LayoutSolver& s) {
    return {&s.angleFactor, &s.widthFactor, &s.translationFactor};
}

// The vectors and matrices the solver holds now.
double storedBytes(LayoutSolver& s) {
    double bytes = 0;
    for (std::vector<double>* a : growableArrays(s)) bytes += a->capacity() * sizeof(double);
    for (SparseMatrix* m : matrices(s)) bytes += m->bytes();
    return bytes + sizeof(double) * (2.0 * s.numFaces + 2.0 * s.numEdges);  // the heap arrays
}

// Restores the machine's own limit whatever the test does.
struct StorageLimit {
    explicit StorageLimit(double bytes) { LayoutSolver::storageLimitOverride = bytes; }
    ~StorageLimit() { LayoutSolver::storageLimitOverride = 0.0; }
};

}  // namespace

TEST(SolverStorage, AllocatePrintsCountsAndSizesZeroedArrays) {
    struct Case {
        const char* name;
        std::string obj;
        const char* lines;
        int V, E, F;
    };
    const std::vector<Case> cases = {
        {"tetrahedron", testsupport::tetrahedronObj(), "\nv:4 e:6 f:4\nDOF:2\nnum_outer_edge:3\n", 4, 6, 4},
        {"cube of quads", testsupport::cubeObj(), "\nv:8 e:12 f:6\nDOF:0\nnum_outer_edge:4\n", 8, 12, 6},
        {"open square", kSquare, "\nv:4 e:5 f:2\nDOF:-1\nnum_outer_edge:4\n", 4, 5, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron model;
        ASSERT_EQ(loadObjText(model, c.obj), 0);
        LayoutSolver& s = model.solver;
        bool ok = false;
        EXPECT_EQ(captureStdout([&] { ok = s.allocate(); }), c.lines);
        ASSERT_TRUE(ok);
        EXPECT_TRUE(s.allocated);
        EXPECT_EQ(s.numVertices, c.V);
        EXPECT_EQ(s.numEdges, c.E);
        EXPECT_EQ(s.numFaces, c.F);

        const size_t V = c.V, E = c.E;
        const std::vector<size_t> sizes = {E, E, E, V, E, E, E, E, 2 * V};
        std::vector<std::vector<double>*> arrays = growableArrays(s);
        for (size_t i = 0; i < arrays.size(); ++i) {
            EXPECT_EQ(arrays[i]->size(), sizes[i]) << "array " << i;
            for (double x : *arrays[i]) EXPECT_EQ(x, 0.0) << "array " << i;
        }
        const std::vector<std::pair<int, int>> shapes = {{c.V, c.E}, {2 * c.V, c.E}, {c.E, 2 * c.F}};
        std::vector<SparseMatrix*> ms = matrices(s);
        for (size_t i = 0; i < ms.size(); ++i) {
            EXPECT_EQ(ms[i]->rows(), shapes[i].first) << "matrix " << i;
            EXPECT_EQ(ms[i]->cols(), shapes[i].second) << "matrix " << i;
            EXPECT_EQ(ms[i]->nonZeros(), 0u) << "matrix " << i;
        }
        for (NormalFactor* f : factors(s)) EXPECT_FALSE(f->ready());
        EXPECT_NE(s.faceTranslations, nullptr);
        EXPECT_NE(s.translationRhs, nullptr);
        EXPECT_NE(s.translationWork, nullptr);
    }
}

TEST(SolverStorage, SecondAllocateStartsAfreshButKeepsReadinessFlags) {
    Polyhedron model;
    ASSERT_EQ(loadObjText(model, testsupport::tetrahedronObj()), 0);
    LayoutSolver& s = model.solver;
    captureStdout([&] { s.allocate(); });
    s.edgeAngles[2] = 0.5;
    s.tuckWidths[1] = 0.25;
    s.angleMatrix.set(1, 2, 3.0);
    s.factorNormalMatrix(s.widthMatrix, s.widthFactor);
    ASSERT_TRUE(s.widthFactor.ready());
    s.translationSystemReady = s.anglesReady = s.widthsReady = s.translationsReady = true;

    EXPECT_EQ(captureStdout([&] { EXPECT_TRUE(s.allocate()); }), "\nv:4 e:6 f:4\nDOF:2\nnum_outer_edge:3\n");
    for (std::vector<double>* a : growableArrays(s))
        for (double x : *a) EXPECT_EQ(x, 0.0);
    for (SparseMatrix* m : matrices(s)) EXPECT_EQ(m->nonZeros(), 0u);
    for (NormalFactor* f : factors(s)) EXPECT_FALSE(f->ready());
    EXPECT_TRUE(s.translationSystemReady);
    EXPECT_TRUE(s.anglesReady);
    EXPECT_TRUE(s.widthsReady);
    EXPECT_TRUE(s.translationsReady);
}

TEST(SolverStorage, ReleaseFreesEverythingAndKeepsCountsAndFlags) {
    Polyhedron model;
    ASSERT_EQ(loadObjText(model, testsupport::tetrahedronObj()), 0);
    LayoutSolver& s = model.solver;

    s.release();  // not allocated: nothing to do
    EXPECT_FALSE(s.allocated);
    EXPECT_EQ(s.numEdges, 0);

    captureStdout([&] { s.allocate(); });
    s.anglesReady = true;
    s.solveAngles();
    ASSERT_TRUE(s.angleFactor.ready());
    s.release();
    EXPECT_FALSE(s.allocated);
    for (std::vector<double>* a : growableArrays(s)) {
        EXPECT_TRUE(a->empty());
        EXPECT_EQ(a->capacity(), 0u) << "memory kept after release";
    }
    for (SparseMatrix* m : matrices(s)) {
        EXPECT_EQ(m->rows(), 0);
        EXPECT_EQ(m->bytes(), 0u) << "memory kept after release";
    }
    for (NormalFactor* f : factors(s)) {
        EXPECT_FALSE(f->ready());
        EXPECT_EQ(f->bytes(), 0u) << "memory kept after release";
    }
    EXPECT_EQ(s.faceTranslations, nullptr);
    EXPECT_EQ(s.translationRhs, nullptr);
    EXPECT_EQ(s.translationWork, nullptr);
    EXPECT_EQ(s.numVertices, 4);
    EXPECT_EQ(s.numEdges, 6);
    EXPECT_TRUE(s.anglesReady);

    s.release();  // twice is harmless
    EXPECT_FALSE(s.allocated);
}

TEST(SolverStorage, EdgeSign) {
    Polyhedron model;
    ASSERT_EQ(loadObjText(model, testsupport::tetrahedronObj()), 0);
    model.numberElements();
    const LayoutSolver& s = model.solver;
    for (const HalfEdge& h : model.halfEdges) {
        int sign = s.edgeSign(&h);
        EXPECT_EQ(sign, h.vert->index < h.pair->vert->index ? 1 : -1);
        EXPECT_EQ(sign + s.edgeSign(h.pair), 0) << "the halves of an edge disagree";
    }

    Vertex head, tail, unnumbered;
    head.index = 1;
    tail.index = 3;
    HalfEdge h, pair;
    h.vert = &head;
    h.pair = &pair;
    pair.vert = &tail;
    pair.pair = &h;
    EXPECT_EQ(s.edgeSign(&h), 1);
    EXPECT_EQ(s.edgeSign(&pair), -1);
    tail.index = 1;
    EXPECT_EQ(s.edgeSign(&h), -1) << "equal indices are not smaller";
    tail.index = 3;

    struct Broken {
        const char* name;
        HalfEdge he;
    };
    std::vector<Broken> broken(5, Broken{"", h});
    broken[0].name = "no head";
    broken[0].he.vert = nullptr;
    broken[1].name = "unnumbered head";
    broken[1].he.vert = &unnumbered;
    broken[2].name = "no pair";
    broken[2].he.pair = nullptr;
    HalfEdge headlessPair;
    broken[3].name = "pair without head";
    broken[3].he.pair = &headlessPair;
    HalfEdge unnumberedPair;
    unnumberedPair.vert = &unnumbered;
    broken[4].name = "unnumbered tail";
    broken[4].he.pair = &unnumberedPair;
    for (const Broken& b : broken) EXPECT_EQ(s.edgeSign(&b.he), 0) << b.name;
}

TEST(SolverStorage, GuardCountsWhatAllocateSizes) {
    // Through a whole Develop, idle steps and a Develop again, the storage
    // stays within the guard's bound and every factor within what its
    // ordering predicted.
    struct Case {
        const char* name;
        std::string obj;
    };
    for (const Case& c : {Case{"cube", testsupport::cubeObj()}, Case{"grid", testsupport::openGridObj(3)},
                          Case{"sphere", testsupport::sphereObj(1)}}) {
        SCOPED_TRACE(c.name);
        Polyhedron model, backup;
        ASSERT_EQ(loadObjText(model, c.obj), 0);
        LayoutSolver& s = model.solver;
        captureStdout([&] { ASSERT_TRUE(developFirst(model, backup)); });
        SolverOptions options;
        for (int i = 0; i < 5; ++i) idleStep(model, options, true);
        captureStdout([&] { developAgain(model); });
        for (NormalFactor* f : factors(s)) EXPECT_TRUE(f->ready());
        const double V = s.numVertices, E = s.numEdges, F = s.numFaces;
        EXPECT_LE(storedBytes(s), LayoutSolver::storageBytes(V, E, F));
        for (NormalFactor* f : factors(s)) {
            EXPECT_FALSE(f->tooLarge());
            EXPECT_GT(f->neededBytes(), 0.0);
            EXPECT_LE((double)f->peakBytes(), f->neededBytes()) << "factor of size " << f->size();
        }
        // The vectors alone are counted exactly.
        EXPECT_GE(LayoutSolver::storageBytes(V, E, F), 8.0 * (9 * E + 3 * V + 2 * F));
    }
}

TEST(SolverStorage, AllocateRefusesStorageBeyondTheLimit) {
    Polyhedron model;
    ASSERT_EQ(loadObjText(model, testsupport::tetrahedronObj()), 0);
    LayoutSolver& s = model.solver;
    captureStdout([&] { ASSERT_TRUE(s.allocate()); });

    StorageLimit limit(LayoutSolver::storageBytes(4, 6, 4) - 1.0);
    bool ok = true;
    std::string out = captureStdout([&] { ok = s.allocate(); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(out.find("DOF"), std::string::npos);
    EXPECT_NE(out.find("v:4 e:6 f:4"), std::string::npos) << out;
    ASSERT_FALSE(out.empty());
    // One line, begun on a line of its own.
    EXPECT_EQ(out.find('\n', 1), out.size() - 1) << "one line: " << out;
    // The old storage belonged to the old numbering and is gone.
    EXPECT_FALSE(s.allocated);
    for (std::vector<double>* a : growableArrays(s)) EXPECT_EQ(a->capacity(), 0u);
    for (SparseMatrix* m : matrices(s)) EXPECT_EQ(m->bytes(), 0u);
    EXPECT_FALSE(s.translationFactor.ready());

    LayoutSolver::storageLimitOverride = LayoutSolver::storageBytes(4, 6, 4);
    captureStdout([&] { EXPECT_TRUE(s.allocate()); });
}

TEST(SolverStorage, HugeModelsDoNotFitThisMachine) {
    EXPECT_GT(LayoutSolver::storageLimit(), 0.0);
    EXPECT_TRUE(LayoutSolver::storageFits(4, 6, 4, LayoutSolver::storageBytes(4, 6, 4)));
    // A hundred million vertices need tens of gigabytes before any factor.
    double bytes = LayoutSolver::storageBytes(1e8, 3e8, 2e8);
    std::string out = captureStdout(
        [&] { EXPECT_FALSE(LayoutSolver::storageFits(100000000, 300000000, 200000000, bytes)); });
    EXPECT_NE(out.find("v:100000000 e:300000000 f:200000000"), std::string::npos) << out;
    EXPECT_NE(out.find(" MB"), std::string::npos) << out;
}
