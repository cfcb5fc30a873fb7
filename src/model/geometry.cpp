#include "model/oripoly.h"

void Polyhedron::triangulateFaces() {}
void Face::triangulate() {}
void HalfEdge::computeAngles() {}
void Vertex::computeDefects() {}
void Face::computeNormal() {}
void HalfEdge::layoutFace(Vec2) {}
void Polyhedron::updateGeometry() {}
Vec3 Polyhedron::bboxSize() const { return bboxMax - bboxMin; }
void Polyhedron::boundsAt(double, Vec2& maxCorner, Vec2& minCorner) const {
    maxCorner = Vec2(0.5, 0.5);
    minCorner = Vec2(-0.5, -0.5);
}
Vec2 Polyhedron::extentAt(double) const { return Vec2(1, 1); }
void Polyhedron::computeArea() {}
double Polyhedron::efficiencyAt(double) { return 0; }
