#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "creasepattern/dxf_export.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using testsupport::captureStdout;

namespace {

struct Counts {
    size_t vertices, halfEdges, faces;
    int edges;
    bool operator==(const Counts& o) const {
        return vertices == o.vertices && halfEdges == o.halfEdges && faces == o.faces && edges == o.edges;
    }
};

Counts countsOf(const Polyhedron& m) {
    return {m.vertices.size(), m.halfEdges.size(), m.faces.size(), m.numEdges};
}

// The first uncut edge with faces on both sides, made far too wide.
HalfEdge* widenFirstInnerEdge(Polyhedron& model) {
    for (HalfEdge& h : model.halfEdges)
        if (!h.onCut && h.face && h.pair->face) {
            model.solver.tuckWidths[h.edgeIndex] = 1e6;
            EXPECT_FALSE(model.solver.withinWidthLimit(&h));
            EXPECT_FALSE(model.solver.withinWidthLimit(h.pair));
            return &h;
        }
    return nullptr;
}

// A tetrahedron just developed: no tuck is beyond its limit yet.
class DevelopedTetrahedron : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(testsupport::loadObjText(model, testsupport::tetrahedronObj()), 0);
        captureStdout([&] { ASSERT_TRUE(developFirst(model, backup)); });
        ASSERT_EQ(edgesBeyondLimit(), 0);
    }

    int edgesBeyondLimit() {
        const LayoutSolver& s = model.solver;
        std::set<int> edges;
        for (const HalfEdge& h : model.halfEdges)
            if (h.face && h.pair->face && (!s.withinWidthLimit(&h) || !s.withinWidthLimit(h.pair)))
                edges.insert(h.edgeIndex);
        return (int)edges.size();
    }

    // Rebuilds under a storage limit of `limit` bytes that it cannot meet.
    void expectRebuildRefusedUnder(double limit);

    void tick() {
        SolverOptions options;
        options.creasePatternOn = true;
        creasePatternTick(model, options);
        ASSERT_TRUE(model.creasePattern.built);
    }

    // Numbered, re-solved for the new counts, the pattern dropped, no mark left.
    void expectFinished(const std::string& out) {
        int i = 0;
        for (const Vertex& v : model.vertices) EXPECT_EQ(v.index, i++);
        i = 0;
        for (const HalfEdge& h : model.halfEdges) {
            EXPECT_EQ(h.index, i++);
            EXPECT_FALSE(h.visited);
        }
        i = 0;
        for (const Face& f : model.faces) EXPECT_EQ(f.index, i++);
        const LayoutSolver& s = model.solver;
        EXPECT_TRUE(s.allocated);
        EXPECT_EQ(s.numEdges, model.numEdges);
        EXPECT_EQ(s.numFaces, model.numFaces);
        EXPECT_EQ(s.numVertices, model.numVertices);
        EXPECT_TRUE(s.anglesReady);
        for (double w : s.tuckWidths) ASSERT_TRUE(std::isfinite(w));
        for (const Face& f : model.faces) ASSERT_TRUE(std::isfinite(f.translation.x + f.translation.y));
        char counts[64];
        snprintf(counts, sizeof counts, "\nv:%d e:%d f:%d\n", model.numVertices, model.numEdges,
                 model.numFaces);
        EXPECT_NE(out.find(counts), std::string::npos) << out;
        const CreasePattern& cp = model.creasePattern;
        EXPECT_FALSE(cp.built);
        EXPECT_EQ(cp.model, nullptr);
        EXPECT_TRUE(cp.vertices.empty() && cp.halfEdges.empty() && cp.faces.empty() && cp.lines.empty());
    }

    // The next build links only to elements the model still has.
    void expectFreshBuild() {
        tick();
        std::set<const HalfEdge*> live;
        for (const HalfEdge& h : model.halfEdges) live.insert(&h);
        for (const PatternVertex& v : model.creasePattern.vertices) {
            ASSERT_TRUE(live.count(v.modelHalfEdge));
            EXPECT_EQ(v.modelHalfEdge->patternVertex, &v);
        }
    }

    Polyhedron model, backup;
};

