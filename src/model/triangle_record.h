#ifndef PLICATROPE_MODEL_TRIANGLE_RECORD_H
#define PLICATROPE_MODEL_TRIANGLE_RECORD_H

#include "model/vec.h"

// A triangle prepared for ray casting: the inverse of the matrix whose
// columns are the two edge vectors and the unit normal turns any vector
// into the triangle's own coordinates (along e1, along e2, off the plane).
struct TriangleRecord {
    Vec3 origin;
    double inverse[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};  // row-major
    bool valid = false;

    void init(const Vec3& e1, const Vec3& e2);
    Vec3 toLocal(const Vec3& p) const;
    // Signed distance along the unit direction from P to the hit, or 0 for no hit.
    double rayHit(Vec3 P, Vec3 d) const;
};

#endif
