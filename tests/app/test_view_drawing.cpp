#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app/view_support.h"
#include "support/test_support.h"

using guitest::app;
using namespace viewtest;

namespace {

const Rgb kWhite = rgb(1, 1, 1);
const Rgb kBlack = rgb(0, 0, 0);
const Rgb kCutRed = rgb(1, 0, 0);
const Rgb kEdgeRed = rgb(0.5, 0, 0);
const Rgb kPicked = rgb(1, 0, 0.2);
const Rgb kPaper = rgb(0.9, 0.9, 0.9);
const Rgb kCell = rgb(0.8, 0.8, 0.8);
const Rgb kWideMolecule = rgb(0.4, 0.9, 0.4);
const Rgb kMountain = rgb(0.6, 0, 0);
const Rgb kValley = rgb(0, 0, 0.3);

double distance(ScreenPoint a, ScreenPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Twice the signed area of a polygon on the sheet.
double doubleArea(const std::vector<Vec2>& p) {
    double sum = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const Vec2 &a = p[i], &b = p[(i + 1) % p.size()];
        sum += a.x * b.y - a.y * b.x;
    }
    return sum;
}

Vec2 average(const std::vector<Vec2>& p) {
    Vec2 sum;
    for (const Vec2& q : p) sum = sum + q;
    return sum / (double)p.size();
}

Vec2 corner(const HalfEdge* h) { return h->face->translation + h->corner; }

class ViewDrawing : public ViewTest {
protected:
    // The largest placed polygon and vertex cell.
    Face* largestPolygon() {
        Face* best = nullptr;
        double bestArea = 0;
        for (Face& f : model().faces) {
            std::vector<Vec2> p;
            const HalfEdge* h = f.edge;
            do p.push_back(corner(h));
            while ((h = h->next) != f.edge);
            if (doubleArea(p) > bestArea) bestArea = doubleArea(p), best = &f;
        }
        return best;
    }

    std::vector<Vec2> cellOf(const Vertex& v) {
        std::vector<Vec2> p;
        HalfEdge* s = v.edge.front();
        do {
            if (s->face) p.push_back(corner(s->prev));
            s = s->prev->pair;
        } while (s != v.edge.front());
        return p;
    }

