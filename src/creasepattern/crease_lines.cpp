#include <algorithm>
#include <cmath>
#include <list>
#include <unordered_map>
#include <unordered_set>
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

const double kPi = 3.14159265358979323846;

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

// A placed polygon as crease lines meet it.
struct PlacedFace {
    std::vector<sheet::Segment> rim;  // its sides of some length
    sheet::Segment box;               // lowest and highest corner
    double inradius = 0.0;
    bool convex = false;
    // Each side's line as the signed distance from it, positive inside:
    // dot(normal, p) - offset.
    std::vector<Vec2> normals;
    std::vector<double> offsets;
};

// How deep the segment gets into the face: the largest distance from the
// rim of a point of the segment inside the face, exactly. In a convex face
// that distance is the least of the distances from the sides' lines, each
// linear along the segment; such a minimum is largest at an end of the
// segment or where two of them cross. In any other face the distances from
// each side's line and from each corner are simple functions along the
// segment, and the deepest point lies at an end or where two are equal.
double depthInside(const sheet::Segment& line, const PlacedFace& f) {
    const Vec2 d = line.b - line.a;
    const size_t n = f.rim.size();
    // The distance from side i's line of the point at t along the segment:
    // a[i] + b[i] t. Most faces have few sides, and the check runs for every
    // line near a face.
    const size_t kFew = 16;
    double few[2 * kFew];
    std::vector<double> many(n > kFew ? 2 * n : 0);
    double* a = n > kFew ? many.data() : few;
    double* b = a + n;
    for (size_t i = 0; i < n; ++i) {
        a[i] = sheet::dot(f.normals[i], line.a) - f.offsets[i];
        b[i] = sheet::dot(f.normals[i], d);
    }
    double deepest = 0.0;
    if (f.convex) {
        auto at = [&](double t) {
            if (!(t >= 0.0 && t <= 1.0)) return;
            double least = INFINITY;
            for (size_t i = 0; i < n; ++i) least = std::min(least, a[i] + b[i] * t);
            deepest = std::max(deepest, least);
        };
        at(0.0);
        at(1.0);
        for (size_t i = 0; i < n; ++i)
            for (size_t j = i + 1; j < n; ++j)
                if (b[i] != b[j]) at((a[j] - a[i]) / (b[i] - b[j]));
        return deepest;
    }
    std::vector<double> ts = {0.0, 1.0};
    auto root = [&](double c0, double c1) {
        if (c1 != 0.0) ts.push_back(-c0 / c1);
    };
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j) {
            root(a[i] - a[j], b[i] - b[j]);
            root(a[i] + a[j], b[i] + b[j]);
        }
    const double dd = sheet::dot(d, d);
    for (size_t i = 0; i < n; ++i) {
        const Vec2 w = line.a - f.rim[i].a;
        // Equally far from two corners.
        for (size_t j = i + 1; j < n; ++j) {
            const Vec2 v = line.a - f.rim[j].a;
            root(0.5 * (sheet::dot(w, w) - sheet::dot(v, v)), sheet::dot(d, w - v));
        }
        // As far from a corner as from a side's line.
        for (size_t j = 0; j < n; ++j) {
            const double qa = dd - b[j] * b[j], qb = 2.0 * (sheet::dot(d, w) - a[j] * b[j]),
                         qc = sheet::dot(w, w) - a[j] * a[j];
            if (qa == 0.0) {
                root(qc, qb);
            } else if (qb * qb - 4.0 * qa * qc >= 0.0) {
                const double r = std::sqrt(qb * qb - 4.0 * qa * qc);
                ts.push_back((-qb - r) / (2.0 * qa));
                ts.push_back((-qb + r) / (2.0 * qa));
            }
        }
    }
    for (double t : ts) {
        if (!(t >= 0.0 && t <= 1.0)) continue;
        const Vec2 p = line.a + t * d;
        if (inside(f.rim, p)) deepest = std::max(deepest, distanceToRing(f.rim, p));
    }
    return deepest;
}

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
        if (f.kind != PolygonFace || countSides(&f) < 3) continue;  // a two-sided face covers no paper
        PlacedFace face;
        for (const sheet::Segment& s : sidesOf(f))
            if (s.a.x != s.b.x || s.a.y != s.b.y) face.rim.push_back(s);
        double twiceArea = 0.0, perimeter = 0.0;
        for (const sheet::Segment& s : face.rim) {
            twiceArea += sheet::cross(s.a, s.b);
            perimeter += distance(s.a, s.b);
        }
        // A face without area holds no paper for a crease to run through.
        if (face.rim.size() < 3 || !(std::fabs(twiceArea) > 0.0)) continue;
        face.inradius = std::fabs(twiceArea) / perimeter;
        face.box = sheet::boxOf(face.rim);
        const double turn = twiceArea > 0.0 ? 1.0 : -1.0;
        double turning = 0.0;
        face.convex = true;
        for (size_t i = 0; i < face.rim.size(); ++i) {
            const sheet::Segment& s = face.rim[i];
            const Vec2 e = s.b - s.a, next = face.rim[(i + 1) % face.rim.size()].b - s.b;
            Vec2 normal = turn * sheet::quarterTurn(e);
            normal.normalize();
            face.normals.push_back(normal);
            face.offsets.push_back(sheet::dot(normal, s.a));
            const double x = sheet::cross(e, next), y = sheet::dot(e, next);
            if (turn * x < -1e-12 * std::hypot(x, y)) face.convex = false;
            turning += std::atan2(x, y);
        }
        // Convex: every corner turns the same way, and the rim goes round once.
        if (std::fabs(turning - turn * 2.0 * kPi) > 1e-6) face.convex = false;
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

