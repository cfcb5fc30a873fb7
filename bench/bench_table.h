#ifndef PLICATROPE_BENCH_TABLE_H
#define PLICATROPE_BENCH_TABLE_H

#include <cstdio>
#include <string>

#include "bench_layout.h"

// One stage of one model. Negative numbers stand for "none": a stage without
// a rate, a system that does not tell its memory, a stage that did not run.
struct BenchRow {
    std::string model;
    int faces = 0;
    std::string stage;
    double ms = -1.0;
    double rate = -1.0;  // per second
    int runs = 0;
    double peakMB = -1.0;
    std::string note;  // why the stage did not run
};

// The rows as an aligned table, printed as they come; then one row per
// model of what its layout and crease lines came to.
class BenchTable {
public:
    BenchTable(FILE* out, int modelWidth) : out_(out), modelWidth_(modelWidth) {}
    void printHeader();
    void print(const BenchRow& row);
    void printLayoutHeader();
    void printLayout(const std::string& model, const LayoutFigures& figures);

private:
    FILE* out_;
    int modelWidth_;
};

// The same rows as CSV, written beside the target and renamed over it when
// complete.
class CsvFile {
public:
    ~CsvFile();
    bool open(const std::string& path);
    void write(const BenchRow& row);
    void writeLayout(const std::string& model, const LayoutFigures& figures);
    bool finish();

private:
    std::string path_;
    std::string temp_;
    FILE* fp_ = nullptr;
};

#endif