TEST_F(DevelopedTetrahedron, NothingBeyondItsLimitStillRenumbersRebuildsAndClears) {
    tick();
    const Counts before = countsOf(model);
    for (Vertex& v : model.vertices) v.index = 7;
    for (Face& f : model.faces) f.index = -1;
    for (bool withAngleCondition : {false, true}) {
        SCOPED_TRACE(withAngleCondition);
        std::string out = captureStdout([&] {
            if (withAngleCondition)
                model.splitWideTucksWithAngleCondition();
            else
                model.splitWideTucks();
        });
        EXPECT_TRUE(countsOf(model) == before);
        expectFinished(out);
    }
}

TEST_F(DevelopedTetrahedron, AnEdgeBothOfWhoseHalvesFailIsSplitOnce) {
    tick();
    const Counts before = countsOf(model);
    HalfEdge* r = widenFirstInnerEdge(model);
    ASSERT_NE(r, nullptr);
    HalfEdge* t = r->pair;
    std::string out = captureStdout([&] { model.splitWideTucks(); });

    Counts after = countsOf(model);
    EXPECT_EQ(after.faces, before.faces + 1);
    EXPECT_EQ(after.halfEdges, before.halfEdges + 2);
    EXPECT_EQ(after.edges, before.edges + 1);
    EXPECT_EQ(after.vertices, before.vertices);
    HalfEdge* a = r->pair;
    ASSERT_NE(a, t);
    EXPECT_EQ(a->next->next, a) << "a two-sided face between the halves";
    EXPECT_EQ(a->next->pair, t);
    expectFinished(out);
    expectFreshBuild();
}

// Without a built pattern the angle condition has nothing to add: the same
// splits and the same solution as without it.
TEST_F(DevelopedTetrahedron, AngleConditionWithoutPatternSplitsLikeThePlainCommand) {
    Polyhedron other, otherBackup;
    ASSERT_EQ(testsupport::loadObjText(other, testsupport::tetrahedronObj()), 0);
    captureStdout([&] { ASSERT_TRUE(developFirst(other, otherBackup)); });
    ASSERT_NE(widenFirstInnerEdge(model), nullptr);
    ASSERT_NE(widenFirstInnerEdge(other), nullptr);

    std::string plain = captureStdout([&] { model.splitWideTucks(); });
    std::string withAngle = captureStdout([&] { other.splitWideTucksWithAngleCondition(); });
    EXPECT_EQ(plain, withAngle);
    ASSERT_TRUE(countsOf(model) == countsOf(other));
    auto f = other.faces.begin();
    for (const Face& g : model.faces) {
        EXPECT_EQ(g.translation.x, f->translation.x);
        EXPECT_EQ(g.translation.y, f->translation.y);
        ++f;
    }
}

// The halves that the width pass made carry the corner of the half-edge they
// copy, so an active corner there splits both edges that replaced it.
TEST_F(DevelopedTetrahedron, ActiveCornersSplitTheEdgesTheWidthPassMade) {
    tick();
    const Counts before = countsOf(model);
    HalfEdge* r = widenFirstInnerEdge(model);
    ASSERT_NE(r, nullptr);
    for (PatternHalfEdge& p : model.creasePattern.halfEdges) p.active = false;
    ASSERT_TRUE(r->patternVertex && r->patternVertex->vtmEdge);
    r->patternVertex->vtmEdge->active = true;

    std::string out = captureStdout([&] { model.splitWideTucksWithAngleCondition(); });
    EXPECT_EQ(countsOf(model).faces, before.faces + 3);
    EXPECT_EQ(countsOf(model).edges, before.edges + 3);
    expectFinished(out);
    expectFreshBuild();
}