// The lines of one generation, gathered before any is made. Each line is
// first judged on its own; then the creases that fold together are
// settled: a crease alone folds nothing, so a guard that drops one line
// drops with it what could only fold with it.
class LineMaker {
public:
    explicit LineMaker(CreasePattern& pattern)
        : cp(pattern),
          tolerance(pattern.lengthTolerance()),
          scale(tolerance / CreasePattern::tolerance),
          outline(outlineOf(pattern)),
          faces_(placedFacesOf(pattern)),
          layout_(boxOfFaces(faces_)),
          faceGrid_(layout_, (int)faces_.size()),
          rims_(rimsOf(pattern, outline)),
          rimGrid_(layout_, (int)rims_.size()) {
        for (const PlacedFace& f : faces_) faceGrid_.insert(f.box);
        for (const sheet::Segment& s : rims_) rimGrid_.insert(sheet::boxAround(s, 0.0));
        pointOf_.reserve(pattern.faces.size() + 2 * pattern.vertices.size());
    }

    // A line shorter than the tolerance folds nothing. Nor does a line that
    // runs through a placed face, which would fold the face: crimp points,
    // placed by their base angles alone, land tens of edge lengths away when
    // such an angle is near a right one, and on the far side of their VTM
    // edge when the edge runs against its tuck; the centres of molecule
    // triangles turned over onto their neighbours lie several triangle
    // sizes off.
    bool sound(const Vec2& a, const Vec2& b) { return distance(a, b) >= tolerance && !runsThroughFace(a, b); }

    // The node of a molecule triangle's centre, where its valleys and
    // mountains meet.
    void addCentre(PatternNode* node) {
        pointOf_[node] = (int)points_.size();
        points_.push_back(FoldPoint{node, true, -1, {}, {}});
    }

    void addValley(PatternNode* start, PatternNode* end) {
        add(start, end, Valley, sound(*start->point, *end->point));
    }

    // A valley that the rule has between two molecule triangles but that is
    // not made, since a centre lies off the paper: a crimp point on it has
    // lost its valley.
    void addValleyNotMade(const Vec2& a, const Vec2& b) { valleysNotMade_.push_back(sheet::Segment{a, b}); }

