#ifndef PLICATROPE_VIEWS_ORP_GL_CANVAS_H
#define PLICATROPE_VIEWS_ORP_GL_CANVAS_H

#include <wx/glcanvas.h>

#include "model/vec.h"

class PlicatropeApp;
class Polyhedron;

// Which of the main window's two views a canvas is.
enum ViewKind {
    ModelView,
    PatternView,
    NoView,  // not (yet) one of the main window's views
};

// The first selection name of a pickable element.
enum PickKind {
    PickVertex = 1,
    PickEdge = 2,
    PickFace = 3,
    PickETM = 4,
};

// The OpenGL view, in either role: the 3D model (left) or the crease
// pattern on the sheet (right). Angles in degrees, mouse positions in window
// pixels with y growing downwards.
class orpGLCanvas : public wxGLCanvas {
public:
    PlicatropeApp* app;
    double zoom;
    Vec3 eye;
    Vec3 lookAt;
    Vec2 pan;
    double yaw;
    double pitch;
    double baseYaw;
    double basePitch;
    double fieldOfView;
    Vec2 middleDownPos;
    Vec2 rightDownPos;
    Vec2 pickPos;
    int wheelRotation;
    Vec3 lightDir;
    int pickVertex;
    int pickEdge;
    int pickFace;
    int pickEtm;
    wxGLContext* context;

    orpGLCanvas(wxWindow* parent, const wxString& name);
    virtual ~orpGLCanvas();

    ViewKind viewKind() const;

    void render();
    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);
    void setupCamera();
    // Puts zoom, pan and turn back as they were at construction.
    void resetCamera();
    // The point that shows in the middle of the view before any pan and about
    // which the view turns: the centre of the model's bounding box, or of the
    // paper square.
    Vec3 turningCentre() const;
    void clampPitch();

    // Converting mouse displacements: S, the height of the visible area at
    // the look-at plane in world units, and H, the viewport height in pixels.
    double screenToSheetScale() const;
    double viewportHeight() const;

    void OnMouse(wxMouseEvent& event);
    void pick(Vec2 point, Polyhedron* model, int kind);

    void drawModelView(Polyhedron* model);
    void drawFaces(Polyhedron* model);
    void drawEdges(Polyhedron* model);
    void drawVertices(Polyhedron* model);
    void drawTuckWidths(Polyhedron* model);
    void drawRealTucks(Polyhedron* model);
    void drawRealTuckOutlines(Polyhedron* model);
    void drawTuckProxyFans(Polyhedron* model);
    void drawTuckProxyOutlines(Polyhedron* model);

    void drawPatternView(Polyhedron* model);
    void drawPaper(Polyhedron* model);
    void drawEdgeMolecules(Polyhedron* model);
    void drawMoleculeCells(Polyhedron* model);
    void drawPlacedPolygons(Polyhedron* model);
    void drawCutLines(Polyhedron* model);
    void drawCreaseLines(Polyhedron* model);
};

#endif
