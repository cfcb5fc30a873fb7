#include "views/orp_gl_canvas.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <wx/dcclient.h>

#include <cmath>

#include "app/main_frame.h"
#include "app/plicatrope_app.h"
#include "model/oripoly.h"

namespace {

const double kDegreesToRadians = 0.017453292519943295;
const double kPitchLimit = 100.0;
// The model or the sheet fills this fraction of the pane's shorter side.
const double kFitFraction = 1.0 / 1.1;

// What the camera fits, across: the model's bounding sphere, or the paper
// square as the sheet view turns it. Without extent (every corner at one
// point) it is given a unit size, so that the projection stays valid.
double sizeOrUnit(double size) { return size > 0.0 ? size : 1.0; }

double boundingDiameter(const Polyhedron& model) {
    Vec3 d = model.bboxSize();
    return sizeOrUnit(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z));
}

// The paper square as the sheet view turns it: its centre on the sheet and
// its side. Before Develop there is no sheet to fit.
void paperSquare(const PlicatropeApp& doc, double yawDegrees, Vec2& centre, double& side) {
    centre = Vec2();
    side = 1.0;
    if (!doc.developed) return;
    Vec2 hi, lo;
    double alpha = yawDegrees * kDegreesToRadians;
    doc.workingModel->boundsAt(alpha, hi, lo);
    side = sizeOrUnit(std::fmax(hi.x - lo.x, hi.y - lo.y));
    centre = (0.5 * (hi + lo)).rotate(-alpha);
}

// Half the tangent of the field of view across the pane's shorter side.
double halfFieldTangent(double aspect, double fieldOfView) {
    return std::tan(fieldOfView / 2.0 * kDegreesToRadians) * std::fmin(aspect, 1.0);
}

// The distance at which the cone of sight round a sphere of this diameter
// just fits the shorter side with the margin.
double sphereDistance(double diameter, double aspect, double fieldOfView) {
    double r = diameter / 2.0, t = halfFieldTangent(aspect, fieldOfView) * kFitFraction;
    return r * std::sqrt(1.0 + 1.0 / (t * t));
}

// The distance at which a square of this side, facing the camera, fits the
// shorter side with the margin.
double sheetDistance(double side, double aspect, double fieldOfView) {
    return side / (2.0 * halfFieldTangent(aspect, fieldOfView) * kFitFraction);
}

// Double-buffered RGBA with a depth buffer, asked for by name: left to the
// toolkit, GTK may choose a visual without depth, and the model view's edges,
// vertices and hidden faces need the depth test.
const int kPixelFormat[] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 16, 0};

}  // namespace

orpGLCanvas::orpGLCanvas(wxWindow* parent, const wxString& name)
    : wxGLCanvas(parent, wxID_ANY, kPixelFormat, wxDefaultPosition, wxDefaultSize, 0, name, wxNullPalette),
      app(static_cast<PlicatropeApp*>(wxTheApp)),
      fieldOfView(30.0),
      middleDownPos(0.0, 0.0),
      rightDownPos(0.0, 0.0),
      pickPos(0.0, 0.0),
      lightDir(-1.0, 2.0, 1.0),
      pickVertex(PickVertex),
      pickEdge(PickEdge),
      pickFace(PickFace),
      pickEtm(PickETM),
      context(new wxGLContext(this)) {
    resetCamera();
    double length = std::sqrt(lightDir.x * lightDir.x + lightDir.y * lightDir.y + lightDir.z * lightDir.z);
    if (length != 0.0) lightDir = lightDir / length;
}

orpGLCanvas::~orpGLCanvas() { delete context; }

ViewKind orpGLCanvas::viewKind() const {
    const MainFrame* frame = app->frame;
    if (!frame) return NoView;
    if (frame->modelCanvas && GetId() == frame->modelCanvas->GetId()) return ModelView;
    if (frame->patternCanvas && GetId() == frame->patternCanvas->GetId()) return PatternView;
    return NoView;
}

