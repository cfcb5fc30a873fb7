#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "creasepattern/dxf_export.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using testsupport::captureStdout;
using testsupport::tempPath;

namespace {

const double kPi = 3.14159265358979323846;

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Names in the scratch directory that a save left behind beside its target.
int leftoverTempFiles() {
    std::string dir = tempPath("");
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) n += std::string(e->d_name).rfind(".plicatrope-save-", 0) == 0;
        closedir(d);
    }
    return n;
}

// One entity of a written drawing; a polyline holds its vertices.
struct Entity {
    std::string type, layer;
    int colour = -1;
    int closed = -1;
    std::vector<Vec2> points;
};

// Reads the group code and value lines of a drawing in the layout the
// exporter writes: polylines followed by their vertices and SEQEND.
std::vector<Entity> parseDrawing(const std::string& text) {
    std::istringstream in(text);
    std::vector<Entity> entities;
    std::string code, value;
    Entity* polyline = nullptr;
    Vec2 pending;
    while (std::getline(in, code) && std::getline(in, value)) {
        int c = std::stoi(code);
        if (c == 0) {
            if (value == "VERTEX" && polyline) {
                polyline->points.push_back(Vec2());
                continue;
            }
            if (value == "SEQEND") {
                polyline = nullptr;
                continue;
            }
            entities.push_back(Entity());
            entities.back().type = value;
            polyline = value == "POLYLINE" ? &entities.back() : nullptr;
            continue;
        }
        Entity& e = entities.back();
        bool inVertex = polyline && !polyline->points.empty();
        if (c == 8) e.layer = value;
        if (c == 62) e.colour = std::stoi(value);
        if (c == 70) e.closed = std::stoi(value);
        if (inVertex && c == 10) polyline->points.back().x = std::stod(value);
        if (inVertex && c == 20) polyline->points.back().y = std::stod(value);
        if (e.type == "LINE" && (c == 10 || c == 11)) e.points.push_back(Vec2(std::stod(value), 0));
        if (e.type == "LINE" && (c == 20 || c == 21)) e.points.back().y = std::stod(value);
    }
    return entities;
}

std::vector<Entity> exportAndParse(Polyhedron& model, bool withMolecules, double a, double b) {
    std::string path = tempPath("parsed.dxf");
    EXPECT_EQ(exportDXF(model, withMolecules, a, b, path.c_str()), 0);
    return parseDrawing(testsupport::readFile(path));
}

// One triangle whose sheet corners, from its face's edge along `next`, are
// the given points.
void placedTriangle(Polyhedron& model, Vec2 p0, Vec2 p1, Vec2 p2, Vec2 translation) {
    ASSERT_EQ(testsupport::loadObjText(
                  model, testsupport::polygonInModelCoordinates({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})),
              0);
    Face& f = model.faces.front();
    f.translation = translation;
    f.edge->corner = p0 - translation;
    f.edge->next->corner = p1 - translation;
    f.edge->next->next->corner = p2 - translation;
}

const char* const kSquareHeader = "  0\nPOLYLINE\n  8\nPaper\n 70\n1\n 62\n0\n 10\n0\n 20\n0\n";

TEST(DxfExport, FileOfAModelWithoutFaces) {
    Polyhedron empty;
    std::string path = tempPath("empty.dxf");
    ASSERT_EQ(exportDXF(empty, true, 1.0, 0.0, path.c_str()), 0);
    EXPECT_EQ(testsupport::readFile(path), std::string("  0\nSECTION\n  2\nENTITIES\n") + kSquareHeader +
                                               "  0\nVERTEX\n 10\n0.500000\n 20\n-0.500000\n"
                                               "  0\nVERTEX\n 10\n0.500000\n 20\n0.500000\n"
                                               "  0\nVERTEX\n 10\n-0.500000\n 20\n0.500000\n"
                                               "  0\nVERTEX\n 10\n-0.500000\n 20\n-0.500000\n"
                                               "  0\nSEQEND\n  0\nENDSEC\n  0\nEOF\n");

    // The square is scaled by |a + ib|, whatever the turn.
    const struct { double a, b, half; } cases[] = {{2.0, 0.0, 1.0}, {0.0, 3.0, 1.5}, {-0.6, 0.8, 0.5}};
    for (const auto& c : cases) {
        std::vector<Entity> e = exportAndParse(empty, false, c.a, c.b);
        ASSERT_EQ(e.size(), 4u);  // section, square, end of section, end of file
        const std::vector<Vec2>& sq = e[1].points;
        ASSERT_EQ(sq.size(), 4u);
        const double x[4] = {c.half, c.half, -c.half, -c.half}, y[4] = {-c.half, c.half, c.half, -c.half};
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(sq[i].x, x[i], 1e-6);
            EXPECT_NEAR(sq[i].y, y[i], 1e-6);
        }
    }
}

