#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "app/gui_support.h"
#include "model/oripoly.h"
#include "support/test_support.h"
#include "views/orp_gl_canvas.h"

using guitest::app;
using guitest::frame;

namespace {

const double kTan15 = std::tan(15.0 * M_PI / 180.0);
// OpenGL keeps its matrices in single precision.
const double kGlTolerance = 1e-5;

class Views : public guitest::GuiTest {
protected:
    void makeCurrent(orpGLCanvas* c) { ASSERT_TRUE(c->SetCurrent(*c->context)); }

    void resize(orpGLCanvas* c, int w, int h) {
        wxSizeEvent event(wxSize(w, h));
        event.SetEventObject(c);
        c->GetEventHandler()->ProcessEvent(event);
    }

    static std::vector<double> matrix(GLenum which) {
        std::vector<double> m(16);
        glGetDoublev(which, m.data());
        return m;
    }

    // The modelview matrix applied to a point.
    static Vec3 transform(const std::vector<double>& m, Vec3 p) {
        return Vec3(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                    m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                    m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
    }

    void loadCube(double size) {
        frame()->loadFile(testsupport::writeTempFile("cube.obj", testsupport::cubeObj(size)));
        ASSERT_TRUE(app()->loaded);
    }
};

TEST_F(Views, StartWithTheirCameraAndLight) {
    for (orpGLCanvas* c : {frame()->modelCanvas, frame()->patternCanvas}) {
        EXPECT_EQ(c->zoom, 1.0);
        EXPECT_EQ(c->eye.z, 1.0);
        EXPECT_EQ(c->fieldOfView, 30.0);
        EXPECT_EQ(c->yaw, 0.0);
        EXPECT_EQ(c->pitch, 0.0);
        EXPECT_NEAR(c->lightDir.x, -1.0 / std::sqrt(6.0), 1e-15);
        EXPECT_NEAR(c->lightDir.y, 2.0 / std::sqrt(6.0), 1e-15);
        EXPECT_NEAR(c->lightDir.z, 1.0 / std::sqrt(6.0), 1e-15);
        EXPECT_EQ(c->pickVertex, PickVertex);
        EXPECT_EQ(c->pickEdge, PickEdge);
        EXPECT_EQ(c->pickFace, PickFace);
        EXPECT_EQ(c->pickEtm, PickETM);
    }
}

TEST_F(Views, DrawOverTheWholePaneWithItsAspectRatio) {
    struct SizeCase {
        int w, h;
    };
    const SizeCase cases[] = {{800, 500}, {300, 600}};
    loadCube(2.0);
    for (orpGLCanvas* c : {frame()->modelCanvas, frame()->patternCanvas}) {
        for (const SizeCase& s : cases) {
            SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
            resize(c, s.w, s.h);
            makeCurrent(c);
            GLint vp[4];
            glGetIntegerv(GL_VIEWPORT, vp);
            EXPECT_EQ(vp[0], 0);
            EXPECT_EQ(vp[1], 0);
            EXPECT_EQ(vp[2], s.w);
            EXPECT_EQ(vp[3], s.h);
            EXPECT_EQ(c->viewportHeight(), s.h);
            // A unit across shows as many pixels across as upwards.
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            c->setupCamera();
            std::vector<double> p = matrix(GL_PROJECTION_MATRIX);
            EXPECT_NEAR(p[0] * s.w, p[5] * s.h, kGlTolerance * p[5] * s.h);
        }
    }
}

TEST_F(Views, WithoutAModelTheyAreWhiteAndTheCameraTouchesNothing) {
    guitest::yieldEvents();
    for (orpGLCanvas* c : {frame()->modelCanvas, frame()->patternCanvas}) {
        c->render();
        makeCurrent(c);
        glReadBuffer(GL_BACK);
        wxSize size = c->GetClientSize();
        std::vector<unsigned char> pixels(3);
        const int points[][2] = {{2, 2}, {size.x / 2, size.y / 2}, {size.x - 3, size.y - 3}};
        for (const auto& p : points) {
            glReadPixels(p[0], p[1], 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
            EXPECT_EQ(pixels, std::vector<unsigned char>(3, 255)) << p[0] << "," << p[1];
        }

        const double m[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1};
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixd(m);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixd(m);
        c->setupCamera();
        EXPECT_EQ(matrix(GL_PROJECTION_MATRIX), std::vector<double>(m, m + 16));
        EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), std::vector<double>(m, m + 16));
        EXPECT_EQ(c->eye.z, 1.0);
    }
}

TEST_F(Views, CameraFitsTheModelAndEachLoadStartsItAfresh) {
    orpGLCanvas* c = frame()->modelCanvas;
    loadCube(2.0);
    c->zoom = 2.0;
    c->yaw = 10.0;
    makeCurrent(c);
    glViewport(0, 0, 400, 400);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    c->setupCamera();

    // The cube's bounding sphere, seen from the eye, fills most of the field
    // of view but not all of it.
    const double radius = std::sqrt(3.0);
    const double d = c->eye.z;
    double sphereTangent = radius / std::sqrt(d * d - radius * radius);
    EXPECT_LT(sphereTangent, 0.95 * kTan15);
    EXPECT_GT(sphereTangent, 0.8 * kTan15);
    std::vector<double> p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(p[0], 2.0 / kTan15, kGlTolerance);
    EXPECT_NEAR(p[5], 2.0 / kTan15, kGlTolerance);
    EXPECT_EQ(p[11], -1.0);
    // Every corner lies between the near and the far plane.
    double farPlane = (p[14] / (p[10] + 1.0)), nearPlane = (p[14] / (p[10] - 1.0));
    std::vector<double> mv = matrix(GL_MODELVIEW_MATRIX);
    for (int corner = 0; corner < 8; ++corner) {
        Vec3 q = transform(mv, Vec3(-2.0 * (corner & 1), 1.0 * (corner & 2), 0.5 * (corner & 4)));
        EXPECT_GT(-q.z, nearPlane) << corner;
        EXPECT_LT(-q.z, farPlane) << corner;
    }
    EXPECT_NEAR(c->screenToSheetScale(), 2.0 * kTan15 * d / 2.0, 1e-12);
    EXPECT_EQ(c->viewportHeight(), 400.0);

    loadCube(4.0);
    c->setupCamera();
    EXPECT_NEAR(c->eye.z, 2.0 * d, 1e-12);
    EXPECT_EQ(c->zoom, 1.0);
    EXPECT_EQ(c->yaw, 0.0);
    EXPECT_NEAR(c->screenToSheetScale(), 2.0 * kTan15 * 2.0 * d, 1e-12);
}

// Both views turn about the middle of what they show: the model's bounding
// box, standing off the origin, or the paper.
TEST_F(Views, ModelViewTurnsThenTiltsAndThePatternViewOnlyTurns) {
    loadCube(2.0);
    Vec3 centre = frame()->modelCanvas->turningCentre();
    EXPECT_NEAR(centre.x, -1.0, 1e-12);  // the reader mirrors x
    EXPECT_NEAR(centre.y, 1.0, 1e-12);
    EXPECT_NEAR(centre.z, 1.0, 1e-12);
    struct TurnCase {
        bool patternView;
        double yaw, pitch, panX;
        Vec3 offset, expected;  // from the centre; expected before the camera distance is subtracted from z
    };
    const TurnCase cases[] = {
        {false, 90, 0, 0, Vec3(1, 0, 0), Vec3(0, 0, -1)},
        {false, 0, 90, 0, Vec3(0, 0, 1), Vec3(0, 1, 0)},
        {false, 90, 90, 0, Vec3(1, 0, 0), Vec3(0, -1, 0)},
        {false, 0, 0, 0.5, Vec3(0.5, 0, 0), Vec3(0.5, 0, 0)},
        {false, 90, 0, 0.5, Vec3(0, 0, -1), Vec3(-1, 0, 0)},
        {true, 90, 30, 0, Vec3(1, 0, 0), Vec3(0, 1, 0)},
        {true, 0, 45, 0, Vec3(0, 1, 0), Vec3(0, 1, 0)},
    };
    for (const TurnCase& t : cases) {
        orpGLCanvas* c = t.patternView ? frame()->patternCanvas : frame()->modelCanvas;
        SCOPED_TRACE(testing::Message() << (t.patternView ? "pattern" : "model") << " yaw " << t.yaw
                                        << " pitch " << t.pitch << " pan " << t.panX);
        c->yaw = t.yaw;
        c->pitch = t.pitch;
        c->eye.x = c->lookAt.x = t.panX;
        makeCurrent(c);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        c->setupCamera();
        GLint mode;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
        Vec3 q = transform(matrix(GL_MODELVIEW_MATRIX), c->turningCentre() + t.offset);
        EXPECT_NEAR(q.x, t.expected.x - t.panX, kGlTolerance);
        EXPECT_NEAR(q.y, t.expected.y, kGlTolerance);
        EXPECT_NEAR(q.z, t.expected.z - c->eye.z, kGlTolerance);
        c->yaw = c->pitch = 0;
        c->eye.x = c->lookAt.x = 0;
    }
}

TEST_F(Views, PitchStaysWithinAHundredDegrees) {
    const double cases[][2] = {{130, 100}, {-250, -100}, {95, 95}, {100, 100}, {-100, -100}};
    orpGLCanvas* c = frame()->modelCanvas;
    for (const auto& t : cases) {
        c->pitch = t[0];
        c->basePitch = t[0];
        c->clampPitch();
        EXPECT_EQ(c->pitch, t[1]) << t[0];
        EXPECT_EQ(c->basePitch, t[1]) << t[0];
    }
    // Every mouse event ends with the limit.
    c->pitch = 130;
    wxMouseEvent motion(wxEVT_MOTION);
    motion.SetEventObject(c);
    c->GetEventHandler()->ProcessEvent(motion);
    EXPECT_EQ(c->pitch, 100);
}

}  // namespace
