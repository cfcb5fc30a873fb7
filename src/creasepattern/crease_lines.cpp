#include <algorithm>
#include <cmath>
#include <vector>

#include "creasepattern/cell_grid.h"
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

double distance(const Vec2& a, const Vec2& b) {
    Vec2 d = b - a;
    return std::sqrt(sheet::dot(d, d));
}

PatternNode* makeNode(CreasePattern& cp, Vec2* point) {
    cp.nodes.push_front(PatternNode(point));
    return &cp.nodes.front();
}

bool foldsMountain(char kind) { return kind == Mountain || kind == CrimpMountain; }

// Whether p lies inside the closed ring of segments, by the parity of its
// crossings with a ray from p.
bool inside(const std::vector<sheet::Segment>& ring, const Vec2& p) {
    bool odd = false;
    for (const sheet::Segment& s : ring)
        if ((s.a.y > p.y) != (s.b.y > p.y) && p.x < s.a.x + (p.y - s.a.y) * (s.b.x - s.a.x) / (s.b.y - s.a.y))
            odd = !odd;
    return odd;
}

double distanceToRing(const std::vector<sheet::Segment>& ring, const Vec2& p) {
    double nearest = INFINITY;
    for (const sheet::Segment& s : ring) nearest = std::min(nearest, sheet::distanceToSegment(p, s));
    return nearest;
}

// Length of the stretch that two segments have in common when both lie along
// one line, within the tolerance; 0 when they do not.
double sharedStretch(sheet::Segment a, sheet::Segment b, double tolerance) {
    if (distance(a.a, a.b) < distance(b.a, b.b)) std::swap(a, b);
    const double length = distance(a.a, a.b);
    if (!(length > 0.0)) return 0.0;
    const Vec2 u = (1.0 / length) * (a.b - a.a);
    if (std::fabs(sheet::cross(u, b.a - a.a)) > tolerance ||
        std::fabs(sheet::cross(u, b.b - a.a)) > tolerance)
        return 0.0;
    double t0 = sheet::dot(u, b.a - a.a), t1 = sheet::dot(u, b.b - a.a);
    return std::min(length, std::max(t0, t1)) - std::max(0.0, std::min(t0, t1));
}

// How far inside the ring the segment gets: it is split where it crosses the
// rim, and each stretch between crossings is sampled for its distance from
// the rim.
double depthInside(const sheet::Segment& line, const std::vector<sheet::Segment>& ring) {
    const Vec2 d = line.b - line.a;
    std::vector<double> cuts = {0.0, 1.0};
    for (const sheet::Segment& s : ring) {
        const Vec2 e = s.b - s.a;
        const double den = sheet::cross(d, e);
        if (den == 0.0) continue;
        const double t = sheet::cross(s.a - line.a, e) / den, u = sheet::cross(s.a - line.a, d) / den;
        if (t > 0.0 && t < 1.0 && u >= 0.0 && u <= 1.0) cuts.push_back(t);
    }
    // Without a crossing the segment lies wholly inside or wholly outside.
    if (cuts.size() == 2 && !inside(ring, line.a + 0.5 * d)) return 0.0;
    std::sort(cuts.begin(), cuts.end());
    double deepest = 0.0;
    for (size_t i = 0; i + 1 < cuts.size(); ++i)
        for (int k = 1; k < 8; ++k) {
            const Vec2 p = line.a + (cuts[i] + (cuts[i + 1] - cuts[i]) * k / 8.0) * d;
            if (inside(ring, p)) deepest = std::max(deepest, distanceToRing(ring, p));
        }
    return deepest;
}

// A placed polygon as crease lines meet it.
struct PlacedFace {
    std::vector<sheet::Segment> rim;
    sheet::Segment box;  // lowest and highest corner
    double inradius = 0.0;
};

bool overlap(const sheet::Segment& a, const sheet::Segment& b) {
    return a.a.x <= b.b.x && b.a.x <= a.b.x && a.a.y <= b.b.y && b.a.y <= a.b.y;
}

// A crease that only grazes a face near its rim folds nothing of it; one
// that goes deeper than this share of the face's inradius runs through it.
const double kFaceDepth = 0.1;

// The sides of a pattern face, from its edge once around.
std::vector<sheet::Segment> sidesOf(const PatternFace& f) {
    std::vector<sheet::Segment> sides;
    const PatternHalfEdge* s = f.edge;
    for (int i = countSides(&f); i > 0 && s && s->vert && s->prev && s->prev->vert; --i, s = s->next)
        sides.push_back(sheet::Segment{s->prev->vert->pos, s->vert->pos});
    return sides;
}