TEST_F(DevelopedTetrahedron, JoiningASplitEdgeBackRestoresTheModel) {
    tick();
    const Counts before = countsOf(model);
    HalfEdge* r = widenFirstInnerEdge(model);
    ASSERT_NE(r, nullptr);
    HalfEdge* t = r->pair;
    const size_t tailEdges = r->prev->vert->edge.size(), headEdges = r->vert->edge.size();
    captureStdout([&] { model.splitWideTucks(); });
    ASSERT_EQ(countsOf(model).faces, before.faces + 1);
    tick();

    std::string out = captureStdout([&] { model.mergeSplitEdge(r->pair); });
    EXPECT_TRUE(countsOf(model) == before);
    EXPECT_EQ(r->pair, t);
    EXPECT_EQ(t->pair, r);
    EXPECT_EQ(r->prev->vert->edge.size(), tailEdges);
    EXPECT_EQ(r->vert->edge.size(), headEdges);
    expectFinished(out);
    expectFreshBuild();

    // A two-sided face on the boundary stays, yet the model is re-solved.
    HalfEdge* boundary = nullptr;
    for (Face& f : model.faces)
        if (f.boundaryDigon) boundary = f.edge;
    ASSERT_NE(boundary, nullptr);
    out = captureStdout([&] { model.mergeSplitEdge(boundary); });
    EXPECT_TRUE(countsOf(model) == before);
    expectFinished(out);
}

// A rebuild that cannot have its storage, or one of its factors, leaves a
// released solver and one line; nothing reads the old solution as current,
// and the model can be re-solved once it fits.
TEST_F(DevelopedTetrahedron, RebuildRefusedForMemoryLeavesNothingHalfSized) {
    expectRebuildRefusedUnder(1.0);
}

TEST_F(DevelopedTetrahedron, RebuildWhoseFactorDoesNotFitLeavesNothingHalfSized) {
    const LayoutSolver& s = model.solver;
    // The storage fits, with nothing to spare for the factors.
    expectRebuildRefusedUnder(LayoutSolver::storageBytes(s.numVertices, s.numEdges, s.numFaces) + 1.0);
}

void DevelopedTetrahedron::expectRebuildRefusedUnder(double limit) {
    tick();
    LayoutSolver& s = model.solver;
    LayoutSolver::storageLimitOverride = limit;
    std::string out = captureStdout([&] { s.rebuild(); });
    LayoutSolver::storageLimitOverride = 0.0;
    // One refusal, on a line of its own, and the last.
    size_t refusal = out.find("\nmodel too large");
    ASSERT_NE(refusal, std::string::npos) << out;
    EXPECT_EQ(out.find('\n', refusal + 1), out.size() - 1) << out;
    EXPECT_FALSE(s.allocated);
    EXPECT_FALSE(s.widthsReady);
    EXPECT_TRUE(s.tuckWidths.empty());

    const Counts before = countsOf(model);
    SolverOptions options;
    options.creasePatternOn = true;
    model.creasePattern.clear();
    out = captureStdout([&] {
        EXPECT_FALSE(idleStep(model, options, true).stepped);
        creasePatternTick(model, options);
        model.splitWideTucks();
        model.splitWideTucksWithAngleCondition();
    });
    EXPECT_EQ(out, "");
    EXPECT_FALSE(model.creasePattern.built);
    EXPECT_TRUE(countsOf(model) == before);

    out = captureStdout([&] { model.mergeSplitEdge(model.faces.front().edge); });
    expectFinished(out);
}

// --- topology edits whose rebuild is refused for its size ---

bool isTwoSided(const HalfEdge& h) { return h.next->next == &h; }

// The first edge between two faces that are not two-sided.
HalfEdge* plainInnerEdge(Polyhedron& model) {
    for (HalfEdge& h : model.halfEdges)
        if (!h.onCut && h.face && h.pair->face && !isTwoSided(h) && !isTwoSided(*h.pair)) return &h;
    return nullptr;
}

struct Edit {
    const char* name;
    void (*apply)(Polyhedron& model, HalfEdge* target);
    // The target is a side of a two-sided face made beforehand; the target's
    // tuck is made too wide beforehand.
    bool join, widen;
};

const Edit kEdits[] = {
    {"Split ETM", [](Polyhedron& m, HalfEdge* h) { m.splitEtmEdge(h); }, false, false},
    {"joining a split edge back", [](Polyhedron& m, HalfEdge* h) { m.mergeSplitEdge(h); }, true, false},
    {"Split extrawide tucks", [](Polyhedron& m, HalfEdge*) { m.splitWideTucks(); }, false, true},
    {"Split extrawide tucks with Angle Condition",
     [](Polyhedron& m, HalfEdge*) { m.splitWideTucksWithAngleCondition(); }, false, true},
};

