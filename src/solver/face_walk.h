#ifndef PLICATROPE_SOLVER_FACE_WALK_H
#define PLICATROPE_SOLVER_FACE_WALK_H

#include <climits>
#include <deque>
#include <unordered_map>
#include <vector>

#include "model/oripoly.h"

// The depth-first traversals that lay faces out from one face: a face is
// entered with a depth, and from each half-edge n of its cycle, taken in
// cycle order from the half-edge it was entered by, the face across n is
// entered with depth + 1 whenever that is less than the depth it has (or it
// has none), with everything reached from it. Entered again and again, a
// face keeps what its last entry wrote.
//
// That last entry is its first one at its shortest-path depth: no entry
// comes below that depth, and none can follow at it, since only a greater
// depth is replaced. An entry at a greater depth only leads to further ones
// at greater depths, and leaves a depth that a shortest path still replaces.
// So the entries that stand are those of a depth-first walk over the
// shortest-path edges alone (from a face to a neighbour one step deeper), in
// cycle order, entering each face once: every face is entered once and every
// half-edge looked at once or twice.
//
// A face that already has a depth at or below its shortest-path depth when
// the walk starts is never entered and leads nowhere; the breadth-first
// depths below leave it out as a wall.
//
// Walk provides:
//   typedef ... State;                            what an entry passes on
//   HalfEdge* across(HalfEdge* n);                the half-edge of the face that
//                                                 n leads into, or null
//   void enter(HalfEdge* e, int depth, State& s); enters e's face (and may
//                                                 adjust what it passes on)
//   State toward(HalfEdge* n, const State& at);   the state of the face across n
//   void pass(HalfEdge* n, State& at);            moves on past n
template <class Walk>
void walkShortestPaths(HalfEdge* root, int rootDepth, typename Walk::State rootState, Walk& walk) {
    typedef typename Walk::State State;
    if (!root || !root->face) return;

    // Breadth-first depths of the faces that will be entered; a wall has a
    // depth that no step reaches.
    struct Slot {
        int depth;
        bool entered;
    };
    const int wall = INT_MIN;
    std::unordered_map<const Face*, Slot> slots;
    std::deque<Face*> queue;
    slots[root->face] = Slot{rootDepth, false};
    queue.push_back(root->face);
    while (!queue.empty()) {
        Face* f = queue.front();
        queue.pop_front();
        const int d = slots[f].depth + 1;
        HalfEdge* n = f->edge;
        do {
            HalfEdge* q = n ? walk.across(n) : nullptr;
            if (q && slots.find(q->face) == slots.end()) {
                bool blocked = q->face->depth >= 0 && q->face->depth <= d;
                slots[q->face] = Slot{blocked ? wall : d, false};
                if (!blocked) queue.push_back(q->face);
            }
            n = n ? n->next : nullptr;
        } while (n && n != f->edge);
    }

    // Depth-first on an explicit stack: a long strip of faces would
    // otherwise nest one call per face.
    struct Frame {
        HalfEdge* start;
        HalfEdge* n;
        State at;
        int depth;
    };
    std::vector<Frame> stack;
    auto enter = [&](HalfEdge* e, int depth, State s) {
        slots[e->face].entered = true;
        walk.enter(e, depth, s);
        stack.push_back(Frame{e, e, s, depth});
    };
    enter(root, rootDepth, rootState);
    while (!stack.empty()) {
        Frame& f = stack.back();
        HalfEdge* n = f.n;
        const int depth = f.depth;
        HalfEdge* q = walk.across(n);
        const Slot* slot = q ? &slots[q->face] : nullptr;
        bool deeper = slot && slot->depth == depth + 1 && !slot->entered;
        State next = deeper ? walk.toward(n, f.at) : State();
        walk.pass(n, f.at);
        f.n = n->next;
        if (!f.n || f.n == f.start) stack.pop_back();  // invalidates f
        if (deeper) enter(q, depth + 1, next);
    }
}

#endif
