#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using testsupport::captureStdout;
using testsupport::loadObjText;

namespace {

struct Model {
    const char* name;
    std::string obj;
};

std::vector<Model> closedAndOpen() {
    return {{"tetrahedron", testsupport::tetrahedronObj()},
            {"cube", testsupport::cubeObj()},
            {"icosphere", testsupport::sphereObj(1)},
            {"open grid", testsupport::openGridObj(4)}};
}

// The "%f " sums printed after the pass dots that follow `from`.
std::vector<double> angleSums(const std::string& out, size_t from = 0) {
    size_t dots = out.find('.', from);
    std::vector<double> sums;
    if (dots == std::string::npos) return sums;
    std::istringstream in(out.substr(out.find_first_not_of('.', dots)));
    for (double x; in >> x;) sums.push_back(x);
    return sums;
}

void expectFiniteSolution(const Polyhedron& model) {
    const LayoutSolver& s = model.solver;
    for (double t : s.edgeAngles) ASSERT_TRUE(std::isfinite(t));
    for (double w : s.tuckWidths) ASSERT_TRUE(std::isfinite(w));
    for (const Face& f : model.faces)
        ASSERT_TRUE(std::isfinite(f.translation.x) && std::isfinite(f.translation.y));
    for (const HalfEdge& h : model.halfEdges)
        ASSERT_TRUE(std::isfinite(h.corner.x) && std::isfinite(h.direction.y)) << "half-edge " << h.index;
}

}  // namespace

TEST(Pipeline, FirstDevelopClosesEveryVertex) {
    for (const Model& m : closedAndOpen()) {
        SCOPED_TRACE(m.name);
        Polyhedron working, backup;
        ASSERT_EQ(loadObjText(working, m.obj), 0);
        const size_t vertices = working.vertices.size(), faces = working.faces.size();

        bool ok = false;
        std::string out = captureStdout([&] { ok = developFirst(working, backup); });
        ASSERT_TRUE(ok) << out;
        ASSERT_NE(out.find("\nv:"), std::string::npos) << out;
        size_t counts = out.find("num_outer_edge:");
        ASSERT_NE(counts, std::string::npos);
        std::vector<double> sums = angleSums(out, counts);
        EXPECT_EQ(sums.size(), working.vertices.size()) << out;
        for (double s : sums) EXPECT_NEAR(s, 2.0, 1e-5) << out;  // the ridge residual
        EXPECT_EQ(out.find("NULL"), std::string::npos) << out;
        EXPECT_EQ(out.find("error"), std::string::npos) << out;

        EXPECT_TRUE(working.prepared);
        EXPECT_TRUE(working.solver.allocated);
        EXPECT_TRUE(working.solver.anglesReady);
        EXPECT_TRUE(working.solver.widthsReady);
        EXPECT_TRUE(working.solver.translationSystemReady);
        EXPECT_EQ(working.solver.model, &working);
        EXPECT_GT(working.faces.size(), faces) << "two-sided faces along the boundary";
        expectFiniteSolution(working);

        EXPECT_FALSE(backup.prepared);
        EXPECT_EQ(backup.vertices.size(), vertices);
        EXPECT_EQ(backup.faces.size(), faces);
        EXPECT_NE(backup.faces.front().edge, working.faces.front().edge);
    }
}

TEST(Pipeline, DevelopAgainKeepsTheModelAndItsBackup) {
    Polyhedron working, backup;
    ASSERT_EQ(loadObjText(working, testsupport::cubeObj()), 0);
    captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
    const size_t vertices = working.vertices.size();
    const Vertex* backupFirst = &backup.vertices.front();

    std::string out = captureStdout([&] { developAgain(working); });
    EXPECT_EQ(out.find("v:"), std::string::npos) << "no new allocation: " << out;
    EXPECT_EQ(out[0], '.');
    for (double s : angleSums(out)) EXPECT_NEAR(s, 2.0, 1e-5) << out;
    EXPECT_EQ(working.vertices.size(), vertices);
    EXPECT_EQ(&backup.vertices.front(), backupFirst);
    EXPECT_FALSE(backup.prepared);
    expectFiniteSolution(working);
}