// A context can be made current only on a window that is on the screen, so
// a view that is not shown draws nothing.
void orpGLCanvas::render() {
    if (!IsShownOnScreen()) return;
    SetCurrent(*context);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (app->loaded) {
        ViewKind kind = viewKind();
        if (kind == ModelView)
            drawModelView(app->workingModel);
        else if (kind == PatternView && app->developed)
            drawPatternView(app->workingModel);
    }
    glFlush();
    SwapBuffers();
}

// The view fills the pane; the camera takes its aspect ratio from the viewport.
void orpGLCanvas::OnSize(wxSizeEvent& event) {
    wxSize size = event.GetSize();
    Update();
    if (!IsShownOnScreen()) return;
    SetCurrent(*context);
    glViewport(0, 0, size.GetWidth(), size.GetHeight());
    render();
}

void orpGLCanvas::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    render();
}

// The wheel's count goes with the zoom: the zoom follows it alone, so the
// next notch would otherwise bring the old zoom back.
void orpGLCanvas::resetCamera() {
    zoom = 1.0;
    wheelRotation = 0;
    eye = Vec3(0.0, 0.0, 1.0);
    lookAt = Vec3(0.0, 0.0, 0.0);
    pan = Vec2(0.0, 0.0);
    yaw = pitch = baseYaw = basePitch = 0.0;
}

void orpGLCanvas::setupCamera() {
    if (!app->loaded) return;
    GLdouble vp[4];
    glGetDoublev(GL_VIEWPORT, vp);
    double aspect = vp[2] > 0.0 && vp[3] > 0.0 ? vp[2] / vp[3] : 1.0;
    ViewKind kind = viewKind();
    double extent;
    Vec3 centre;
    if (kind == PatternView) {
        Vec2 paperCentre;
        paperSquare(*app, yaw, paperCentre, extent);
        eye.z = sheetDistance(extent, aspect, fieldOfView);
        centre = Vec3(paperCentre.x, paperCentre.y, 0.0);
    } else {
        centre = turningCentre();
        extent = boundingDiameter(*app->workingModel);
        eye.z = sphereDistance(extent, aspect, fieldOfView);
    }

    double farPlane = eye.z + extent;
    glMatrixMode(GL_PROJECTION);
    glScaled(zoom, zoom, 1.0);
    gluPerspective(fieldOfView, aspect, 0.1 * farPlane, farPlane);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, lookAt.x, lookAt.y, lookAt.z, 0.0, 1.0, 0.0);
    if (kind == ModelView) {
        glRotated(pitch, -1.0, 0.0, 0.0);
        glRotated(yaw, 0.0, 1.0, 0.0);
    } else if (kind == PatternView) {
        glRotated(yaw, 0.0, 0.0, 1.0);
    }
    glTranslated(-centre.x, -centre.y, -centre.z);
}

Vec3 orpGLCanvas::turningCentre() const {
    if (!app->loaded || !app->workingModel) return Vec3();
    const Polyhedron& model = *app->workingModel;
    if (viewKind() != PatternView) return 0.5 * (model.bboxMin + model.bboxMax);
    Vec2 centre;
    double side;
    paperSquare(*app, yaw, centre, side);
    return Vec3(centre.x, centre.y, 0.0);
}

void orpGLCanvas::clampPitch() {
    pitch = std::fmax(-kPitchLimit, std::fmin(kPitchLimit, pitch));
    basePitch = std::fmax(-kPitchLimit, std::fmin(kPitchLimit, basePitch));
}

double orpGLCanvas::screenToSheetScale() const {
    return 2.0 * std::tan(fieldOfView / 2.0 * kDegreesToRadians) * (eye.z - lookAt.z) / zoom;
}

double orpGLCanvas::viewportHeight() const {
    GLdouble vp[4];
    glGetDoublev(GL_VIEWPORT, vp);
    return vp[3];
}
