#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "model/console_line.h"
#include "model/memory_use.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

// Open judges a file before it builds any record: a model that would not fit
// in half of the memory this process may use is refused at once, with one
// line and the sizes, and memory that runs out while it is read is a refusal
// too. The design that was open stays as it was.

using testsupport::captureStdout;
using testsupport::designOf;

namespace {

int loadFile(Polyhedron& m, const std::string& path, std::string& out) {
    int result = 0;
    out = captureStdout([&] { result = m.load(path.c_str()); });
    return result;
}

// A line of /proc/self/status in bytes ("VmHWM:", say).
double statusBytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key)) * 1024.0;
    return -1.0;
}

// The counts of the icosphere of sphereObj(level).
double sphereFaces(int level) { return 20.0 * std::pow(4.0, level); }
double sphereLoadBytes(int level) {
    const double F = sphereFaces(level);
    return loadBytes(F / 2.0 + 2.0, F, 3.0 * F);
}

// The guard judges the records a file holds, as loading them takes memory.
TEST(OpenMemory, AModelBeyondTheLimitIsRefusedBeforeItIsRead) {
    const std::string path = testsupport::writeTempFile("sphere3.obj", testsupport::sphereObj(3));
    const double bytes = sphereLoadBytes(3);
    struct Case {
        double limit;
        bool opens;
    };
    for (const Case& c : {Case{bytes - 1.0, false}, Case{bytes, true}}) {
        SCOPED_TRACE(c.limit);
        Polyhedron m;
        std::string out;
        LayoutSolver::storageLimitOverride = c.limit;
        const int result = loadFile(m, path, out);
        LayoutSolver::storageLimitOverride = 0.0;
        EXPECT_EQ(result, c.opens ? 0 : -1) << out;
        if (c.opens) continue;
        char line[160];
        std::snprintf(line, sizeof line,
                      "model too large to open (v:642 f:1280): loading may need %.1f MB, %.1f MB allowed\n",
                      bytes / 1048576.0, c.limit / 1048576.0);
        EXPECT_EQ(out, line) << "no echo: nothing of the file was read as records";
        EXPECT_TRUE(m.vertices.empty() && m.halfEdges.empty() && m.faces.empty());
    }
}

// The guard's bound covers what loading really takes at its peak, and not
// by far more: measured as the peak of a child process's resident memory.
TEST(OpenMemory, TheBoundCoversTheMeasuredPeak) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's own allocator and shadow memory are in every measure";
#endif
    struct Model {
        const char* name;
        std::string obj;
    };
    const Model models[] = {
        {"icosphere", testsupport::sphereObj(4)},
        {"open grid", testsupport::openGridObj(50)},
        {"capsule of long thin triangles", testsupport::capsuleObj(48, 40, 8, 20.0, 1.0)},
    };
    for (const Model& model : models) {
        SCOPED_TRACE(model.name);
        const std::string path = testsupport::writeTempFile("measured.obj", model.obj);
        double vertices = 0, faces = 0, corners = 0;
        std::istringstream lines(model.obj);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("v ", 0) == 0) ++vertices;
            if (line.rfind("f ", 0) != 0) continue;
            ++faces;
            std::istringstream fields(line.substr(2));
            for (std::string field; fields >> field;) ++corners;
        }
        int pipe_[2];
        ASSERT_EQ(pipe(pipe_), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The peak from here on only.
            FILE* reset = std::fopen("/proc/self/clear_refs", "w");
            if (reset) {
                std::fputs("5", reset);
                std::fclose(reset);
            }
            const double start = statusBytes("VmHWM:");
            Polyhedron m;
            std::string out;
            const int result = loadFile(m, path, out);
            // A kernel that cannot reset the peak leaves the parent's in it.
            double used = start > statusBytes("VmRSS:") + 1048576.0 ? 0.0
                          : result == 0                             ? statusBytes("VmHWM:") - start
                                                                    : -1.0;
            ssize_t written = write(pipe_[1], &used, sizeof used);
            _exit(written == sizeof used ? 0 : 1);
        }
        close(pipe_[1]);
        double used = -1.0;
        ASSERT_EQ(read(pipe_[0], &used, sizeof used), (ssize_t)sizeof used);
        close(pipe_[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (used == 0.0) GTEST_SKIP() << "this kernel cannot reset the peak of a process's memory";
        ASSERT_GT(used, 0.0);
        const double bound = loadBytes(vertices, faces, corners);
        EXPECT_GE(bound, used);
        EXPECT_LE(bound, 1.5 * used);
    }
}

