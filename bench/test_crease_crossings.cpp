#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "crease_crossings.h"

namespace {

const double kTol = 1e-4;

Segment seg(double x0, double y0, double x1, double y1) { return Segment{Vec2(x0, y0), Vec2(x1, y1)}; }

struct CrossingCase {
    const char* name;
    std::vector<Segment> lines;
    int crossing;
};

class CrossingCount : public ::testing::TestWithParam<CrossingCase> {};

TEST_P(CrossingCount, CountsLinesCrossingAwayFromTheirEnds) {
    EXPECT_EQ(countCrossingLines(GetParam().lines, kTol), GetParam().crossing);
}

const double kNaN = std::nan("");

INSTANTIATE_TEST_SUITE_P(
    Cases, CrossingCount,
    ::testing::Values(
        CrossingCase{"Cross", {seg(0, 0, 2, 2), seg(0, 2, 2, 0)}, 2},
        CrossingCase{"SharedEnd", {seg(0, 0, 1, 1), seg(1, 1, 2, 0)}, 0},
        CrossingCase{"SharedEndWithinTolerance", {seg(0, 0, 1, 1), seg(1 + 5e-5, 1, 2, 0)}, 0},
        CrossingCase{"TTouch", {seg(0, 0, 2, 0), seg(1, 0, 1, 1)}, 0},
        CrossingCase{"TTouchWithinTolerance", {seg(0, 0, 2, 0), seg(1, -5e-5, 1, 1)}, 0},
        CrossingCase{"TThroughBeyondTolerance", {seg(0, 0, 2, 0), seg(1, -1e-3, 1, 1)}, 2},
        CrossingCase{"CollinearOverlap", {seg(0, 0, 2, 0), seg(1, 0, 3, 0)}, 0},
        CrossingCase{"Parallel", {seg(0, 0, 2, 0), seg(0, 1, 2, 1)}, 0},
        CrossingCase{"ApartOnOneLine", {seg(0, 0, 1, 0), seg(2, 0, 3, 0)}, 0},
        CrossingCase{"NoLength", {seg(1, 1, 1, 1), seg(0, 0, 2, 2), seg(0, 2, 2, 0)}, 2},
        // One line through a fan that meets at a point: every fan line counts once.
        CrossingCase{"OneAcrossAFan", {seg(-1, 1, 1, 1), seg(0, 0, -1, 2), seg(0, 0, 0, 2), seg(0, 0, 1, 2)}, 4},
        CrossingCase{"NotFinite", {seg(0, 0, 2, 2), seg(kNaN, 2, 2, 0)}, 0}),
    [](const ::testing::TestParamInfo<CrossingCase>& info) { return std::string(info.param.name); });

// A long line across a grid of short ones, far from the cell size the short
// ones set, must still meet every one of them.
TEST(CrossingCountGrid, LongLineMeetsEveryShortOne) {
    std::vector<Segment> lines;
    for (int i = 0; i < 200; ++i) lines.push_back(seg(i + 0.5, -0.5, i + 0.5, 0.5));
    lines.push_back(seg(-1, 0.1, 201, -0.1));
    EXPECT_EQ(countCrossingLines(lines, kTol), 201);
}

}  // namespace
