// Times the program's Develop, idle and crease-pattern sequences on
// generated spheres and open caps and on the example models, headless, and
// measures what the user gets: idle steps to convergence, the efficiency
// then, and crease lines that cross.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_layout.h"
#include "bench_models.h"
#include "bench_stages.h"
#include "bench_table.h"

namespace {

struct Options {
    std::vector<std::string> models;  // empty: the default models
    int repeat = 5;
    bool quick = false;
    std::string csvPath;
};

void usage(FILE* out) {
    fprintf(out,
            "usage: plicatrope_bench [--models NAME,...] [--repeat N] [--quick] [--csv FILE]\n"
            "  --models   models to run (default: sphere1-4, grid1-4 and every example);\n"
            "             sphere0-sphere6 and grid1-grid6 name generated models of other sizes\n"
            "  --repeat   runs of a stage shorter than 50 ms, whose median is shown (default 5)\n"
            "  --quick    leave out the generated models of about 5,120 faces and more (sphere4, grid4)\n"
            "  --csv      also write the rows as CSV to FILE\n");
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

// Returns 0 to run, 1 after --help, 2 on a usage error (said on stderr).
int parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 1;
        } else if (arg == "--quick") {
            options.quick = true;
        } else if (arg == "--models" && hasValue) {
            options.models = splitList(argv[++i]);
            if (options.models.empty()) {
                fprintf(stderr, "--models needs at least one model name\n");
                return 2;
            }
        } else if (arg == "--repeat" && hasValue) {
            char* end = nullptr;
            long n = strtol(argv[++i], &end, 10);
            if (!*argv[i] || *end || n < 1 || n > 1000) {
                fprintf(stderr, "--repeat needs a whole number from 1 to 1000, not \"%s\"\n", argv[i]);
                return 2;
            }
            options.repeat = (int)n;
        } else if (arg == "--csv" && hasValue) {
            options.csvPath = argv[++i];
        } else {
            bool takesValue = arg == "--models" || arg == "--repeat" || arg == "--csv";
            fprintf(stderr, "%s: %s\n", arg.c_str(), takesValue ? "needs a value" : "unknown option");
            usage(stderr);
            return 2;
        }
    }
    return 0;
}

// The models to run, in the order asked; false when a name is unknown.
bool selectModels(const Options& options, std::vector<BenchModel>& selected) {
    std::vector<BenchModel> known = defaultModels(PLICATROPE_EXAMPLES_DIR);
    if (options.models.empty()) {
        selected = known;
    } else {
        for (const std::string& name : options.models) {
            BenchModel m;
            if (!findModel(name, known, m)) {
                fprintf(stderr, "unknown model \"%s\"; known:", name.c_str());
                for (const BenchModel& k : known) fprintf(stderr, " %s", k.name.c_str());
                fprintf(stderr, " (and sphere0-sphere6, grid1-grid6)\n");
                return false;
            }
            selected.push_back(m);
        }
    }
    if (options.quick) {
        std::vector<BenchModel> kept;
        for (const BenchModel& m : selected)
            if (!m.largest) kept.push_back(m);
        selected.swap(kept);
    }
    return true;
}

// A scratch directory for the generated models and the DXF files, removed
// with its contents at the end.
class ScratchDir {
public:
    ScratchDir() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/plicatrope-bench-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data())) path_ = name.data();
    }
    ~ScratchDir() {
        for (const std::string& f : files_) unlink(f.c_str());
        if (!path_.empty()) rmdir(path_.c_str());
    }
    const std::string& path() const { return path_; }
    void own(const std::string& file) { files_.push_back(file); }

private:
    std::string path_;
    std::vector<std::string> files_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int parsed = parseOptions(argc, argv, options);
    if (parsed != 0) return parsed == 1 ? 0 : 2;
    std::vector<BenchModel> models;
    if (!selectModels(options, models)) return 2;
    if (models.empty()) {
        fprintf(stderr, "no model to run\n");
        return 2;
    }

    ScratchDir scratch;
    if (scratch.path().empty()) {
        fprintf(stderr, "cannot make a scratch directory: %s\n", strerror(errno));
        return 1;
    }
    CsvFile csv;
    if (!options.csvPath.empty() && !csv.open(options.csvPath)) return 1;

    // Fully buffered, so that the time a step spends printing does not depend
    // on whether the table goes to a terminal.
    setvbuf(stdout, nullptr, _IOFBF, 1 << 16);

    size_t nameWidth = 5;
    for (const BenchModel& m : models) nameWidth = std::max(nameWidth, m.name.size());
    BenchTable table(stdout, (int)nameWidth);
    table.printHeader();

    BenchSettings settings;
    settings.repeat = options.repeat;
    settings.scratchDir = scratch.path();
    std::vector<std::string> mismatches;
    std::vector<LayoutFigures> layouts;
    int checked = 0;
    for (BenchModel& m : models) {
        if (!writeModelFile(m, scratch.path())) return 1;
        if (m.source != ModelSource::Example) scratch.own(m.path);
        scratch.own(scratch.path() + "/" + m.name + ".dxf");
        DevelopCheck check = benchModel(m, settings, [&](const BenchRow& row) {
            table.print(row);
            csv.write(row);
        });
        layouts.push_back(measureLayout(m));
        csv.writeLayout(m.name, layouts.back());
        if (!check.done) continue;
        ++checked;
        if (!check.equal) mismatches.push_back(m.name + ": " + check.note);
    }

    table.printLayoutHeader();
    for (size_t i = 0; i < models.size(); ++i) table.printLayout(models[i].name, layouts[i]);

    printf("\nDevelop stages against developFirst: same tuck widths on %d of %d developed models\n",
           checked - (int)mismatches.size(), checked);
    for (const std::string& line : mismatches) printf("  %s\n", line.c_str());
    fflush(stdout);
    if (!options.csvPath.empty() && !csv.finish()) return 1;
    return mismatches.empty() ? 0 : 1;
}
