#include "model/oripoly.h"

void TriangleRecord::init(const Vec3&, const Vec3&) {}
Vec3 TriangleRecord::toLocal(const Vec3&) const { return Vec3(); }
double TriangleRecord::rayHit(Vec3, Vec3) const { return 0; }
void Polyhedron::computeOffsets() {}
void Polyhedron::computeVertexOffset(Vertex*) {}
void Polyhedron::limitVertexOffset(Vertex*) {}
void HalfEdge::computeTuckAngle() {}
