#include <GL/gl.h>
#include <GL/glu.h>

#include <list>
#include <vector>

#include "app/plicatrope_app.h"
#include "model/oripoly.h"
#include "views/orp_gl_canvas.h"

// Picking by OpenGL selection: the view is drawn once more through a small
// region around the point, and the hit records named (kind, index) are
// searched for the kind asked for.

namespace {

const GLsizei kSelectWords = 1024;
const double kPickRegion = 8.0;

struct Hit {
    GLuint zmin;
    GLuint index;
};

// The records whose names are exactly (kind, index), in drawing order.
std::vector<Hit> hitsOfKind(const GLuint* buffer, GLint records, GLuint kind) {
    std::vector<Hit> hits;
    GLsizei at = 0;
    for (GLint i = 0; i < records && at + 3 <= kSelectWords; ++i) {
        GLuint names = buffer[at];
        if (names > (GLuint)(kSelectWords - at - 3)) break;
        if (names == 2 && buffer[at + 3] == kind) hits.push_back(Hit{buffer[at + 1], buffer[at + 4]});
        at += 3 + names;
    }
    return hits;
}

template <class T>
T* withIndex(std::list<T>& elements, GLuint index) {
    for (T& e : elements)
        if ((GLuint)e.index == index) return &e;
    return nullptr;
}

// Either half of the edge: the first in list order.
HalfEdge* withEdgeIndex(std::list<HalfEdge>& halfEdges, GLuint index) {
    for (HalfEdge& h : halfEdges)
        if ((GLuint)h.edgeIndex == index) return &h;
    return nullptr;
}

// The nearest hit, the earliest among equal depths; or, when every hit lies
// at one depth in the sheet, the last one drawn. A stale index is skipped.
template <class T, class Find>
void appendChosen(std::list<T*>& picked, const std::vector<Hit>& hits, bool lastWins, Find find) {
    T* chosen = nullptr;
    GLuint best = 4294967295u;
    for (const Hit& hit : hits) {
        T* element = find(hit.index);
        if (!element) continue;
        if (lastWins) {
            chosen = element;
        } else if (hit.zmin < best) {
            best = hit.zmin;
            chosen = element;
        }
    }
    if (chosen) picked.push_back(chosen);
}

}  // namespace

void orpGLCanvas::pick(Vec2 point, Polyhedron* model, int kind) {
    PlicatropeApp& doc = *app;
    if (kind == pickVertex) doc.pickedVertices.clear();
    if (kind == pickEdge) doc.pickedEdges.clear();
    if (kind == pickFace) doc.pickedFaces.clear();
    if (kind == pickEtm) doc.pickedEtmEdges.clear();
    // A view that is not on the screen has no context to draw in.
    if (!model || !IsShownOnScreen() || !SetCurrent(*context)) return;

    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    GLuint buffer[kSelectWords];
    glSelectBuffer(kSelectWords, buffer);
    glRenderMode(GL_SELECT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPickMatrix(point.x, vp[3] - point.y, kPickRegion, kPickRegion, vp);
    if (doc.loaded) {
        ViewKind view = viewKind();
        if (view == ModelView)
            drawModelView(doc.workingModel);
        else if (view == PatternView && doc.developed)
            drawPatternView(doc.workingModel);
    }
    GLint records = glRenderMode(GL_RENDER);
    if (records <= 0) return;  // nothing, or more hits than the buffer holds

    std::vector<Hit> hits = hitsOfKind(buffer, records, (GLuint)kind);
    if (kind == pickVertex)
        appendChosen(doc.pickedVertices, hits, false,
                     [&](GLuint i) { return withIndex(model->vertices, i); });
    if (kind == pickEdge)
        appendChosen(doc.pickedEdges, hits, false,
                     [&](GLuint i) { return withEdgeIndex(model->halfEdges, i); });
    if (kind == pickFace)
        appendChosen(doc.pickedFaces, hits, false, [&](GLuint i) { return withIndex(model->faces, i); });
    if (kind == pickEtm)
        appendChosen(doc.pickedEtmEdges, hits, true,
                     [&](GLuint i) { return withEdgeIndex(model->halfEdges, i); });
}