    std::vector<Vec2> largestCell() {
        std::vector<Vec2> best;
        for (Vertex& v : model().vertices) {
            std::vector<Vec2> p = cellOf(v);
            if (p.size() >= 3 && (best.empty() || std::fabs(doubleArea(p)) > std::fabs(doubleArea(best))))
                best = p;
        }
        return best;
    }
};

TEST_F(ViewDrawing, PatternViewStaysWhiteUntilDevelop) {
    const ScreenPoint size = viewSize(patternView());
    const ScreenPoint points[] = {{3, 3}, {size.x / 2, size.y / 2}, {size.x - 4, size.y - 4}};
    for (ScreenPoint p : points) {
        EXPECT_EQ(pixelAt(modelView(), p), kWhite) << p.x << "," << p.y;
        EXPECT_EQ(pixelAt(patternView(), p), kWhite) << p.x << "," << p.y;
    }
    loadGrid();
    for (ScreenPoint p : points) EXPECT_EQ(pixelAt(patternView(), p), kWhite) << p.x << "," << p.y;
    EXPECT_NE(pixelAt(modelView(), middleOfView(modelView())), kWhite);
}

TEST_F(ViewDrawing, ModelViewShadesFacesByTheirBendAndTheLight) {
    loadGrid();
    const Vec3 L = modelView()->lightDir;
    struct ShadeCase {
        const char* name;
        Vec3 normal;
        double bend;      // of every vertex, in half turns
        bool fromBehind;  // the model turned round, showing the back of the face
        bool moving, highlighted;
        Rgb expected;
    };
    const ShadeCase cases[] = {
        {"flat, facing the light", L, 2, false, false, false, rgb(0.95, 0.95, 0.95)},
        {"flat, facing away", -L, 2, false, false, false, rgb(0.8, 0.8, 0.85)},
        {"bent towards the front", L, 1, false, false, false, rgb(0.75, 0.75, 0.75)},
        {"bent towards the back", L, 3, false, false, false, rgb(0.95, 0.95, 0.95)},
        {"back of a flat face", L, 2, true, false, false, rgb(0.8, 0.8, 0.85)},
        {"back, bent towards the back", -L, 3, true, false, false, rgb(0.75, 0.75, 0.75)},
        {"back, bent towards the front", -L, 1, true, false, false, rgb(0.95, 0.95, 0.95)},
        {"highlighted", L, 2, false, false, true, rgb(1, 0.95, 0.95)},
        {"moving wins over highlighted", -L, 2, false, true, true, kPicked},
        {"moving, from behind", L, 2, true, true, false, kPicked},
    };
    Face* f = &*std::next(model().faces.begin(), 7);
    for (const ShadeCase& c : cases) {
        for (Vertex& v : model().vertices) v.bendDefect = c.bend * M_PI;
        f->normal = c.normal;
        f->moving = c.moving;
        f->highlighted = c.highlighted;
        modelView()->yaw = c.fromBehind ? 180 : 0;
        ScreenPoint at = Projection(modelView()).of(centroid(*f));
        Rgb seen = pixelAt(modelView(), at);
        EXPECT_TRUE(near(seen, c.expected)) << c.name << ": " << seen << ", expected " << c.expected;
    }
}

TEST_F(ViewDrawing, ModelViewDrawsEdgesAndVerticesOverTheFaces) {
    loadGrid();
    Projection view(modelView());
    int cut = 0, uncut = 0;
    for (HalfEdge& h : model().halfEdges) {
        ScreenPoint mid = view.of(0.5 * (h.vert->pos + h.prev->vert->pos));
        if (h.onCut || h.pair->onCut) {
            EXPECT_TRUE(showsNear(modelView(), mid, kCutRed)) << "cut edge " << h.edgeIndex;
            ++cut;
        } else {
            EXPECT_TRUE(showsNear(modelView(), mid, kEdgeRed)) << "edge " << h.edgeIndex;
            ++uncut;
        }
    }
    EXPECT_GT(cut, 0);
    EXPECT_GT(uncut, 0);
    for (Vertex& v : model().vertices) EXPECT_TRUE(showsNear(modelView(), view.of(v.pos), kBlack)) << v.index;

    // A highlight on either half wins over the cut.
    HalfEdge* e = nullptr;
    for (HalfEdge& h : model().halfEdges)
        if (h.onCut && h.face) e = &h;
    ASSERT_NE(e, nullptr);
    e->pair->highlighted = true;
    ScreenPoint mid = view.of(0.5 * (e->vert->pos + e->prev->vert->pos));
    EXPECT_TRUE(showsNear(modelView(), mid, rgb(1, 0.5, 0.5)));
    EXPECT_FALSE(showsNear(modelView(), mid, kCutRed));

    // Without faces and edges nothing is left to see.
    app()->showFacets = app()->showEdges = false;
    EXPECT_EQ(pixelAt(modelView(), view.of(centroid(model().faces.front()))), kWhite);
    EXPECT_FALSE(showsNear(modelView(), mid, kCutRed, 3));
    app()->showFacets = app()->showEdges = true;
}

TEST_F(ViewDrawing, FacesHideWhatLiesBehindThem) {
    load(testsupport::octahedronObj());
    // The far half drawn red: none of it may show through the near half.
    for (Face& f : model().faces) f.moving = f.normal.z < 0;
    Projection view(modelView());
    for (Face& f : model().faces) {
        if (f.normal.z <= 0) continue;
        Rgb seen = pixelAt(modelView(), view.of(centroid(f)));
        EXPECT_NE(seen, kPicked) << f.index;
        EXPECT_NE(seen, kWhite) << f.index;
    }
}

TEST_F(ViewDrawing, TuckFlapsHangFromTheEdgesIntoTheModel) {
    developOctahedron();
    app()->showFacets = app()->showEdges = false;
    // Of the flaps that face the camera, the one with the deepest tuck at its
    // shallower end.
    const LayoutSolver& solver = model().solver;
    auto length = [](const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); };
    HalfEdge* h = nullptr;
    double depth = 0;
    for (HalfEdge& e : model().halfEdges) {
        Vec3 n = cross(e.vert->pos - e.pair->vert->pos, e.vert->offset + e.pair->vert->offset);
        double d = std::fmin(solver.tuckDepth(&e), solver.tuckDepth(e.pair));
        if (std::fabs(n.z) > 0.9 * length(n) && d > depth) depth = d, h = &e;
    }
    ASSERT_NE(h, nullptr);
    // Its offsets twice as long as its deeper end, so that the proxy reaches
    // beyond the real flap, and every other offset zero, which leaves no
    // other flap in the way but those at its ends.
    double deepest = std::fmax(solver.tuckDepth(h), solver.tuckDepth(h->pair));
    for (Vertex& v : model().vertices)
        v.offset =
            (&v == h->vert || &v == h->pair->vert) ? (2 * deepest / length(v.offset)) * v.offset : Vec3();
    Vec3 OA = h->vert->offset, OB = h->pair->vert->offset;
    const double reach = 2 * deepest;
    // Points on the flap's middle line: one within the real flap, one beyond
    // it but within the proxy that reaches along the whole offsets.
    Vec3 edge = 0.5 * (h->vert->pos + h->pair->vert->pos);
    Projection view(modelView());
    ScreenPoint inFlap = view.of(edge + (0.25 * depth / reach) * (OA + OB));
    ScreenPoint beyond = view.of(edge + (0.25 * (1 + deepest / reach)) * (OA + OB));

