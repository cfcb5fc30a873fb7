#ifndef PLICATROPE_SOLVER_LAYOUT_TERMS_H
#define PLICATROPE_SOLVER_LAYOUT_TERMS_H

#include <vector>

#include "model/oripoly.h"

// Where the copies of a vertex lie on the sheet, and the translation storage
// that the translation system and the re-develop correction share.

// The copy of h's tail in h's face, and of h's head.
inline Vec2 tailOnSheet(const HalfEdge* h) { return h->face->translation + h->prev->corner; }
inline Vec2 headOnSheet(const HalfEdge* h) { return h->face->translation + h->corner; }

inline double dot2(const Vec2& a, const Vec2& b) { return a.x * b.x + a.y * b.y; }
inline double cross2(const Vec2& a, const Vec2& b) { return a.x * b.y - a.y * b.x; }

// n(h): h's bisector direction turned a quarter turn counter-clockwise, the
// direction across which the two copies of h's edge lie apart.
inline Vec2 normalOf(const LayoutSolver& solver, const HalfEdge* h) {
    Vec2 u = solver.bisectorDirection(h);
    return Vec2(-u.y, u.x);
}

// The faced half-edge that arrives at h's tail along the neighbouring cut or
// boundary edge: for a faced h on the cut, the other copy of h's tail is its
// head. Null where the boundary is not linked up or has no face there.
inline HalfEdge* nextAlongCut(const HalfEdge* h) {
    HalfEdge* x = h->pair && h->pair->next ? h->pair->next->pair : nullptr;
    return x && x->face ? x : nullptr;
}

// Zeroes A, b and the workspace of the translation storage.
void clearTranslationSystem(LayoutSolver& solver);

// Row e of A t = b: v . (t2 - t1) = rhs, with t1 and t2 the translations of
// the faces with index f1 and f2.
void setTranslationRow(LayoutSolver& solver, int e, Vec2 v, int f1, int f2, double rhs);

// The least change of the faces' translations that satisfies the system now
// held in the translation storage, left in faceTranslations.
void correctFaceTranslations(LayoutSolver& solver);

// An angle between two directions folded into [-pi/2, pi/2]: a line has no
// orientation, so a gap that points backwards is the same deviation.
inline double foldToQuarterTurns(double a) {
    const double halfPi = 1.5707963267948966;
    const double pi = 3.141592653589793;
    if (a > halfPi) return a - pi;
    if (a < -halfPi) return a + pi;
    return a;
}

#endif
