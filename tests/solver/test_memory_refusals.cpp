#include <dirent.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

// Memory that cannot be had, at any allocation of a step, refuses that step
// with a console line and leaves the design as it was, or is made up for
// (a sort without its scratch buffer) and the step does what it does
// without a failure. Never a crash, never a result gone wrong in silence.

using testsupport::captureStdout;
using testsupport::designOf;
using testsupport::expectEachAllocationFailureRefusedOrMadeUpFor;
using testsupport::loadObjText;
using testsupport::StepUnderTest;

namespace {

void load(Polyhedron& working, const std::string& obj) { ASSERT_EQ(loadObjText(working, obj), 0); }

void develop(Polyhedron& working, Polyhedron& backup, const std::string& obj) {
    load(working, obj);
    captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
}

// The design without its crease pattern.
std::string layoutOf(const Polyhedron& m) {
    std::string d = designOf(m);
    return d.substr(0, d.rfind("pattern "));
}

TEST(MemoryRefusals, DevelopIsRefusedWhereverMemoryRunsOut) {
    for (const std::string& obj : {testsupport::cubeObj(), testsupport::openGridObj(2)}) {
        StepUnderTest step;
        step.setup = [&](Polyhedron& w, Polyhedron&) { load(w, obj); };
        step.run = [](Polyhedron& w, Polyhedron& b) { developFirst(w, b); };
        // Closed along its cut and undeveloped, as loaded, with no copy kept.
        step.state = [](const Polyhedron& w) { return designOf(w); };
        EXPECT_GT(expectEachAllocationFailureRefusedOrMadeUpFor(step, "not enough memory"), 100);
    }
}

TEST(MemoryRefusals, DevelopAgainKeepsTheLayout) {
    StepUnderTest step;
    step.setup = [](Polyhedron& w, Polyhedron& b) {
        develop(w, b, testsupport::sphereObj(1));
        SolverOptions options;
        for (int i = 0; i < 3; ++i) idleStep(w, options, true);
    };
    step.run = [](Polyhedron& w, Polyhedron&) { developAgain(w); };
    step.state = [](const Polyhedron& w) { return designOf(w); };
    EXPECT_GT(expectEachAllocationFailureRefusedOrMadeUpFor(step, "not enough memory"), 50);
}

// The step is taken back and the solver stops there, as on a width that is
// not finite, until Develop again.
TEST(MemoryRefusals, AnIdleStepStopsTheSolverOnTheLayoutItStartedFrom) {
    StepUnderTest step;
    step.setup = [](Polyhedron& w, Polyhedron& b) { develop(w, b, testsupport::sphereObj(1)); };
    step.run = [](Polyhedron& w, Polyhedron&) {
        SolverOptions options;
        idleStep(w, options, true);
        if (!w.solver.halted) return;
        // Stopped, it takes no step.
        EXPECT_FALSE(idleStep(w, options, true).stepped);
        w.solver.halted = false;  // as Develop again leaves it
    };
    step.state = [](const Polyhedron& w) { return designOf(w); };
    EXPECT_GT(expectEachAllocationFailureRefusedOrMadeUpFor(step, "not enough memory"), 10);
}

// A pattern that memory could not be had for is not left half made: it goes,
// the layout stays, it is not tried again on the same layout, and it is made
// once the layout moves.
TEST(MemoryRefusals, ACreasePatternTickLeavesNoPatternHalfMade) {
    for (bool built : {false, true}) {
        SCOPED_TRACE(built ? "a built pattern made again" : "the first build");
        StepUnderTest step;
        step.setup = [built](Polyhedron& w, Polyhedron& b) {
            develop(w, b, testsupport::cubeObj());
            SolverOptions options;
            options.creasePatternOn = true;
            if (!built) return;
            captureStdout([&] { creasePatternTick(w, options); });
            w.faces.front().translation.x += 1e-3;
        };
        step.run = [](Polyhedron& w, Polyhedron&) {
            SolverOptions options;
            options.creasePatternOn = true;
            creasePatternTick(w, options);
            if (w.creasePattern.built) return;
            EXPECT_TRUE(w.creasePattern.vertices.empty() && w.creasePattern.lines.empty());
            // A corner list that could not be had is nothing to judge the next tick by.
            const bool remembered = !w.creasePattern.tickedCorners.empty();
            const bool ticked = creasePatternTick(w, options);
            if (remembered) {
                EXPECT_FALSE(ticked);
            }
            const Vec2 at = w.faces.front().translation;
            w.faces.front().translation.x += 1e-3;
            creasePatternTick(w, options);
            EXPECT_TRUE(w.creasePattern.built);
            EXPECT_FALSE(w.creasePattern.lines.empty());
            w.faces.front().translation = at;
        };
        // The layout; the pattern is made again on the next tick.
        step.state = layoutOf;
        EXPECT_GT(expectEachAllocationFailureRefusedOrMadeUpFor(
                      step, "not enough memory to make the crease pattern"),
                  20);
    }
}

std::vector<std::string> unfinishedSaves(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name).rfind(".plicatrope-save-", 0) == 0) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// A save that memory runs out in writes nothing: the file there stays as it
// was, no unfinished file is left beside it, and the numbers of the next
// save are written with a decimal point as before.
TEST(MemoryRefusals, ASaveLeavesTheFileAsItWas) {
    const std::string dir = testsupport::tempPath("saves");
    mkdir(dir.c_str(), 0700);
    const std::string path = dir + "/pattern.dxf";
    StepUnderTest step;
    step.setup = [&](Polyhedron& w, Polyhedron& b) {
        develop(w, b, testsupport::cubeObj());
        SolverOptions options;
        options.creasePatternOn = true;
        captureStdout([&] { creasePatternTick(w, options); });
        testsupport::writeTempFile("saves/pattern.dxf", "the file saved before\n");
    };
    step.run = [&](Polyhedron& w, Polyhedron&) {
        SolverOptions options;
        options.creasePatternOn = true;
        int result = savePattern(w, options, 1.0, 0.0, path.c_str());
        EXPECT_TRUE(unfinishedSaves(dir).empty());
        EXPECT_EQ(uselocale((locale_t)0), LC_GLOBAL_LOCALE);
        if (result == 0) return;
        EXPECT_EQ(testsupport::readFile(path), "the file saved before\n");
    };
    step.state = [&](const Polyhedron&) { return testsupport::readFile(path); };
    EXPECT_GT(expectEachAllocationFailureRefusedOrMadeUpFor(
                  step, "could not save the crease pattern to " + path + ": "),
              100);
}

}  // namespace
