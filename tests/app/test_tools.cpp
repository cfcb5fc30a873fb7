#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "app/view_support.h"
#include "support/test_support.h"

using guitest::app;
using namespace viewtest;

namespace {

// The cut as flags per half-edge, in list order.
std::vector<bool> cutFlags(const Polyhedron& m) {
    std::vector<bool> flags;
    for (const HalfEdge& h : m.halfEdges) flags.push_back(h.onCut);
    return flags;
}

template <class T>
bool holds(const std::list<T>& elements, const T* p) {
    for (const T& e : elements)
        if (&e == p) return true;
    return false;
}

class Tools : public ViewTest {
protected:
    ScreenPoint middleOf(const HalfEdge& e) {
        return Projection(modelView()).of(0.5 * (e.vert->pos + e.pair->vert->pos));
    }

    // An edge of the grid whose ends both lie inside, off the cut.
    HalfEdge* innerEdge() {
        for (HalfEdge& h : model().halfEdges)
            if (h.face && !h.vert->onCut && !h.pair->vert->onCut) return &h;
        return nullptr;
    }

    // Every pick list points only into the working model.
    void expectPicksInWorkingModel() {
        for (Face* f : app()->pickedFaces) EXPECT_TRUE(holds(model().faces, f));
        for (HalfEdge* h : app()->pickedEdges) EXPECT_TRUE(holds(model().halfEdges, h));
        for (HalfEdge* h : app()->pickedEtmEdges) EXPECT_TRUE(holds(model().halfEdges, h));
        for (Vertex* v : app()->pickedVertices) EXPECT_TRUE(holds(model().vertices, v));
    }

