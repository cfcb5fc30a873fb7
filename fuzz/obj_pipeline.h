#ifndef PLICATROPE_FUZZ_OBJ_PIPELINE_H
#define PLICATROPE_FUZZ_OBJ_PIPELINE_H

#include <cmath>
#include <string>

#include "creasepattern/dxf_export.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"

// The way a file takes through the program without a mouse: Open, Develop,
// the idle loop, the crease-pattern timer with crease lines on, Save As and
// Develop again, in the order a user meets them. Shared by the fuzzer and
// the regression tests of the inputs it found, so both run the same steps.

struct PipelineRun {
    bool loaded = false;
    bool developed = false;
    int exported = -1;  // 0 when both drawings were written
    // Every placed corner and pattern vertex was a finite point whenever it
    // was looked at; the writer leaves other points out of the drawing.
    bool finite = true;
    // The model's links agreed after loading and after Develop.
    bool sound = true;
};

// The links of a half-edge structure agree with each other: what the
// topology check looks for and more, since a broken link need not crash.
inline bool linksAreSound(const Polyhedron& model) {
    for (const HalfEdge& h : model.halfEdges) {
        if (!h.pair || !h.next || !h.prev || !h.vert || !h.pair->vert) return false;
        if (h.pair->pair != &h || h.next->prev != &h || h.prev->next != &h) return false;
        if (h.next->face != h.face || h.prev->vert != h.pair->vert) return false;
    }
    for (const Face& f : model.faces)
        if (!f.edge || f.edge->face != &f) return false;
    for (const Vertex& v : model.vertices)
        for (const HalfEdge* h : v.edge)
            if (h->pair->vert != &v) return false;
    return true;
}

inline bool isFinitePoint(const Vec2& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

inline bool layoutIsFinite(const Polyhedron& model) {
    for (const Face& f : model.faces) {
        if (!isFinitePoint(f.translation)) return false;
        const HalfEdge* h = f.edge;
        do {
            if (!isFinitePoint(h->corner)) return false;
            h = h->next;
        } while (h != f.edge);
    }
    for (const PatternVertex& v : model.creasePattern.vertices)
        if (!isFinitePoint(v.pos)) return false;
    for (const CreaseLine& l : model.creasePattern.lines)
        if (!isFinitePoint(*l.start->point) || !isFinitePoint(*l.end->point)) return false;
    return true;
}

// A refusal ends with a line of its own that says why: not an echo of the
// file (which starts with a tab), not a half-printed line.
inline bool endsWithReason(const std::string& console) {
    if (console.size() < 2 || console.back() != '\n') return false;
    size_t start = console.rfind('\n', console.size() - 2);
    start = start == std::string::npos ? 0 : start + 1;
    return console[start] != '\t' && console[start] != '\n';
}

inline PipelineRun runObjPipeline(const char* objPath, const char* dxfPath, int idleSteps) {
    PipelineRun run;
    Polyhedron working, backup;
    if (working.load(objPath) != 0) return run;
    run.loaded = true;
    run.sound = linksAreSound(working);
    if (!developFirst(working, backup)) return run;
    run.developed = true;
    run.sound = run.sound && linksAreSound(working) && linksAreSound(backup);

    SolverOptions options;
    options.creasePatternOn = true;
    for (int i = 0; i < idleSteps; ++i) idleStep(working, options, true);
    creasePatternTick(working, options);
    // With the pattern built, the angle condition has terms to compute.
    options.angleCondition = true;
    idleStep(working, options, false);
    creasePatternTick(working, options);
    working.creasePattern.generateCreaseLines();
    run.finite = layoutIsFinite(working);
    // The program writes the molecules only with crease lines off; a turned
    // sheet with molecules reaches the rest of the writer.
    int plain = exportDXF(working, false, 1.0, 0.0, dxfPath);
    int turned = exportDXF(working, true, 0.6, 0.8, dxfPath);
    run.exported = plain != 0 ? plain : turned;

    developAgain(working);
    idleStep(working, options, true);
    run.finite = run.finite && layoutIsFinite(working);
    run.sound = run.sound && linksAreSound(working);
    return run;
}

#endif
