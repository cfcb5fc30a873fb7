#include <GL/gl.h>

#include <cmath>

#include "model/oripoly.h"
#include "views/orp_gl_canvas.h"

// The tucks folded behind the surface, one flap per half-edge hanging from
// its edge into the model along the vertex offsets. Both halves of an edge
// draw the flap, with opposite winding, so culling shows each flap once.

namespace {

double positivePart(double d) { return d > 0.0 ? d : 0.0; }

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 unit(Vec3 v) { return v.normalize(); }

void vertexAt(const Vec3& p) { glVertex3d(p.x, p.y, p.z); }

void colourAt(const Vec3& c, double alpha, const Vec3& p) {
    glColor4d(c.x, c.y, c.z, alpha);
    vertexAt(p);
}

// The two ends of a half-edge's flap: A its head, B its tail, each with the
// offset the flap reaches to there.
struct Flap {
    Vec3 A, B, offsetA, offsetB;
};

bool hasEnds(const HalfEdge& h) { return h.vert && h.pair && h.pair->vert; }

Flap proxyFlap(const HalfEdge& h) {
    return Flap{h.vert->pos, h.pair->vert->pos, h.vert->offset, h.pair->vert->offset};
}

// As deep at each end as the solver's tuck reaches there; a negative depth
// is drawn as none.
Flap realFlap(const Polyhedron& model, const HalfEdge& h) {
    Flap f = proxyFlap(h);
    f.offsetA = unit(f.offsetA) * positivePart(model.solver.tuckDepth(&h));
    f.offsetB = unit(f.offsetB) * positivePart(model.solver.tuckDepth(h.pair));
    return f;
}

void fan(const Flap& f) {
    Vec3 a = f.A + f.offsetA, b = f.B + f.offsetB;
    glBegin(GL_TRIANGLE_FAN);
    vertexAt(0.5 * (a + b));
    vertexAt(b);
    vertexAt(f.B);
    vertexAt(f.A);
    vertexAt(a);
    glEnd();
}

void outline(const Flap& f) {
    glBegin(GL_LINE_LOOP);
    vertexAt(f.B + f.offsetB);
    vertexAt(f.B);
    vertexAt(f.A);
    vertexAt(f.A + f.offsetA);
    glEnd();
}

// White for no depth, tinting towards light blue as the depth grows against
// a tenth of the edge length.
Vec3 depthTint(double depth, double length) {
    double k = std::atan2(0.1 * length, positivePart(depth)) / (M_PI / 2.0);
    return Vec3(0.9 + 0.1 * k, 0.9 + 0.1 * k, 1.0);
}

// Darker at vertices where the surface is convex.
double convexityShade(const Vertex& v) {
    double t = 2.0 - v.bendDefect / (2.0 * M_PI);
    return t < 1.0 ? t : 1.0;
}

}  // namespace

void orpGLCanvas::drawTuckWidths(Polyhedron* model) {
    for (HalfEdge& h : model->halfEdges) {
        if (!hasEnds(h) || !h.prev || !h.prev->vert) continue;
        glLoadName((GLuint)h.edgeIndex);
        glBegin(GL_LINES);
        Vec3 tail = depthTint(model->solver.tuckDepth(h.pair), h.length);
        glColor3d(tail.x, tail.y, tail.z);
        vertexAt(h.prev->vert->pos);
        Vec3 head = depthTint(model->solver.tuckDepth(&h), h.length);
        glColor3d(head.x, head.y, head.z);
        vertexAt(h.vert->pos);
        glEnd();
    }
    glLineWidth(1.0f);
    glDisable(GL_BLEND);
}

void orpGLCanvas::drawRealTucks(Polyhedron* model) {
    const Vec3 grey(0.4, 0.4, 0.4), bluish(0.4, 0.4, 0.45), light(0.15, 0.15, 0.1);
    for (HalfEdge& h : model->halfEdges) {
        if (!hasEnds(h)) continue;
        Flap f = realFlap(*model, h);
        double tA = convexityShade(*h.vert), tB = convexityShade(*h.pair->vert);
        double bend = h.dihedralSin < 0.0 ? h.dihedralSin : 0.0;
        double w = 0.5 + 0.5 * std::cos(bend);
        Vec3 n = unit(cross(f.A - f.B, f.offsetA + f.offsetB));
        double shade = 0.5 + 0.5 * dot(n, lightDir);
        Vec3 cA = tA * grey + w * bluish + shade * light;
        Vec3 cB = tB * grey + w * bluish + shade * light;
        Vec3 cM = Vec3(0.8, 0.8, 0.85) + shade * light;

        Vec3 a = f.A + f.offsetA, b = f.B + f.offsetB;
        glBegin(GL_TRIANGLE_FAN);
        colourAt(cM, 0.9, 0.5 * (a + b));
        colourAt(cM, 0.9, b);
        colourAt(cB, 0.9, f.B);
        colourAt(cA, 0.9, f.A);
        colourAt(cM, 0.9, a);
        glEnd();
    }
}

void orpGLCanvas::drawRealTuckOutlines(Polyhedron* model) {
    for (HalfEdge& h : model->halfEdges) {
        if (!hasEnds(h)) continue;
        glColor4d(0.0, 0.0, 0.5, 0.2);
        outline(realFlap(*model, h));
    }
}

void orpGLCanvas::drawTuckProxyFans(Polyhedron* model) {
    for (HalfEdge& h : model->halfEdges)
        if (hasEnds(h)) fan(proxyFlap(h));
}

void orpGLCanvas::drawTuckProxyOutlines(Polyhedron* model) {
    for (HalfEdge& h : model->halfEdges)
        if (hasEnds(h)) outline(proxyFlap(h));
}