// The edit's target on a developed model (for a join, an edge split and,
// after `settle`, a side of its two-sided face; for the wide-tuck splits, an
// edge made too wide).
HalfEdge* chooseTarget(Polyhedron& model, const Edit& edit, const std::function<void()>& settle) {
    HalfEdge* target = plainInnerEdge(model);
    if (!target) return nullptr;
    if (edit.join) {
        // A second split beside the first, so that the records of the
        // two-sided face to join stand neither last in their lists nor
        // last at their vertex.
        HalfEdge* beside = nullptr;
        for (HalfEdge* h : target->vert->edge)
            if (!h->onCut && h->face && h->pair->face && !isTwoSided(*h) && !isTwoSided(*h->pair) &&
                h->pair != target)
                beside = h;
        EXPECT_NE(beside, nullptr);
        captureStdout([&] {
            model.splitEtmEdge(target);
            model.splitEtmEdge(beside);
        });
        target = target->pair;  // a side of the first two-sided face
        EXPECT_NE(&model.halfEdges.back(), target->next);
        EXPECT_NE(target->next->vert->edge.back(), target);
        settle();
    }
    if (edit.widen) model.solver.tuckWidths[target->edgeIndex] = 1e6 * model.lengthScale();
    return target;
}

// A design as a user has it when the edit comes: developed, converged, its
// crease pattern built with its lines, and the edit's target chosen.
struct Design {
    Polyhedron model, backup;
    HalfEdge* target = nullptr;
    SolverOptions options;

    explicit Design(const Edit& edit) {
        options.creasePatternOn = true;
        EXPECT_EQ(testsupport::loadObjText(model, testsupport::sphereObj(1)), 0);
        captureStdout([&] { EXPECT_TRUE(developFirst(model, backup)); });
        settle();
        target = chooseTarget(model, edit, [this] { settle(); });
    }

    void settle() {
        captureStdout([&] {
            EXPECT_GT(testsupport::idleUntilRest(model, options, 4000), 0);
            for (int i = 0; i < 100 && creasePatternTick(model, options); ++i) {
            }
        });
        EXPECT_TRUE(model.creasePattern.built);
        EXPECT_FALSE(model.creasePattern.lines.empty());
    }

    std::string dxf(const std::string& name) {
        std::string path = testsupport::tempPath(name);
        captureStdout([&] { EXPECT_EQ(exportDXF(model, false, 1.0, 0.0, path.c_str()), 0); });
        return testsupport::readFile(path);
    }
};

// Every record's place in its list, and each link as the place it leads
// to: equal for two models built alike.
struct Topology {
    std::vector<long> links;

    explicit Topology(const Polyhedron& m) {
        const testsupport::RecordPlaces place(m);
        for (const Vertex& v : m.vertices) {
            links.push_back((long)v.edge.size());
            for (const HalfEdge* h : v.edge) links.push_back(place(h));
            links.push_back(v.index);
        }
        for (const HalfEdge& h : m.halfEdges)
            for (long x : {place(h.vert), place(h.face), place(h.pair), place(h.next), place(h.prev),
                           (long)h.index, (long)h.edgeIndex})
                links.push_back(x);
        for (const Face& f : m.faces) {
            links.push_back(place(f.edge));
            links.push_back(f.index);
        }
    }
};

// What the user and the solver's next steps see of a design.
struct State {
    Topology topology;
    std::vector<double> widths, particularWidths, angles, particularAngles, finiteWidths;
    std::vector<Vec2> translations, corners, directions, finiteTranslations;
    int vertices, edges, faces;
    bool halted, widthsReady, translationsReady;

    explicit State(const Polyhedron& m)
        : topology(m),
          widths(m.solver.tuckWidths),
          particularWidths(m.solver.particularWidths),
          angles(m.solver.edgeAngles),
          particularAngles(m.solver.particularAngles),
          finiteWidths(m.solver.finiteLayout.widths),
          finiteTranslations(m.solver.finiteLayout.translations),
          vertices(m.solver.numVertices),
          edges(m.solver.numEdges),
          faces(m.solver.numFaces),
          halted(m.solver.halted),
          widthsReady(m.solver.widthsReady),
          translationsReady(m.solver.translationsReady) {
        for (const Face& f : m.faces) translations.push_back(f.translation);
        for (const HalfEdge& h : m.halfEdges) {
            corners.push_back(h.corner);
            directions.push_back(h.direction);
        }
    }
};