    void release(orpGLCanvas* c, ScreenPoint p) { mouse(c, wxEVT_LEFT_UP, p.x, p.y); }
    void drag(orpGLCanvas* c, ScreenPoint p, bool shift = false) {
        mouse(c, wxEVT_MOTION, p.x, p.y, Left, shift);
    }
};

TEST_F(Tools, WheelZoomsByATenthPerNotchAndTurnsBackExactly) {
    orpGLCanvas* c = modelView();
    wheel(c, 120);
    EXPECT_DOUBLE_EQ(c->zoom, 1.1);
    wheel(c, 120);
    wheel(c, 120);
    EXPECT_NEAR(c->zoom, 1.1 * 1.1 * 1.1, 1e-12);
    wheel(c, -240);
    wheel(c, -120);
    EXPECT_EQ(c->zoom, 1.0);
    EXPECT_EQ(c->wheelRotation, 0);
    // Half a notch of a finer wheel.
    wheel(c, 60);
    EXPECT_NEAR(c->zoom, std::sqrt(1.1), 1e-12);
}

TEST_F(Tools, MiddleDragPansTheContentWithThePointer) {
    loadGrid();
    orpGLCanvas* c = modelView();
    const double H = c->viewportHeight(), S = c->screenToSheetScale();
    const int half = (int)H / 2, quarter = (int)H / 4;
    // The point about which the view turns lies in the plane that S measures.
    Vec3 centre = c->turningCentre();
    ScreenPoint before = Projection(c).of(centre);

    mouse(c, wxEVT_MIDDLE_DOWN, 100, 200, Middle);
    mouse(c, wxEVT_MOTION, 100 + half, 200, Middle);
    ScreenPoint after = Projection(c).of(centre);
    EXPECT_NEAR(after.x - before.x, half, 0.5);
    EXPECT_NEAR(after.y, before.y, 0.5);
    EXPECT_NEAR(c->eye.x, -half * S / H, 1e-9);
    EXPECT_EQ(c->pan.x, 0.0);  // committed only at the button-up
    mouse(c, wxEVT_MIDDLE_UP, 100 + half, 200);
    EXPECT_NEAR(c->pan.x, -half * S / H, 1e-9);

    // Leaving commits; entering again with the button held sets a new anchor.
    mouse(c, wxEVT_MIDDLE_DOWN, 100, 100, Middle);
    mouse(c, wxEVT_MOTION, 100, 100 + quarter, Middle);
    mouse(c, wxEVT_LEAVE_WINDOW, 100, 100 + quarter, Middle);
    EXPECT_NEAR(c->pan.y, quarter * S / H, 1e-9);
    mouse(c, wxEVT_ENTER_WINDOW, 300, 300, Middle);
    EXPECT_NEAR(c->eye.y, quarter * S / H, 1e-9);
    mouse(c, wxEVT_MOTION, 300, 300 + quarter, Middle);
    EXPECT_NEAR(c->eye.y, 2 * quarter * S / H, 1e-9);
    EXPECT_NEAR(c->eye.x, -half * S / H, 1e-9);
}

TEST_F(Tools, RightDragTurnsAndTiltsWithinThePitchLimit) {
    orpGLCanvas* c = modelView();
    const double H = c->viewportHeight();
    const int half = (int)H / 2, quarter = (int)H / 4, full = (int)H;
    const double degreesPerPixel = 120 / H;
    mouse(c, wxEVT_RIGHT_DOWN, 200, 480, Right);
    mouse(c, wxEVT_MOTION, 200 + quarter, 480 - half, Right);
    EXPECT_NEAR(c->yaw, quarter * degreesPerPixel, 1e-9);
    EXPECT_NEAR(c->pitch, half * degreesPerPixel, 1e-9);
    mouse(c, wxEVT_MOTION, 200 + quarter, 480 - full, Right);
    EXPECT_EQ(c->pitch, 100);  // 120 degrees, limited
    mouse(c, wxEVT_RIGHT_UP, 200 + quarter, 480 - full);
    EXPECT_NEAR(c->baseYaw, quarter * degreesPerPixel, 1e-9);
    EXPECT_EQ(c->basePitch, 100);

    // Out of the window and back in with the button held: no jump.
    mouse(c, wxEVT_RIGHT_DOWN, 100, 100, Right);
    mouse(c, wxEVT_MOTION, 100 + quarter, 100, Right);
    mouse(c, wxEVT_LEAVE_WINDOW, 100 + quarter, 100, Right);
    EXPECT_NEAR(c->baseYaw, 2 * quarter * degreesPerPixel, 1e-9);
    mouse(c, wxEVT_ENTER_WINDOW, 300, 300, Right);
    mouse(c, wxEVT_MOTION, 300, 300, Right);
    EXPECT_NEAR(c->yaw, 2 * quarter * degreesPerPixel, 1e-9);
    mouse(c, wxEVT_MOTION, 300 + quarter, 300 + quarter, Right);
    EXPECT_NEAR(c->yaw, 3 * quarter * degreesPerPixel, 1e-9);
    EXPECT_NEAR(c->pitch, 100 - quarter * degreesPerPixel, 1e-9);
}

TEST_F(Tools, CutPreviewsAddsAndDeletesAPath) {
    loadGrid();
    app()->toolMode = ToolCut;
    const std::vector<bool> cutBefore = cutFlags(model());
    const size_t walkBefore = model().perimeter.size();
    HalfEdge* e = innerEdge();
    ASSERT_NE(e, nullptr);
    ScreenPoint at = middleOf(*e);

    // Hovering previews the edge and its path to the cut, and changes nothing.
    mouse(modelView(), wxEVT_MOTION, at.x, at.y);
    std::set<int> previewed;
    for (HalfEdge& h : model().halfEdges)
        if (h.highlighted) previewed.insert(h.edgeIndex);
    EXPECT_TRUE(previewed.count(e->edgeIndex));
    EXPECT_GE(previewed.size(), 2u);
    EXPECT_EQ(cutFlags(model()), cutBefore);

    // A click adds what was previewed.
    testsupport::captureStdout([&] { click(modelView(), at); });
    release(modelView(), at);
    for (HalfEdge& h : model().halfEdges) {
        if (previewed.count(h.edgeIndex)) {
            EXPECT_TRUE(h.onCut) << h.edgeIndex;
        }
    }
    const size_t walkAdded = model().perimeter.size();
    EXPECT_EQ(walkAdded, walkBefore + 2 * previewed.size());

    // A click on a cut line deletes a branch of the cut instead.
    testsupport::captureStdout([&] { click(modelView(), at); });
    release(modelView(), at);
    EXPECT_FALSE(e->onCut);
    EXPECT_LT(model().perimeter.size(), walkAdded);
}

TEST_F(Tools, CutEditsThatTheModelRefusesAndEmptyClicksChangeNothing) {
    loadGrid();
    app()->toolMode = ToolCut;
    // An inner edge between two vertices of the cut has no path to add.
    HalfEdge* chord = nullptr;
    for (HalfEdge& h : model().halfEdges)
        if (h.face && h.pair->face && !h.onCut && h.vert->onCut && h.pair->vert->onCut) chord = &h;
    ASSERT_NE(chord, nullptr);
    const std::vector<bool> cutBefore = cutFlags(model());
    const ScreenPoint clicks[] = {middleOf(*chord), {3, 3}};
    for (bool shift : {false, true})
        for (ScreenPoint p : clicks) {
            testsupport::captureStdout([&] { click(modelView(), p, shift); });
            release(modelView(), p);
            EXPECT_EQ(cutFlags(model()), cutBefore) << p.x << "," << p.y << (shift ? " with Shift" : "");
        }
}

TEST_F(Tools, FloodRebuildsTheCutFromTheClickedFace) {
    loadGrid();
    HalfEdge* e = innerEdge();
    ASSERT_NE(e, nullptr);
    testsupport::captureStdout([&] { model().addCutPath(e); });
    Face& f = *std::next(model().faces.begin(), 4);
    Polyhedron expected;
    expected = model();
    Face& g = *std::next(expected.faces.begin(), 4);
    testsupport::captureStdout([&] { expected.floodFromFace(&g); });
    ASSERT_NE(cutFlags(expected), cutFlags(model()));

    app()->toolMode = ToolFlood;
    ScreenPoint at = Projection(modelView()).of(centroid(f));
    mouse(modelView(), wxEVT_MOTION, at.x, at.y);
    EXPECT_TRUE(f.highlighted);
    EXPECT_EQ(
        std::count_if(model().faces.begin(), model().faces.end(), [](Face& x) { return x.highlighted; }), 1);
    EXPECT_NE(cutFlags(model()), cutFlags(expected));

    testsupport::captureStdout([&] { click(modelView(), at); });
    EXPECT_EQ(cutFlags(model()), cutFlags(expected));
    EXPECT_EQ(model().perimeter.size(), expected.perimeter.size());
}

TEST_F(Tools, CutOrFloodOnADevelopedModelRestoresTheUndevelopedOne) {
    for (ToolMode tool : {ToolCut, ToolFlood}) {
        SCOPED_TRACE(tool == ToolCut ? "Cut" : "Flood");
        loadGrid();
        develop();
        size_t undevelopedFaces = app()->backupModel->faces.size();
        ASSERT_GT(model().faces.size(), undevelopedFaces);
        // A face selected on the sheet, whose record the restore replaces.
        app()->toolMode = ToolMove;
        Face& selected = model().faces.front();
        click(patternView(), Projection(patternView()).of(sheetCentroid(selected)));
        release(patternView(), {0, 0});
        ASSERT_EQ(app()->pickedFaces.size(), 1u);

        app()->toolMode = tool;
        HalfEdge* e = innerEdge();
        ASSERT_NE(e, nullptr);
        ScreenPoint at = middleOf(*e);
        testsupport::captureStdout([&] { click(modelView(), at); });
        release(modelView(), at);
        EXPECT_FALSE(app()->developed);
        EXPECT_EQ(model().faces.size(), undevelopedFaces);
        for (Face& f : model().faces) {
            EXPECT_FALSE(f.boundaryDigon);
            EXPECT_FALSE(f.moving);
        }
        expectPicksInWorkingModel();
        // The lists are emptied with the replaced model; Flood picks anew.
        if (tool == ToolCut) {
            EXPECT_TRUE(app()->pickedFaces.empty());
        }
        // The edit took effect on the restored model.
        if (tool == ToolCut) {
            int cut = 0;
            for (HalfEdge& h : model().halfEdges) cut += h.onCut;
            int cutInBackup = 0;
            for (HalfEdge& h : app()->backupModel->halfEdges) cutInBackup += h.onCut;
            EXPECT_GT(cut, cutInBackup);
        }
        // Both views show it undeveloped.
        EXPECT_EQ(pixelAt(patternView(), middleOfView(patternView())), rgb(1, 1, 1));
    }
}

TEST_F(Tools, ExplodeFattensTucksUnderTheBrushAndThinsThemWithShift) {
    struct BrushCase {
        const char* name;
        bool panned;  // the molecule brought to the middle of the view
        bool widePane;
    };
    const BrushCase cases[] = {{"turned", false, false}, {"turned and panned, in a wide pane", true, true}};
    for (const BrushCase& t : cases) {
        SCOPED_TRACE(t.name);
        if (t.widePane) resizeWindow(1260, 400);
        developOctahedron();
        // The brush measures from the middle between the two faces' origins. A
        // molecule off the centre of the sheet, in a turned view zoomed in so
        // far that the brush (a fifth of the view's height) reaches it only
        // from where the pointer is.
        HalfEdge* q = nullptr;
        Vec2 m;
        for (HalfEdge& h : model().halfEdges) {
            if (h.onCut || !h.face || !h.pair->face) continue;
            Vec2 c = 0.5 * (h.face->translation + h.pair->face->translation);
            if (std::hypot(c.x, c.y) > 0.1 && (!q || std::hypot(c.x, c.y) < std::hypot(m.x, m.y)))
                q = &h, m = c;
        }
        ASSERT_NE(q, nullptr);
        orpGLCanvas* view = patternView();
        view->zoom = 1.0;
        view->render();  // fits the camera to the sheet
        view->zoom = view->screenToSheetScale() / (3 * std::hypot(m.x, m.y));
        // Turned so that the molecule shows on a diagonal of the window, with
        // the sheet turned by at least 45 degrees.
        double theta = std::atan2(m.y, m.x) * 180 / M_PI, yaw = 0;
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            double y = std::remainder(45 + 90 * quadrant - theta, 360);
            if (std::fabs(std::sin(y * M_PI / 180)) > std::fabs(std::sin(yaw * M_PI / 180))) yaw = y;
        }
        view->yaw = yaw;
        if (t.panned) {
            Vec3 centre = view->turningCentre();
            Vec2 onScreen = (m - Vec2(centre.x, centre.y)).rotate(yaw * M_PI / 180);
            view->eye.x = view->lookAt.x = view->pan.x = onScreen.x;
            view->eye.y = view->lookAt.y = view->pan.y = onScreen.y;
        }
        ScreenPoint at = Projection(view).of(m);
        std::vector<double>& widths = model().solver.tuckWidths;
        const int k = q->edgeIndex;

        app()->toolMode = ToolExplode;
        for (bool shift : {false, true}) {
            double before = widths[k];
            click(view, at, shift);
            for (int i = 0; i < 3; ++i) drag(view, at, shift);
            release(view, at);
            if (!shift)
                EXPECT_GT(widths[k], before);
            else
                EXPECT_LT(widths[k], before);
        }
        // Without the button held the brush does nothing.
        double before = widths[k];
        mouse(view, wxEVT_MOTION, at.x, at.y);
        EXPECT_EQ(widths[k], before);
    }
}