TEST(Pipeline, AModelTooLargeForMemoryIsRefusedUntouched) {
    Polyhedron working, backup;
    ASSERT_EQ(loadObjText(working, testsupport::octahedronObj()), 0);
    const Vertex* first = &working.vertices.front();
    const size_t halfEdges = working.halfEdges.size(), perimeter = working.perimeter.size();

    LayoutSolver::storageLimitOverride = 1.0;
    bool ok = true;
    std::string out = captureStdout([&] { ok = developFirst(working, backup); });
    LayoutSolver::storageLimitOverride = 0.0;

    EXPECT_FALSE(ok);
    EXPECT_NE(out.find("v:6 e:12 f:8"), std::string::npos) << out;
    // One line, begun on a line of its own.
    EXPECT_EQ(out.find('\n', 1), out.size() - 1) << "one line: " << out;
    EXPECT_FALSE(working.prepared);
    EXPECT_EQ(&working.vertices.front(), first);
    EXPECT_EQ(working.vertices.size(), 6u);
    EXPECT_EQ(working.halfEdges.size(), halfEdges);
    EXPECT_EQ(working.perimeter.size(), perimeter);
    EXPECT_FALSE(working.solver.allocated);
    EXPECT_TRUE(backup.vertices.empty()) << "no backup taken";

    // The bound covers what preparing really adds: the same model fits when
    // its prepared storage just fits.
    Polyhedron probe, spare;
    ASSERT_EQ(loadObjText(probe, testsupport::octahedronObj()), 0);
    captureStdout([&] { ASSERT_TRUE(developFirst(probe, spare)); });
    const LayoutSolver& s = probe.solver;
    double needed = LayoutSolver::storageBytes(s.numVertices, s.numEdges, s.numFaces);
    double bound = LayoutSolver::storageBytes(6 + perimeter, 12 + 2 * perimeter, 8 + perimeter);
    EXPECT_LE(needed, bound);
}

TEST(Pipeline, AModelWhoseFactorDoesNotFitIsRefusedUntouched) {
    // The storage is judged before anything changes, each factor by the fill
    // its ordering finds: here the storage fits and the first factor does not.
    const std::string obj = testsupport::sphereObj(2);
    Polyhedron probe, spare;
    ASSERT_EQ(loadObjText(probe, obj), 0);
    const double P = probe.perimeter.size();
    const double bound = LayoutSolver::storageBytes(
        probe.vertices.size() + P, probe.halfEdges.size() / 2.0 + 2 * P, probe.faces.size() + P);
    captureStdout([&] { ASSERT_TRUE(developFirst(probe, spare)); });
    const LayoutSolver& s = probe.solver;
    const double stored = LayoutSolver::storageBytes(s.numVertices, s.numEdges, s.numFaces);
    ASSERT_LT(bound + 1.0, stored + s.angleFactor.neededBytes());

    Polyhedron working, backup;
    ASSERT_EQ(loadObjText(working, obj), 0);
    const size_t vertices = working.vertices.size(), halfEdges = working.halfEdges.size();
    LayoutSolver::storageLimitOverride = bound + 1.0;
    bool ok = true;
    std::string out = captureStdout([&] { ok = developFirst(working, backup); });
    LayoutSolver::storageLimitOverride = 0.0;

    EXPECT_FALSE(ok);
    char counts[64];
    snprintf(counts, sizeof counts, "v:%d e:%d f:%d", s.numVertices, s.numEdges, s.numFaces);
    EXPECT_NE(out.find(std::string("model too large to develop (") + counts), std::string::npos) << out;
    // The counts of allocate, then the one line of the refusal.
    EXPECT_EQ(out.find("too large"), out.rfind("too large")) << out;
    EXPECT_FALSE(working.prepared);
    EXPECT_EQ(working.vertices.size(), vertices);
    EXPECT_EQ(working.halfEdges.size(), halfEdges);
    EXPECT_FALSE(working.solver.allocated);

    // Nothing is left behind: the same model develops once it fits.
    captureStdout([&] { EXPECT_TRUE(developFirst(working, backup)); });
    expectFiniteSolution(working);
}

TEST(Pipeline, IdleStepFollowsTheOptions) {
    Polyhedron working, backup;
    ASSERT_EQ(loadObjText(working, testsupport::sphereObj(1)), 0);
    captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });

    SolverOptions still;
    still.avoidIntersection = false;
    const Vec2 before = working.faces.back().translation;
    IdleStepResult r = idleStep(working, still, true);
    EXPECT_FALSE(r.stepped);
    EXPECT_EQ(working.faces.back().translation.x, before.x) << "the layout stands still";
    EXPECT_EQ(working.faces.back().translation.y, before.y);

    SolverOptions avoiding;
    for (bool converging : {true, false}) {
        r = idleStep(working, avoiding, converging);
        EXPECT_TRUE(r.stepped);
        EXPECT_TRUE(std::isfinite(r.penalty));
        EXPECT_GE(r.penalty, 0.0);
    }
    expectFiniteSolution(working);
}

TEST(Pipeline, NothingToStepWithoutSolverStorage) {
    Polyhedron working;
    ASSERT_EQ(loadObjText(working, testsupport::tetrahedronObj()), 0);
    SolverOptions options;
    options.angleCondition = true;
    std::string out = captureStdout([&] {
        EXPECT_FALSE(idleStep(working, options, true).stepped);
        developAgain(working);
    });
    EXPECT_EQ(out, "");

    Polyhedron empty, backup;
    EXPECT_FALSE(developFirst(empty, backup));
}