    // A valley out to the paper's edge, at a midpoint made for it.
    void addBoundaryValley(PatternNode* start, std::list<BoundaryMidpoint>::iterator midpoint,
                           std::list<PatternNode>::iterator node) {
        const int id = add(start, &*node, Valley, true);
        lines_[id].atMidpoint = true;
        lines_[id].midpoint = midpoint;
        lines_[id].midpointNode = node;
    }

    void addMountain(PatternNode* corner, PatternNode* centre) {
        add(corner, centre, Mountain, sound(*corner->point, *centre->point));
    }

    // The two lines from the ends of a VTM edge to one crimp point, kept both
    // or neither: a crimp line alone ends in the paper, where nothing folds.
    // Nor may the two retrace each other, as they do over a VTM edge that is
    // barely longer than the tolerance. The point folds with the valley it
    // sits on, the one across the VTM edge's edge molecule: when that valley
    // goes, the pair is left a bend and goes with it.
    void addCrimpPair(PatternNode* t, PatternNode* U, PatternNode* point, char kindAtT) {
        const char kindAtU = kindAtT == CrimpMountain ? CrimpValley : CrimpMountain;
        const Vec2 &a = *t->point, &b = *U->point, &p = *point->point;
        const bool kept = sound(a, p) && sound(b, p) &&
                          !(sharedStretch(sheet::Segment{a, p}, sheet::Segment{b, p}, tolerance) > tolerance);
        pointOf_[point] = (int)points_.size();
        points_.push_back(FoldPoint{point, false, -1, {}, {}});
        const int first = add(t, point, kindAtT, kept), second = add(U, point, kindAtU, kept);
        lines_[first].pair = second;
        lines_[second].pair = first;
    }

    // Settles which lines stay and makes them, in the order they were
    // gathered; midpoints whose valley goes are taken back.
    void make() {
        joinCoincidentPoints();
        findLinesThroughCrimpPoints();
        for (int p = (int)points_.size() - 1; p >= 0; --p)
            if (points_[p].one < 0) unsettled_.push_back(p);
        settle();
        dropAlongTheOppositeFold();
        settle();
        for (Line& l : lines_) {
            if (!l.kept) {
                if (l.atMidpoint) {
                    cp.midpoints.erase(l.midpoint);
                    cp.nodes.erase(l.midpointNode);
                }
                continue;
            }
            cp.lines.push_front(CreaseLine());
            CreaseLine* line = &cp.lines.front();
            line->start = l.start;
            line->end = l.end;
            line->kind = l.kind;
            l.start->incidentLines.push_back(line);
            l.end->incidentLines.push_back(line);
        }
    }

    CreasePattern& cp;
    const double tolerance;
    const double scale;  // the model's length scale
    const std::vector<sheet::Segment> outline;

private:
    struct Line {
        PatternNode *start = nullptr, *end = nullptr;
        char kind = Valley;
        bool kept = false;         // sound in itself, and what it folds with stays
        int pair = -1;             // of a crimp line: the other line to its point
        int ends[2] = {-1, -1};    // the fold points at its start and end
        std::vector<int> through;  // the crimp points it runs through
        bool atMidpoint = false;   // a valley out to the paper's edge
        std::list<BoundaryMidpoint>::iterator midpoint;
        std::list<PatternNode>::iterator midpointNode;
    };
    // A point where creases meet that must fold together: a triangle's
    // centre, or a crimp point with the lines that run through it. A crimp
    // point that the rule gives no crease through is left as the rule
    // leaves it. Points closer than the tolerance are one, kept in the
    // first of them: the centres of flat triangles coincide.
    struct FoldPoint {
        PatternNode* node;
        bool judged;
        int one = -1;  // the point it is one with, or -1
        std::vector<int> ending, through;
    };

