#include "app/view_support.h"

#include <GL/glu.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "support/test_support.h"

namespace viewtest {

bool operator==(const Rgb& a, const Rgb& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb rgb(double r, double g, double b) {
    return Rgb{(int)std::lround(r * 255), (int)std::lround(g * 255), (int)std::lround(b * 255)};
}

bool near(const Rgb& a, const Rgb& b) {
    return std::abs(a.r - b.r) <= 1 && std::abs(a.g - b.g) <= 1 && std::abs(a.b - b.b) <= 1;
}

Projection::Projection(orpGLCanvas* canvas) {
    canvas->SetCurrent(*canvas->context);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    canvas->setupCamera();
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
}

ScreenPoint Projection::of(const Vec3& p) const {
    double x, y, z;
    gluProject(p.x, p.y, p.z, modelview, projection, viewport, &x, &y, &z);
    return ScreenPoint{x, viewport[3] - y};
}

namespace {

Rgb readPixel(int x, int y) {
    unsigned char c[3];
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, c);
    return Rgb{c[0], c[1], c[2]};
}

// The pixel of the back buffer that a window point falls in.
void bufferPixel(orpGLCanvas* canvas, ScreenPoint p, int& x, int& y) {
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    x = (int)std::floor(p.x);
    y = (int)std::floor(vp[3] - p.y);
    (void)canvas;
}

}  // namespace

ScreenPoint viewSize(orpGLCanvas* canvas) {
    canvas->SetCurrent(*canvas->context);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    return ScreenPoint{(double)vp[2], (double)vp[3]};
}

ScreenPoint middleOfView(orpGLCanvas* canvas) {
    ScreenPoint size = viewSize(canvas);
    return ScreenPoint{size.x / 2, size.y / 2};
}

Rgb pixelAt(orpGLCanvas* canvas, ScreenPoint p) {
    canvas->render();
    canvas->SetCurrent(*canvas->context);
    glReadBuffer(GL_BACK);
    int x, y;
    bufferPixel(canvas, p, x, y);
    return readPixel(x, y);
}

bool showsNear(orpGLCanvas* canvas, ScreenPoint p, const Rgb& colour, int radius) {
    canvas->render();
    canvas->SetCurrent(*canvas->context);
    glReadBuffer(GL_BACK);
    int x, y;
    bufferPixel(canvas, p, x, y);
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (near(readPixel(x + dx, y + dy), colour)) return true;
    return false;
}

void mouse(orpGLCanvas* canvas, wxEventType type, double x, double y, int held, bool shift) {
    wxMouseEvent event(type);
    event.SetEventObject(canvas);
    event.SetX((int)std::lround(x));
    event.SetY((int)std::lround(y));
    event.SetLeftDown((held & Left) != 0);
    event.SetMiddleDown((held & Middle) != 0);
    event.SetRightDown((held & Right) != 0);
    event.SetShiftDown(shift);
    canvas->GetEventHandler()->ProcessEvent(event);
}

void wheel(orpGLCanvas* canvas, int rotation, int delta) {
    wxMouseEvent event(wxEVT_MOUSEWHEEL);
    event.SetEventObject(canvas);
    event.m_wheelRotation = rotation;
    event.m_wheelDelta = delta;
    canvas->GetEventHandler()->ProcessEvent(event);
}

void click(orpGLCanvas* canvas, ScreenPoint p, bool shift) {
    mouse(canvas, wxEVT_LEFT_DOWN, p.x, p.y, Left, shift);
}

namespace {

template <class Point, class Corner>
Point averageOver(const Face& f, Corner corner) {
    Point sum;
    int n = 0;
    const HalfEdge* h = f.edge;
    do {
        sum = sum + corner(h);
        ++n;
        h = h->next;
    } while (h != f.edge);
    return sum / (double)n;
}

}  // namespace

Vec3 centroid(const Face& f) {
    return averageOver<Vec3>(f, [](const HalfEdge* h) { return h->vert->pos; });
}

Vec2 sheetCentroid(const Face& f) {
    return averageOver<Vec2>(f, [&f](const HalfEdge* h) { return f.translation + h->corner; });
}

Vec2 moleculeCentroid(const HalfEdge& q) {
    auto corner = [](const HalfEdge* h) { return h->face->translation + h->corner; };
    Vec2 sum = corner(q.prev) + corner(&q) + corner(q.pair->prev) + corner(q.pair);
    return sum / 4.0;
}

bool drawsMolecule(const HalfEdge& q) {
    return !q.onCut && q.face && q.pair->face && q.vert->index < q.pair->vert->index;
}

bool twoSided(const Face* f) { return f->edge->next->next == f->edge; }

HalfEdge* widestMolecule(Polyhedron& model, bool betweenPolygons) {
    HalfEdge* widest = nullptr;
    double widestGap = 0;
    for (HalfEdge& q : model.halfEdges) {
        if (!drawsMolecule(q)) continue;
        if (betweenPolygons && (twoSided(q.face) || twoSided(q.pair->face))) continue;
        Vec2 d = (q.face->translation + q.corner) - (q.pair->face->translation + q.pair->prev->corner);
        double gap = std::hypot(d.x, d.y);
        if (gap > widestGap) widestGap = gap, widest = &q;
    }
    return widest;
}

HalfEdge* firstWithEdgeIndex(Polyhedron& model, int edgeIndex) {
    for (HalfEdge& h : model.halfEdges)
        if (h.edgeIndex == edgeIndex) return &h;
    return nullptr;
}

Face* faceFacing(Polyhedron& model, const Vec3& d) {
    Face* best = nullptr;
    double bestDot = -2.0;
    for (Face& f : model.faces) {
        double dot = f.normal.x * d.x + f.normal.y * d.y + f.normal.z * d.z;
        if (dot > bestDot) {
            bestDot = dot;
            best = &f;
        }
    }
    return best;
}

orpGLCanvas* ViewTest::modelView() { return guitest::frame()->modelCanvas; }
orpGLCanvas* ViewTest::patternView() { return guitest::frame()->patternCanvas; }
Polyhedron& ViewTest::model() { return *guitest::app()->workingModel; }

namespace {

// The cameras, the tool and the options as right after start, whatever a
// test did to them.
void resetViews() {
    for (orpGLCanvas* c : {guitest::frame()->modelCanvas, guitest::frame()->patternCanvas}) c->resetCamera();
    PlicatropeApp* a = guitest::app();
    a->toolMode = ToolMove;
    a->showTuckProxy = a->creasePatternOn = false;
    a->showRealTuck = a->showFacets = a->showEdges = true;
}

}  // namespace

void ViewTest::SetUp() {
    guitest::GuiTest::SetUp();
    windowSize = guitest::frame()->GetClientSize();
    resetViews();
}

void ViewTest::TearDown() {
    resetViews();
    if (guitest::frame()->GetClientSize() != windowSize) resizeWindow(windowSize.x, windowSize.y);
    guitest::GuiTest::TearDown();
}

void ViewTest::resizeWindow(int width, int height) {
    guitest::frame()->SetClientSize(width, height);
    guitest::yieldEvents(5);
}

void ViewTest::load(const std::string& objText) {
    testsupport::captureStdout(
        [&] { guitest::frame()->loadFile(testsupport::writeTempFile("view.obj", objText)); });
    ASSERT_TRUE(guitest::app()->loaded);
}

void ViewTest::develop() {
    testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
    ASSERT_TRUE(guitest::app()->developed);
}

void ViewTest::idle(int ticks) {
    testsupport::captureStdout([&] {
        for (int i = 0; i < ticks; ++i) guitest::idleTick();
    });
}

void ViewTest::loadGrid() { load(testsupport::openGridObj(3)); }

void ViewTest::developOctahedron() {
    load(testsupport::octahedronObj());
    develop();
    idle(60);
}

}  // namespace viewtest