// A stopped solver holds its last finite layout: the brush changes nothing
// that is saved, on the layout it stopped on and on one moved since.
TEST_F(Tools, ExplodeChangesNothingWhileTheSolverIsStopped) {
    developOctahedron();
    model().solver.tuckWidths[0] = std::nan("");
    idle(1);
    ASSERT_TRUE(model().solver.halted);
    auto saved = [](const char* name) {
        const std::string path = testsupport::tempPath(name);
        testsupport::captureStdout([&] { guitest::frame()->saveFile(path); });
        return testsupport::readFile(path);
    };
    orpGLCanvas* view = patternView();
    for (bool moved : {false, true}) {
        SCOPED_TRACE(moved ? "after a Move" : "as it stopped");
        Face& f = *std::next(model().faces.begin(), 2);
        ScreenPoint at = Projection(view).of(sheetCentroid(f));
        if (moved) {
            app()->toolMode = ToolMove;
            const Vec2 start = f.translation;
            click(view, at);
            drag(view, {at.x + 40, at.y + 20});
            release(view, {at.x + 40, at.y + 20});
            ASSERT_NE(f.translation.x, start.x);
        }
        const std::string before = saved("before-explode.dxf");
        ASSERT_FALSE(before.empty());
        app()->toolMode = ToolExplode;
        for (bool shift : {false, true}) {
            click(view, at, shift);
            for (int i = 0; i < 3; ++i) drag(view, at, shift);
            release(view, at);
        }
        EXPECT_TRUE(saved("after-explode.dxf") == before);
    }
}