    // The sides of every placed face, two-sided ones included, and the
    // paper's outline.
    static std::vector<sheet::Segment> rimsOf(const CreasePattern& cp,
                                              const std::vector<sheet::Segment>& outline) {
        std::vector<sheet::Segment> rims = outline;
        for (const PatternFace& f : cp.faces)
            if (f.kind == PolygonFace)
                for (const sheet::Segment& s : sidesOf(f)) rims.push_back(s);
        return rims;
    }

    bool onRim(const Vec2& p) {
        bool on = false;
        rimGrid_.near(sheet::boxAround(sheet::Segment{p, p}, tolerance),
                      [&](size_t id) { on = on || sheet::distanceToSegment(p, rims_[id]) < tolerance; });
        return on;
    }

    static sheet::Segment boxOfFaces(const std::vector<PlacedFace>& faces) {
        std::vector<sheet::Segment> boxes;
        for (const PlacedFace& f : faces) boxes.push_back(f.box);
        return boxes.empty() ? sheet::Segment{} : sheet::boxOf(boxes);
    }

    bool runsThroughFace(const Vec2& a, const Vec2& b) {
        const sheet::Segment line{a, b};
        const sheet::Segment box = sheet::boxAround(line, 0.0);
        bool through = false;
        faceGrid_.near(box, [&](size_t id) {
            const PlacedFace& f = faces_[id];
            if (!through && overlap(box, f.box) && depthInside(line, f) > kFaceDepth * f.inradius)
                through = true;
        });
        return through;
    }

    // Cells for a grid of lines: about two for each face, which has some
    // twenty lines about it.
    int lineCells() const { return 2 * (int)faces_.size(); }

    sheet::Segment segment(const Line& l) const { return sheet::Segment{*l.start->point, *l.end->point}; }

    int add(PatternNode* start, PatternNode* end, char kind, bool kept) {
        const int id = (int)lines_.size();
        lines_.emplace_back();
        Line& l = lines_.back();
        l.start = start;
        l.end = end;
        l.kind = kind;
        l.kept = kept;
        for (int i = 0; i < 2; ++i) {
            const auto point = pointOf_.find(i ? end : start);
            if (point != pointOf_.end()) l.ends[i] = point->second;
        }
        return id;
    }

    int oneWith(int p) const {
        while (points_[p].one >= 0) p = points_[p].one;
        return p;
    }

    // Makes the points within the tolerance of each other one, and gives
    // each point the lines that end at it.
    void joinCoincidentPoints() {
        sheet::CellGrid grid(layout_, (int)faces_.size());
        for (const FoldPoint& point : points_) {
            const Vec2& at = *point.node->point;
            grid.insert(sheet::Segment{at, at});
        }
        for (int p = 0; p < (int)points_.size(); ++p) {
            const Vec2& at = *points_[p].node->point;
            grid.near(sheet::boxAround(sheet::Segment{at, at}, tolerance), [&](size_t q) {
                const int a = oneWith(p), b = oneWith((int)q);
                if (a != b && distance(at, *points_[q].node->point) < tolerance)
                    points_[std::max(a, b)].one = std::min(a, b);
            });
        }
        for (int id = 0; id < (int)lines_.size(); ++id) {
            Line& l = lines_[id];
            for (int& p : l.ends)
                if (p >= 0) p = oneWith(p);
            // A line within one point folds nothing there.
            if (l.ends[0] == l.ends[1] && l.ends[0] >= 0) continue;
            for (int p : l.ends)
                if (p >= 0) points_[p].ending.push_back(id);
        }
    }

