#include "bench_stages.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "bench_layout.h"
#include "bench_process.h"
#include "creasepattern/dxf_export.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"

namespace {

const int kIdleSteps = 200;
const int kPatternIdleSteps = 50;
// A stage shorter than this is run again on fresh copies.
const double kShortStageMs = 50.0;
// Fresh copies are made only while getting a copy to a stage (running all
// stages before it) stays under this.
const double kReplayBudgetMs = 3000.0;

// The estimate developFirst judges a model by before it changes anything:
// the prepared model has at most one vertex, two edges and one face more per
// perimeter entry.
bool developFits(const Polyhedron& model) {
    double P = (double)model.perimeter.size();
    double bytes = LayoutSolver::storageBytes((double)model.vertices.size() + P,
                                              (double)model.halfEdges.size() / 2.0 + 2.0 * P,
                                              (double)model.faces.size() + P);
    return LayoutSolver::storageFits((int)model.vertices.size(), (int)(model.halfEdges.size() / 2),
                                     (int)model.faces.size(), bytes);
}

// One model taken through the stages in order, as the program's Develop,
// idle loop and timer would take it, with the window's options at start.
// A stage that refuses sets `refused`, and the later ones cannot run.
class StagePass {
public:
    StagePass(const BenchModel& model, const std::string& dxfPath)
        : model_(model), dxfPath_(dxfPath), working_(new Polyhedron), backup_(new Polyhedron) {}

    bool refused = false;

    // The steps of developFirst, in its order.
    void load() { refused = working_->load(model_.path.c_str()) != 0; }
    void backupCopy() {
        refused = !developFits(*working_);
        if (!refused) *backup_ = *working_;
    }
    void prepare() { working_->prepare(); }
    void allocate() {
        solver().model = working_.get();
        refused = !solver().allocate();
    }
    void angles() {
        solver().solveAngles();
        solver().enforceAngleConditions();
    }
    void directions() { solver().propagateDirections(); }
    void widths() { solver().solveWidths(); }
    void layout() {
        solver().layoutFaces();
        solver().centreLayout();
    }
    void translations() { solver().buildTranslationSystem(); }
    void topology() { working_->checkTopology(); }

    // The idle loop and the timer after Develop.
    void idle() { idleSteps(kIdleSteps, SolverOptions()); }
    void patternBuild() { creasePatternTick(*working_, SolverOptions()); }
    void idleWithPattern() {
        SolverOptions options;
        options.angleCondition = true;
        idleSteps(kPatternIdleSteps, options);
    }
    void creaseLines() { working_->creasePattern.generateCreaseLines(); }
    // As saved with crease-pattern generation on, unrotated.
    void writeDxf() { refused = exportDXF(*working_, false, 1.0, 0.0, dxfPath_.c_str()) != 0; }

    int faces() const { return (int)working_->faces.size(); }
    const std::vector<double>& tuckWidths() const { return working_->solver.tuckWidths; }

private:
    LayoutSolver& solver() { return working_->solver; }

    void idleSteps(int steps, const SolverOptions& options) {
        for (int i = 0; i < steps; ++i) windowIdleStep(*working_, options, converging_);
    }

