#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "app/plicatrope_app.h"
#include "model/oripoly.h"
#include "views/cycle_walk.h"
#include "views/orp_gl_canvas.h"

// The 3D view: faces shaded by the bend at their corners, edges with the cut
// in red, vertices, and the tucks of a developed model.

namespace {

const GLuint kEmptyName = 4294967295u;
const double kEdgeShift = -0.002;
const double kVertexShift = -0.004;

// Every block starts from the projection that the caller prepared (the
// identity when drawing, the pick matrix when picking), with its own depth
// shift put in front of the camera.
template <class Draw>
void drawBlock(orpGLCanvas* canvas, double dz, Draw draw) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    if (dz != 0.0) glTranslated(0.0, 0.0, dz);
    canvas->setupCamera();
    draw();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
}

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Colour {
    double r, g, b;
};

// A flat corner (bend sum 2 pi) is bright; the side towards which the
// surface bends darkens. The light adds a little on the side facing it.
Colour cornerColour(const Face& f, const Vertex& v, const Vec3& light, bool front) {
    double turns = v.bendDefect / (2.0 * M_PI);
    double nl = dot(f.normal, light);
    double t = front ? std::min(turns, 1.0) : std::min(2.0 - turns, 1.0);
    double s = front ? (1.0 + nl) / 2.0 : (1.0 - nl) / 2.0;
    Colour c = {0.4 + 0.4 * t + 0.15 * s, 0.4 + 0.4 * t + 0.15 * s, 0.45 + 0.4 * t + 0.1 * s};
    if (f.moving) return Colour{1.0, 0.0, 0.2};
    if (f.highlighted) c.r = 1.0;
    return c;
}

void emitCorner(const Face& f, const HalfEdge* h, const Vec3& light, bool front) {
    if (!h->vert) return;
    Colour c = cornerColour(f, *h->vert, light, front);
    glColor3d(c.r, c.g, c.b);
    glVertex3d(h->vert->pos.x, h->vert->pos.y, h->vert->pos.z);
}

void vertexAt(const Vec3& p) { glVertex3d(p.x, p.y, p.z); }

}  // namespace

void orpGLCanvas::drawModelView(Polyhedron* model) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    if (app->loaded && model) {
        model->checkTopology();

        glInitNames();
        glPushName(pickFace);
        if (app->showFacets) {
            glPushName(kEmptyName);
            drawBlock(this, 0.0, [&] { drawFaces(model); });
            glPopName();
        }
        if (app->showEdges) {
            glLoadName(pickEdge);
            glPushName(kEmptyName);
            drawBlock(this, kEdgeShift, [&] { drawEdges(model); });
            glPopName();

            glLoadName(pickVertex);
            glPushName(kEmptyName);
            drawBlock(this, kVertexShift, [&] { drawVertices(model); });
            glPopName();
        }
        if (app->developed && app->showRealTuck) {
            drawBlock(this, kEdgeShift, [&] {
                glEnable(GL_BLEND);
                glBlendFunc(GL_ZERO, GL_SRC_COLOR);
                glLineWidth(2.0f);
                drawTuckWidths(model);
            });
            drawBlock(this, 0.0, [&] {
                glEnable(GL_CULL_FACE);
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                glEnable(GL_DEPTH_TEST);
                drawRealTucks(model);
                drawRealTuckOutlines(model);
                glDisable(GL_BLEND);
                glDisable(GL_CULL_FACE);
            });
        }
        if (app->showTuckProxy) {
            drawBlock(this, 0.0, [&] {
                glDepthMask(GL_FALSE);
                glEnable(GL_CULL_FACE);
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                // Faintly through the surface first, then stronger where
                // nothing hides the flaps.
                glDisable(GL_DEPTH_TEST);
                glColor4d(0.0, 0.5, 0.2, 0.02);
                drawTuckProxyFans(model);
                glColor4d(0.0, 1.0, 0.4, 0.02);
                drawTuckProxyOutlines(model);
                glEnable(GL_DEPTH_TEST);
                glColor4d(0.0, 0.5, 0.2, 0.1);
                drawTuckProxyFans(model);
                glColor4d(0.0, 1.0, 0.4, 0.2);
                drawTuckProxyOutlines(model);
                glDisable(GL_BLEND);
                glDisable(GL_CULL_FACE);
                glDepthMask(GL_TRUE);
            });
        }
        glPopName();
    }
    glDisable(GL_DEPTH_TEST);
}

void orpGLCanvas::drawFaces(Polyhedron* model) {
    const std::size_t limit = model->halfEdges.size();
    glEnable(GL_CULL_FACE);
    for (Face& f : model->faces) {
        glLoadName((GLuint)f.index);
        glBegin(GL_POLYGON);
        walkCycle(f.edge, limit, nextOf, [&](HalfEdge* h) { emitCorner(f, h, lightDir, true); });
        glEnd();
        glBegin(GL_POLYGON);
        walkCycle(f.edge, limit, prevOf, [&](HalfEdge* h) { emitCorner(f, h, lightDir, false); });
        glEnd();
    }
    glDisable(GL_CULL_FACE);
}

void orpGLCanvas::drawEdges(Polyhedron* model) {
    for (HalfEdge& h : model->halfEdges) {
        if (!h.vert || !h.prev || !h.prev->vert) continue;
        glLoadName((GLuint)h.edgeIndex);
        bool highlighted = h.highlighted || (h.pair && h.pair->highlighted);
        bool onCut = h.onCut || (h.pair && h.pair->onCut);
        if (highlighted) {
            glLineWidth(4.0f);
            glColor3d(1.0, 0.5, 0.5);
        } else if (onCut) {
            glLineWidth(4.0f);
            glColor3d(1.0, 0.0, 0.0);
        } else {
            glLineWidth(1.0f);
            glColor3d(0.5, 0.0, 0.0);
        }
        glBegin(GL_LINES);
        vertexAt(h.prev->vert->pos);
        vertexAt(h.vert->pos);
        glEnd();
        glLineWidth(1.0f);
    }

    // Two-sided faces cover nothing; on the boundary they show as their
    // outline, which counts towards the last edge's name.
    const std::size_t limit = model->halfEdges.size();
    glColor3d(1.0, 0.0, 0.0);
    glLineWidth(1.0f);
    for (Face& f : model->faces) {
        if (!f.boundaryDigon) continue;
        glBegin(GL_LINE_LOOP);
        walkCycle(f.edge, limit, nextOf, [](HalfEdge* h) {
            if (h->vert) vertexAt(h->vert->pos);
        });
        glEnd();
    }
}

void orpGLCanvas::drawVertices(Polyhedron* model) {
    glColor3d(0.0, 0.0, 0.0);
    for (Vertex& v : model->vertices) {
        glLoadName((GLuint)v.index);
        glPointSize(1.0f);
        glBegin(GL_POINTS);
        vertexAt(v.pos);
        glEnd();
    }
    glPointSize(1.0f);
}