    // The lines of the rule that run through each crimp point or end
    // within the tolerance of it, those that end at it aside. A line refused
    // on its own still shows that the point sits on a crease of the rule;
    // only the lines that stay fold with it.
    void findLinesThroughCrimpPoints() {
        sheet::CellGrid grid(layout_, lineCells());
        for (const Line& l : lines_) grid.insert(sheet::boxAround(segment(l), 0.0));
        for (const sheet::Segment& s : valleysNotMade_) grid.insert(sheet::boxAround(s, 0.0));
        for (int p = 0; p < (int)points_.size(); ++p) {
            if (points_[p].judged) continue;
            const Vec2& at = *points_[p].node->point;
            const int one = oneWith(p);
            FoldPoint& point = points_[one];
            grid.near(sheet::boxAround(sheet::Segment{at, at}, tolerance), [&](size_t id) {
                if (id >= lines_.size()) {
                    point.judged = point.judged || passesNear(at, valleysNotMade_[id - lines_.size()]);
                    return;
                }
                Line& l = lines_[id];
                if (l.ends[0] == one || l.ends[1] == one || !passesNear(at, segment(l))) return;
                point.judged = true;
                if (l.kept && std::find(l.through.begin(), l.through.end(), one) == l.through.end()) {
                    point.through.push_back((int)id);
                    l.through.push_back(one);
                }
            });
        }
    }

    // Whether the segment passes within the tolerance of p: by the box
    // first, since most segments met are not near.
    bool passesNear(const Vec2& p, const sheet::Segment& s) const {
        return overlap(sheet::boxAround(sheet::Segment{p, p}, tolerance), sheet::boxAround(s, 0.0)) &&
               sheet::distanceToSegment(p, s) < tolerance;
    }

    // Drops a line, and the other line of its crimp pair; the points it ends
    // at or runs through are judged again.
    void drop(int id) {
        Line& l = lines_[id];
        if (!l.kept) return;
        l.kept = false;
        if (l.pair >= 0) drop(l.pair);
        for (int p : l.ends)
            if (p >= 0) unsettled_.push_back(p);
        for (int p : l.through) unsettled_.push_back(p);
    }

    // A centre or crimp point keeps its lines only as a set that can fold:
    // not one crease alone, nor two at an angle or of opposite folds. On the
    // rim of the paper or of a placed face creases may end as they come.
    // Dropping lines changes what the neighbours have, until nothing
    // changes; a crimp point whose valley goes is left a bend, and loses its
    // pair. The points to judge are those whose lines changed.
    void settle() {
        while (!unsettled_.empty()) {
            const int p = unsettled_.back();
            unsettled_.pop_back();
            const FoldPoint& point = points_[p];
            if (!point.judged || canFold(p) || onRim(*point.node->point)) continue;
            for (int id : point.ending) drop(id);
        }
    }

    struct Crease {
        double angle;  // a measure that grows with the direction's angle
        Vec2 along;
        bool mountain;
    };

    bool canFold(int p) {
        const FoldPoint& point = points_[p];
        const Vec2& at = *point.node->point;
        std::vector<Crease>& creases = creases_;
        creases.clear();
        bool ending = false;
        auto take = [&](const Vec2& to, char kind) {
            const Vec2 along = to - at;
            const double size = std::fabs(along.x) + std::fabs(along.y);
            if (!(distance(Vec2(), along) >= tolerance)) return;
            // From -2 to 2 round the turn, as atan2 runs from -pi to pi.
            const double angle = along.y < 0.0 ? along.x / size - 1.0 : 1.0 - along.x / size;
            creases.push_back(Crease{angle, along, foldsMountain(kind)});
        };
        for (int id : point.ending) {
            const Line& l = lines_[id];
            if (!l.kept) continue;
            ending = true;
            take(*(l.ends[0] == p ? l.end : l.start)->point, l.kind);
        }
        if (!ending) return true;
        for (int id : point.through) {
            const Line& l = lines_[id];
            if (!l.kept) continue;
            take(*l.start->point, l.kind);
            take(*l.end->point, l.kind);
        }
        std::sort(creases.begin(), creases.end(),
                  [](const Crease& x, const Crease& y) { return x.angle < y.angle; });
        // Two creases whose far ends lie within the tolerance of one line
        // through the point, on one side of it or on opposite sides.
        auto inLine = [&](const Vec2& u, const Vec2& v, double side) {
            return side * sheet::dot(u, v) > 0.0 &&
                   std::fabs(sheet::cross(u, v)) <=
                       tolerance * std::max(distance(Vec2(), u), distance(Vec2(), v));
        };
        std::vector<const Crease*>& directions = directions_;
        directions.clear();
        for (const Crease& c : creases)
            if (directions.empty() || !inLine(directions.back()->along, c.along, 1.0))
                directions.push_back(&c);
        if (directions.size() > 1 && inLine(directions.front()->along, directions.back()->along, 1.0))
            directions.pop_back();
        if (directions.size() != 2) return directions.size() > 2;
        bool oneFold = true;
        for (const Crease& c : creases) oneFold = oneFold && c.mountain == creases.front().mountain;
        return oneFold && inLine(directions[0]->along, directions[1]->along, -1.0);
    }