namespace {

const int kRestCap = 4000;

bool operator==(const SavedPlacement& a, const SavedPlacement& b) {
    return a.widths == b.widths && a.translations == b.translations;
}

}  // namespace

// Once converged, steps that only shave rounding off the overlaps stop: the
// layout and its efficiency stay as they are until something makes the
// layout overlap again.
TEST(Pipeline, AConvergedLayoutSettlesUntilItOverlapsAgain) {
    for (const Model& m : closedAndOpen()) {
        SCOPED_TRACE(m.name);
        Polyhedron working, backup;
        ASSERT_EQ(loadObjText(working, m.obj), 0);
        captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
        SolverOptions options;
        ASSERT_GT(testsupport::idleUntilRest(working, options, kRestCap), 0);

        const SavedPlacement rested = working.solver.placement();
        const double efficiency = working.efficiencyAt(0.0);
        for (int i = 0; i < 20; ++i) {
            IdleStepResult r = idleStep(working, options, false);
            EXPECT_FALSE(r.moved);
            ASSERT_LT(r.penalty, settledPenalty(working));
        }
        EXPECT_TRUE(working.solver.placement() == rested);
        EXPECT_EQ(working.efficiencyAt(0.0), efficiency);

        // A tuck thinned until its copies overlap (the Explode brush does it)
        // takes the steps up again.
        working.solver.tuckWidths[0] = -0.1 * working.lengthScale();
        IdleStepResult r = idleStep(working, options, false);
        EXPECT_TRUE(r.stepped);
        EXPECT_TRUE(r.moved);
        EXPECT_FALSE(r.settled);
    }
}

// The timer makes the lines again only for a layout that moved: at rest a
// large pattern is not rebuilt twice a second.
TEST(Pipeline, TheTimerLeavesThePatternOfAnUnmovedLayout) {
    Polyhedron working, backup;
    ASSERT_EQ(loadObjText(working, testsupport::sphereObj(1)), 0);
    captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
    SolverOptions options;
    ASSERT_GT(testsupport::idleUntilRest(working, options, kRestCap), 0);
    options.creasePatternOn = true;
    // The first tick builds the pattern; the next ones flip diagonals until
    // a pass flips none, and only then is there nothing left to do.
    int ticks = 1;
    while (creasePatternTick(working, options) && ticks < 100) ++ticks;
    EXPECT_GE(ticks, 2);
    ASSERT_LT(ticks, 100) << "the flips never end";
    CreasePattern& cp = working.creasePattern;
    ASSERT_FALSE(cp.lines.empty());

    // A mark that only regeneration would wipe out.
    const size_t lines = cp.lines.size();
    cp.lines.front().kind = 'x';
    EXPECT_FALSE(creasePatternTick(working, options));
    EXPECT_EQ(cp.lines.size(), lines);
    EXPECT_EQ(cp.lines.front().kind, 'x') << "the lines were made again";

    // A face moved by the Move tool, or the lines asked off: the tick acts.
    working.faces.front().translation.x += 0.01 * working.lengthScale();
    EXPECT_TRUE(creasePatternTick(working, options));
    for (const CreaseLine& l : cp.lines) ASSERT_NE(l.kind, 'x');
    options.creasePatternOn = false;
    EXPECT_TRUE(creasePatternTick(working, options));
    EXPECT_TRUE(cp.lines.empty());
}