// A pattern that was never built: the square, then straight on to the placed
// faces and the end.
TEST(DxfExport, FileOfAPlacedTriangle) {
    Polyhedron model;
    placedTriangle(model, Vec2(-0.5, -0.5), Vec2(0.5, -0.5), Vec2(-0.5, 0.0), Vec2(0.25, 1.0));
    std::string path = tempPath("triangle.dxf");
    ASSERT_EQ(exportDXF(model, true, 1.0, 0.0, path.c_str()), 0);
    EXPECT_EQ(testsupport::readFile(path), std::string("  0\nSECTION\n  2\nENTITIES\n") + kSquareHeader +
                                               "  0\nVERTEX\n 10\n0.500000\n 20\n-0.750000\n"
                                               "  0\nVERTEX\n 10\n0.500000\n 20\n0.250000\n"
                                               "  0\nVERTEX\n 10\n-0.500000\n 20\n0.250000\n"
                                               "  0\nVERTEX\n 10\n-0.500000\n 20\n-0.750000\n"
                                               "  0\nSEQEND\n"
                                               "  0\nPOLYLINE\n  8\nPolygon\n 70\n1\n 62\n0\n 10\n0\n 20\n0\n"
                                               "  0\nVERTEX\n 10\n-0.500000\n 20\n-0.500000\n"
                                               "  0\nVERTEX\n 10\n0.500000\n 20\n-0.500000\n"
                                               "  0\nVERTEX\n 10\n-0.500000\n 20\n0.000000\n"
                                               "  0\nSEQEND\n  0\nENDSEC\n  0\nEOF\n");
}

// Every point goes through the factor a + ib; the square is the axis-aligned
// one around the turned layout.
TEST(DxfExport, PointsAreTurnedAndScaledByTheFactor) {
    Polyhedron model;
    placedTriangle(model, Vec2(0, 0), Vec2(1, 0), Vec2(0, 0.5), Vec2(0, 0));
    const struct { double degrees, k; } cases[] = {{0, 1}, {90, 1}, {30, 1}, {-135, 1}, {60, 2.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.degrees);
        double a = c.k * std::cos(c.degrees * kPi / 180), b = c.k * std::sin(c.degrees * kPi / 180);
        std::vector<Entity> e = exportAndParse(model, false, a, b);
        ASSERT_EQ(e.size(), 5u);
        const std::vector<Vec2>& face = e[2].points;
        ASSERT_EQ(face.size(), 3u);
        const Vec2 sheet[3] = {Vec2(0, 0), Vec2(1, 0), Vec2(0, 0.5)};
        double lo = 1e300, hi = -1e300, loY = 1e300, hiY = -1e300;
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(face[i].x, a * sheet[i].x - b * sheet[i].y, 1e-6);
            EXPECT_NEAR(face[i].y, b * sheet[i].x + a * sheet[i].y, 1e-6);
            lo = std::min(lo, face[i].x), hi = std::max(hi, face[i].x);
            loY = std::min(loY, face[i].y), hiY = std::max(hiY, face[i].y);
        }
        if (c.degrees == 90) {
            EXPECT_NEAR(face[1].x, 0.0, 1e-6);
            EXPECT_NEAR(face[1].y, 1.0, 1e-6);
        }
        const std::vector<Vec2>& sq = e[1].points;
        ASSERT_EQ(sq.size(), 4u);
        double side = std::max(hi - lo, hiY - loY);
        EXPECT_NEAR(sq[1].x - sq[2].x, side, 2e-6);
        EXPECT_NEAR(sq[1].y - sq[0].y, side, 2e-6);
        EXPECT_NEAR(sq[0].x + sq[2].x, lo + hi, 2e-6) << "centred on the turned layout";
        EXPECT_NEAR(sq[0].y + sq[2].y, loY + hiY, 2e-6);
    }
}

