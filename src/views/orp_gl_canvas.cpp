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

// Double-buffered RGBA with a depth buffer, asked for by name: left to the
// toolkit, GTK may choose a visual without depth, and the model view's edges,
// vertices and hidden faces need the depth test.
const int kPixelFormat[] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 16, 0};

}  // namespace

orpGLCanvas::orpGLCanvas(wxWindow* parent, const wxString& name)
    : wxGLCanvas(parent, wxID_ANY, kPixelFormat, wxDefaultPosition, wxDefaultSize, 0, name, wxNullPalette),
      app(static_cast<PlicatropeApp*>(wxTheApp)),
      zoom(1.0),
      eye(0.0, 0.0, 1.0),
      lookAt(0.0, 0.0, 0.0),
      pan(0.0, 0.0),
      yaw(0.0),
      pitch(0.0),
      baseYaw(0.0),
      basePitch(0.0),
      fieldOfView(30.0),
      middleDownPos(0.0, 0.0),
      rightDownPos(0.0, 0.0),
      pickPos(0.0, 0.0),
      wheelRotation(0),
      lightDir(-1.0, 2.0, 1.0),
      pickVertex(PickVertex),
      pickEdge(PickEdge),
      pickFace(PickFace),
      pickEtm(PickETM),
      context(new wxGLContext(this)) {
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

// The view is the square of the pane's height at its left: the camera's
// aspect ratio is 1 and the mouse tools count on it.
void orpGLCanvas::OnSize(wxSizeEvent& event) {
    int h = event.GetSize().GetHeight();
    Update();
    if (!IsShownOnScreen()) return;
    SetCurrent(*context);
    glViewport(0, 0, h, h);
    render();
}

void orpGLCanvas::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    render();
}

void orpGLCanvas::setupCamera() {
    if (!app->loaded) return;
    Vec3 d = app->workingModel->bboxSize();
    double m = std::fmax(d.x, std::fmax(d.y, d.z));
    eye.z = (m / 2.0) / std::tan(fieldOfView / 2.0 * kDegreesToRadians);

    GLdouble vp[4];
    glGetDoublev(GL_VIEWPORT, vp);
    double farPlane = eye.z + m;
    glMatrixMode(GL_PROJECTION);
    glScaled(zoom, zoom, 1.0);
    gluPerspective(fieldOfView, vp[2] / vp[3], 0.1 * farPlane, farPlane);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, lookAt.x, lookAt.y, lookAt.z, 0.0, 1.0, 0.0);
    ViewKind kind = viewKind();
    if (kind == ModelView) {
        glRotated(pitch, -1.0, 0.0, 0.0);
        glRotated(yaw, 0.0, 1.0, 0.0);
    } else if (kind == PatternView) {
        glRotated(yaw, 0.0, 0.0, 1.0);
    }
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