TEST_F(Tools, MoveDragsTheClickedFaceOnTheTurnedSheet) {
    struct TurnCase {
        double yaw;
        Vec2 direction;  // on the sheet, of a drag to the right
    };
    const TurnCase cases[] = {{0, Vec2(1, 0)}, {90, Vec2(0, -1)}};
    for (const TurnCase& t : cases) {
        SCOPED_TRACE(t.yaw);
        developOctahedron();
        patternView()->yaw = t.yaw;
        app()->toolMode = ToolMove;
        Face& f = *std::next(model().faces.begin(), 2);
        ScreenPoint at = Projection(patternView()).of(sheetCentroid(f));
        click(patternView(), at);
        ASSERT_TRUE(f.moving);
        ASSERT_EQ(app()->pickedFaces.front(), &f);
        Vec2 start = f.translation;

        for (int dx = 10; dx <= 40; dx += 10) drag(patternView(), {at.x + dx, at.y});
        release(patternView(), {at.x + 40, at.y});
        Vec2 moved = f.translation - start;
        double along = moved.x * t.direction.x + moved.y * t.direction.y;
        double across = moved.x * -t.direction.y + moved.y * t.direction.x;
        EXPECT_GT(along, 0.0);
        EXPECT_LT(std::fabs(across), along);
        EXPECT_TRUE(f.moving);

        // A click on empty space drops the selection and moves nothing.
        click(patternView(), {2, 2});
        EXPECT_TRUE(app()->pickedFaces.empty());
        EXPECT_FALSE(f.moving);
        Vec2 still = f.translation;
        drag(patternView(), {40, 40});
        EXPECT_EQ(f.translation.x, still.x);
        EXPECT_EQ(f.translation.y, still.y);
    }
}

