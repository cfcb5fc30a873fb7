// Takes any byte string as an OBJ file and runs it through everything the
// program does with a file.

#include <cblas.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/obj_pipeline.h"

namespace {

// Bigger inputs only make each run slower without reaching other code.
const size_t kMaxInput = 16384;
const int kIdleSteps = 4;
// Keeps the solver of a large model to a size that runs fast and far below
// the fuzzer's memory limit; larger models take the refusal path.
const double kSolverBytes = 32.0 * 1048576.0;

// One directory per process, so that parallel workers never share files.
struct Scratch {
    std::string dir, objPath, dxfPath, consolePath;
} scratch;

void removeScratch() {
    unlink(scratch.objPath.c_str());
    unlink(scratch.dxfPath.c_str());
    unlink(scratch.consolePath.c_str());
    rmdir(scratch.dir.c_str());
}

void makeScratch() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/plicatrope-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0])) abort();
    scratch.dir = pattern;
    scratch.objPath = pattern + "/input.obj";
    scratch.dxfPath = pattern + "/output.dxf";
    scratch.consolePath = pattern + "/console.txt";
    atexit(removeScratch);
}

// The core talks to the console a lot. Its lines go to a file, emptied before
// every run, so that the fuzzer's own lines on stderr stay readable and a
// refusal can be checked for its reason.
void captureStdout() {
    fflush(stdout);
    int fd = open(scratch.consolePath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) abort();
    close(fd);
}

void clearConsole() {
    fflush(stdout);
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) abort();
}

std::string consoleText() {
    fflush(stdout);
    std::string text;
    FILE* fp = fopen(scratch.consolePath.c_str(), "rb");
    if (!fp) abort();
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0) text.append(buf, n);
    fclose(fp);
    return text;
}

bool writeInput(const uint8_t* data, size_t size) {
    FILE* fp = fopen(scratch.objPath.c_str(), "wb");
    if (!fp) return false;
    bool ok = fwrite(data, 1, size, fp) == size;
    return fclose(fp) == 0 && ok;
}

void fail(const char* what) {
    fprintf(stderr, "%s\n", what);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    makeScratch();
    captureStdout();
    // Parallel fuzzing runs one process per core.
    openblas_set_num_threads(1);
    LayoutSolver::storageLimitOverride = kSolverBytes;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return -1;  // not added to the corpus
    if (!writeInput(data, size)) abort();
    clearConsole();
    PipelineRun run = runObjPipeline(scratch.objPath.c_str(), scratch.dxfPath.c_str(), kIdleSteps);
    if (!run.developed && !endsWithReason(consoleText())) fail("a refused file was not told why");
    // A layout that is no longer a set of points is a wrong result, not a
    // crash; and the scratch directory always takes a drawing.
    if (!run.finite) fail("non-finite layout");
    if (!run.sound) fail("inconsistent half-edge links");
    if (run.developed && run.exported != 0) fail("a developed model was not written");
    return 0;
}