std::vector<PlacedFace> placedFacesOf(const CreasePattern& cp) {
    std::vector<PlacedFace> faces;
    for (const PatternFace& f : cp.faces) {
        if (f.kind != PolygonFace) continue;
        PlacedFace face;
        face.rim = sidesOf(f);
        if (face.rim.size() < 3) continue;  // a two-sided face covers no paper
        double twiceArea = 0.0, perimeter = 0.0;
        for (const sheet::Segment& s : face.rim) {
            twiceArea += sheet::cross(s.a, s.b);
            perimeter += distance(s.a, s.b);
        }
        face.inradius = perimeter > 0.0 ? std::fabs(twiceArea) / perimeter : 0.0;
        face.box = sheet::boxOf(face.rim);
        faces.push_back(face);
    }
    return faces;
}

// The paper's edge as the layout leaves it: the sides of the face-less
// half-edges round the pattern.
std::vector<sheet::Segment> outlineOf(const CreasePattern& cp) {
    std::vector<sheet::Segment> outline;
    for (const PatternHalfEdge& e : cp.halfEdges)
        if (!e.face && e.vert && e.prev && e.prev->vert)
            outline.push_back(sheet::Segment{e.prev->vert->pos, e.vert->pos});
    return outline;
}

// Whether p lies on the paper the layout covers, or within `margin` of it.
// `near` is a point of the pattern: most points are that close to it, and
// the outline need not be walked for them.
bool nearPattern(const std::vector<sheet::Segment>& outline, const Vec2& p, const Vec2& near, double margin) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    return distance(p, near) < margin || inside(outline, p) || distanceToRing(outline, p) < margin;
}

// What one generation of crease lines judges new lines against: the placed
// faces, the paper's outline and the lines made so far.
class LineMaker {
public:
    explicit LineMaker(CreasePattern& pattern)
        : cp(pattern),
          tolerance(pattern.lengthTolerance()),
          outline(outlineOf(pattern)),
          faces_(placedFacesOf(pattern)),
          layout_(boxOfFaces(faces_)),
          faceGrid_(layout_, (int)faces_.size()),
          lineGrid_{sheet::CellGrid(layout_, (int)faces_.size()),
                    sheet::CellGrid(layout_, (int)faces_.size())} {
        for (const PlacedFace& f : faces_) faceGrid_.insert(f.box);
    }

    // A line shorter than the tolerance folds nothing and is not made. Nor is
    // a line along one of the opposite fold made before it, whether or not
    // the two share an end: no stretch of paper can be folded both ways.
    // This happens where tucks have almost no width and their molecules and
    // crimps shrink onto their neighbours' creases, and where a molecule
    // folded over onto its neighbours lays a short crease along a long one.
    // Nor is a line that runs through a placed face, which would fold the
    // face: crimp points, placed by their base angles alone, land tens of
    // edge lengths away when such an angle is near a right one, and on the
    // far side of their VTM edge when the edge runs against its tuck; the
    // centres of molecule triangles turned over onto their neighbours lie
    // several triangle sizes off.
    bool fits(const Vec2& a, const Vec2& b, char kind) {
        const sheet::Segment line{a, b};
        if (!(distance(a, b) >= tolerance)) return false;
        bool fits = true;
        const bool mountain = foldsMountain(kind);
        lineGrid_[!mountain].near(sheet::boxAround(line, tolerance), [&](size_t id) {
            const CreaseLine* other = made_[!mountain][id];
            if (fits && sharedStretch(line, sheet::Segment{*other->start->point, *other->end->point},
                                      tolerance) > tolerance)
                fits = false;
        });
        return fits && !runsThroughFace(a, b);
    }

    bool runsThroughFace(const Vec2& a, const Vec2& b) {
        const sheet::Segment line{a, b};
        const sheet::Segment box = sheet::boxAround(line, 0.0);
        bool through = false;
        faceGrid_.near(box, [&](size_t id) {
            const PlacedFace& f = faces_[id];
            if (!through && overlap(box, f.box) && depthInside(line, f.rim) > kFaceDepth * f.inradius)
                through = true;
        });
        return through;
    }

    void makeLine(PatternNode* start, PatternNode* end, char kind) {
        if (fits(*start->point, *end->point, kind)) addLine(start, end, kind);
    }

