#include "model/oripoly.h"

void Polyhedron::clearCutFlags() {}
void Polyhedron::markCut() {}
void Polyhedron::computeCutDistances() {}
void Polyhedron::floodFromFace(Face*) {}
bool Polyhedron::moveCutAcrossFace(Face*) { return false; }
void Polyhedron::deleteCutBranch(HalfEdge*) {}
void Polyhedron::addCutPath(HalfEdge*) {}
int Polyhedron::branchLength(PerimeterPos, PerimeterPos) { return 0; }
bool Polyhedron::removeBranch(PerimeterPos, PerimeterPos) { return false; }