    Rgb flap = pixelAt(modelView(), inFlap);
    EXPECT_NE(flap, kWhite);
    EXPECT_LE(std::abs(flap.r - flap.g), 2) << flap;  // light grey, a little blue
    EXPECT_GE(flap.b, flap.r) << flap;
    EXPECT_EQ(pixelAt(modelView(), beyond), kWhite);

    app()->showRealTuck = false;
    EXPECT_EQ(pixelAt(modelView(), inFlap), kWhite);
    app()->showTuckProxy = true;
    Rgb tint = pixelAt(modelView(), beyond);
    EXPECT_NE(tint, kWhite);
    EXPECT_GT(tint.g, tint.r) << tint;  // faint green
}

TEST_F(ViewDrawing, PatternViewShowsPaperMoleculesPolygonsAndCutLines) {
    developOctahedron();
    Projection sheet(patternView());

    Face* polygon = largestPolygon();
    ASSERT_NE(polygon, nullptr);
    EXPECT_EQ(pixelAt(patternView(), sheet.of(sheetCentroid(*polygon))), kWhite);

    HalfEdge* q = widestMolecule(model(), false);
    ASSERT_NE(q, nullptr);
    bool narrow = model().solver.withinWidthLimit(q) && model().solver.withinWidthLimit(q->pair);
    // 0.9 of full intensity is 229.5 of 255, which the rasterizer rounds either way.
    Rgb molecule = pixelAt(patternView(), sheet.of(moleculeCentroid(*q)));
    EXPECT_TRUE(near(molecule, narrow ? kPaper : kWideMolecule)) << molecule;

    std::vector<Vec2> cell = largestCell();
    ASSERT_FALSE(cell.empty());
    EXPECT_EQ(pixelAt(patternView(), sheet.of(average(cell))), kCell);

    int cuts = 0;
    for (HalfEdge& h : model().halfEdges) {
        if (!h.onCut || !h.face) continue;
        ScreenPoint a = sheet.of(corner(&h)), b = sheet.of(corner(h.prev));
        if (distance(a, b) < 4) continue;
        EXPECT_TRUE(showsNear(patternView(), {(a.x + b.x) / 2, (a.y + b.y) / 2}, kCutRed)) << h.index;
        ++cuts;
    }
    EXPECT_GT(cuts, 0);

    // The paper is the smallest square round the layout: where the layout is
    // narrower than it is tall, paper shows beside it.
    Vec2 hi, lo;
    model().boundsAt(0, hi, lo);
    Vec2 size = hi - lo;
    ASSERT_GT(size.y, size.x * 1.05) << "the fixture's layout should be taller than wide";
    Vec2 strip(lo.x - (size.y - size.x) / 4, 0.5 * (hi.y + lo.y));
    EXPECT_EQ(pixelAt(patternView(), sheet.of(strip)), kPaper);
    ScreenPoint edge = sheet.of(Vec2(lo.x - (size.y - size.x) / 2, strip.y));
    EXPECT_EQ(pixelAt(patternView(), {edge.x - 4, edge.y}), kWhite);
}