// The decimals of the coordinates in a drawing of a triangle that fills a
// sheet of this side.
int decimalsOnASheetOf(double side) {
    Polyhedron model;
    placedTriangle(model, Vec2(0, 0), Vec2(side, 0), Vec2(0, side), Vec2(0, 0));
    std::string path = tempPath("decimals.dxf");
    EXPECT_EQ(exportDXF(model, false, 1.0, 0.0, path.c_str()), 0);
    std::istringstream in(testsupport::readFile(path));
    std::string code, value;
    int decimals = -1;
    while (std::getline(in, code) && std::getline(in, value)) {
        size_t point = value.find('.');
        if (point == std::string::npos) continue;
        int here = (int)(value.size() - point - 1);
        EXPECT_TRUE(decimals < 0 || here == decimals) << value;
        decimals = here;
    }
    return decimals;
}

// A sheet of unit size or larger keeps six decimals; a smaller one keeps its
// coordinates to a hundred-millionth of its side, so that a model drawn in
// smaller units is never written coarser, for its paper, than at full size.
TEST(DxfExport, DecimalsFollowThePaperInAnyUnits) {
    const struct {
        double side;
        int decimals;
    } sides[] = {{1000, 6}, {10, 6}, {1, 6}, {0.5, 9}, {0.011, 10}, {1e-6, 14}, {1e-12, 17}};
    for (const auto& c : sides) EXPECT_EQ(decimalsOnASheetOf(c.side), c.decimals) << c.side;

    // Sheets of models at unit scale, the largest a torus's, made smaller.
    auto relative = [](double side) { return std::pow(10.0, -decimalsOnASheetOf(side)) / side; };
    for (double full : {1.0, 1.6, 5.6, 9.99, 13.3, 15.1, 99.0})
        for (double scale : {1e-2, 1e-3, 1e-6})
            EXPECT_LE(relative(full * scale), relative(full) * (1 + 1e-9)) << full << " at " << scale;
}

// A developed cube whose pattern the timer builds.
class DevelopedCube : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(testsupport::loadObjText(model, testsupport::cubeObj()), 0);
        captureStdout([&] { ASSERT_TRUE(developFirst(model, backup)); });
    }
    void tick() {
        SolverOptions options;
        options.creasePatternOn = true;
        creasePatternTick(model, options);
    }
    int facelessPatternHalfEdges() {
        int n = 0;
        for (const PatternHalfEdge& h : model.creasePattern.halfEdges) n += !h.face;
        return n;
    }
    Polyhedron model, backup;
};

void expectSquareThenPolygons(const std::vector<Entity>& e, size_t faces) {
    ASSERT_EQ(e.size(), faces + 4);
    EXPECT_EQ(e[0].type, "SECTION");
    EXPECT_EQ(e[1].layer, "Paper");
    for (size_t i = 0; i < faces; ++i) EXPECT_EQ(e[2 + i].layer, "Polygon");
    EXPECT_EQ(e[e.size() - 2].type, "ENDSEC");
    EXPECT_EQ(e.back().type, "EOF");
}

TEST_F(DevelopedCube, EntitiesFollowTheStagesOfThePattern) {
    expectSquareThenPolygons(exportAndParse(model, true, 1, 0), model.faces.size());

    tick();
    CreasePattern& cp = model.creasePattern;
    ASSERT_FALSE(cp.lines.empty());
    const size_t F = model.faces.size(), L = cp.lines.size();
    size_t molecules = 0;
    for (const PatternFace& f : cp.faces) molecules += f.kind == VertexMolecule || f.kind == EdgeMolecule;

    for (bool withMolecules : {false, true}) {
        SCOPED_TRACE(withMolecules);
        std::vector<Entity> e = exportAndParse(model, withMolecules, 1, 0);
        ASSERT_EQ(e.size(), 5 + F + L + (withMolecules ? molecules : 0));
        EXPECT_EQ(e[1].layer, "Paper");
        EXPECT_EQ(e[1].points.size(), 4u);
        EXPECT_EQ(e[2].layer, "Paper");
        EXPECT_EQ(e[2].closed, 1);
        EXPECT_EQ(e[2].points.size(), (size_t)facelessPatternHalfEdges()) << "the outline closes";
        size_t i = 3;
        for (const Face& f : model.faces) {
            int corners = 0;
            const HalfEdge* X = f.edge;
            do ++corners, X = X->next;
            while (X != f.edge);
            EXPECT_EQ(e[i].layer, "Polygon");
            EXPECT_EQ(e[i++].points.size(), (size_t)corners);
        }
        const struct {
            char kind;
            const char* layer;
            int colour;
        } layers[] = {
            {'M', "Mountain", 1}, {'V', "Valley", 5}, {'m', "CrimpMountain", 1}, {'v', "CrimpValley", 5}};
        for (const CreaseLine& l : cp.lines) {
            const Entity& x = e[i++];
            EXPECT_EQ(x.type, "LINE");
            for (const auto& k : layers)
                if (k.kind == l.kind) {
                    EXPECT_EQ(x.layer, k.layer);
                    EXPECT_EQ(x.colour, k.colour);
                }
            ASSERT_EQ(x.points.size(), 2u);
            EXPECT_NEAR(x.points[0].x, l.start->point->x, 1e-6);
            EXPECT_NEAR(x.points[1].y, l.end->point->y, 1e-6);
        }
        if (withMolecules) {
            for (const PatternFace& f : cp.faces) {
                if (f.kind != VertexMolecule && f.kind != EdgeMolecule) continue;
                const Entity& x = e[i++];
                EXPECT_EQ(x.layer, f.kind == VertexMolecule ? "VTM" : "ETM");
                EXPECT_EQ(x.colour, f.kind == VertexMolecule ? 0 : 5);
                EXPECT_EQ(x.points.size(), (size_t)countSides(&f));
            }
        }
        EXPECT_EQ(e[i].type, "ENDSEC");
    }

    cp.clear();
    expectSquareThenPolygons(exportAndParse(model, true, 1, 0), F);
}

