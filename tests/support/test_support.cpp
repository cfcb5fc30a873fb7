#include "support/test_support.h"

#include <dlfcn.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <utility>
#include <vector>

#include "model/console_line.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"

namespace testsupport {

std::string captureStdout(const std::function<void()>& f) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    // The capture is a console of its own: a line left open before it is not its line.
    resetConsoleLine();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

namespace {

std::string scratchDir;

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

// The scratch directory goes when the test program ends.
void removeScratchDir() {
    if (!scratchDir.empty()) nftw(scratchDir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

std::string tempPath(const std::string& name) {
    std::string& dir = scratchDir;
    if (dir.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/plicatrope-test-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) return name;
        dir = buf.data();
        std::atexit(removeScratchDir);
    }
    return dir + "/" + name;
}

std::string writeTempFile(const std::string& name, const std::string& text) {
    std::string path = tempPath(name);
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (fp) {
        std::fwrite(text.data(), 1, text.size(), fp);
        std::fclose(fp);
    }
    return path;
}

namespace {

const char* deadlineWhat = "";

void onDeadline(int) {
    // Only what is safe in a signal handler.
    ssize_t ignored = write(2, deadlineWhat, std::strlen(deadlineWhat));
    ignored = write(2, "\n", 1);
    (void)ignored;
    _exit(1);
}

}  // namespace

Deadline::Deadline(unsigned seconds, const char* what) {
    deadlineWhat = what;
    std::signal(SIGALRM, onDeadline);
    alarm(seconds);
}

Deadline::~Deadline() {
    alarm(0);
    std::signal(SIGALRM, SIG_DFL);
}

namespace {

// The allocation count of the FailingAllocation alive, if any. Everything
// runs on one thread.
bool countingAllocations = false;
long allocationCount = 0;
long failingAllocation = 0;
bool allocationFailed = false;

bool nextAllocationFails() {
    if (!countingAllocations) return false;
    if (++allocationCount != failingAllocation) return false;
    allocationFailed = true;
    return true;
}

// CHOLMOD allocates through the functions of SuiteSparse's configuration;
// found at run time, so that the tests need not link SuiteSparse themselves.
struct SuiteSparseAllocators {
    void* (*mallocFunc)(size_t);
    void* (*callocFunc)(size_t, size_t);
    void* (*reallocFunc)(void*, size_t);
};

SuiteSparseAllocators* suiteSparseAllocators() {
    static SuiteSparseAllocators* found =
        static_cast<SuiteSparseAllocators*>(dlsym(RTLD_DEFAULT, "SuiteSparse_config"));
    return found;
}

SuiteSparseAllocators savedSuiteSparseAllocators;

void* failingMalloc(size_t n) {
    return nextAllocationFails() ? nullptr : savedSuiteSparseAllocators.mallocFunc(n);
}
void* failingCalloc(size_t n, size_t size) {
    return nextAllocationFails() ? nullptr : savedSuiteSparseAllocators.callocFunc(n, size);
}
void* failingRealloc(void* p, size_t n) {
    return nextAllocationFails() ? nullptr : savedSuiteSparseAllocators.reallocFunc(p, n);
}

void* allocate(size_t n) {
    if (nextAllocationFails()) return nullptr;
    return std::malloc(n ? n : 1);
}

void* allocateOrThrow(size_t n) {
    void* p = allocate(n);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

FailingAllocation::FailingAllocation(long nth) {
    allocationCount = 0;
    failingAllocation = nth;
    allocationFailed = false;
    if (SuiteSparseAllocators* a = suiteSparseAllocators()) {
        savedSuiteSparseAllocators = *a;
        a->mallocFunc = failingMalloc;
        a->callocFunc = failingCalloc;
        a->reallocFunc = failingRealloc;
    }
    countingAllocations = true;
}

FailingAllocation::~FailingAllocation() {
    countingAllocations = false;
    if (SuiteSparseAllocators* a = suiteSparseAllocators()) *a = savedSuiteSparseAllocators;
}

AllocationsUncounted::AllocationsUncounted() : counting_(countingAllocations) { countingAllocations = false; }

AllocationsUncounted::~AllocationsUncounted() { countingAllocations = counting_; }

bool FailingAllocation::failed() const { return allocationFailed; }

long FailingAllocation::allocations() const { return allocationCount; }

namespace {

struct Attempt {
    bool failed = false;   // the chosen allocation came, and failed
    bool escaped = false;  // std::bad_alloc left the step, which would end the program
    std::string out;       // what the step printed
    std::string state;
};

// The step on a fresh design, with its nth allocation failing (none for 0).
Attempt attempt(const StepUnderTest& step, long nth, std::string* before = nullptr) {
    Polyhedron working, backup;
    step.setup(working, backup);
    if (before) *before = step.state(working);
    Attempt a;
    const bool failing = ::testing::Test::HasFailure();
    a.out = captureStdout([&] {
        FailingAllocation fail(nth);
        try {
            step.run(working, backup);
        } catch (const std::bad_alloc&) {
            a.escaped = true;
        }
        a.failed = fail.failed();
    });
    a.state = step.state(working);
    // What the step's own checks said went out with its output.
    if (!failing && ::testing::Test::HasFailure()) ADD_FAILURE() << "at allocation " << nth << ":\n" << a.out;
    return a;
}

}  // namespace

int expectEachAllocationFailureRefusedOrMadeUpFor(const StepUnderTest& step, const std::string& refusal,
                                                  long points) {
    long allocations = 0;
    {
        Polyhedron working, backup;
        step.setup(working, backup);
        captureStdout([&] {
            FailingAllocation count(0);
            step.run(working, backup);
            allocations = count.allocations();
        });
    }
    const std::string unharmed = attempt(step, 0).state;
    const long stride = std::max(1L, allocations / points);
    int refused = 0;
    for (long n = 1; n <= allocations; n += stride) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(allocations));
        std::string before;
        const Attempt a = attempt(step, n, &before);
        EXPECT_TRUE(a.failed);
        EXPECT_FALSE(a.escaped) << a.out;
        const bool said = a.out.find(refusal) != std::string::npos;
        refused += said;
        // One failure shown is enough: the rest would repeat it.
        if (a.state != (said ? before : unharmed)) {
            ADD_FAILURE() << (said ? "refused, but the design changed" : "a failure went by unsaid") << "\n"
                          << a.out;
            EXPECT_EQ(a.state, said ? before : unharmed);
            break;
        }
    }
    return refused;
}

RecordPlaces::RecordPlaces(const Polyhedron& m) {
    long i = 0;
    for (const Vertex& v : m.vertices) at_[&v] = i++;
    for (const HalfEdge& h : m.halfEdges) at_[&h] = i++;
    for (const Face& f : m.faces) at_[&f] = i++;
}

long RecordPlaces::operator()(const void* record) const {
    if (!record) return -1;
    auto found = at_.find(record);
    return found == at_.end() ? -2 : found->second;
}

std::string designOf(const Polyhedron& m) {
    const RecordPlaces place(m);
    std::ostringstream out;
    out.precision(17);
    auto vec2 = [&](const Vec2& p) { out << " (" << p.x << " " << p.y << ")"; };
    out << "counts " << m.numVertices << " " << m.numEdges << " " << m.numInteriorEdges << " " << m.numFaces
        << " prepared " << m.prepared << "\n";
    for (const Vertex& v : m.vertices) {
        out << "v " << v.index << " " << v.pos.x << " " << v.pos.y << " " << v.pos.z << " " << v.offset.x
            << " " << v.offset.y << " " << v.offset.z << " " << v.onCut << " " << v.cutDistance << " "
            << place(v.towardCut) << " :";
        for (const HalfEdge* h : v.edge) out << " " << place(h);
        out << "\n";
    }
    for (const HalfEdge& h : m.halfEdges) {
        out << "h " << h.index << " " << h.edgeIndex << " " << place(h.vert) << " " << place(h.face) << " "
            << place(h.pair) << " " << place(h.next) << " " << place(h.prev) << " " << h.onCut << " "
            << h.cornerAngle << " " << h.length << " " << h.tuckAngle;
        vec2(h.corner);
        vec2(h.direction);
        out << "\n";
    }
    for (const Face& f : m.faces) {
        out << "f " << f.index << " " << place(f.edge) << " " << f.boundaryDigon;
        vec2(f.translation);
        out << "\n";
    }
    out << "cut";
    for (const HalfEdge* h : m.perimeter) out << " " << place(h);
    const LayoutSolver& s = m.solver;
    out << "\nsolver " << s.allocated << " " << s.halted << " " << s.widthsReady << " "
        << s.translationsReady;
    // Counts without storage are those of the last allocation, which no step reads.
    if (s.allocated) out << " " << s.numVertices << " " << s.numEdges << " " << s.numFaces;
    out << "\n";
    for (const std::vector<double>* a :
         {&s.edgeAngles, &s.particularAngles, &s.tuckWidths, &s.particularWidths, &s.finiteLayout.widths}) {
        out << "values";
        for (double x : *a) out << " " << x;
        out << "\n";
    }
    out << "kept";
    for (const Vec2& t : s.finiteLayout.translations) vec2(t);
    const CreasePattern& cp = m.creasePattern;
    out << "\npattern " << cp.built << " " << (cp.model == &m) << " " << cp.vertices.size() << " "
        << cp.halfEdges.size() << " " << cp.faces.size() << " " << cp.lines.size() << "\n";
    return out.str();
}

std::string symlinkTo(const std::string& target, const std::string& name) {
    std::string link = tempPath(name);
    unlink(link.c_str());
    EXPECT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
    return link;
}

std::string dataPath(const std::string& name) { return std::string(PLICATROPE_TEST_DATA) + "/" + name; }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string exampleObj(const std::string& name) {
    return readFile(std::string(PLICATROPE_EXAMPLES) + "/" + name);
}

namespace {

struct P3 {
    double x, y, z;
};

std::string toObj(const std::vector<P3>& v, const std::vector<std::vector<int>>& f) {
    std::ostringstream out;
    out.precision(17);
    for (const P3& p : v) out << "v " << p.x << " " << p.y << " " << p.z << "\n";
    for (const auto& face : f) {
        out << "f";
        for (int i : face) out << " " << i + 1;
        out << "\n";
    }
    return out.str();
}

}  // namespace

std::string tetrahedronObj() {
    return "v 1 1 1\nv 1 -1 -1\nv -1 1 -1\nv -1 -1 1\n"
           "f 1 2 3\nf 2 4 3\nf 1 3 4\nf 1 4 2\n";
}

std::string cubeObj(double s) {
    std::vector<P3> v = {{0, 0, 0}, {s, 0, 0}, {s, s, 0}, {0, s, 0},
                         {0, 0, s}, {s, 0, s}, {s, s, s}, {0, s, s}};
    std::vector<std::vector<int>> f = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                       {3, 7, 6, 2}, {0, 4, 7, 3}, {1, 2, 6, 5}};
    return toObj(v, f);
}

std::string octahedronObj() {
    return "v 1 0 0\nv -1 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\nv 0 0 -1\n"
           "f 1 3 5\nf 2 5 3\nf 1 5 4\nf 2 4 5\nf 1 6 3\nf 2 3 6\nf 1 4 6\nf 2 6 4\n";
}

std::string sphereObj(int levels) {
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<P3> v = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                         {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    std::vector<std::vector<int>> f = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                       {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                       {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                       {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    auto unit = [](P3 p) {
        double l = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        return P3{p.x / l, p.y / l, p.z / l};
    };
    for (P3& p : v) p = unit(p);
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<int, int>, int> mid;
        auto midpoint = [&](int a, int b) {
            std::pair<int, int> key(std::min(a, b), std::max(a, b));
            auto it = mid.find(key);
            if (it != mid.end()) return it->second;
            P3 m = unit(P3{(v[a].x + v[b].x) / 2, (v[a].y + v[b].y) / 2, (v[a].z + v[b].z) / 2});
            v.push_back(m);
            mid[key] = (int)v.size() - 1;
            return (int)v.size() - 1;
        };
        std::vector<std::vector<int>> g;
        for (const auto& tri : f) {
            int a = midpoint(tri[0], tri[1]), b = midpoint(tri[1], tri[2]), c = midpoint(tri[2], tri[0]);
            g.push_back({tri[0], a, c});
            g.push_back({tri[1], b, a});
            g.push_back({tri[2], c, b});
            g.push_back({a, b, c});
        }
        f.swap(g);
    }
    // Make every face counter-clockwise seen from outside.
    for (auto& tri : f) {
        const P3 &a = v[tri[0]], &b = v[tri[1]], &c = v[tri[2]];
        P3 u{b.x - a.x, b.y - a.y, b.z - a.z}, w{c.x - a.x, c.y - a.y, c.z - a.z};
        P3 n{u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
        if (n.x * a.x + n.y * a.y + n.z * a.z < 0) std::swap(tri[1], tri[2]);
    }
    return toObj(v, f);
}

std::string openGridObj(int n) {
    std::vector<P3> v;
    const double pi = 3.141592653589793;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            double x = (double)i / n - 0.5, y = (double)j / n - 0.5;
            v.push_back(P3{x, y, 0.15 * std::cos(pi * x) * std::cos(pi * y)});
        }
    std::vector<std::vector<int>> f;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            f.push_back({a, b, c});
            f.push_back({a, c, d});
        }
    return toObj(v, f);
}

std::string torusObj(int n, int m, double R, double r) {
    const double pi = 3.141592653589793;
    std::vector<P3> v;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j) {
            double u = 2.0 * pi * i / n, w = 2.0 * pi * j / m;
            v.push_back(P3{(R + r * std::cos(w)) * std::cos(u), (R + r * std::cos(w)) * std::sin(u),
                           r * std::sin(w)});
        }
    auto id = [&](int i, int j) { return (i % n) * m + j % m; };
    std::vector<std::vector<int>> f;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j) {
            f.push_back({id(i, j), id(i + 1, j), id(i + 1, j + 1)});
            f.push_back({id(i, j), id(i + 1, j + 1), id(i, j + 1)});
        }
    return toObj(v, f);
}

std::string capsuleObj(int n, int rings, int capRings, double length, double radius) {
    const double pi = 3.141592653589793;
    // Circles from the bottom cap's first ring to the top cap's last, each
    // of n points; the poles come last.
    std::vector<P3> v;
    std::vector<double> zs, rs;
    for (int k = 1; k <= capRings; ++k) {
        double a = 0.5 * pi * k / capRings;
        zs.push_back(-0.5 * length - radius * std::cos(a));
        rs.push_back(radius * std::sin(a));
    }
    for (int k = 1; k <= rings; ++k) {
        zs.push_back(-0.5 * length + length * k / rings);
        rs.push_back(radius);
    }
    for (int k = capRings - 1; k >= 1; --k) {
        double a = 0.5 * pi * k / capRings;
        zs.push_back(0.5 * length + radius * std::cos(a));
        rs.push_back(radius * std::sin(a));
    }
    const int circles = (int)zs.size();
    for (int c = 0; c < circles; ++c)
        for (int i = 0; i < n; ++i) {
            double u = 2.0 * pi * i / n;
            v.push_back(P3{rs[c] * std::cos(u), rs[c] * std::sin(u), zs[c]});
        }
    const int bottom = (int)v.size(), top = bottom + 1;
    v.push_back(P3{0, 0, -0.5 * length - radius});
    v.push_back(P3{0, 0, 0.5 * length + radius});
    auto id = [&](int c, int i) { return c * n + i % n; };
    std::vector<std::vector<int>> f;
    for (int i = 0; i < n; ++i) {
        f.push_back({bottom, id(0, i + 1), id(0, i)});
        f.push_back({top, id(circles - 1, i), id(circles - 1, i + 1)});
    }
    for (int c = 0; c + 1 < circles; ++c)
        for (int i = 0; i < n; ++i) {
            f.push_back({id(c, i), id(c, i + 1), id(c + 1, i + 1)});
            f.push_back({id(c, i), id(c + 1, i + 1), id(c + 1, i)});
        }
    return toObj(v, f);
}

std::string scaledObj(const std::string& objText, double factor) {
    std::istringstream in(objText);
    std::ostringstream out;
    out.precision(17);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string keyword;
        double x, y, z;
        if (fields >> keyword && keyword == "v" && fields >> x >> y >> z)
            out << "v " << factor * x << " " << factor * y << " " << factor * z << "\n";
        else
            out << line << "\n";
    }
    return out.str();
}

int idleUntilRest(Polyhedron& working, const SolverOptions& options, int cap, int* convergedAt) {
    bool converging = true;
    if (convergedAt) *convergedAt = -1;
    for (int i = 1; i <= cap; ++i) {
        IdleStepResult r = idleStep(working, options, converging);
        if (converging && r.converged) {
            converging = false;
            if (convergedAt) *convergedAt = i;
        }
        if (!converging && !r.moved) return i;
    }
    return -1;
}

int loadObjText(Polyhedron& model, const std::string& objText, const std::string& name) {
    std::string path = writeTempFile(name, objText);
    int result = -1;
    captureStdout([&] { result = model.load(path.c_str()); });
    return result;
}

int readObjText(Polyhedron& model, const std::string& objText, const std::string& name) {
    std::string path = writeTempFile(name, objText);
    int result = -1;
    captureStdout([&] {
        result = model.readOBJ(path.c_str());
        if (result == 0) model.pairHalfEdges();
    });
    return result;
}

std::string objInModelCoordinates(const std::vector<Vec3>& points,
                                  const std::vector<std::vector<int>>& faces) {
    std::vector<P3> v;
    for (const Vec3& p : points) v.push_back(P3{-p.x, p.y, p.z});
    std::vector<std::vector<int>> f;
    for (const auto& face : faces) f.emplace_back(face.rbegin(), face.rend());
    return toObj(v, f);
}

std::string polygonInModelCoordinates(const std::vector<Vec3>& points) {
    std::vector<int> face;
    for (int i = 0; i < (int)points.size(); ++i) face.push_back(i);
    return objInModelCoordinates(points, {face});
}

}  // namespace testsupport

// Every allocation of the test programs goes through FailingAllocation's count.
void* operator new(size_t n) { return testsupport::allocateOrThrow(n); }
void* operator new[](size_t n) { return testsupport::allocateOrThrow(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return testsupport::allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return testsupport::allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