    const BenchModel& model_;
    std::string dxfPath_;
    std::unique_ptr<Polyhedron> working_;
    std::unique_ptr<Polyhedron> backup_;
    bool converging_ = true;
};

struct StageEntry {
    const char* name;
    void (StagePass::*run)();
    // A stage that may refuse keeps the console output, whose last line says why.
    bool mayRefuse;
    int idleSteps;  // for the rate
};

const StageEntry kStages[] = {
    {"load", &StagePass::load, true, 0},
    {"backup copy", &StagePass::backupCopy, true, 0},
    {"prepare", &StagePass::prepare, false, 0},
    {"allocate", &StagePass::allocate, true, 0},
    {"angles", &StagePass::angles, false, 0},
    {"directions", &StagePass::directions, false, 0},
    {"widths", &StagePass::widths, false, 0},
    {"layout", &StagePass::layout, false, 0},
    {"translation system", &StagePass::translations, false, 0},
    {"topology check", &StagePass::topology, false, 0},
    {"idle x200", &StagePass::idle, false, kIdleSteps},
    {"pattern build", &StagePass::patternBuild, false, 0},
    {"idle+pattern x50", &StagePass::idleWithPattern, false, kPatternIdleSteps},
    {"crease lines", &StagePass::creaseLines, false, 0},
    {"DXF write", &StagePass::writeDxf, true, 0},
};
const int kStageCount = sizeof kStages / sizeof kStages[0];

// Runs stage s of the pass and returns its time, or a negative time with the
// reason in `why` when it refused.
double runStage(StagePass& pass, int s, std::string& why) {
    const StageEntry& entry = kStages[s];
    double ms = runQuietly([&] { (pass.*entry.run)(); }, entry.mayRefuse ? &why : nullptr);
    if (!pass.refused) return ms;
    if (why.empty()) why = "refused";
    return -1.0;
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    size_t n = samples.size();
    return n % 2 ? samples[n / 2] : 0.5 * (samples[n / 2 - 1] + samples[n / 2]);
}

// The last stage worth fresh copies: short itself, and reachable within the
// budget by running the stages before it.
int lastReplayedStage(const std::vector<double>& firstRun) {
    int last = -1;
    double reach = 0.0;
    for (int s = 0; s < (int)firstRun.size(); ++s) {
        reach += firstRun[s];
        if (reach > kReplayBudgetMs) break;
        if (firstRun[s] < kShortStageMs) last = s;
    }
    return last;
}

DevelopCheck checkAgainstDevelopFirst(const BenchModel& model, const std::vector<double>& timedWidths) {
    DevelopCheck check;
    check.done = true;
    Polyhedron working, backup;
    bool developed = false;
    std::string why;
    runQuietly([&] { developed = working.load(model.path.c_str()) == 0 && developFirst(working, backup); },
               &why);
    const std::vector<double>& widths = working.solver.tuckWidths;
    if (!developed) {
        check.note = "developFirst did not develop the model: " + why;
    } else if (widths.size() != timedWidths.size()) {
        check.note = "developFirst gives " + std::to_string(widths.size()) + " widths, the timed steps " +
                     std::to_string(timedWidths.size());
    } else {
        double scale = 1.0;
        for (size_t i = 0; i < widths.size(); ++i) {
            double d = std::fabs(widths[i] - timedWidths[i]);
            if (!(d <= check.maxDifference)) check.maxDifference = std::isnan(d) ? INFINITY : d;
            scale = std::max(scale, std::fabs(widths[i]));
        }
        // Threaded BLAS may round differently between runs; a different
        // sequence of steps changes the widths far more.
        check.equal = check.maxDifference <= 1e-9 * scale;
        if (!check.equal)
            check.note =
                "the tuck widths differ from developFirst's by up to " + std::to_string(check.maxDifference);
    }
    return check;
}

}  // namespace

DevelopCheck benchModel(const BenchModel& model, const BenchSettings& settings,
                        const std::function<void(const BenchRow&)>& emit) {
    const std::string dxfPath = settings.scratchDir + "/" + model.name + ".dxf";
    std::vector<std::vector<double>> samples(kStageCount);
    std::vector<double> firstRun, peaks;
    std::vector<double> timedWidths;
    bool developed = false;
    std::string refusal;
    int faces = 0;

    {
        resetPeakMemory();
        StagePass pass(model, dxfPath);
        for (int s = 0; s < kStageCount; ++s) {
            double ms = runStage(pass, s, refusal);
            if (ms < 0) break;
            firstRun.push_back(ms);
            samples[s].push_back(ms);
            peaks.push_back(peakMemoryMB());
            if (s == 0) faces = pass.faces();
            if (kStages[s].run == &StagePass::topology) {
                timedWidths = pass.tuckWidths();
                developed = true;
            }
        }
    }

    int last = lastReplayedStage(firstRun);
    for (int run = 1; run < settings.repeat && last >= 0; ++run) {
        StagePass pass(model, dxfPath);
        std::string why;
        for (int s = 0; s <= last; ++s) {
            double ms = runStage(pass, s, why);
            if (ms < 0) break;
            samples[s].push_back(ms);
        }
    }

    BenchRow row;
    row.model = model.name;
    row.faces = faces;
    const int done = (int)firstRun.size();
    for (int s = 0; s < done; ++s) {
        row.stage = kStages[s].name;
        row.ms = median(samples[s]);
        row.rate = kStages[s].idleSteps > 0 && row.ms > 0 ? kStages[s].idleSteps * 1000.0 / row.ms : -1.0;
        row.runs = (int)samples[s].size();
        row.peakMB = peaks[s];
        emit(row);
    }
    if (done < kStageCount) {
        // The memory guard and allocate refuse on behalf of Develop.
        bool developRefused =
            kStages[done].run == &StagePass::backupCopy || kStages[done].run == &StagePass::allocate;
        row.stage = developRefused ? "develop" : kStages[done].name;
        row.ms = row.rate = row.peakMB = -1.0;
        row.runs = 0;
        row.note = (done == 0 ? "failed: " : "") + refusal + "; the later stages are skipped";
        emit(row);
    }

    if (!developed) return DevelopCheck();
    return checkAgainstDevelopFirst(model, timedWidths);
}