// The paper square holds every crease written, however far from the faces,
// and the efficiency is measured against that square; a crease of no length
// is not written.
TEST_F(DevelopedCube, PaperHoldsEveryCreaseAndNoCreaseOfNoLengthIsWritten) {
    tick();
    CreasePattern& cp = model.creasePattern;
    const size_t F = model.faces.size(), L = cp.lines.size();
    Vec2 hi, lo;
    model.boundsAt(0, hi, lo);
    // Ends that no refresh moves: one well off the layout, two a hair apart.
    Vec2 far = hi + Vec2(3.0, 1.0), here = lo, hair = lo + Vec2(0.5 * cp.lengthTolerance(), 0.0);
    auto line = [&](Vec2* a, Vec2* b) {
        cp.nodes.push_front(PatternNode(a));
        PatternNode* start = &cp.nodes.front();
        cp.nodes.push_front(PatternNode(b));
        cp.lines.push_front(CreaseLine{start, &cp.nodes.front(), Valley});
    };
    line(&here, &far);
    line(&here, &hair);

    std::vector<Entity> e = exportAndParse(model, false, 1, 0);
    ASSERT_EQ(e.size(), 5 + F + L + 1) << "the line of no length is left out";
    Vec2 size = far - lo;
    double side = std::max(size.x, size.y);
    double xs[2] = {e[1].points[0].x, e[1].points[2].x}, ys[2] = {e[1].points[0].y, e[1].points[1].y};
    EXPECT_NEAR(std::fabs(xs[0] - xs[1]), side, 1e-5);
    EXPECT_NEAR(std::fabs(ys[0] - ys[1]), side, 1e-5);
    EXPECT_NEAR(std::max(xs[0], xs[1]), 0.5 * (lo.x + far.x) + 0.5 * side, 1e-5);
    EXPECT_NEAR(std::max(ys[0], ys[1]), 0.5 * (lo.y + far.y) + 0.5 * side, 1e-5);
    model.computeArea();
    EXPECT_NEAR(model.efficiencyAt(0), model.area / (side * side), 1e-12);

    // Once the pattern is gone, the square is the faces' again.
    cp.clear();
    Vec2 top(-1e300, -1e300);
    for (const Face& f : model.faces) {
        const HalfEdge* X = f.edge;
        do {
            top.x = std::max(top.x, f.translation.x + X->corner.x);
            top.y = std::max(top.y, f.translation.y + X->corner.y);
            X = X->next;
        } while (X != f.edge);
    }
    model.boundsAt(0, hi, lo);
    EXPECT_EQ(hi.x, top.x);
    EXPECT_EQ(hi.y, top.y);
}

