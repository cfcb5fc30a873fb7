#ifndef PLICATROPE_TESTS_CREASEPATTERN_PATTERN_FIXTURES_H
#define PLICATROPE_TESTS_CREASEPATTERN_PATTERN_FIXTURES_H

#include <list>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/pipeline.h"

namespace patternfixtures {

// A crease pattern drawn by hand, without a model attached. Every corner has
// a stand-in model half-edge on one sheet face (translation (0, 0)), so that
// position refreshes have something to read.
struct HandPattern {
    CreasePattern cp;
    std::list<Face> sheet;
    std::list<HalfEdge> modelEdges;

    HandPattern();
    PatternVertex* corner(double x, double y);
    // A face through the corners in order; its edge is the side from
    // corners[0] to corners[1].
    PatternFace* ring(const std::vector<PatternVertex*>& corners, char kind);
    // One face of the given kind around every side that has no pair yet.
    PatternFace* closeOutside(char kind);
};

// The side of f that runs from `tail` to `head`, or null.
PatternHalfEdge* sideBetween(PatternFace* f, const PatternVertex* tail, const PatternVertex* head);
void pairSides(PatternHalfEdge* a, PatternHalfEdge* b);

// An empty string when every link of the pattern is sound: links point at
// records of this pattern, pairs and cycles are consistent, every face cycle
// closes. Otherwise a description of the first fault found.
std::string patternFault(const CreasePattern& cp);

// Gives a loaded model a made-up layout (each face at its own translation,
// corners from the vertex positions, directions along the laid-out edges)
// so that the construction passes have positions to copy.
void placeFaces(Polyhedron& model);

// Loads OBJ text and places its faces as above. Loading floods a cut tree
// that only Develop opens; here `onCut` is left on the mesh boundary alone,
// as on a model whose cut has been opened. Returns load()'s result.
int loadLaidOut(Polyhedron& model, const std::string& objText);

// The crease-pattern timer's first build: attach, the four passes, built.
void buildPattern(Polyhedron& model);

// What the idle loop and the timer leave once the layout rests: the layout
// no longer moves and a tick changes nothing more.
void restAndTick(Polyhedron& working, const SolverOptions& options);

// The n-th half-edge, in list order, between two faces of more than two
// sides and off the cut: one whose tuck Split ETM can split; null if none.
HalfEdge* splittable(Polyhedron& model, int n);
// The `count` widest tucks that Split ETM can split, one half-edge of each,
// widest first.
std::vector<HalfEdge*> widestSplittable(Polyhedron& model, size_t count);

int countFaces(const CreasePattern& cp, char kind);
bool isFiniteVec(const Vec2& v);

}  // namespace patternfixtures

#endif
