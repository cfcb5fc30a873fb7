#include "solver/layout_fixtures.h"

#include <cmath>
#include <sstream>

#include "support/test_support.h"

namespace layoutfixtures {

std::string flatGridObj(int n) {
    std::ostringstream out;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) out << "v " << i << " " << j << " 0\n";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            int a = j * (n + 1) + i + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
            out << "f " << a << " " << b << " " << c << "\nf " << a << " " << c << " " << d << "\n";
        }
    return out.str();
}

bool layOut(Polyhedron& model, const std::string& obj) {
    if (testsupport::loadObjText(model, obj) != 0) return false;
    for (Face& f : model.faces) {
        f.edge->layoutFace(Vec2(1.0, 0.0));
        f.translation = Vec2();
    }
    bool sized = false;
    testsupport::captureStdout([&] { sized = model.solver.allocate(); });
    if (!sized) return false;
    model.solver.anglesReady = true;
    orient(model);
    return true;
}

void orient(Polyhedron& model) { model.solver.propagateDirections(); }

void solveAndLayOut(Polyhedron& model) {
    LayoutSolver& s = model.solver;
    testsupport::captureStdout([&] {
        s.solveAngles();
        s.enforceAngleConditions();
    });
    orient(model);
    s.solveWidths();
    s.layoutFaces();
}

HalfEdge* rowHalf(Polyhedron& model, int e) {
    return findHalf(model, [&](const HalfEdge& h) {
        if (h.edgeIndex != e) return false;
        return h.onCut ? h.face != nullptr : h.vert->index < h.pair->vert->index;
    });
}

std::vector<Vec2> translations(const Polyhedron& model) {
    std::vector<Vec2> t;
    for (const Face& f : model.faces) t.push_back(f.translation);
    return t;
}

double translationResidual(const LayoutSolver& s) {
    const int E = s.numEdges, n = 2 * s.numFaces;
    const double* t = reinterpret_cast<const double*>(s.faceTranslations);
    double sum = 0.0;
    for (int e = 0; e < E; ++e) {
        double r = s.translationRhs[e];
        for (int j = 0; j < n; ++j) r -= s.translationMatrix.at(e, j) * t[j];
        sum += r * r;
    }
    return std::sqrt(sum);
}

}  // namespace layoutfixtures