void expectSameState(const State& a, const State& b) {
    EXPECT_EQ(a.topology.links, b.topology.links);
    EXPECT_EQ(a.widths, b.widths);
    EXPECT_EQ(a.particularWidths, b.particularWidths);
    EXPECT_EQ(a.angles, b.angles);
    EXPECT_EQ(a.particularAngles, b.particularAngles);
    EXPECT_EQ(a.translations, b.translations);
    EXPECT_EQ(a.corners, b.corners);
    EXPECT_EQ(a.directions, b.directions);
    EXPECT_EQ(a.finiteWidths, b.finiteWidths);
    EXPECT_EQ(a.finiteTranslations, b.finiteTranslations);
    EXPECT_EQ(a.vertices, b.vertices);
    EXPECT_EQ(a.edges, b.edges);
    EXPECT_EQ(a.faces, b.faces);
    EXPECT_EQ(a.halted, b.halted);
    EXPECT_EQ(a.widthsReady, b.widthsReady);
    EXPECT_EQ(a.translationsReady, b.translationsReady);
}

// The addresses of every record: the pattern and the views point at them.
std::vector<const void*> recordsOf(const Polyhedron& m) {
    std::vector<const void*> records;
    for (const Vertex& v : m.vertices) records.push_back(&v);
    for (const HalfEdge& h : m.halfEdges) records.push_back(&h);
    for (const Face& f : m.faces) records.push_back(&f);
    const CreasePattern& cp = m.creasePattern;
    for (const PatternVertex& v : cp.vertices) records.push_back(&v);
    for (const PatternHalfEdge& h : cp.halfEdges) records.push_back(&h);
    for (const PatternFace& f : cp.faces) records.push_back(&f);
    for (const CreaseLine& l : cp.lines) records.push_back(&l);
    return records;
}

// The steps a user takes next: idle steps, the Explode brush, a Move drag,
// Develop again; returns what they printed.
std::string useDesign(Polyhedron& m, const SolverOptions& options) {
    return captureStdout([&] {
        LayoutSolver& s = m.solver;
        idleStep(m, options, true);
        s.fattenAt(m.faces.front().translation, 1.0, 4.0 * m.lengthScale());
        m.faces.front().translation.x += 0.05 * m.lengthScale();
        s.solveTranslations();
        s.applyTranslations();
        s.layoutFaces();
        developAgain(m);
        idleStep(m, options, false);
    });
}

enum RefusalKind { RefusedCounts, RefusedFirstFactor, RefusedLaterFactor };

struct Refusal {
    const char* name;
    RefusalKind kind;
};

const Refusal kRefusals[] = {
    {"storage refused by its counts", RefusedCounts},
    {"first factor refused", RefusedFirstFactor},
    {"a factor refused after the directions were laid out again", RefusedLaterFactor},
};

// A storage limit that refuses the rebuild as `kind` says, judged on a twin
// design on which the edit went through.
double limitRefusing(RefusalKind kind, const Edit& edit) {
    if (kind == RefusedCounts) return 1.0;
    Design twin(edit);
    captureStdout([&] { edit.apply(twin.model, twin.target); });
    const LayoutSolver& s = twin.model.solver;
    EXPECT_TRUE(s.allocated && s.angleFactor.ready());
    const double stored = LayoutSolver::storageBytes(s.numVertices, s.numEdges, s.numFaces);
    if (kind == RefusedFirstFactor) return stored + 1.0;
    // The angle factor just fits; what it leaves is less than the next ones need.
    EXPECT_LT(s.angleFactor.neededBytes() - (double)s.angleFactor.bytes(),
              std::max(s.translationFactor.neededBytes(), s.widthFactor.neededBytes()));
    return stored + s.angleFactor.neededBytes();
}