    // Makes the line, which fits.
    void addLine(PatternNode* start, PatternNode* end, char kind) {
        cp.lines.push_front(CreaseLine());
        CreaseLine* line = &cp.lines.front();
        line->start = start;
        line->end = end;
        line->kind = kind;
        start->incidentLines.push_back(line);
        end->incidentLines.push_back(line);
        const bool mountain = foldsMountain(kind);
        lineGrid_[mountain].insert(sheet::boxAround(sheet::Segment{*start->point, *end->point}, 0.0));
        made_[mountain].push_back(line);
    }

    CreasePattern& cp;
    const double tolerance;
    const std::vector<sheet::Segment> outline;

private:
    static sheet::Segment boxOfFaces(const std::vector<PlacedFace>& faces) {
        std::vector<sheet::Segment> boxes;
        for (const PlacedFace& f : faces) boxes.push_back(f.box);
        return boxes.empty() ? sheet::Segment{} : sheet::boxOf(boxes);
    }

    std::vector<PlacedFace> faces_;
    const sheet::Segment layout_;  // the box of the placed faces
    sheet::CellGrid faceGrid_;
    // The lines made so far, valleys [0] and mountains [1] apart.
    sheet::CellGrid lineGrid_[2];
    std::vector<const CreaseLine*> made_[2];
};

// The node of the molecule triangle across the edge molecule on U's side:
// the face beyond the molecule's opposite side.
PatternNode* nodeAcrossEdgeMolecule(const PatternHalfEdge* U) {
    const PatternHalfEdge* opposite = U->next ? U->next->next : nullptr;
    const PatternFace* O = opposite && opposite->pair ? opposite->pair->face : nullptr;
    return O ? O->node : nullptr;
}

// A centre on the paper edge itself needs no valley out to it, and a valley
// that cannot be made needs no midpoint.
void makeBoundaryValley(LineMaker& maker, PatternNode* from, PatternHalfEdge* U) {
    CreasePattern& cp = maker.cp;
    if (!U->vert || !U->pair->vert) return;
    if (!maker.fits(*from->point, 0.5 * (U->vert->pos + U->pair->vert->pos), Valley)) return;
    cp.midpoints.push_front(BoundaryMidpoint());
    BoundaryMidpoint* m = &cp.midpoints.front();
    m->owner = &cp;
    m->halfEdge = U;
    m->pos = 0.5 * (U->vert->pos + U->pair->vert->pos);
    m->node = makeNode(cp, &m->pos);
    maker.makeLine(from, m->node, Valley);
}

// Whether a corner of the molecule belongs to a two-sided face that splits a
// tuck (not one of those that line the paper's edge).
bool hasSplitCorner(const PatternFace& f) {
    const PatternHalfEdge* s = f.edge;
    for (int i = countSides(&f); i > 0 && s; --i, s = s->next) {
        const HalfEdge* X = s->vert ? s->vert->modelHalfEdge : nullptr;
        const Face* face = X ? X->face : nullptr;
        if (face && !face->boundaryDigon && face->edge && face->edge->next &&
            face->edge->next->next == face->edge)
            return true;
    }
    return false;
}

// How far beyond the outline a molecule triangle's centre may lie and keep
// its lines. Creases out to a centre farther off stand on blank paper, fold
// no part of the surface, and make the sheet grow to hold them: a triangle
// whose corners lie nearly in line has its centre off by many times its
// size. A centre past the outline by less than the triangle's longest side,
// as obtuse triangles at the paper's edge have them, keeps its lines. A
// split tuck puts the corners of its two-sided faces into the molecules at
// its ends, nearly in line with the corners beside them; the very obtuse
// triangles among them, large as they are, have their centres far beyond
// the paper's edge, and are held to their shortest side.
double reachOffThePattern(const PatternFace& f) {
    double shortest = INFINITY, longest = 0.0;
    for (const sheet::Segment& s : sidesOf(f)) {
        shortest = std::min(shortest, distance(s.a, s.b));
        longest = std::max(longest, distance(s.a, s.b));
    }
    return hasSplitCorner(f) ? shortest : longest;
}