TEST_F(Tools, MoveInTheModelViewOnlySelects) {
    developOctahedron();
    app()->toolMode = ToolMove;
    Face* f = faceFacing(model(), Vec3(0, 0, 1));
    std::vector<Vec2> before;
    for (Face& g : model().faces) before.push_back(g.translation);
    ScreenPoint at = Projection(modelView()).of(centroid(*f));
    click(modelView(), at);
    mouse(modelView(), wxEVT_MOTION, at.x + 30, at.y, Left);
    release(modelView(), {at.x + 30, at.y});
    EXPECT_TRUE(f->moving);
    size_t i = 0;
    for (Face& g : model().faces) {
        EXPECT_EQ(g.translation.x, before[i].x);
        EXPECT_EQ(g.translation.y, before[i++].y);
    }
}

TEST_F(Tools, SplitEtmSplitsAnEdgeAndShiftJoinsItBack) {
    developOctahedron();
    guitest::timerTick();
    ASSERT_TRUE(model().creasePattern.built);
    app()->toolMode = ToolSplitETM;
    const size_t faces = model().faces.size(), halfEdges = model().halfEdges.size();
    HalfEdge* q = widestMolecule(model(), true);
    ASSERT_NE(q, nullptr);
    ScreenPoint at = Projection(patternView()).of(moleculeCentroid(*q));

    // Shift on a molecule beside no two-sided face, and clicks beside every
    // molecule, leave the design as it was.
    const ScreenPoint nothing[] = {{2, 2}, at};
    for (ScreenPoint p : nothing) {
        click(patternView(), p, p.x == at.x);
        EXPECT_EQ(model().faces.size(), faces);
        EXPECT_TRUE(model().creasePattern.built);
    }

    // Shift on a molecule beside a two-sided face of the boundary: that face
    // cannot be joined back, so the design stays as it was.
    HalfEdge* ring = nullptr;
    for (HalfEdge& h : model().halfEdges)
        if (h.face && h.face->boundaryDigon && !h.onCut) ring = &h;
    ASSERT_NE(ring, nullptr);
    HalfEdge* ringSide = ring->vert->index < ring->pair->vert->index ? ring : ring->pair;
    testsupport::captureStdout(
        [&] { click(patternView(), Projection(patternView()).of(moleculeCentroid(*ringSide)), true); });
    EXPECT_EQ(model().faces.size(), faces);
    EXPECT_TRUE(model().creasePattern.built);

    // A split whose rebuild is refused for its size is taken back: the
    // design stays as it was, with its crease pattern.
    const size_t lines = model().creasePattern.lines.size();
    LayoutSolver::storageLimitOverride = 1.0;
    std::string out = testsupport::captureStdout([&] { click(patternView(), at); });
    LayoutSolver::storageLimitOverride = 0.0;
    EXPECT_EQ(out.find("\nmodel too large to develop ("), 0u) << out;
    EXPECT_EQ(model().faces.size(), faces);
    EXPECT_EQ(model().halfEdges.size(), halfEdges);
    EXPECT_TRUE(model().creasePattern.built);
    EXPECT_EQ(model().creasePattern.lines.size(), lines);
    EXPECT_TRUE(model().solver.allocated);

    testsupport::captureStdout([&] { click(patternView(), at); });
    ASSERT_EQ(model().faces.size(), faces + 1);
    EXPECT_EQ(model().halfEdges.size(), halfEdges + 2);
    EXPECT_FALSE(model().creasePattern.built);
    Face& digon = model().faces.back();
    EXPECT_TRUE(twoSided(&digon));
    std::set<int> indices;
    for (Face& f : model().faces) indices.insert(f.index);
    EXPECT_EQ(indices.size(), faces + 1);
    EXPECT_EQ(*indices.rbegin(), (int)faces);

    // Shift on either molecule beside the two-sided face joins the edge again.
    guitest::timerTick();
    idle(5);
    HalfEdge* a = digon.edge;
    HalfEdge* side = a->vert->index < a->pair->vert->index ? a : a->pair;
    ScreenPoint beside = Projection(patternView()).of(moleculeCentroid(*side));
    app()->pickedFaces = {&digon};
    testsupport::captureStdout([&] { click(patternView(), beside, true); });
    EXPECT_EQ(model().faces.size(), faces);
    EXPECT_EQ(model().halfEdges.size(), halfEdges);
    EXPECT_FALSE(model().creasePattern.built);
    for (Face& f : model().faces) EXPECT_EQ(twoSided(&f), f.boundaryDigon);
    expectPicksInWorkingModel();
    EXPECT_TRUE(app()->pickedEtmEdges.empty());
}