    // No line along one of the opposite fold gathered before it stays,
    // whether or not the two share an end: no stretch of paper can be folded
    // both ways. This happens where tucks have almost no width and their
    // molecules and crimps shrink onto their neighbours' creases, and where a
    // molecule folded over onto its neighbours lays a short crease along a
    // long one. A crimp pair is judged as one.
    void dropAlongTheOppositeFold() {
        sheet::CellGrid grid[2] = {sheet::CellGrid(layout_, lineCells()),
                                   sheet::CellGrid(layout_, lineCells())};
        std::vector<int> made[2];
        auto along = [&](const Line& l) {
            const bool mountain = foldsMountain(l.kind);
            const sheet::Segment box = sheet::boxAround(segment(l), tolerance);
            bool found = false;
            grid[!mountain].near(box, [&](size_t id) {
                const sheet::Segment other = segment(lines_[made[!mountain][id]]);
                if (!found && overlap(box, sheet::boxAround(other, 0.0)) &&
                    sharedStretch(segment(l), other, tolerance) > tolerance)
                    found = true;
            });
            return found;
        };
        auto keep = [&](int id) {
            const bool mountain = foldsMountain(lines_[id].kind);
            grid[mountain].insert(sheet::boxAround(segment(lines_[id]), 0.0));
            made[mountain].push_back(id);
        };
        for (int id = 0; id < (int)lines_.size(); ++id) {
            const Line& l = lines_[id];
            if (!l.kept || (l.pair >= 0 && l.pair < id)) continue;
            if (along(l) || (l.pair >= 0 && along(lines_[l.pair]))) {
                drop(id);
                continue;
            }
            keep(id);
            if (l.pair >= 0) keep(l.pair);
        }
    }

    std::vector<PlacedFace> faces_;
    const sheet::Segment layout_;  // the box of the placed faces
    sheet::CellGrid faceGrid_;
    const std::vector<sheet::Segment> rims_;
    sheet::CellGrid rimGrid_;
    std::vector<Line> lines_;
    std::vector<FoldPoint> points_;
    std::vector<sheet::Segment> valleysNotMade_;
    std::unordered_map<const PatternNode*, int> pointOf_;
    std::vector<int> unsettled_;
    std::vector<Crease> creases_;
    std::vector<const Crease*> directions_;
};

// The molecule triangle that the valley across side d of a molecule
// triangle runs to: the triangle beyond d, or beyond the edge molecule
// across d.
const PatternFace* valleyNeighbour(const PatternHalfEdge* d) {
    const PatternHalfEdge* U = d->pair;
    const PatternFace* F = U ? U->face : nullptr;
    if (F && F->kind == EdgeMolecule) {
        const PatternHalfEdge* opposite = U->next ? U->next->next : nullptr;
        F = opposite && opposite->pair ? opposite->pair->face : nullptr;
    }
    return F && F->kind == VertexMolecule ? F : nullptr;
}

