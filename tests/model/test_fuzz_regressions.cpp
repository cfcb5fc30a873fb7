#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../fuzz/obj_pipeline.h"
#include "support/test_support.h"

// Inputs the fuzzer found faults with, each taken through the very steps the
// fuzzer runs: the program must say why it refuses a file, keep every point
// it computes finite, and stay able to load the next file.

namespace {

const int kIdleSteps = 4;

std::string regressionPath(const std::string& name) {
    return testsupport::dataPath("../fuzz_regressions/" + name);
}

struct Outcome {
    PipelineRun run;
    std::string console;
    std::string drawing;
};

Outcome runPipeline(const std::string& objPath) {
    std::string dxfPath = testsupport::tempPath("fuzz_regression.dxf");
    std::remove(dxfPath.c_str());
    Outcome o;
    o.console = testsupport::captureStdout(
        [&] { o.run = runObjPipeline(objPath.c_str(), dxfPath.c_str(), kIdleSteps); });
    o.drawing = testsupport::readFile(dxfPath);
    return o;
}

struct RegressionCase {
    const char* file;
    // The line that refuses the file, at Open or at Develop; null for a file
    // that must go all the way to a drawing.
    const char* refusal;
};

const RegressionCase kCases[] = {
    {"huge_coordinates_overflow_layout.obj",
     "vertex coordinate is too large; coordinates must lie within -1e38 .. 1e38\n"},
    // Most corners at one point, or on one line: the angle conditions
    // contradict each other.
    {"coincident_corners_diverging_angles.obj", nullptr},
    {"flat_fan_diverging_angles.obj", nullptr},
};

TEST(FuzzRegressions, EachInputIsRefusedWithItsReasonOrDrawnWithFinitePoints) {
    for (const RegressionCase& c : kCases) {
        SCOPED_TRACE(c.file);
        Outcome o = runPipeline(regressionPath(c.file));
        if (c.refusal) {
            EXPECT_FALSE(o.run.developed);
            EXPECT_NE(o.console.find(c.refusal), std::string::npos) << o.console;
            continue;
        }
        ASSERT_TRUE(o.run.developed) << o.console;
        EXPECT_EQ(o.run.exported, 0);
        EXPECT_TRUE(o.run.finite);
        EXPECT_TRUE(o.run.sound);
        EXPECT_EQ(o.drawing.find("nan"), std::string::npos);
        EXPECT_EQ(o.drawing.find("inf"), std::string::npos);
    }
}

// The refused inputs found by the fuzzer and the broken seeds it starts from.
std::vector<std::string> refusedInputs() {
    std::vector<std::string> paths;
    for (const RegressionCase& c : kCases)
        if (c.refusal) paths.push_back(regressionPath(c.file));
    const char* seeds[] = {"bad_index.obj",         "bad_texture_index.obj",   "bowtie.obj",
                           "comments_only.obj",     "duplicate_corner.obj",    "face_first.obj",
                           "inf_coordinate.obj",    "long_face.obj",           "long_lines.obj",
                           "nan_coordinate.obj",    "negative_index.obj",      "opposite_orientation.obj",
                           "overflowing_index.obj", "three_faces_on_edge.obj", "two_corners.obj",
                           "two_parts.obj",         "zero_index.obj"};
    for (const char* seed : seeds)
        paths.push_back(testsupport::dataPath(std::string("../fuzz_corpus/") + seed));
    return paths;
}

TEST(FuzzRegressions, ARefusalSaysWhyAndLeavesTheNextFileLoadable) {
    std::string good = testsupport::writeTempFile("after_refusal.obj", testsupport::tetrahedronObj());
    for (const std::string& path : refusedInputs()) {
        SCOPED_TRACE(path);
        Outcome refused = runPipeline(path);
        ASSERT_FALSE(refused.run.developed);
        EXPECT_TRUE(endsWithReason(refused.console)) << refused.console;
        Outcome o = runPipeline(good);
        EXPECT_TRUE(o.run.developed) << o.console;
        EXPECT_EQ(o.run.exported, 0);
        EXPECT_NE(o.drawing.find("EOF"), std::string::npos);
    }
}

}  // namespace
