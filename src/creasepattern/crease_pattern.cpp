#include "creasepattern/crease_pattern.h"

#include "model/oripoly.h"

namespace {

// Drops the crease lines and the records made only for them. Nodes own their
// line arrays, which go with them.
void dropCreaseLineRecords(CreasePattern& cp) {
    cp.tickedCorners.clear();
    cp.nodes.clear();
    cp.lines.clear();
    cp.midpoints.clear();
    cp.crimps.clear();
}

void dropAllRecords(CreasePattern& cp) {
    cp.vertices.clear();
    cp.halfEdges.clear();
    cp.faces.clear();
    dropCreaseLineRecords(cp);
}

}  // namespace

double CreasePattern::lengthTolerance() const { return tolerance * (model ? model->lengthScale() : 1.0); }

void CreasePattern::attachModel(Polyhedron* m) {
    built = false;
    triangulated = false;
    dropAllRecords(*this);
    model = m;
}

void CreasePattern::clear() {
    model = nullptr;
    built = false;
    triangulated = false;
    dropAllRecords(*this);
}

// Vertex nodes keep their stale values: generation sets every one it reads
// before reading it, whereas face nodes are tested for null.
void CreasePattern::clearCreaseLines() {
    for (PatternFace& f : faces) f.node = nullptr;
    dropCreaseLineRecords(*this);
}
