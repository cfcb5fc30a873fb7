#include <list>
#include <new>

#include "model/oripoly.h"
#include "solver/saved_layout.h"

// Re-solving after a change of topology, from the layout the user has been
// shaping rather than from scratch.
bool LayoutSolver::rebuild() {
    if (!model) return false;
    if (allocate()) {
        solveAngles();
        measureAnglesFromDirections();
        propagateDirections();
        buildTranslationSystem();
        solveTranslations();
        solveWidths();
        if (!factorRefused) {
            measureWidths();
            penaltyStep(1.0, 0.0, 0.0);
            layoutFaces();
            centreLayout();
            rememberFiniteLayout();
            return true;
        }
    }
    dropSolution();
    return false;
}

// The refusal has been said in one line; the storage of the old numbering
// goes, and nothing sized for it may be read as a solution any more.
void LayoutSolver::dropSolution() {
    release();
    widthsReady = false;
    translationsReady = false;
    translationSystemReady = false;
}

namespace {

// The edits of one change of topology, kept so that they can be taken back
// with the very records they touched: the crease pattern and the views hold
// pointers into the model.
class EditLog {
public:
    explicit EditLog(Polyhedron& model) : model_(model) {}

    // Each edit is logged before it is made, so that memory running out
    // cannot leave a change out of the undo; a split that memory could not
    // be had for has changed nothing (and is not logged).
    HalfEdge* split(HalfEdge* h) {
        edits_.emplace_back(h);
        HalfEdge* made = nullptr;
        try {
            made = model_.splitIntoDigon(h);
        } catch (const std::bad_alloc&) {
            edits_.pop_back();
            throw;
        }
        if (!made) edits_.pop_back();
        return made;
    }

    void join(HalfEdge* h) {
        edits_.emplace_back(nullptr);
        if (!model_.takeDigonOut(h, edits_.back().removed)) edits_.pop_back();
    }

    // Newest first, so that each edit is taken back from the model it made.
    void undo() {
        for (auto e = edits_.rbegin(); e != edits_.rend(); ++e) {
            if (e->splitAt)
                model_.undoSplit(e->splitAt);
            else
                model_.putDigonBack(e->removed);
        }
        edits_.clear();
    }

private:
    struct Edit {
        explicit Edit(HalfEdge* h) : splitAt(h) {}
        HalfEdge* splitAt;     // a split made at this half-edge, or else
        RemovedDigon removed;  // a join, with the records it set aside
    };
    Polyhedron& model_;
    std::list<Edit> edits_;
};

// Every change of topology is one transaction: the edit, then the model
// numbered, the solver rebuilt and the pattern, whose records point into the
// old topology, dropped. A rebuild refused for its size has said why; the
// edit is then taken back and the layout put back, so that the model, its
// solver and its pattern (and so the saved file) are exactly as before.
// `edit` returns false when it changed nothing that needs the finish.
template <class Edit>
void changeTopology(Polyhedron& model, Edit edit) {
    const char* const outcome = "the model stays as it was";
    try {
        const SavedLayout saved(model);
        EditLog log(model);
        bool rebuilt = false;
        try {
            if (!edit(log)) return;
            model.clearVisited();
            model.numberElements();
            rebuilt = model.solver.rebuild();
        } catch (const std::bad_alloc&) {
            LayoutSolver::sayOutOfMemory("change the tucks", model.numVertices, model.numEdges,
                                         model.numFaces, outcome);
        }
        if (rebuilt) {
            model.creasePattern.clear();
            return;
        }
        model.solver.dropSolution();
        log.undo();
        model.clearVisited();
        saved.reinstate(model);
    } catch (const std::bad_alloc&) {
        // Only the copy of the layout was had for: nothing was changed.
        LayoutSolver::sayOutOfMemory("change the tucks", model.numVertices, model.numEdges, model.numFaces,
                                     outcome);
    }
}

// Splits every edge one of whose halves is wider than its limit. The limits
// are read from the solution before the first split: the solver is not
// updated during the pass, and the halves that a split adds are copies of a
// marked half-edge, so the pass skips them.
void splitBeyondWidthLimit(Polyhedron& model, EditLog& log) {
    const LayoutSolver& solver = model.solver;
    model.clearVisited();
    for (HalfEdge& r : model.halfEdges) {
        if (r.visited || !r.pair) continue;
        r.visited = true;
        r.pair->visited = true;
        if (!solver.withinWidthLimit(&r) || !solver.withinWidthLimit(r.pair)) log.split(&r);
    }
}

bool activeCorner(const PatternVertex* corner) {
    return corner && corner->vtmEdge && corner->vtmEdge->active;
}

// Splits every edge at whose corners the built crease pattern found the
// angle condition violated.
void splitAtActiveCorners(Polyhedron& model, EditLog& log) {
    const CreasePattern& cp = model.creasePattern;
    if (!cp.built || cp.model != &model) return;
    model.clearVisited();
    for (HalfEdge& r : model.halfEdges) {
        if (r.visited || !r.pair) continue;
        r.visited = true;
        r.pair->visited = true;
        if (!r.patternVertex || !r.pair->patternVertex) continue;
        if (activeCorner(r.patternVertex) || activeCorner(r.pair->patternVertex)) log.split(&r);
    }
}

}  // namespace

void Polyhedron::splitWideTucks() {
    // Without a solution (storage that could not be had) no width can be judged.
    if (!solver.allocated) return;
    changeTopology(*this, [this](EditLog& log) {
        splitBeyondWidthLimit(*this, log);
        return true;
    });
}

void Polyhedron::splitWideTucksWithAngleCondition() {
    if (!solver.allocated) return;
    changeTopology(*this, [this](EditLog& log) {
        splitBeyondWidthLimit(*this, log);
        splitAtActiveCorners(*this, log);
        return true;
    });
}

void Polyhedron::mergeSplitEdge(HalfEdge* h) {
    changeTopology(*this, [h](EditLog& log) {
        log.join(h);
        return true;
    });
}

void Polyhedron::splitEtmEdge(HalfEdge* h) {
    changeTopology(*this, [h](EditLog& log) { return log.split(h) != nullptr; });
}
