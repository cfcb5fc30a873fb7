#ifndef PLICATROPE_TESTS_SUPPORT_H
#define PLICATROPE_TESTS_SUPPORT_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "model/vec.h"

class Polyhedron;
struct SolverOptions;

namespace testsupport {

// Runs f and returns everything it printed on standard output.
std::string captureStdout(const std::function<void()>& f);

// Writes text to a fresh file in this test run's scratch directory.
std::string writeTempFile(const std::string& name, const std::string& text);
std::string tempPath(const std::string& name);

// Ends the test program, with `what` on standard error, when it is still
// running `seconds` after this was made: a guard around a call that must
// return at once and, broken, would block for ever.
class Deadline {
public:
    Deadline(unsigned seconds, const char* what);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;
};

// While one lives, the `nth` allocation from its making on fails as memory
// running out makes it fail: operator new throws std::bad_alloc, a nothrow
// new gives null and CHOLMOD's allocator gives null. Only that one fails:
// the memory that a refusal frees is there again for what follows it.
class FailingAllocation {
public:
    explicit FailingAllocation(long nth);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
    // The nth allocation came, and failed.
    bool failed() const;
    // Allocations since the making (a large nth counts them without failing).
    long allocations() const;
};

// While one lives, a FailingAllocation neither counts nor fails any
// allocation: for what a test does beside the step.
class AllocationsUncounted {
public:
    AllocationsUncounted();
    ~AllocationsUncounted();
    AllocationsUncounted(const AllocationsUncounted&) = delete;
    AllocationsUncounted& operator=(const AllocationsUncounted&) = delete;

private:
    bool counting_;
};

// A step of the program on a design made ready for it, and what of the
// design it must leave as it was when it is refused.
struct StepUnderTest {
    std::function<void(Polyhedron& working, Polyhedron& backup)> setup;
    std::function<void(Polyhedron& working, Polyhedron& backup)> run;
    std::function<std::string(const Polyhedron& working)> state;
};

// Runs the step on a fresh design once for each of its allocations failing
// in turn (every one, or `points` of them spread over a longer step). Each
// failure must be refused (the step prints `refusal`) with the state as it
// was before the step, or else be made up for (a sort without its scratch
// buffer), the state then being what the step makes of it without any
// failure; and std::bad_alloc must never leave the step. Returns how many
// failures were refused.
int expectEachAllocationFailureRefusedOrMadeUpFor(const StepUnderTest& step, const std::string& refusal,
                                                  long points = 200);

// Each record's place in its model's lists (the vertices, then the
// half-edges, then the faces), so that a link compares as the place it
// leads to: -1 for none, -2 for a record of no list of the model.
class RecordPlaces {
public:
    explicit RecordPlaces(const Polyhedron& model);
    long operator()(const void* record) const;

private:
    std::map<const void*, long> at_;
};

// Everything of a design that a step could change, as text: every record
// with its links (as places in the lists), the cut, the layout, how the
// solver stands and what the crease pattern holds. Two designs built alike
// give the same text, whatever their records' addresses.
std::string designOf(const Polyhedron& model);

// A symbolic link to `target` in the scratch directory, made afresh.
std::string symlinkTo(const std::string& target, const std::string& name);

// The whole of a file, byte for byte; empty when it cannot be read.
std::string readFile(const std::string& path);

// Path of a fixture in tests/data.
std::string dataPath(const std::string& name);

// Text of a model in examples/, the ones a new user opens first.
std::string exampleObj(const std::string& name);

// OBJ texts of small closed and open surfaces, faces counter-clockwise
// seen from outside (from +z for the open ones).
std::string tetrahedronObj();
std::string cubeObj(double size = 1.0);
std::string octahedronObj();
// Icosahedron subdivided `levels` times onto the unit sphere: 20 * 4^levels triangles.
std::string sphereObj(int levels);
// A bumpy n by n grid of squares, each split into two triangles: 2 n^2 faces.
std::string openGridObj(int n);
// A genus-one surface about the z axis, n segments around and m around the
// tube (radii R and r), each quad split into two triangles.
std::string torusObj(int n, int m, double R, double r);
// A cylinder of the given length and radius about the z axis with a
// hemisphere on each end: n points around, `rings` bands along the
// cylinder and `capRings` bands in each cap, quads split into triangles.
// Long bands make long thin triangles, as exported CAD models have them.
std::string capsuleObj(int n, int rings, int capRings, double length, double radius);
// The same OBJ text with every vertex multiplied by `factor`: the model in
// other units.
std::string scaledObj(const std::string& objText, double factor);

// The idle loop as the window runs it on a developed model: the stronger
// weights until a step converges, then on until the first step that leaves
// the layout as it was, after which the window waits for input. Returns that
// step, or -1 when it does not come within `cap` steps; `convergedAt`, when
// given, gets the step that converged (-1 for none).
int idleUntilRest(Polyhedron& working, const SolverOptions& options, int cap, int* convergedAt = nullptr);

// Loads OBJ text into the model, keeping the console quiet. Returns load()'s result.
int loadObjText(Polyhedron& model, const std::string& objText, const std::string& name = "model.obj");

// Only reads and pairs (readOBJ, pairHalfEdges), quietly, so that a test can
// run the later loading steps itself. Returns readOBJ()'s result.
int readObjText(Polyhedron& model, const std::string& objText, const std::string& name = "model.obj");

// OBJ text whose model, once read, has exactly these positions (the reader
// mirrors x) and faces whose `next` cycles visit the given corners in the
// given order from the face's `edge`; list corners counter-clockwise seen
// from outside.
std::string objInModelCoordinates(const std::vector<Vec3>& points,
                                  const std::vector<std::vector<int>>& faces);

// The same for one face through all the points in order.
std::string polygonInModelCoordinates(const std::vector<Vec3>& points);

}  // namespace testsupport

#endif