// An outline that is not one closed cycle ends where its chain ends, or
// where it runs into itself.
TEST_F(DevelopedCube, BrokenPaperOutlineStopsWhereItsChainEnds) {
    tick();
    CreasePattern& cp = model.creasePattern;
    PatternHalfEdge* start = nullptr;
    for (PatternHalfEdge& h : cp.halfEdges)
        if (!h.face) start = &h;
    ASSERT_NE(start, nullptr);
    PatternHalfEdge* p1 = start->prev;
    PatternHalfEdge* p2 = p1->prev;
    PatternHalfEdge* p3 = p2->prev;
    ASSERT_TRUE(p3 && p3 != start);

    PatternHalfEdge* kept = p3->prev;
    p3->prev = p1;  // runs into itself
    std::vector<Entity> loop = exportAndParse(model, false, 1, 0);
    p3->prev = kept;
    p2->prev = nullptr;  // ends
    std::vector<Entity> open = exportAndParse(model, false, 1, 0);
    p2->prev = p3;

    for (const std::vector<Entity>* e : {&loop, &open}) {
        ASSERT_EQ(e->size(), 5 + model.faces.size() + cp.lines.size());
        EXPECT_EQ((*e)[2].layer, "Paper");
        EXPECT_EQ((*e)[2].closed, 1);
    }
    EXPECT_EQ(loop[2].points.size(), 4u);
    EXPECT_EQ(open[2].points.size(), 3u);
}

TEST_F(DevelopedCube, NoNonFiniteNumberReachesTheFile) {
    tick();
    model.faces.back().translation = Vec2(NAN, 0.0);
    for (PatternFace& f : model.creasePattern.faces)
        if (f.kind == VertexMolecule) {
            f.centre = Vec2(INFINITY, 1.0);
            break;
        }
    std::string path = tempPath("finite.dxf");
    ASSERT_EQ(exportDXF(model, true, 1, 0, path.c_str()), 0);
    std::string text = testsupport::readFile(path), lower = text;
    for (char& ch : lower) ch = (char)std::tolower((unsigned char)ch);
    EXPECT_EQ(lower.find("nan"), std::string::npos);
    EXPECT_EQ(lower.find("inf"), std::string::npos);
    std::vector<Entity> e = parseDrawing(text);
    size_t polygons = 0;
    for (const Entity& x : e) polygons += x.layer == "Polygon";
    EXPECT_EQ(polygons, model.faces.size());
}

// A failed save leaves what was there, no temporary file, and one line that
// names the path.
TEST_F(DevelopedCube, FailedSavesKeepWhatWasThere) {
    tick();
    auto expectOneLineNaming = [](const std::string& out, const std::string& path) {
        EXPECT_NE(out.find(path), std::string::npos) << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    };

    std::string missing = tempPath("no-such-dir/pattern.dxf");
    int result = 0;
    std::string out = captureStdout([&] { result = exportDXF(model, false, 1, 0, missing.c_str()); });
    EXPECT_EQ(result, -1);
    expectOneLineNaming(out, missing);
    EXPECT_FALSE(exists(missing));
    EXPECT_FALSE(exists(tempPath("no-such-dir")));

    // The target is a directory: the finished file cannot replace it.
    std::string directory = tempPath("a-directory.dxf");
    ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
    out = captureStdout([&] { result = exportDXF(model, false, 1, 0, directory.c_str()); });
    EXPECT_EQ(result, -1);
    expectOneLineNaming(out, directory);
    struct stat st;
    EXPECT_TRUE(stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    EXPECT_EQ(leftoverTempFiles(), 0);

    // The disk refuses the writing halfway.
    std::string target = testsupport::writeTempFile("kept.dxf", "what was saved before\n");
    struct rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    struct rlimit small = limit;
    small.rlim_cur = 1024;
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    out = captureStdout([&] { result = exportDXF(model, true, 1, 0, target.c_str()); });
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, -1);
    expectOneLineNaming(out, target);
    EXPECT_EQ(testsupport::readFile(target), "what was saved before\n");
    EXPECT_EQ(leftoverTempFiles(), 0);
}

TEST_F(DevelopedCube, SavingReplacesAnExistingFileWhole) {
    std::string target = testsupport::writeTempFile("replaced.dxf", std::string(100000, 'x'));
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    std::string out;
    int result = -1;
    out = captureStdout([&] { result = exportDXF(model, false, 1, 0, target.c_str()); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "");
    std::string text = testsupport::readFile(target);
    EXPECT_EQ(text.rfind("  0\nSECTION\n", 0), 0u);
    const std::string end = "  0\nENDSEC\n  0\nEOF\n";
    ASSERT_GT(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    EXPECT_EQ(text.find('x'), std::string::npos);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the file keeps its permissions";
    EXPECT_EQ(leftoverTempFiles(), 0);

    // Saving through a link writes the file it points to and keeps the link.
    std::string link = tempPath("link.dxf");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    testsupport::writeTempFile("replaced.dxf", "old\n");
    EXPECT_EQ(exportDXF(model, false, 1, 0, link.c_str()), 0);
    struct stat lst;
    ASSERT_EQ(lstat(link.c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(testsupport::readFile(target), text);
}

}  // namespace
