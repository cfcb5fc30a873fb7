#ifndef PLICATROPE_CREASEPATTERN_SHEET_GEOMETRY_H
#define PLICATROPE_CREASEPATTERN_SHEET_GEOMETRY_H

#include <algorithm>
#include <cmath>

#include "model/oripoly.h"

// Small plane geometry shared by the crease-pattern steps.
namespace sheet {

inline double dot(const Vec2& a, const Vec2& b) { return a.x * b.x + a.y * b.y; }
inline double cross(const Vec2& a, const Vec2& b) { return a.x * b.y - a.y * b.x; }
// The signed angle turning x into y, in (-pi, pi].
inline double angleFromTo(const Vec2& x, const Vec2& y) { return std::atan2(cross(x, y), dot(x, y)); }
inline Vec2 quarterTurn(const Vec2& w) { return Vec2(-w.y, w.x); }
// Where X's head lies on the sheet in X's face.
inline Vec2 sheetPosition(const HalfEdge* X) { return X->face->translation + X->corner; }

// A straight stretch of crease or outline on the sheet.
struct Segment {
    Vec2 a, b;
};

inline double distanceToSegment(const Vec2& p, const Segment& s) {
    Vec2 d = s.b - s.a, v = p - s.a;
    double len2 = dot(d, d);
    double t = len2 > 0.0 ? std::clamp(dot(v, d) / len2, 0.0, 1.0) : 0.0;
    Vec2 off = v - t * d;
    return std::hypot(off.x, off.y);
}

// Sides next to an edge molecule or the paper edge count with their ideal
// direction rather than their actual one.
inline bool takesIdealDirection(const PatternHalfEdge* s) {
    const PatternFace* across = s->pair ? s->pair->face : nullptr;
    return !across || across->kind == EdgeMolecule;
}

}  // namespace sheet

#endif