// Window sizes that give panes about as wide as tall, wider, and taller.
struct Pane {
    const char* name;
    int windowWidth, windowHeight;
};
const Pane kUsualPane = {"usual pane", 0, 0};
const Pane kWidePane = {"wide pane", 1260, 400};
const Pane kTallPane = {"tall pane", 500, 960};

TEST_F(ViewDrawing, PaperShowsWholeAndSquareToTheWindowAsTheSheetTurns) {
    struct PaperCase {
        double yaw;
        Pane pane;
    };
    const PaperCase cases[] = {{0, kUsualPane}, {45, kUsualPane}, {30, kWidePane}, {0, kTallPane}};
    for (const PaperCase& t : cases) {
        SCOPED_TRACE(testing::Message() << t.pane.name << ", yaw " << t.yaw);
        if (t.pane.windowWidth) resizeWindow(t.pane.windowWidth, t.pane.windowHeight);
        // Its sheet is several times larger than the sphere.
        load(testsupport::sphereObj(2));
        develop();
        idle(20);
        patternView()->yaw = t.yaw;
        patternView()->render();
        Projection sheet(patternView());
        Vec2 hi, lo;
        model().boundsAt(t.yaw * M_PI / 180, hi, lo);
        double a = 0.5 * std::fmax(hi.x - lo.x, hi.y - lo.y);
        Vec2 c = 0.5 * (hi + lo);
        // The square's corners in the turned frame, taken back to the sheet:
        // lower left, lower right, upper right, upper left.
        const Vec2 signs[] = {Vec2(-1, -1), Vec2(1, -1), Vec2(1, 1), Vec2(-1, 1)};
        ScreenPoint p[4];
        for (int i = 0; i < 4; ++i)
            p[i] = sheet.of((c + Vec2(a * signs[i].x, a * signs[i].y)).rotate(-t.yaw * M_PI / 180));
        EXPECT_NEAR(p[0].y, p[1].y, 0.5);                    // the bottom side stays horizontal
        EXPECT_NEAR(p[1].x, p[2].x, 0.5);                    // and the right side vertical
        EXPECT_NEAR(p[1].x - p[0].x, p[1].y - p[2].y, 1.0);  // a square on the screen too

        // The whole square shows, filling most of the pane's shorter side.
        ScreenPoint size = viewSize(patternView());
        EXPECT_GT(p[1].x - p[0].x, 0.8 * std::fmin(size.x, size.y));
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            EXPECT_GE(std::fmin(p[i].x, p[i].y), 4.0);
            EXPECT_LE(p[i].x, size.x - 5);
            EXPECT_LE(p[i].y, size.y - 5);
            double sx = signs[i].x, sy = -signs[i].y;  // window y grows downwards
            EXPECT_EQ(pixelAt(patternView(), {p[i].x - 3 * sx, p[i].y - 3 * sy}), kPaper);
            EXPECT_EQ(pixelAt(patternView(), {p[i].x + 3 * sx, p[i].y + 3 * sy}), kWhite);
        }
    }
}

