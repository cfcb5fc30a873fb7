#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

// The same model exported in other units (every vertex scaled by 0.001 or
// 1000) must give the same design: the idle loop converges and rests at the
// same steps, and the crease pattern has the same lines and efficiency.

namespace {

const int kStepCap = 4000;

struct Design {
    int convergedAt = -1;  // idle step whose penalty was below the threshold
    int restsAt = -1;      // idle step after which the window waits for input
    int lines = 0;
    double efficiency = 0.0;
};

// Develop, then the idle loop as the window runs it until it rests, then a
// tick of the timer with Crease Pattern Generation on.
Design designOf(const std::string& obj) {
    Design d;
    Polyhedron working, backup;
    EXPECT_EQ(testsupport::loadObjText(working, obj), 0);
    bool developed = false;
    testsupport::captureStdout([&] { developed = developFirst(working, backup); });
    EXPECT_TRUE(developed);
    if (!developed) return d;
    SolverOptions options;
    d.restsAt = testsupport::idleUntilRest(working, options, kStepCap, &d.convergedAt);
    options.creasePatternOn = true;
    testsupport::captureStdout([&] { creasePatternTick(working, options); });
    d.lines = (int)working.creasePattern.lines.size();
    d.efficiency = working.efficiencyAt(0.0);
    return d;
}

struct Row {
    const char* name;
    std::string obj;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Units : public ::testing::TestWithParam<Row> {};

}  // namespace

TEST_P(Units, ScaledCopiesGetTheSameDesign) {
    const Design unit = designOf(GetParam().obj);
    ASSERT_GT(unit.convergedAt, 0) << "no convergence within " << kStepCap << " idle steps";
    ASSERT_GT(unit.restsAt, 0) << "the idle loop does not rest within " << kStepCap << " steps";
    ASSERT_GT(unit.lines, 0);
    for (double factor : {0.001, 1000.0}) {
        SCOPED_TRACE(factor);
        const Design scaled = designOf(testsupport::scaledObj(GetParam().obj, factor));
        ASSERT_GT(scaled.convergedAt, 0) << "no convergence";
        EXPECT_LE(std::abs(scaled.convergedAt - unit.convergedAt), 3) << "converged at step " << scaled.convergedAt
                                                                      << ", at unit scale " << unit.convergedAt;
        ASSERT_GT(scaled.restsAt, 0) << "the idle loop does not rest";
        EXPECT_LE(std::abs(scaled.restsAt - unit.restsAt), 3)
            << "rests after step " << scaled.restsAt << ", at unit scale " << unit.restsAt;
        EXPECT_LE(std::abs(scaled.lines - unit.lines), 0.02 * unit.lines)
            << scaled.lines << " crease lines, " << unit.lines << " at unit scale";
        EXPECT_LE(std::fabs(scaled.efficiency - unit.efficiency), 0.03 * unit.efficiency)
            << "efficiency " << scaled.efficiency << ", " << unit.efficiency << " at unit scale";
    }
}

INSTANTIATE_TEST_SUITE_P(Models, Units,
                         ::testing::Values(Row{"tetrahedron", testsupport::tetrahedronObj()},
                                           Row{"cube", testsupport::cubeObj()},
                                           Row{"octahedron", testsupport::octahedronObj()},
                                           Row{"openPatch", testsupport::openGridObj(3)},
                                           Row{"sphere80", testsupport::sphereObj(1)},
                                           Row{"sphere320", testsupport::sphereObj(2)},
                                           Row{"torus", testsupport::torusObj(12, 6, 2.0, 0.7)}),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });
