#ifndef PLICATROPE_TESTS_APP_VIEW_SUPPORT_H
#define PLICATROPE_TESTS_APP_VIEW_SUPPORT_H

#include <GL/gl.h>
#include <wx/event.h>

#include <string>

#include "app/gui_support.h"
#include "model/oripoly.h"
#include "views/orp_gl_canvas.h"

namespace viewtest {

struct Rgb {
    int r, g, b;
};
bool operator==(const Rgb& a, const Rgb& b);
inline bool operator!=(const Rgb& a, const Rgb& b) { return !(a == b); }
std::ostream& operator<<(std::ostream& out, const Rgb& c);
// A colour given in [0, 1] as the 8-bit window shows it.
Rgb rgb(double r, double g, double b);
// Within one step of 8 bits on every channel.
bool near(const Rgb& a, const Rgb& b);

// A point of the world as a view shows it: in window pixels, x to the right
// and y downwards, as mouse events give them.
struct ScreenPoint {
    double x, y;
};

// The camera of one view as its drawing sets it up (without depth shift).
class Projection {
public:
    explicit Projection(orpGLCanvas* canvas);
    ScreenPoint of(const Vec3& p) const;
    ScreenPoint of(const Vec2& p) const { return of(Vec3(p.x, p.y, 0.0)); }

private:
    double modelview[16], projection[16];
    GLint viewport[4];
};

// The width and height of a view's viewport in pixels, and its middle.
ScreenPoint viewSize(orpGLCanvas* canvas);
ScreenPoint middleOfView(orpGLCanvas* canvas);

// Renders the view and reads the pixel under a window point.
Rgb pixelAt(orpGLCanvas* canvas, ScreenPoint p);
// Whether a colour shows within `radius` pixels of the point.
bool showsNear(orpGLCanvas* canvas, ScreenPoint p, const Rgb& colour, int radius = 1);

enum Buttons { NoButton = 0, Left = 1, Middle = 2, Right = 4 };

// Sends one mouse event to a view's handler, as the toolkit would.
void mouse(orpGLCanvas* canvas, wxEventType type, double x, double y, int held = NoButton,
           bool shift = false);
void wheel(orpGLCanvas* canvas, int rotation, int delta = 120);
// Left-down at a point (the button held from then on).
void click(orpGLCanvas* canvas, ScreenPoint p, bool shift = false);

// The centroid of a face in space and of its placed polygon on the sheet.
Vec3 centroid(const Face& f);
Vec2 sheetCentroid(const Face& f);
// The centroid of the edge tucking molecule of q on the sheet.
Vec2 moleculeCentroid(const HalfEdge& q);

// Whether q is the half of an uncut edge that draws its edge tucking
// molecule on the sheet; the widest such molecule, optionally only among
// those between faces that are not two-sided.
bool drawsMolecule(const HalfEdge& q);
bool twoSided(const Face* f);
HalfEdge* widestMolecule(Polyhedron& model, bool betweenPolygons);
// The first half-edge in list order with this edge index.
HalfEdge* firstWithEdgeIndex(Polyhedron& model, int edgeIndex);

// The face of the model whose outward normal points most nearly along d.
Face* faceFacing(Polyhedron& model, const Vec3& d);

class ViewTest : public guitest::GuiTest {
protected:
    orpGLCanvas* modelView();
    orpGLCanvas* patternView();
    Polyhedron& model();

    void SetUp() override;
    void TearDown() override;
    void load(const std::string& objText);
    void develop();
    // Idle steps of the main window, with their console lines kept quiet.
    void idle(int ticks);
    // A bumpy open grid seen from above: every face turns its front to the
    // camera, and its boundary is the cut.
    void loadGrid();
    // An octahedron developed and left to settle for a while, so that its
    // layout shows every layer.
    void developOctahedron();
    // Gives the main window this client size; the test's end restores it.
    void resizeWindow(int width, int height);

private:
    wxSize windowSize;
};

}  // namespace viewtest

#endif
