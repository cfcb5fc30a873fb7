#include "bench_table.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const int kFacesWidth = 7;
const int kStageWidth = 18;
const int kNumberWidth = 11;
const int kRunsWidth = 5;
const int kStepsWidth = 16;
const int kCountWidth = 12;
const int kCrossingWidth = 14;
// The stage name of a model's layout figures in the CSV file.
const char* const kLayoutStage = "idle to cv";

std::string number(double value, const char* format) {
    if (value < 0) return "-";
    char buffer[64];
    snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string count(int value) { return value < 0 ? "-" : std::to_string(value); }

// A CSV field leaves "none" empty.
std::string csvNumber(double value, const char* format) { return value < 0 ? "" : number(value, format); }
std::string csvCount(int value) { return value < 0 ? "" : std::to_string(value); }

// "447", or what became of a layout that did not converge.
std::string stepsText(const LayoutFigures& f) {
    if (f.broken) return "broken";
    return f.converged ? std::to_string(f.steps) : "never";
}

std::string restText(const LayoutFigures& f) {
    if (!f.converged) return "-";
    return f.restSteps < 0 ? "never" : std::to_string(f.restSteps);
}

double stepsPerSecond(const LayoutFigures& f) { return f.ms > 0 ? f.steps * 1000.0 / f.ms : -1.0; }

}  // namespace

void BenchTable::printHeader() {
    fprintf(out_, "%-*s %*s  %-*s %*s %*s %*s %*s\n", modelWidth_, "model", kFacesWidth, "faces", kStageWidth,
            "stage", kNumberWidth, "ms", kNumberWidth, "per second", kRunsWidth, "runs", kNumberWidth,
            "peak MB");
    fflush(out_);
}

void BenchTable::print(const BenchRow& row) {
    fprintf(out_, "%-*s %*d  %-*s ", modelWidth_, row.model.c_str(), kFacesWidth, row.faces, kStageWidth,
            row.stage.c_str());
    if (!row.note.empty()) {
        fprintf(out_, "%s\n", row.note.c_str());
    } else {
        fprintf(out_, "%*s %*s %*d %*s\n", kNumberWidth, number(row.ms, "%.2f").c_str(), kNumberWidth,
                number(row.rate, "%.1f").c_str(), kRunsWidth, row.runs, kNumberWidth,
                number(row.peakMB, "%.1f").c_str());
    }
    fflush(out_);
}

void BenchTable::printLayoutHeader() {
    fprintf(out_,
            "\nAfter Develop, the idle loop with Avoid Intersection on until a step's penalty is below\n"
            "0.01 times the square of the model's length scale (\"never\": not within %d steps), the\n"
            "last step's penalty and the time of those steps; the crease lines generated on that\n"
            "layout, how many of them cross another away from their ends, and the efficiency on the\n"
            "paper square that holds them; then the idle steps from Develop until the layout rests\n"
            "and the efficiency then, with its crease lines made again:\n\n",
            kConvergenceStepCap);
    fprintf(out_, "%-*s %*s  %*s %*s %*s %*s %*s %*s %*s %*s\n", modelWidth_, "model", kFacesWidth, "faces",
            kStepsWidth, "idle steps to cv", kNumberWidth, "penalty", kNumberWidth, "ms", kCountWidth,
            "efficiency %", kCountWidth, "crease lines", kCrossingWidth, "crossing lines", kStepsWidth,
            "steps to rest", kCountWidth, "at rest %");
    fflush(out_);
}

void BenchTable::printLayout(const std::string& model, const LayoutFigures& f) {
    fprintf(out_, "%-*s %*d  ", modelWidth_, model.c_str(), kFacesWidth, f.faces);
    if (!f.refusal.empty()) {
        fprintf(out_, "%s\n", f.refusal.c_str());
    } else {
        fprintf(out_, "%*s %*s %*s %*s %*s %*s %*s %*s\n", kStepsWidth, stepsText(f).c_str(), kNumberWidth,
                number(f.penalty, "%.3g").c_str(), kNumberWidth, number(f.ms, "%.2f").c_str(), kCountWidth,
                number(100.0 * f.efficiency, "%.2f").c_str(), kCountWidth, count(f.creaseLines).c_str(),
                kCrossingWidth, count(f.crossings).c_str(), kStepsWidth, restText(f).c_str(), kCountWidth,
                number(100.0 * f.restEfficiency, "%.2f").c_str());
    }
    fflush(out_);
}

CsvFile::~CsvFile() {
    if (!fp_) return;
    fclose(fp_);
    unlink(temp_.c_str());
}

bool CsvFile::open(const std::string& path) {
    path_ = path;
    temp_ = path + ".partial";
    fp_ = fopen(temp_.c_str(), "w");
    if (!fp_) {
        fprintf(stderr, "cannot write %s: %s\n", path_.c_str(), strerror(errno));
        return false;
    }
    fprintf(fp_,
            "model,faces,stage,ms,per_second,runs,peak_mb,note,"
            "idle_steps,converged,penalty,efficiency,crease_lines,crossings,rest_steps,rest_efficiency\n");
    return true;
}

void CsvFile::write(const BenchRow& row) {
    if (!fp_) return;
    fprintf(fp_, "%s,%d,%s,%s,%s,%d,%s,%s,,,,,,,,\n", csvField(row.model).c_str(), row.faces,
            csvField(row.stage).c_str(), csvNumber(row.ms, "%.4f").c_str(), csvNumber(row.rate, "%.2f").c_str(),
            row.runs, csvNumber(row.peakMB, "%.1f").c_str(), csvField(row.note).c_str());
}

void CsvFile::writeLayout(const std::string& model, const LayoutFigures& f) {
    if (!fp_) return;
    const char* converged = !f.refusal.empty() ? "" : f.broken ? "broken" : f.converged ? "yes" : "no";
    fprintf(fp_, "%s,%d,%s,%s,%s,%d,,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", csvField(model).c_str(), f.faces,
            kLayoutStage, csvNumber(f.ms, "%.4f").c_str(), csvNumber(stepsPerSecond(f), "%.2f").c_str(),
            f.refusal.empty() ? 1 : 0, csvField(f.refusal).c_str(), csvCount(f.steps).c_str(), converged,
            csvNumber(f.penalty, "%.6g").c_str(), csvNumber(f.efficiency, "%.6f").c_str(),
            csvCount(f.creaseLines).c_str(), csvCount(f.crossings).c_str(), csvCount(f.restSteps).c_str(),
            csvNumber(f.restEfficiency, "%.6f").c_str());
}

bool CsvFile::finish() {
    if (!fp_) return false;
    bool ok = !ferror(fp_);
    ok = fclose(fp_) == 0 && ok;
    fp_ = nullptr;
    if (ok && rename(temp_.c_str(), path_.c_str()) == 0) return true;
    fprintf(stderr, "cannot write %s: %s\n", path_.c_str(), strerror(errno));
    unlink(temp_.c_str());
    return false;
}