// A width or position made non-finite outside the step (by a tool) or by the
// step itself: the solver stops on its last finite layout, and Develop again
// clears the stop and starts from there. That layout is kept from Develop
// and from every topology edit on, before any idle step.
TEST(Pipeline, ANonFiniteLayoutGoesBackToTheLastFiniteOne) {
    const struct {
        const char* name;
        bool width;  // spoil a width, else a face position
        int steps;   // idle steps before
        bool edit;   // a topology edit before
    } cases[] = {{"a width made not a number", true, 3, false},
                 {"a face moved to infinity", false, 3, false},
                 {"a width made not a number right after Develop", true, 0, false},
                 {"a face moved to infinity right after a topology edit", false, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron working, backup;
        ASSERT_EQ(loadObjText(working, testsupport::openGridObj(3)), 0);
        captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
        SolverOptions options;
        bool converging = true;
        for (int i = 0; i < c.steps; ++i)
            converging = !idleStep(working, options, converging).converged && converging;
        // Renumbers and rebuilds even where nothing is split.
        if (c.edit) captureStdout([&] { working.splitWideTucks(); });
        const SavedPlacement lastFinite = working.solver.placement();

        if (c.width)
            working.solver.tuckWidths[1] = std::nan("");
        else
            working.faces.back().translation.x = INFINITY;
        IdleStepResult r;
        std::string out = captureStdout([&] { r = idleStep(working, options, converging); });
        EXPECT_EQ(out, "\nsolver stopped: a tuck width or a face position is not finite\n");
        EXPECT_TRUE(std::isinf(r.penalty));
        EXPECT_TRUE(working.solver.halted);
        EXPECT_TRUE(working.solver.placement() == lastFinite);
        // Nor does the Explode brush change a width while stopped.
        const Vec2 brush = working.faces.front().translation;
        const double view = 4.0 * working.lengthScale();
        working.solver.fattenAt(brush, 1.0, view);
        EXPECT_TRUE(working.solver.placement() == lastFinite);

        out = captureStdout([&] { developAgain(working); });
        EXPECT_EQ(out.find("inf"), std::string::npos) << out;
        EXPECT_EQ(out.find("nan"), std::string::npos) << out;
        EXPECT_FALSE(working.solver.halted);
        expectFiniteSolution(working);
        const std::vector<double> resumed = working.solver.tuckWidths;
        working.solver.fattenAt(brush, 1.0, view);
        EXPECT_NE(working.solver.tuckWidths, resumed) << "the brush reaches its tucks again";
        r = idleStep(working, options, true);
        EXPECT_TRUE(r.stepped);
        EXPECT_TRUE(std::isfinite(r.penalty));
    }
}

// With no finite layout to go back to, Develop again says that the solver
// stays stopped rather than comparing penalties that are not numbers.
TEST(Pipeline, DevelopAgainSaysWhenTheSolverStaysStopped) {
    Polyhedron working, backup;
    ASSERT_EQ(loadObjText(working, testsupport::openGridObj(3)), 0);
    captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
    LayoutSolver& s = working.solver;
    // A layout that never was finite: nothing to go back to.
    s.finiteLayout = SavedPlacement();
    for (Face& f : working.faces) f.translation = Vec2(std::nan(""), std::nan(""));
    for (double& w : s.tuckWidths) w = std::nan("");
    captureStdout([&] { idleStep(working, SolverOptions(), true); });
    ASSERT_TRUE(s.halted);

    std::string out = captureStdout([&] { developAgain(working); });
    const std::string line =
        "\nDevelop again kept the layout: the solver is stopped, a tuck width or a face position is not "
        "finite\n";
    ASSERT_GE(out.size(), line.size());
    EXPECT_EQ(out.substr(out.size() - line.size()), line) << out;
    EXPECT_EQ(out.find("was"), std::string::npos) << out;
    EXPECT_TRUE(s.halted);
    EXPECT_FALSE(idleStep(working, SolverOptions(), false).stepped);
}

// A layout that cannot be written whole (a width or a face position not
// finite, as a tool can leave it between two idle steps) is not saved: the
// save says so on a line of its own, even right after Develop's sums, and
// the file there stays as it was. Once the idle step has put the last
// finite layout back, the same save writes the file.
TEST(Pipeline, ALayoutThatIsNotFiniteIsNotSaved) {
    const struct {
        const char* name;
        bool width;
        bool lines;
    } cases[] = {{"a width not a number, with crease lines", true, true},
                 {"a face at infinity, with molecules", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = testsupport::writeTempFile("kept.dxf", "the file saved before\n");
        Polyhedron working, backup;
        ASSERT_EQ(loadObjText(working, testsupport::openGridObj(3)), 0);
        SolverOptions options;
        options.creasePatternOn = c.lines;
        int result = 0;
        std::string out = captureStdout([&] {
            ASSERT_TRUE(developFirst(working, backup));
            creasePatternTick(working, options);
            if (c.width)
                working.solver.tuckWidths[2] = std::nan("");
            else
                working.faces.front().translation.y = -INFINITY;
            result = savePattern(working, options, 1.0, 0.0, path.c_str());
        });
        EXPECT_EQ(result, -1);
        const std::string line = "\ncould not save the crease pattern to " + path +
                                 ": a tuck width or a face position is not finite, nothing was saved\n";
        ASSERT_GE(out.size(), line.size());
        EXPECT_EQ(out.substr(out.size() - line.size()), line) << out;
        EXPECT_EQ(testsupport::readFile(path), "the file saved before\n");

        captureStdout([&] { idleStep(working, options, true); });
        captureStdout([&] { result = savePattern(working, options, 1.0, 0.0, path.c_str()); });
        EXPECT_EQ(result, 0);
        EXPECT_NE(testsupport::readFile(path).find("ENTITIES"), std::string::npos);
    }
}
