#ifndef PLICATROPE_BENCH_STAGES_H
#define PLICATROPE_BENCH_STAGES_H

#include <functional>
#include <string>

#include "bench_models.h"
#include "bench_table.h"

struct BenchSettings {
    int repeat = 5;          // runs of a short stage, whose median is reported
    std::string scratchDir;  // where the DXF file is written
};

// Whether the timed Develop steps gave the tuck widths that developFirst gives.
struct DevelopCheck {
    bool done = false;
    bool equal = false;
    double maxDifference = 0.0;
    std::string note;
};

// Runs every stage of one model, first once and then the short ones again on
// fresh copies, and hands each stage's row to `emit` in order. Returns the
// outcome of the check against developFirst (not done when the model never
// developed).
DevelopCheck benchModel(const BenchModel& model, const BenchSettings& settings,
                        const std::function<void(const BenchRow&)>& emit);

#endif
