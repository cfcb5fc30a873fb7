#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using testsupport::captureStdout;

// What a new user meets: open a model, Develop, and let the idle loop run as
// the window runs it until it reports convergence; then Develop again.

namespace {

// Far more idle steps than any of these models needs once its layout is
// well posed, few enough to fail within seconds when it is not.
const int kStepCap = 4000;

// Idle steps as the window takes them: the stronger weights until the
// penalty first falls below the threshold. Returns the step at which it did,
// or -1 when it did not within `cap` steps.
int stepsToConverge(Polyhedron& model, int cap) {
    SolverOptions options;
    for (int i = 1; i <= cap; ++i) {
        IdleStepResult r = idleStep(model, options, true);
        if (r.converged) return i;
    }
    return -1;
}

struct Row {
    const char* name;
    std::string obj;
    double minEfficiency;  // of the sheet, once converged
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Convergence : public ::testing::TestWithParam<Row> {};

}  // namespace

TEST_P(Convergence, IdleLoopConvergesAndDevelopAgainKeepsIt) {
    const Row& row = GetParam();
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, row.obj), 0);
    captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });

    const int steps = stepsToConverge(working, kStepCap);
    ASSERT_GT(steps, 0) << "no convergence within " << kStepCap << " idle steps";
    const double efficiency = working.efficiencyAt(0.0);
    EXPECT_GE(efficiency, row.minEfficiency) << "after " << steps << " idle steps";
    RecordProperty("idleStepsToConverge", steps);

    captureStdout([&] { developAgain(working); });
    IdleStepResult next = idleStep(working, SolverOptions(), true);
    EXPECT_TRUE(next.stepped);
    EXPECT_LT(next.penalty, convergedPenalty(working)) << "Develop again undid the convergence";
    EXPECT_GE(working.efficiencyAt(0.0), 0.8 * efficiency);
}

INSTANTIATE_TEST_SUITE_P(Models, Convergence,
                         ::testing::Values(Row{"cube", testsupport::cubeObj(), 0.10},
                                           Row{"octahedron", testsupport::octahedronObj(), 0.05},
                                           Row{"openPatch", testsupport::openGridObj(4), 0.05},
                                           Row{"sphere80", testsupport::sphereObj(1), 0.15},
                                           Row{"sphere320", testsupport::sphereObj(2), 0.15},
                                           Row{"sphere1280", testsupport::sphereObj(3), 0.15},
                                           Row{"torus", testsupport::torusObj(12, 6, 2.0, 0.7), 0.05}),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });
