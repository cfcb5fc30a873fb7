#include <algorithm>
#include <cmath>
#include <vector>

#include "creasepattern/crease_pattern.h"
#include "creasepattern/sheet_geometry.h"
#include "model/oripoly.h"

// Crease lines end at nodes that stand on points held by other records, so
// a position refresh moves every line without regenerating it.

double CreaseLine::length() const { return std::sqrt(lengthSquared()); }

double CreaseLine::lengthSquared() const {
    Vec2 d = *end->point - *start->point;
    return sheet::dot(d, d);
}

namespace {

const double kPi = 3.14159265358979323846;

double distance(const Vec2& a, const Vec2& b) {
    Vec2 d = b - a;
    return std::sqrt(sheet::dot(d, d));
}

// A molecule triangle whose corners all lie within the tolerance of one line
// has no width to fold: its centre falls on a corner or runs off, and its
// lines would only retrace its neighbours' creases with the opposite fold.
// A two-sided molecule at the paper edge is flat by nature; it folds as long
// as its two corners are apart.
bool hasNoWidth(const PatternFace& f, double tolerance) {
    int n = countSides(&f);
    double twiceArea = 0.0, longest = 0.0;
    if (!f.edge->vert) return true;
    const Vec2 origin = f.edge->vert->pos;
    const PatternHalfEdge* s = f.edge;
    for (int i = 0; i < n; ++i, s = s->next) {
        if (!s || !s->vert || !s->prev || !s->prev->vert) return true;  // a broken ring folds nothing
        const Vec2& a = s->prev->vert->pos;
        const Vec2& b = s->vert->pos;
        twiceArea += sheet::cross(a - origin, b - origin);
        longest = std::max(longest, distance(a, b));
    }
    if (longest < tolerance) return true;
    return n >= 3 && std::fabs(twiceArea) < tolerance * longest;
}

PatternNode* makeNode(CreasePattern& cp, Vec2* point) {
    cp.nodes.push_front(PatternNode(point));
    return &cp.nodes.front();
}

bool foldsMountain(char kind) { return kind == Mountain || kind == CrimpMountain; }

// Whether the segments from `at` to a and from `at` to b leave along one line
// in one direction, so that they share the shorter one.
bool runTogether(const Vec2& at, const Vec2& a, const Vec2& b, double tolerance) {
    Vec2 u = a - at, v = b - at;
    double lu = distance(at, a), lv = distance(at, b);
    if (lu < tolerance || lv < tolerance) return false;
    return sheet::dot(u, v) > 0.0 && std::fabs(sheet::cross(u, v)) < tolerance * std::max(lu, lv);
}

PatternNode* otherEnd(const CreaseLine* line, const PatternNode* node) {
    return line->start == node ? line->end : line->start;
}

// Whether a line of this kind from `node` to `far` would retrace a line of
// the opposite fold already ending at `node`.
bool retracesOppositeFold(const PatternNode* node, const PatternNode* far, char kind, double tolerance) {
    for (const CreaseLine* line : node->incidentLines)
        if (foldsMountain(line->kind) != foldsMountain(kind) &&
            runTogether(*node->point, *far->point, *otherEnd(line, node)->point, tolerance))
            return true;
    return false;
}

// A line shorter than the tolerance folds nothing and is not made. Nor is a
// line along one of the opposite fold, made before it: no stretch of paper
// can be folded both ways. This happens where tucks have almost no width and
// their molecules and crimps shrink onto their neighbours' creases.
void makeLine(CreasePattern& cp, PatternNode* start, PatternNode* end, char kind) {
    const double tolerance = cp.lengthTolerance();
    if (distance(*start->point, *end->point) < tolerance) return;
    if (retracesOppositeFold(start, end, kind, tolerance) || retracesOppositeFold(end, start, kind, tolerance))
        return;
    cp.lines.push_front(CreaseLine());
    CreaseLine* line = &cp.lines.front();
    line->start = start;
    line->end = end;
    line->kind = kind;
    start->incidentLines.push_back(line);
    end->incidentLines.push_back(line);
}

// The node of the molecule triangle across the edge molecule on U's side:
// the face beyond the molecule's opposite side.
PatternNode* nodeAcrossEdgeMolecule(const PatternHalfEdge* U) {
    const PatternHalfEdge* opposite = U->next ? U->next->next : nullptr;
    const PatternFace* O = opposite && opposite->pair ? opposite->pair->face : nullptr;
    return O ? O->node : nullptr;
}

// A centre on the paper edge itself needs no valley out to it.
void makeBoundaryValley(CreasePattern& cp, PatternNode* from, PatternHalfEdge* U) {
    if (!U->vert || !U->pair->vert) return;
    if (distance(*from->point, 0.5 * (U->vert->pos + U->pair->vert->pos)) < cp.lengthTolerance()) return;
    cp.midpoints.push_front(BoundaryMidpoint());
    BoundaryMidpoint* m = &cp.midpoints.front();
    m->owner = &cp;
    m->halfEdge = U;
    m->pos = 0.5 * (U->vert->pos + U->pair->vert->pos);
    m->node = makeNode(cp, &m->pos);
    makeLine(cp, from, m->node, Valley);
}

// A valley for every pair of neighbouring molecule triangles, made when the
// second of the two is visited, and one out to every paper-boundary side.
void makeValleys(CreasePattern& cp) {
    const double tolerance = cp.lengthTolerance();
    for (PatternFace& G : cp.faces) {
        if (G.kind != VertexMolecule || G.node || !G.edge || hasNoWidth(G, tolerance)) continue;
        G.node = makeNode(cp, &G.centre);
        int sides = countSides(&G);
        PatternHalfEdge* d = G.edge;
        for (int i = 0; i < sides && d; ++i, d = d->next) {
            PatternHalfEdge* U = d->pair;
            if (!U) continue;
            const PatternFace* F = U->face;
            if (!F) {
                makeBoundaryValley(cp, G.node, U);
            } else if (F->kind == VertexMolecule && F->node) {
                makeLine(cp, G.node, F->node, Valley);
            } else if (F->kind == EdgeMolecule) {
                PatternNode* across = nodeAcrossEdgeMolecule(U);
                if (across) makeLine(cp, G.node, across, Valley);
            }
        }
    }
}

// Mountains from every molecule corner to the centres of the triangles
// around it.
void makeMountains(CreasePattern& cp) {
    const size_t limit = cp.halfEdges.size();
    for (PatternVertex& t : cp.vertices) {
        if (!t.vtmEdge) continue;
        t.node = makeNode(cp, &t.pos);
        // A corner whose ring of half-edges is broken keeps the mountains
        // found up to the break.
        PatternHalfEdge* e = t.vtmEdge;
        for (size_t steps = 0; e && steps < limit; ++steps) {
            if (e->face && e->face->kind == VertexMolecule && e->face->node)
                makeLine(cp, t.node, e->face->node, Mountain);
            e = e->prev ? e->prev->pair : nullptr;
            if (e == t.vtmEdge) break;
        }
    }
}

// An isosceles triangle over the VTM edge has an apex only for a base angle
// strictly between -pi/2 and pi/2. Beyond, tan() wraps the apex through
// infinity round to the far side of the edge, which is no crimp: the creases
// to it cut through faces or retrace a neighbour's.
bool hasApex(double baseAngle) { return std::fabs(baseAngle) < kPi / 2; }

// The paper's edge as the layout leaves it: the sides of the face-less
// half-edges round the pattern.
std::vector<sheet::Segment> outlineOf(const CreasePattern& cp) {
    std::vector<sheet::Segment> outline;
    for (const PatternHalfEdge& e : cp.halfEdges)
        if (!e.face && e.vert && e.prev && e.prev->vert) outline.push_back(sheet::Segment{e.prev->vert->pos, e.vert->pos});
    return outline;
}

// Whether p lies on the paper the layout covers, or within `margin` of it:
// inside the outline by the parity of its crossings with a ray from p.
bool nearPattern(const std::vector<sheet::Segment>& outline, const Vec2& p, double margin) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    bool inside = false;
    for (const sheet::Segment& s : outline)
        if ((s.a.y > p.y) != (s.b.y > p.y) &&
            p.x < s.a.x + (p.y - s.a.y) * (s.b.x - s.a.x) / (s.b.y - s.a.y))
            inside = !inside;
    if (inside) return true;
    for (const sheet::Segment& s : outline)
        if (sheet::distanceToSegment(p, s) < margin) return true;
    return false;
}

