#include <GL/gl.h>

#include <cmath>
#include <cstddef>

#include "app/plicatrope_app.h"
#include "model/oripoly.h"
#include "views/orp_gl_canvas.h"

// The one mouse handler of both views: focus, wheel zoom, middle-button pan,
// right-button rotation, then the left-button tool, the pitch limit and a
// redraw.

namespace {

const double kDegreesToRadians = 0.017453292519943295;
const double kZoomPerNotch = 1.1;
const double kDegreesPerViewHeight = 120.0;

Vec2 positionOf(const wxMouseEvent& event) { return Vec2(event.GetX(), event.GetY()); }

bool isType(const wxMouseEvent& event, wxEventType type) { return event.GetEventType() == type; }

Vec2 rotated(Vec2 v, double radians) { return v.rotate(radians); }

double yawRadians(const orpGLCanvas& c) { return c.yaw * kDegreesToRadians; }

// Sheet units per pixel, or 0 for a view without height.
double sheetPerPixel(const orpGLCanvas& c) {
    double H = c.viewportHeight();
    return H > 0.0 ? c.screenToSheetScale() / H : 0.0;
}

// The zoom follows the accumulated rotation alone, so turning back by as
// many notches restores it exactly.
void zoomWithWheel(orpGLCanvas& c, const wxMouseEvent& event) {
    int r = event.GetWheelRotation();
    if (r == 0 || event.GetWheelDelta() == 0) return;
    c.wheelRotation += r;
    c.zoom = std::pow(kZoomPerNotch, (double)c.wheelRotation / (double)event.GetWheelDelta());
}

// The content follows the pointer. Leaving the window commits the pan and
// entering it again with the button held sets a new anchor, so a drag can
// leave and re-enter the view without a jump.
void panWithMiddleButton(orpGLCanvas& c, const wxMouseEvent& event) {
    bool held = event.MiddleIsDown();
    if (isType(event, wxEVT_MIDDLE_DOWN) || (isType(event, wxEVT_ENTER_WINDOW) && held)) {
        c.middleDownPos = positionOf(event);
        return;
    }
    bool commit = isType(event, wxEVT_MIDDLE_UP) || (isType(event, wxEVT_LEAVE_WINDOW) && held);
    if (!commit && !held) return;
    double k = sheetPerPixel(c);
    double dx = (event.GetX() - c.middleDownPos.x) * k, dy = (event.GetY() - c.middleDownPos.y) * k;
    if (commit) {
        c.pan.x -= dx;
        c.pan.y += dy;
    } else {
        c.eye.x = c.lookAt.x = c.pan.x - dx;
        c.eye.y = c.lookAt.y = c.pan.y + dy;
    }
}

// A drag over the full view height turns by 120 degrees.
void rotateWithRightButton(orpGLCanvas& c, const wxMouseEvent& event) {
    bool held = event.RightIsDown();
    if (isType(event, wxEVT_RIGHT_DOWN) || (isType(event, wxEVT_ENTER_WINDOW) && held)) {
        c.rightDownPos = positionOf(event);
        return;
    }
    bool live = isType(event, wxEVT_MOTION) && held;
    bool commit = isType(event, wxEVT_RIGHT_UP) || (isType(event, wxEVT_LEAVE_WINDOW) && held);
    if (!live && !commit) return;
    double H = c.viewportHeight();
    if (!(H > 0.0)) return;
    double turn = kDegreesPerViewHeight * (event.GetX() - c.rightDownPos.x) / H;
    double tilt = kDegreesPerViewHeight * (event.GetY() - c.rightDownPos.y) / H;
    if (live) {
        c.yaw = c.baseYaw + turn;
        c.pitch = c.basePitch - tilt;
    } else {
        c.baseYaw += turn;
        c.basePitch -= tilt;
    }
}

// Empties every pick list once elements they may point to are gone, and
// drops the Move selection with them, so that no face stays red that no
// later Move click could clear.
void forgetPicks(PlicatropeApp& doc) {
    for (Face& f : doc.workingModel->faces) f.moving = false;
    doc.clearPicks();
}

// The undeveloped model, with the cut as it was before Develop, replaces the
// developed one; the layout and the crease pattern are dropped with it.
void restoreUndeveloped(PlicatropeApp& doc) {
    doc.developed = false;
    *doc.workingModel = *doc.backupModel;
    forgetPicks(doc);
}

// The sheet point under the pointer. The camera turns the sheet about its
// centre and then pans along the window's axes, so the pan is turned back
// with the pointer's offset from the middle of the view.
Vec2 sheetPointUnder(const orpGLCanvas& c, const wxMouseEvent& event, double S, double H) {
    GLdouble vp[4];
    glGetDoublev(GL_VIEWPORT, vp);
    Vec2 offset((event.GetX() - vp[0] - vp[2] / 2.0) * S / H, (vp[3] / 2.0 - event.GetY()) * S / H);
    Vec3 centre = c.turningCentre();
    return Vec2(centre.x, centre.y) + rotated(Vec2(c.eye.x, c.eye.y) + offset, -yawRadians(c));
}

// The brush: tucks near the pointer fatten, or thin with Shift. Where the
// solver refuses the stroke (stopped on a layout that is not finite) the
// faces stay where they are, moved or not since.
void explode(orpGLCanvas& c, const wxMouseEvent& event) {
    if (!isType(event, wxEVT_MOTION) || !event.LeftIsDown()) return;
    double H = c.viewportHeight();
    if (!(H > 0.0)) return;
    double S = c.screenToSheetScale();
    Vec2 P = sheetPointUnder(c, event, S, H);

    LayoutSolver& solver = c.app->workingModel->solver;
    if (!solver.fattenAt(P, event.ShiftDown() ? -1.0 : 1.0, S)) return;
    solver.layoutFaces();
    solver.centreLayout();
    c.render();
}

bool isDigon(const HalfEdge* h) { return h && h->next && h->next->next == h; }

// The two-sided face that the molecule of q borders, if any, and only if it
// can be joined back: one on the boundary or the cut stays, and then the
// click leaves the design as it was instead of re-solving it for nothing.
HalfEdge* digonBeside(HalfEdge* q) {
    HalfEdge* d = isDigon(q) ? q : isDigon(q->pair) ? q->pair : nullptr;
    if (!d || d->onCut || d->next->onCut) return nullptr;
    return d;
}

// Splits the clicked molecule's edge into a two-sided face, or with Shift
// joins a two-sided face beside it back into one edge.
void splitOrJoinEtm(orpGLCanvas& c, const wxMouseEvent& event) {
    if (!isType(event, wxEVT_LEFT_DOWN)) return;
    PlicatropeApp& doc = *c.app;
    Polyhedron& model = *doc.workingModel;
    c.pick(positionOf(event), &model, c.pickEtm);
    if (doc.pickedEtmEdges.empty()) return;
    HalfEdge* q = doc.pickedEtmEdges.front();

    if (event.ShiftDown()) {
        HalfEdge* digon = digonBeside(q);
        if (!digon) return;
        model.mergeSplitEdge(digon);
        forgetPicks(doc);  // the two-sided face and its half-edges may be gone
        return;
    }
    model.splitEtmEdge(q);
}

// A click selects the face under the pointer, or nothing on empty space.
void selectFace(orpGLCanvas& c, const wxMouseEvent& event) {
    PlicatropeApp& doc = *c.app;
    for (Face* f : doc.pickedFaces) f->moving = false;
    c.pickPos = positionOf(event);
    c.pick(c.pickPos, doc.workingModel, c.pickFace);
    for (Face* f : doc.pickedFaces) {
        f->dragStart = f->translation;
        f->moving = true;
    }
}

// Dragging moves the selected face on the sheet and the other faces follow
// the solved translations; the next idle step centres the layout.
void moveFaces(orpGLCanvas& c, const wxMouseEvent& event) {
    PlicatropeApp& doc = *c.app;
    if (isType(event, wxEVT_LEFT_DOWN)) {
        selectFace(c, event);
        return;
    }
    // A drag that started on empty space moves nothing.
    if (!event.Dragging() || !event.LeftIsDown() || doc.pickedFaces.empty()) return;
    double k = sheetPerPixel(c);
    Vec2 d((event.GetX() - c.pickPos.x) * k, -(event.GetY() - c.pickPos.y) * k);
    d = rotated(d, -yawRadians(c));
    for (Face* f : doc.pickedFaces) f->translation = f->dragStart + d;
    LayoutSolver& solver = doc.workingModel->solver;
    solver.solveTranslations();
    solver.applyTranslations();
    solver.layoutFaces();
}

void usePatternTool(orpGLCanvas& c, const wxMouseEvent& event) {
    ToolMode tool = c.app->toolMode;
    if (tool == ToolExplode) explode(c, event);
    if (tool == ToolSplitETM) splitOrJoinEtm(c, event);
    if (tool == ToolMove) moveFaces(c, event);
}

void clearHighlights(Polyhedron& model) {
    for (Face& f : model.faces) f.highlighted = false;
    for (HalfEdge& h : model.halfEdges) h.highlighted = false;
}

// The edge and the shortest path from its nearer end to the cut: what a
// click would add. It ends where no path leads to the cut.
void previewCutPath(Polyhedron& model, HalfEdge* e) {
    if (!e->pair || !e->vert || !e->pair->vert) return;
    Vertex* tail = e->pair->vert;
    Vertex* head = e->vert;
    Vertex* w;
    if (tail->cutDistance <= head->cutDistance) {
        e->pair->highlighted = true;
        w = tail;
    } else {
        e->highlighted = true;
        w = head;
    }
    for (std::size_t steps = 0; w && !w->onCut && w->towardCut && steps < model.halfEdges.size(); ++steps) {
        w->towardCut->highlighted = true;
        w = w->towardCut->vert;
    }
}

// Picks the face under the pointer into pickedFaces; null on empty space.
Face* faceUnder(orpGLCanvas& c, Polyhedron& model) {
    c.pick(c.pickPos, &model, c.pickFace);
    return c.app->pickedFaces.empty() ? nullptr : c.app->pickedFaces.front();
}

// A click edits at the face under the pointer; hovering only highlights it.
template <class Edit>
void editOrHighlight(Face* f, bool click, Edit edit) {
    if (!f) return;
    if (click)
        edit(f);
    else
        f->highlighted = true;
}

// Without Shift a click adds the previewed path or, on a cut line, deletes
// its branch; away from edges, and always with Shift, it moves the cut
// across the face.
void editCut(orpGLCanvas& c, const wxMouseEvent& event) {
    PlicatropeApp& doc = *c.app;
    bool leftDown = isType(event, wxEVT_LEFT_DOWN);
    if (leftDown && doc.developed) restoreUndeveloped(doc);
    Polyhedron& model = *doc.workingModel;

    Face* previous = nullptr;
    if (event.ShiftDown() && !doc.pickedFaces.empty()) previous = doc.pickedFaces.front();
    c.pickPos = positionOf(event);

    auto moveCut = [&model](Face* f) { model.moveCutAcrossFace(f); };
    if (event.ShiftDown()) {
        Face* f = faceUnder(c, model);
        // Dragging moves the cut across every newly entered face.
        editOrHighlight(f, leftDown || (event.LeftIsDown() && f != previous && !doc.developed), moveCut);
        return;
    }

    c.pick(c.pickPos, &model, c.pickEdge);
    if (!doc.pickedEdges.empty()) {
        HalfEdge* e = doc.pickedEdges.front();
        previewCutPath(model, e);
        if (!leftDown) return;
        if (!e->onCut)
            model.addCutPath(e);
        else
            model.deleteCutBranch(e);
        return;
    }
    editOrHighlight(faceUnder(c, model), leftDown, moveCut);
}

void floodCut(orpGLCanvas& c, const wxMouseEvent& event) {
    PlicatropeApp& doc = *c.app;
    bool leftDown = isType(event, wxEVT_LEFT_DOWN);
    if (leftDown && doc.developed) restoreUndeveloped(doc);
    Polyhedron& model = *doc.workingModel;
    for (Face& f : model.faces) f.highlighted = false;
    c.pickPos = positionOf(event);
    editOrHighlight(faceUnder(c, model), leftDown, [&model](Face* f) { model.floodFromFace(f); });
}

void useModelTool(orpGLCanvas& c, const wxMouseEvent& event) {
    clearHighlights(*c.app->workingModel);
    ToolMode tool = c.app->toolMode;
    if (tool == ToolMove && isType(event, wxEVT_LEFT_DOWN)) selectFace(c, event);
    if (tool == ToolCut) editCut(c, event);
    if (tool == ToolFlood) floodCut(c, event);
}

}  // namespace

void orpGLCanvas::OnMouse(wxMouseEvent& event) {
    if (isType(event, wxEVT_ENTER_WINDOW)) SetFocus();
    // The two views differ in width: the tools read this view's viewport.
    if (IsShownOnScreen()) SetCurrent(*context);
    zoomWithWheel(*this, event);
    panWithMiddleButton(*this, event);
    rotateWithRightButton(*this, event);

    ViewKind view = viewKind();
    if (view == PatternView && app->developed)
        usePatternTool(*this, event);
    else if (view == ModelView && app->loaded)
        useModelTool(*this, event);

    clampPitch();
    render();
    event.Skip();
}