TEST_F(Tools, NothingActsWithoutAModelOrBeforeDevelop) {
    const ToolMode tools[] = {ToolMove, ToolExplode, ToolCut, ToolSplitETM, ToolFlood};
    for (bool loadedModel : {false, true}) {
        if (loadedModel) loadGrid();
        for (ToolMode tool : tools) {
            app()->toolMode = tool;
            testsupport::captureStdout([&] {
                for (orpGLCanvas* c : {modelView(), patternView()}) {
                    click(c, {245, 245});
                    drag(c, {250, 250});
                    release(c, {250, 250});
                    mouse(c, wxEVT_LEFT_DCLICK, 250, 250);
                }
            });
            EXPECT_FALSE(app()->developed);
            EXPECT_EQ(app()->loaded, loadedModel);
        }
    }
}

TEST_F(Tools, DegenerateModelsSurviveEveryTool) {
    const std::pair<const char*, const char*> models[] = {
        {"coincident corners", "v 0 0 0\nv 0 0 0\nv 0 0 0\nf 1 2 3\n"},
        {"collinear corners", "v 0 0 0\nv 1 0 0\nv 2 0 0\nf 1 2 3\n"},
        {"two faces back to back", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 3 2\n"},
    };
    const ToolMode tools[] = {ToolMove, ToolExplode, ToolCut, ToolSplitETM, ToolFlood};
    for (const auto& m : models) {
        SCOPED_TRACE(m.first);
        load(m.second);
        for (bool developed : {false, true}) {
            if (developed) testsupport::captureStdout([] { guitest::menuCommand("Model", "Develop"); });
            for (ToolMode tool : tools) {
                app()->toolMode = tool;
                testsupport::captureStdout([&] {
                    for (orpGLCanvas* c : {modelView(), patternView()}) {
                        ScreenPoint p = middleOfView(c);
                        for (bool shift : {false, true}) {
                            click(c, p, shift);
                            drag(c, {p.x + 5, p.y + 5}, shift);
                            release(c, {p.x + 5, p.y + 5});
                        }
                        wheel(c, 120);
                    }
                });
            }
        }
        EXPECT_TRUE(app()->loaded);
    }
}

}  // namespace