std::string lastLine(const std::string& path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

// A child process under an address-space limit `headroom` bytes beyond what
// it has mapped: what `body` reports, or how the child ended.
std::string underAddressSpaceLimit(double headroom, const std::function<std::string()>& body) {
    const double mapped = statusBytes("VmSize:");
    int pipe_[2];
    if (pipe(pipe_) != 0) return "no pipe";
    pid_t child = fork();
    if (child < 0) return "no child";
    if (child == 0) {
        close(pipe_[0]);
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = (rlim_t)(mapped + headroom);
        std::string report;
        try {
            report = setrlimit(RLIMIT_AS, &limit) == 0 ? body() : "setrlimit failed";
        } catch (const std::bad_alloc&) {
            report = "std::bad_alloc left the test's child";
        }
        ssize_t written = write(pipe_[1], report.data(), report.size());
        _exit(written == (ssize_t)report.size() ? 0 : 1);
    }
    close(pipe_[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(pipe_[0], buffer, sizeof buffer)) > 0;) report.append(buffer, (size_t)n);
    close(pipe_[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report += "\nchild ended with status " + std::to_string(status);
    return report;
}

// Under a process memory limit the design open stays as it was and still
// develops, whether the guard refuses the file from its counts or memory
// runs out as it is read.
TEST(OpenMemory, UnderAProcessLimitOpenIsRefusedAndTheDesignStays) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under an address-space limit";
#endif
    struct Case {
        const char* name;
        double headroom;
        bool judged;  // refused from its counts, else memory runs out as it is read
    };
    const Case cases[] = {{"judged from the counts", 512.0 * 1048576.0, true},
                          {"memory running out", 64.0 * 1048576.0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A model beyond half of the limit for the guard, and one that fits
        // the guard (lifted) but not the memory left.
        int level = 6;
        while (c.judged && sphereLoadBytes(level) < 0.75 * (statusBytes("VmSize:") + c.headroom) && level < 9)
            ++level;
        const std::string path = testsupport::writeTempFile("large.obj", testsupport::sphereObj(level));
        Polyhedron design;
        ASSERT_EQ(testsupport::loadObjText(design, testsupport::octahedronObj()), 0);
        const std::string before = designOf(design);

        // The echo of a large file is large: it goes to a file, of which
        // only the last line is read, once the memory is free again.
        const std::string console = testsupport::tempPath("console.txt");
        const std::string report = underAddressSpaceLimit(c.headroom, [&] {
            if (!c.judged) LayoutSolver::storageLimitOverride = 1e18;
            std::fflush(stdout);
            const int saved = dup(1);
            FILE* file = std::fopen(console.c_str(), "w");
            if (saved < 0 || !file || dup2(fileno(file), 1) < 0) return std::string("no console file");
            resetConsoleLine();
            Polyhedron* fresh = new Polyhedron;
            const int result = fresh->load(path.c_str());
            const bool recordsMade = !fresh->vertices.empty();
            delete fresh;
            std::fflush(stdout);
            dup2(saved, 1);
            std::fclose(file);
            LayoutSolver::storageLimitOverride = 0.0;
            const std::string out = lastLine(console);
            const bool kept = designOf(design) == before;
            Polyhedron backup;
            bool developed = false;
            captureStdout([&] { developed = developFirst(design, backup); });
            return "result " + std::to_string(result) + (recordsMade ? " records" : " no records") +
                   (kept ? "" : " design changed") + (developed ? "" : " no develop") + "\n" + out;
        });
        const std::string expected = c.judged ? "result -1 no records\nmodel too large to open (v:"
                                              : "result -1 records\nnot enough memory to open the model (v:";
        EXPECT_EQ(report.find(expected), 0u) << report;
        EXPECT_EQ(report.find("child ended"), std::string::npos) << report;
    }
}

// Memory that runs out anywhere in Open: the file is refused with a line,
// the model half read is freed, and the design that was open is the one
// that stays.
TEST(OpenMemory, MemoryRunningOutAnywhereInOpenIsARefusal) {
    const std::string path = testsupport::writeTempFile("opened.obj", testsupport::cubeObj());
    testsupport::StepUnderTest step;
    step.setup = [](Polyhedron& design, Polyhedron&) {
        ASSERT_EQ(testsupport::loadObjText(design, testsupport::tetrahedronObj()), 0);
    };
    // As the window opens a file: into a model of its own, which replaces
    // the design only once it has loaded.
    step.run = [&](Polyhedron& design, Polyhedron&) {
        Polyhedron fresh;
        if (fresh.load(path.c_str()) == 0) design.swapRecords(fresh);
    };
    step.state = designOf;
    EXPECT_GT(testsupport::expectEachAllocationFailureRefusedOrMadeUpFor(
                  step, "not enough memory to open the model"),
              50);
}

}  // namespace
