#include <GL/gl.h>

#include "app/plicatrope_app.h"
#include "model/oripoly.h"
#include "views/cycle_walk.h"
#include "views/orp_gl_canvas.h"

// The sheet: paper, edge tucking molecules, vertex cells, placed polygons,
// cut lines and crease lines, each layer painted over the ones before.

namespace {

const GLuint kEmptyName = 4294967295u;
const double kDegreesToRadians = 0.017453292519943295;

void vertexAt(const Vec2& p) { glVertex3d(p.x, p.y, 0.0); }

void square(GLenum mode, double a) {
    glBegin(mode);
    glVertex3d(-a, -a, 0.0);
    glVertex3d(a, -a, 0.0);
    glVertex3d(a, a, 0.0);
    glVertex3d(-a, a, 0.0);
    glEnd();
}

// An uncut edge, drawn once: from the half whose head has the smaller index.
bool drawsMolecule(const HalfEdge& q) {
    if (q.onCut || !q.face || !q.vert || !q.prev || !q.prev->face) return false;
    const HalfEdge* p = q.pair;
    if (!p || !p->face || !p->vert || !p->prev || !p->prev->face) return false;
    return q.vert->index < p->vert->index;
}

// The next half-edge leaving the same vertex, turning around it.
HalfEdge* aroundVertex(HalfEdge* s) { return s->prev ? s->prev->pair : nullptr; }

// The copies of a vertex in the faces around it; face-less half-edges on
// the cut or the boundary add none.
void cellCorners(const Vertex& v, std::size_t limit) {
    walkCycle(v.edge.front(), limit, aroundVertex, [](HalfEdge* s) {
        if (s->face && s->prev && s->prev->face) vertexAt(sheetCorner(s->prev));
    });
}

void drawCells(const Polyhedron& model, GLenum mode) {
    for (const Vertex& v : model.vertices) {
        if (v.edge.empty()) continue;  // no cell; the topology check reports the vertex
        glBegin(mode);
        cellCorners(v, model.halfEdges.size());
        glEnd();
    }
}

void polygonCorners(const Face& f, std::size_t limit) {
    walkCycle(f.edge, limit, nextOf, [](HalfEdge* h) {
        if (h->face) vertexAt(sheetCorner(h));
    });
}

}  // namespace

void orpGLCanvas::drawPatternView(Polyhedron* model) {
    setupCamera();
    if (!app->loaded || !app->developed || !model) return;
    model->creasePattern.updatePositions();

    glInitNames();
    glPushName(kEmptyName);
    drawPaper(model);

    glLoadName(pickEtm);
    glPushName(kEmptyName);
    drawEdgeMolecules(model);
    glPopName();
    drawMoleculeCells(model);

    glLoadName(pickFace);
    glPushName(kEmptyName);
    drawPlacedPolygons(model);
    glPopName();

    glLoadName(pickEdge);
    drawCutLines(model);
    glPopName();

    if (app->creasePatternOn) drawCreaseLines(model);
}

// The smallest square, aligned with the window, that holds the layout as the
// view turns it.
void orpGLCanvas::drawPaper(Polyhedron* model) {
    Vec2 maxCorner, minCorner;
    model->boundsAt(yaw * kDegreesToRadians, maxCorner, minCorner);
    Vec2 size = maxCorner - minCorner;
    double a = (size.x > size.y ? size.x : size.y) / 2.0;
    Vec2 c = 0.5 * (maxCorner + minCorner);

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glRotated(-yaw, 0.0, 0.0, 1.0);
    glTranslated(c.x, c.y, 0.0);
    glColor3d(0.9, 0.9, 0.9);
    square(GL_POLYGON, a);
    glLineWidth(2.0f);
    glColor3d(0.0, 0.0, 0.0);
    square(GL_LINE_LOOP, a);
    glPopMatrix();
}

void orpGLCanvas::drawEdgeMolecules(Polyhedron* model) {
    const LayoutSolver& solver = model->solver;
    for (HalfEdge& q : model->halfEdges) {
        if (!drawsMolecule(q)) continue;
        // Green once the tuck is as wide as its limit at either end.
        if (solver.withinWidthLimit(&q) && solver.withinWidthLimit(q.pair))
            glColor3d(0.9, 0.9, 0.9);
        else
            glColor3d(0.4, 0.9, 0.4);
        glLoadName((GLuint)q.edgeIndex);
        glBegin(GL_POLYGON);
        vertexAt(sheetCorner(q.prev));
        vertexAt(sheetCorner(&q));
        vertexAt(sheetCorner(q.pair->prev));
        vertexAt(sheetCorner(q.pair));
        glEnd();
    }
}

void orpGLCanvas::drawMoleculeCells(Polyhedron* model) {
    glColor3d(0.8, 0.8, 0.8);
    drawCells(*model, GL_POLYGON);
    glLineWidth(1.0f);
    glColor3d(0.8, 0.7, 0.7);
    drawCells(*model, GL_LINE_LOOP);

    glLineWidth(2.0f);
    if (!app->angleCondition && !app->avoidIntersection) return;
    glColor3d(0.0, 1.0, 0.0);
    for (PatternHalfEdge& p : model->creasePattern.halfEdges) {
        if (!p.active || !p.vert || !p.prev || !p.prev->vert) continue;
        glBegin(GL_LINES);
        vertexAt(p.prev->vert->position());
        vertexAt(p.vert->position());
        glEnd();
    }
}

void orpGLCanvas::drawPlacedPolygons(Polyhedron* model) {
    const std::size_t limit = model->halfEdges.size();
    for (Face& f : model->faces) {
        glLoadName((GLuint)f.index);
        if (f.moving)
            glColor3d(1.0, 0.0, 0.2);
        else
            glColor3d(1.0, 1.0, 1.0);
        glBegin(GL_POLYGON);
        polygonCorners(f, limit);
        glEnd();
    }
    glLineWidth(1.0f);
    glColor3d(0.5, 0.0, 0.0);
    for (Face& f : model->faces) {
        glLoadName((GLuint)f.index);
        glBegin(GL_LINE_LOOP);
        polygonCorners(f, limit);
        glEnd();
    }
}

void orpGLCanvas::drawCutLines(Polyhedron* model) {
    glColor3d(1.0, 0.0, 0.0);
    glLineWidth(3.0f);
    for (HalfEdge& h : model->halfEdges) {
        if (!h.onCut || !h.face || !h.prev || !h.prev->face) continue;
        glBegin(GL_LINES);
        vertexAt(sheetCorner(&h));
        vertexAt(sheetCorner(h.prev));
        glEnd();
    }
    glLineWidth(1.0f);
}

void orpGLCanvas::drawCreaseLines(Polyhedron* model) {
    glLineWidth(1.0f);
    model->creasePattern.updatePositions();
    const double shortest = model->creasePattern.lengthTolerance();
    // One batch for all the lines: a large pattern has tens of thousands.
    glBegin(GL_LINES);
    for (CreaseLine& line : model->creasePattern.lines) {
        if (!line.start || !line.end || !line.start->point || !line.end->point) continue;
        // A line that has shrunk to nothing since the timer made it folds nothing.
        if (line.lengthSquared() < shortest * shortest) continue;
        if (line.kind == Mountain || line.kind == CrimpMountain)
            glColor3d(0.6, 0.0, 0.0);
        else
            glColor3d(0.0, 0.0, 0.3);
        vertexAt(*line.start->point);
        vertexAt(*line.end->point);
    }
    glEnd();
}
