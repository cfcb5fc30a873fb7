#ifndef PLICATROPE_SOLVER_SAVED_LAYOUT_H
#define PLICATROPE_SOLVER_SAVED_LAYOUT_H

#include <vector>

#include "model/vec.h"
#include "solver/layout_solver.h"

class Polyhedron;

// A developed model's layout beyond its topology: the placement, the edge
// angles, every half-edge's corner and direction, and how the solver stood.
// The half-edges and faces are taken in list order, so the layout can only
// be put back on the topology it was taken from.
struct SavedLayout {
    bool allocated;
    SavedPlacement placement;
    std::vector<double> angles;
    std::vector<Vec2> corners, directions;
    bool translationsReady;
    bool halted;
    SavedPlacement finiteLayout;

    explicit SavedLayout(const Polyhedron& model);

    // Onto the solver's current storage, which still holds the angle system
    // of this topology (Develop again that is not kept). The width and
    // translation systems are built again from the restored angles and
    // corners, as the last Develop built them.
    void restore(Polyhedron& model) const;

    // Onto storage sized again for this topology, with no line of a new
    // allocation, after a rebuild refused for its size had dropped it: the
    // angle system is solved again, then the rest goes back as restore()
    // puts it, and the solver stands as it stood. False, with the solution
    // dropped, when that memory can no longer be had.
    bool reinstate(Polyhedron& model) const;
};

#endif