// A crimp on the inner side of every VTM edge that is not on the paper
// boundary and has a length. A base angle near a right angle sends a crimp
// point tens of edge lengths away, off the pattern altogether; such a point
// gets no lines, since creases beyond the paper's edge fold no part of the
// surface. Near a corner of the outline a crimp may reach a little past it,
// no farther than its VTM edge is long, and keeps its lines.
void makeCrimps(CreasePattern& cp) {
    const std::vector<sheet::Segment> outline = outlineOf(cp);
    const double tolerance = cp.lengthTolerance();
    for (PatternVertex& t : cp.vertices) {
        PatternHalfEdge* h = t.vtmEdge;
        if (!h || !h->pair || !h->pair->face) continue;
        PatternVertex* U = h->vert;
        // Only a molecule corner got a node in this call; any other node is stale.
        if (!U || !U->vtmEdge) continue;
        const double span = distance(t.pos, U->pos);
        if (span < tolerance) continue;

        cp.crimps.push_front(CrimpRecord());
        CrimpRecord* c = &cp.crimps.front();
        c->owner = &cp;
        c->vertex = &t;
        c->node1 = makeNode(cp, &c->point1);
        c->node2 = makeNode(cp, &c->point2);
        c->computePoints();
        double s = 0.0, s2 = 0.0;
        crimpBaseAngles(t.modelHalfEdge, s, s2);
        if (hasApex(s) && nearPattern(outline, c->point1, span)) {
            makeLine(cp, t.node, c->node1, CrimpMountain);
            makeLine(cp, U->node, c->node1, CrimpValley);
        }
        if (hasApex(s2) && nearPattern(outline, c->point2, span)) {
            makeLine(cp, t.node, c->node2, CrimpValley);
            makeLine(cp, U->node, c->node2, CrimpMountain);
        }
    }
}

}  // namespace

void CreasePattern::generateCreaseLines() {
    if (!built) return;
    clearCreaseLines();
    // Lengths and widths are judged on the layout as it stands, with the
    // centres of triangles flipped since the last refresh recomputed.
    updatePositions();
    makeValleys(*this);
    makeMountains(*this);
    makeCrimps(*this);
}