// A valley for every pair of neighbouring molecule triangles, made when the
// second of the two is visited, and one out to every paper-boundary side.
void makeValleys(LineMaker& maker) {
    CreasePattern& cp = maker.cp;
    for (PatternFace& G : cp.faces) {
        if (G.kind != VertexMolecule || G.node || !G.edge || !G.edge->vert) continue;
        if (!nearPattern(maker.outline, G.centre, G.edge->vert->pos, reachOffThePattern(G))) continue;
        G.node = makeNode(cp, &G.centre);
        int sides = countSides(&G);
        PatternHalfEdge* d = G.edge;
        for (int i = 0; i < sides && d; ++i, d = d->next) {
            PatternHalfEdge* U = d->pair;
            if (!U) continue;
            const PatternFace* F = U->face;
            if (!F) {
                makeBoundaryValley(maker, G.node, U);
            } else if (F->kind == VertexMolecule && F->node) {
                maker.makeLine(G.node, F->node, Valley);
            } else if (F->kind == EdgeMolecule) {
                PatternNode* across = nodeAcrossEdgeMolecule(U);
                if (across) maker.makeLine(G.node, across, Valley);
            }
        }
    }
}

// Mountains from every molecule corner to the centres of the triangles
// around it.
void makeMountains(LineMaker& maker) {
    CreasePattern& cp = maker.cp;
    const size_t limit = cp.halfEdges.size();
    for (PatternVertex& t : cp.vertices) {
        if (!t.vtmEdge) continue;
        t.node = makeNode(cp, &t.pos);
        // A corner whose ring of half-edges is broken keeps the mountains
        // found up to the break.
        PatternHalfEdge* e = t.vtmEdge;
        for (size_t steps = 0; e && steps < limit; ++steps) {
            if (e->face && e->face->kind == VertexMolecule && e->face->node)
                maker.makeLine(t.node, e->face->node, Mountain);
            e = e->prev ? e->prev->pair : nullptr;
            if (e == t.vtmEdge) break;
        }
    }
}

// The two lines from the ends of a VTM edge to one crimp point, made both
// or neither: a crimp line alone ends in the paper, where nothing folds.
void makeCrimpPair(LineMaker& maker, PatternNode* t, PatternNode* U, PatternNode* point, char kindAtT) {
    const char kindAtU = kindAtT == CrimpMountain ? CrimpValley : CrimpMountain;
    if (!maker.fits(*t->point, *point->point, kindAtT) || !maker.fits(*U->point, *point->point, kindAtU))
        return;
    // Nor may the two retrace each other, as they do over a VTM edge that
    // is barely longer than the tolerance.
    if (sharedStretch(sheet::Segment{*t->point, *point->point}, sheet::Segment{*U->point, *point->point},
                      maker.tolerance) > maker.tolerance)
        return;
    maker.addLine(t, point, kindAtT);
    maker.addLine(U, point, kindAtU);
}

// A crimp on the inner side of every VTM edge that is not on the paper
// boundary and has a length. A base angle near a right angle sends a crimp
// point tens of edge lengths away, off the pattern altogether; such a point
// gets no lines, since creases beyond the paper's edge fold no part of the
// surface. Near a corner of the outline a crimp may reach a little past it,
// no farther than its VTM edge is long, and keeps its lines. On the pattern
// a point sent that far, or one mirrored into a face by a VTM edge that runs
// against its tuck, has creases through faces, which makeCrimpPair refuses.
void makeCrimps(LineMaker& maker) {
    CreasePattern& cp = maker.cp;
    for (PatternVertex& t : cp.vertices) {
        PatternHalfEdge* h = t.vtmEdge;
        if (!h || !h->pair || !h->pair->face) continue;
        PatternVertex* U = h->vert;
        // Only a molecule corner got a node in this call; any other node is stale.
        if (!U || !U->vtmEdge) continue;
        const double span = distance(t.pos, U->pos);
        if (span < maker.tolerance) continue;

        cp.crimps.push_front(CrimpRecord());
        CrimpRecord* c = &cp.crimps.front();
        c->owner = &cp;
        c->vertex = &t;
        c->node1 = makeNode(cp, &c->point1);
        c->node2 = makeNode(cp, &c->point2);
        c->computePoints();
        if (nearPattern(maker.outline, c->point1, t.pos, span))
            makeCrimpPair(maker, t.node, U->node, c->node1, CrimpMountain);
        if (nearPattern(maker.outline, c->point2, t.pos, span))
            makeCrimpPair(maker, t.node, U->node, c->node2, CrimpValley);
    }
}

}  // namespace

void CreasePattern::generateCreaseLines() {
    if (!built) return;
    clearCreaseLines();
    // Lines are judged where the writer and the view put them, on the
    // layout as it stands: a refresh takes the centres from the corners of
    // the refresh before, so the first brings the corners up to date and the
    // second the centres, of triangles flipped since included.
    updatePositions();
    updatePositions();
    LineMaker maker(*this);
    makeValleys(maker);
    makeMountains(maker);
    makeCrimps(maker);
}