// A centre on the paper edge itself needs no valley out to it, and a valley
// that cannot be made needs no midpoint.
void makeBoundaryValley(LineMaker& maker, PatternNode* from, PatternHalfEdge* U) {
    CreasePattern& cp = maker.cp;
    if (!U->vert || !U->pair->vert) return;
    if (!maker.sound(*from->point, 0.5 * (U->vert->pos + U->pair->vert->pos))) return;
    cp.midpoints.push_front(BoundaryMidpoint());
    BoundaryMidpoint* m = &cp.midpoints.front();
    m->owner = &cp;
    m->halfEdge = U;
    m->pos = 0.5 * (U->vert->pos + U->pair->vert->pos);
    m->node = makeNode(cp, &m->pos);
    maker.addBoundaryValley(from, cp.midpoints.begin(), cp.nodes.begin());
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
// the paper's edge: they reach as far as their longest side, but no farther
// than a share of the model's size (`scale`), and no less than their
// shortest side. The small triangles that a split puts at a tuck's end, their
// centres just past the outline, keep their valleys.
const double kSplitReach = 0.25;

double reachOffThePattern(const PatternFace& f, double scale) {
    double shortest = INFINITY, longest = 0.0;
    for (const sheet::Segment& s : sidesOf(f)) {
        shortest = std::min(shortest, distance(s.a, s.b));
        longest = std::max(longest, distance(s.a, s.b));
    }
    return hasSplitCorner(f) ? std::max(shortest, std::min(longest, kSplitReach * scale)) : longest;
}

// A valley for every pair of neighbouring molecule triangles, made when the
// second of the two is visited, and one out to every paper-boundary side.
void makeValleys(LineMaker& maker) {
    CreasePattern& cp = maker.cp;
    std::unordered_set<const PatternFace*> visited;
    for (PatternFace& G : cp.faces) {
        if (G.kind != VertexMolecule || G.node || !G.edge || !G.edge->vert) continue;
        visited.insert(&G);
        const bool onThePaper =
            nearPattern(maker.outline, G.centre, G.edge->vert->pos, reachOffThePattern(G, maker.scale));
        if (onThePaper) {
            G.node = makeNode(cp, &G.centre);
            maker.addCentre(G.node);
        }
        int sides = countSides(&G);
        PatternHalfEdge* d = G.edge;
        for (int i = 0; i < sides && d; ++i, d = d->next) {
            PatternHalfEdge* U = d->pair;
            if (!U) continue;
            const PatternFace* F = U->face ? valleyNeighbour(d) : nullptr;
            if (onThePaper && !U->face) {
                makeBoundaryValley(maker, G.node, U);
            } else if (F && F->node && G.node) {
                maker.addValley(G.node, F->node);
            } else if (F && visited.count(F)) {
                maker.addValleyNotMade(G.centre, F->centre);
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
                maker.addMountain(t.node, e->face->node);
            e = e->prev ? e->prev->pair : nullptr;
            if (e == t.vtmEdge) break;
        }
    }
}

// A crimp on the inner side of every VTM edge that is not on the paper
// boundary and has a length. A base angle near a right angle sends a crimp
// point tens of edge lengths away, off the pattern altogether; such a point
// gets no lines, since creases beyond the paper's edge fold no part of the
// surface. Near a corner of the outline a crimp may reach a little past it,
// no farther than its VTM edge is long, and keeps its lines. On the pattern
// a point sent that far, or one mirrored into a face by a VTM edge that runs
// against its tuck, has creases through faces, which the pair's own check
// refuses.
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
            maker.addCrimpPair(t.node, U->node, c->node1, CrimpMountain);
        if (nearPattern(maker.outline, c->point2, t.pos, span))
            maker.addCrimpPair(t.node, U->node, c->node2, CrimpValley);
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
    maker.make();
}
