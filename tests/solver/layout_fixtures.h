#ifndef PLICATROPE_TESTS_SOLVER_LAYOUT_FIXTURES_H
#define PLICATROPE_TESTS_SOLVER_LAYOUT_FIXTURES_H

#include <string>
#include <vector>

#include "model/oripoly.h"

// Small hand-made states of the layout steps: a model loaded, every face laid
// out in its own frame, the solver sized and the faces oriented, with every
// edge angle and width as the test sets them.
namespace layoutfixtures {

// An n by n grid of unit squares in the plane z = 0, each split into two
// triangles.
std::string flatGridObj(int n);

// Loads the text and brings the model to the state above with every angle
// zero. The console is kept quiet. False when loading or sizing failed.
bool layOut(Polyhedron& model, const std::string& obj);

// Orients the faces again from the current edge angles.
void orient(Polyhedron& model);

// From the state above to that of a developed model: angles solved and kept
// within their conditions, faces oriented, widths solved, faces laid out.
void solveAndLayOut(Polyhedron& model);

// The half-edge that writes edge e's row: the uncut half whose head has the
// smaller vertex index, or the faced half of an edge on the cut.
HalfEdge* rowHalf(Polyhedron& model, int e);

// First half-edge meeting the test, or null.
template <class Test>
HalfEdge* findHalf(Polyhedron& model, Test test) {
    for (HalfEdge& h : model.halfEdges)
        if (test(h)) return &h;
    return nullptr;
}

std::vector<Vec2> translations(const Polyhedron& model);

// Residual of the translation system at the solver's faceTranslations.
double translationResidual(const LayoutSolver& solver);

}  // namespace layoutfixtures

#endif
