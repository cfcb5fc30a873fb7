#include "model/oripoly.h"

void Polyhedron::prepare() {}
void Polyhedron::cutOpen() {}
void Polyhedron::addBoundaryDigons() {}
HalfEdge* Polyhedron::splitIntoDigon(HalfEdge*) { return nullptr; }
void Polyhedron::removeDigon(HalfEdge*) {}