// A refused rebuild changes nothing: the model with the very same records,
// its layout, its solver and its crease pattern are as they were, the file a
// SaveAs writes is the same, and the next steps do what they would have done.
TEST(RefusedRebuild, TheEditIsTakenBackAndTheDesignStaysAsItWas) {
    for (const Edit& edit : kEdits) {
        for (const Refusal& refusal : kRefusals) {
            SCOPED_TRACE(std::string(edit.name) + ", " + refusal.name);
            const double limit = limitRefusing(refusal.kind, edit);
            Design design(edit), untouched(edit);
            Polyhedron& m = design.model;
            ASSERT_NE(design.target, nullptr);
            const State before(m);
            const std::vector<const void*> records = recordsOf(m);
            const std::string dxf = design.dxf("before.dxf");

            LayoutSolver::storageLimitOverride = limit;
            std::string out = captureStdout([&] { edit.apply(m, design.target); });
            LayoutSolver::storageLimitOverride = 0.0;

            // The one line of the refusal, the last; the model put back
            // prints no allocation of its own.
            size_t line = out.find("\nmodel too large to develop (");
            ASSERT_NE(line, std::string::npos) << out;
            EXPECT_EQ(out.find('\n', line + 1), out.size() - 1) << out;
            EXPECT_EQ(out.find("\nv:", line), std::string::npos) << out;
            if (refusal.kind == RefusedCounts) {
                EXPECT_EQ(line, 0u) << out;
            }

            expectSameState(State(m), before);
            EXPECT_TRUE(recordsOf(m) == records) << "records moved or replaced";
            EXPECT_TRUE(m.creasePattern.built);
            EXPECT_EQ(m.creasePattern.model, &m);
            EXPECT_TRUE(m.solver.allocated);
            for (const HalfEdge& h : m.halfEdges) ASSERT_FALSE(h.visited);
            EXPECT_EQ(design.dxf("after.dxf"), dxf);

            // The solver works on as the untouched design's does.
            EXPECT_EQ(useDesign(m, design.options), useDesign(untouched.model, untouched.options));
            expectSameState(State(m), State(untouched.model));

            // Once it fits, the edit goes through.
            HalfEdge* q = plainInnerEdge(m);
            ASSERT_NE(q, nullptr);
            const size_t faces = m.faces.size();
            out = captureStdout([&] { m.splitEtmEdge(q); });
            EXPECT_EQ(m.faces.size(), faces + 1);
            EXPECT_EQ(m.solver.numFaces, (int)faces + 1);
            EXPECT_NE(out.find("\nv:"), std::string::npos) << out;
            EXPECT_FALSE(m.creasePattern.built);
        }
    }
}

// Memory that cannot be had anywhere in an edit (the split or the join
// itself, the rebuild, a factor) takes the edit back as a refused rebuild
// does: the design, with the very same records, as it was.
TEST(RefusedRebuild, MemoryThatCannotBeHadInAnEditIsARefusal) {
    for (const Edit& edit : kEdits) {
        SCOPED_TRACE(edit.name);
        SolverOptions options;
        options.creasePatternOn = true;
        HalfEdge* target = nullptr;
        testsupport::StepUnderTest step;
        step.setup = [&](Polyhedron& m, Polyhedron& backup) {
            ASSERT_EQ(testsupport::loadObjText(m, testsupport::sphereObj(0)), 0);
            captureStdout([&] { ASSERT_TRUE(developFirst(m, backup)); });
            auto tick = [&] { captureStdout([&] { creasePatternTick(m, options); }); };
            tick();
            target = chooseTarget(m, edit, tick);
            ASSERT_NE(target, nullptr);
            ASSERT_TRUE(m.creasePattern.built);
        };
        step.run = [&](Polyhedron& m, Polyhedron&) {
            std::vector<const void*> records;
            {
                testsupport::AllocationsUncounted aside;
                records = recordsOf(m);
            }
            edit.apply(m, target);
            testsupport::AllocationsUncounted aside;
            // An edit that went through drops the pattern; one refused keeps
            // it, and every record the pattern and the views point at.
            if (m.creasePattern.built) {
                EXPECT_TRUE(recordsOf(m) == records);
            }
            for (const HalfEdge& h : m.halfEdges) ASSERT_FALSE(h.visited);
        };
        step.state = testsupport::designOf;
        EXPECT_GT(testsupport::expectEachAllocationFailureRefusedOrMadeUpFor(step, "not enough memory", 100),
                  20);
    }
}

}  // namespace