TEST_F(ViewDrawing, ModelViewShowsTheWholeModelUndistortedInAnyPane) {
    // A scanned mesh standing on y = 0, well off the origin: 4 wide, 10 tall
    // and 3 deep.
    const std::string standing =
        "v 6 0 2\nv 10 0 2\nv 10 10 2\nv 6 10 2\nv 6 0 5\nv 10 0 5\nv 10 10 5\nv 6 10 5\n"
        "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n";
    struct ModelCase {
        const char* name;
        std::string obj;
        double yaw, pitch;
        Pane pane;
        double widthOverHeight;  // of what shows, seen face on; 0 when turned
    };
    const ModelCase cases[] = {
        {"unit cube", testsupport::cubeObj(1.0), 0, 0, kUsualPane, 1.0},
        {"standing box", standing, 0, 0, kUsualPane, 0.4},
        {"standing box, turned and tilted", standing, 60, 30, kUsualPane, 0},
        {"unit cube", testsupport::cubeObj(1.0), 0, 0, kWidePane, 1.0},
        {"standing box", standing, 0, 0, kWidePane, 0.4},
        {"standing box", standing, 0, 0, kTallPane, 0.4},
    };
    for (const ModelCase& t : cases) {
        SCOPED_TRACE(testing::Message() << t.name << " in a " << t.pane.name);
        if (t.pane.windowWidth) resizeWindow(t.pane.windowWidth, t.pane.windowHeight);
        load(t.obj);
        modelView()->yaw = t.yaw;
        modelView()->pitch = t.pitch;

        // The box round everything that is not white.
        modelView()->render();
        ScreenPoint size = viewSize(modelView());
        const int w = (int)size.x, h = (int)size.y;
        std::vector<unsigned char> pixels(3 * w * h);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        int left = w, right = -1, bottom = h, top = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned char* c = &pixels[3 * (y * w + x)];
                if (c[0] == 255 && c[1] == 255 && c[2] == 255) continue;
                left = std::min(left, x), right = std::max(right, x);
                bottom = std::min(bottom, y), top = std::max(top, y);
            }
        ASSERT_GE(right, 0) << "nothing shows";
        // Whole, not touching the pane's edges, in the middle of the pane.
        EXPECT_GE(std::min(left, bottom), 3);
        EXPECT_LT(right, w - 3);
        EXPECT_LT(top, h - 3);
        const double shorter = std::fmin(w, h);
        EXPECT_NEAR(0.5 * (left + right), 0.5 * w, 0.05 * shorter);
        EXPECT_NEAR(0.5 * (bottom + top), 0.5 * h, 0.05 * shorter);
        EXPECT_GT(std::max(right - left, top - bottom), 0.4 * shorter) << "too small to see";
        if (t.widthOverHeight > 0) {
            EXPECT_NEAR(right - left + 1, t.widthOverHeight * (top - bottom + 1), 3.0) << "distorted";
            // Picking agrees with what shows: the face in the middle is the
            // one that faces the camera.
            Face* front = faceFacing(model(), Vec3(0, 0, 1));
            modelView()->pick(Vec2(0.5 * w, 0.5 * h), &model(), PickFace);
            ASSERT_EQ(app()->pickedFaces.size(), 1u);
            EXPECT_EQ(app()->pickedFaces.front(), front);
        }
    }
}

TEST_F(ViewDrawing, CreaseLinesShowOnlyWithCreasePatternGeneration) {
    developOctahedron();
    app()->creasePatternOn = true;
    guitest::timerTick();
    ASSERT_FALSE(model().creasePattern.lines.empty());
    Projection sheet(patternView());
    std::vector<ScreenPoint> middles;
    for (CreaseLine& line : model().creasePattern.lines) {
        ScreenPoint a = sheet.of(*line.start->point), b = sheet.of(*line.end->point);
        if (distance(a, b) >= 4) middles.push_back({(a.x + b.x) / 2, (a.y + b.y) / 2});
    }
    ASSERT_FALSE(middles.empty());
    for (ScreenPoint m : middles)
        EXPECT_TRUE(showsNear(patternView(), m, kMountain) || showsNear(patternView(), m, kValley))
            << m.x << "," << m.y;

    app()->creasePatternOn = false;
    for (ScreenPoint m : middles)
        EXPECT_FALSE(showsNear(patternView(), m, kMountain) || showsNear(patternView(), m, kValley))
            << m.x << "," << m.y;
}

TEST_F(ViewDrawing, PickedFaceShowsInBothViews) {
    developOctahedron();
    Face* f = faceFacing(model(), Vec3(0, 0, 1));
    ScreenPoint inModel = Projection(modelView()).of(centroid(*f));
    ScreenPoint onSheet = Projection(patternView()).of(sheetCentroid(*f));
    EXPECT_NE(pixelAt(modelView(), inModel), kPicked);
    EXPECT_NE(pixelAt(patternView(), onSheet), kPicked);

    app()->toolMode = ToolMove;
    click(modelView(), inModel);
    mouse(modelView(), wxEVT_LEFT_UP, inModel.x, inModel.y);
    ASSERT_TRUE(f->moving);
    EXPECT_EQ(pixelAt(modelView(), inModel), kPicked);
    EXPECT_EQ(pixelAt(patternView(), onSheet), kPicked);
}

}  // namespace
