#include "bench_table.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const int kFacesWidth = 7;
const int kStageWidth = 18;
const int kNumberWidth = 11;
const int kRunsWidth = 5;

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
    fprintf(fp_, "model,faces,stage,ms,per_second,runs,peak_mb,note\n");
    return true;
}

void CsvFile::write(const BenchRow& row) {
    if (!fp_) return;
    fprintf(fp_, "%s,%d,%s,%s,%s,%d,%s,%s\n", csvField(row.model).c_str(), row.faces,
            csvField(row.stage).c_str(), row.ms < 0 ? "" : number(row.ms, "%.4f").c_str(),
            row.rate < 0 ? "" : number(row.rate, "%.2f").c_str(), row.runs,
            row.peakMB < 0 ? "" : number(row.peakMB, "%.1f").c_str(), csvField(row.note).c_str());
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
