#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "creasepattern/dxf_export.h"
#include "creasepattern/pattern_fixtures.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

// Whole models taken through Develop, the crease-pattern timer, the idle loop
// and the exporter, the way the program does it. Next to each drawing the
// test writes what a reader must find in it (expected.json); check_dxf.py,
// run by ctest with PLICATROPE_DXF_DIR set, reads the drawings back with a
// real DXF reader and compares.

using namespace patternfixtures;

namespace {

const double kPi = 3.14159265358979323846;

struct ModelCase {
    const char* name;
    std::string obj;
};

std::string outputDirectory() {
    const char* dir = std::getenv("PLICATROPE_DXF_DIR");
    std::string path = dir && *dir ? dir : testsupport::tempPath("dxf-models");
    mkdir(path.c_str(), 0755);
    return path;
}

int corners(const Face& f) {
    int n = 0;
    const HalfEdge* X = f.edge;
    do ++n, X = X->next;
    while (X != f.edge);
    return n;
}

// What one drawing must hold, as one JSON object.
std::string expectation(const std::string& file, Polyhedron& model, bool withMolecules, double degrees) {
    const CreasePattern& cp = model.creasePattern;
    int kinds[4] = {0, 0, 0, 0};  // M, V, m, v
    for (const CreaseLine& l : cp.lines) {
        const char* order = "MVmv";
        for (int i = 0; i < 4; ++i) kinds[i] += l.kind == order[i];
    }
    int outline = 0, vtm = 0, etm = 0;
    for (const PatternHalfEdge& h : cp.halfEdges) outline += !h.face;
    for (const PatternFace& f : cp.faces) {
        vtm += withMolecules && f.kind == VertexMolecule;
        etm += withMolecules && f.kind == EdgeMolecule;
    }
    Vec2 extent = model.extentAt(degrees * kPi / 180);

    std::ostringstream out;
    out.precision(17);
    out << "{\"file\": \"" << file << "\", \"square_side\": " << std::max(extent.x, extent.y)
        << ", \"outline_vertices\": " << outline << ", \"polygon_vertices\": [";
    bool first = true;
    for (const Face& f : model.faces) {
        out << (first ? "" : ", ") << corners(f);
        first = false;
    }
    out << "], \"lines\": {\"Mountain\": " << kinds[0] << ", \"Valley\": " << kinds[1]
        << ", \"CrimpMountain\": " << kinds[2] << ", \"CrimpValley\": " << kinds[3] << "}, \"vtm\": " << vtm
        << ", \"etm\": " << etm << "}";
    return out.str();
}

// The idle loop as the window runs it, Avoid Intersection on, until the
// penalty first falls below the convergence threshold. False if it never does.
bool convergeLayout(Polyhedron& working, int maxSteps) {
    SolverOptions options;
    bool converging = true;
    for (int i = 0; i < maxSteps && converging; ++i)
        if (idleStep(working, options, converging).converged) converging = false;
    return !converging;
}

// Loads the model and takes it through its first Develop, quietly.
void develop(Polyhedron& working, Polyhedron& backup, const std::string& obj) {
    ASSERT_EQ(testsupport::loadObjText(working, obj), 0);
    bool developed = false;
    testsupport::captureStdout([&] { developed = developFirst(working, backup); });
    ASSERT_TRUE(developed);
}

// The options of a user who saves crease lines.
SolverOptions withCreaseLines() {
    SolverOptions options;
    options.creasePatternOn = true;
    return options;
}

// Writes the entries as one JSON list for check_dxf.py, whole or not at all.
void writeList(const std::string& path, const std::vector<std::string>& entries) {
    std::string json = "[\n";
    for (size_t i = 0; i < entries.size(); ++i) json += (i ? ",\n" : "") + entries[i];
    json += "\n]\n";
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial);
        out << json;
        ASSERT_TRUE(out.good());
    }
    ASSERT_EQ(std::rename(partial.c_str(), path.c_str()), 0);
}

TEST(DxfModels, WholeModelsAreWrittenForADxfReader) {
    const std::string dir = outputDirectory();
    const ModelCase models[] = {{"tetrahedron", testsupport::tetrahedronObj()},
                                {"cube", testsupport::cubeObj()},
                                {"open-grid", testsupport::openGridObj(4)},
                                {"sphere", testsupport::sphereObj(2)}};
    std::vector<std::string> expected;
    for (const ModelCase& m : models) {
        SCOPED_TRACE(m.name);
        Polyhedron working, backup;
        ASSERT_NO_FATAL_FAILURE(develop(working, backup, m.obj));
        const SolverOptions options = withCreaseLines();
        testsupport::captureStdout([&] {
            creasePatternTick(working, options);
            bool converging = true;
            for (int i = 0; i < 50; ++i)
                if (idleStep(working, options, converging).converged) converging = false;
            working.creasePattern.generateCreaseLines();
        });
        ASSERT_TRUE(working.creasePattern.built);
        ASSERT_FALSE(working.creasePattern.lines.empty());

        // As File > SaveAs writes it with crease lines on, and with the
        // molecules in a turned view.
        const struct {
            const char* suffix;
            bool withMolecules;
            double degrees;
        } saves[] = {{".dxf", false, 0.0}, {"-molecules.dxf", true, 30.0}};
        for (const auto& s : saves) {
            std::string file = std::string(m.name) + s.suffix;
            double theta = s.degrees * kPi / 180;
            ASSERT_EQ(exportDXF(working, s.withMolecules, std::cos(theta), std::sin(theta),
                                (dir + "/" + file).c_str()),
                      0);
            expected.push_back(expectation(file, working, s.withMolecules, s.degrees));
        }
    }

    writeList(dir + "/expected.json", expected);
}

// What a folder needs of the file is checked by check_dxf.py on the layouts
// a user saves: converged, then Crease Pattern Generation on and one timer
// tick. foldable.json names the drawings, the model's length scale that
// their lengths are judged against and, for each, the rules that are known
// to be still broken there (reported, not failed). The same models in other
// units must be judged alike.
TEST(DxfModels, ConvergedLayoutsAreWrittenForFolding) {
    const std::string dir = outputDirectory();
    struct Model {
        std::string name;
        std::string obj;
        std::string open;
    };
    std::vector<Model> models = {{"tetrahedron", testsupport::tetrahedronObj(), ""},
                                 {"octahedron", testsupport::octahedronObj(), ""},
                                 {"cube", testsupport::cubeObj(), ""},
                                 {"open-grid", testsupport::openGridObj(4), ""},
                                 {"sphere-80", testsupport::sphereObj(1), ""},
                                 {"sphere-320", testsupport::sphereObj(2), ""},
                                 {"torus", testsupport::torusObj(12, 6, 1.0, 0.4), ""},
                                 {"icosahedron", testsupport::exampleObj("icosahedron.obj"), ""},
                                 {"dome", testsupport::exampleObj("dome.obj"), ""},
                                 {"pebble", testsupport::exampleObj("pebble.obj"), ""}};
    const size_t unitModels = 7;  // the generated ones, which come in other units too
    for (const char* units : {"0.001", "1000"})
        for (size_t i = 0; i < unitModels; ++i)
            models.push_back({models[i].name + "-x" + units,
                              testsupport::scaledObj(models[i].obj, std::atof(units)), models[i].open});
    std::vector<std::string> foldable;
    for (const Model& m : models) {
        SCOPED_TRACE(m.name);
        Polyhedron working, backup;
        ASSERT_NO_FATAL_FAILURE(develop(working, backup, m.obj));
        const SolverOptions options = withCreaseLines();
        bool converged = false;
        testsupport::captureStdout([&] {
            converged = convergeLayout(working, 5000);
            creasePatternTick(working, options);
        });
        ASSERT_TRUE(converged);
        ASSERT_FALSE(working.creasePattern.lines.empty());
        std::ostringstream scale;
        scale.precision(17);
        scale << working.lengthScale();
        for (double degrees : {0.0, 30.0}) {
            std::string file = m.name + "-converged-" + std::to_string((int)degrees) + ".dxf";
            double theta = degrees * kPi / 180;
            ASSERT_EQ(exportDXF(working, false, std::cos(theta), std::sin(theta), (dir + "/" + file).c_str()),
                      0);
            foldable.push_back("{\"file\": \"" + file + "\", \"length_scale\": " + scale.str() +
                               ", \"open\": [" + m.open + "]}");
        }
    }
    writeList(dir + "/foldable.json", foldable);
}

// The crease lines as the pattern's rule makes them with none left out, as
// a measure of what the made lines may be held to: a valley between
// neighbouring molecule triangles (directly, across an edge molecule, or
// out to the paper's edge), mountains from each corner to the triangles
// around it, and both crimp points of every inner molecule edge.
class EveryCreaseLine {
public:
    explicit EveryCreaseLine(CreasePattern& pattern) : cp(pattern) {
        cp.clearCreaseLines();
        cp.updatePositions();
        cp.updatePositions();
        for (PatternFace& G : cp.faces)
            if (G.kind == VertexMolecule) valleysOf(G);
        for (PatternVertex& t : cp.vertices)
            if (t.vtmEdge) mountainsOf(t);
        for (PatternVertex& t : cp.vertices)
            if (t.vtmEdge && t.vtmEdge->pair->face) crimpsOf(t);
    }

private:
    PatternNode* node(Vec2* point) {
        cp.nodes.push_front(PatternNode(point));
        return &cp.nodes.front();
    }
    void line(PatternNode* a, PatternNode* b, char kind) {
        cp.lines.push_front(CreaseLine());
        CreaseLine* l = &cp.lines.front();
        l->start = a, l->end = b, l->kind = kind;
        a->incidentLines.push_back(l);
        b->incidentLines.push_back(l);
    }
    void valleysOf(PatternFace& G) {
        G.node = node(&G.centre);
        PatternHalfEdge* d = G.edge;
        for (int i = countSides(&G); i > 0; --i, d = d->next) {
            PatternHalfEdge* U = d->pair;
            const PatternFace* F = U->face;
            if (!F) {
                cp.midpoints.push_front(BoundaryMidpoint());
                BoundaryMidpoint& m = cp.midpoints.front();
                m.owner = &cp, m.halfEdge = U, m.pos = 0.5 * (U->vert->pos + U->pair->vert->pos);
                m.node = node(&m.pos);
                line(G.node, m.node, Valley);
            } else if (F->kind == VertexMolecule && F->node) {
                line(G.node, F->node, Valley);
            } else if (F->kind == EdgeMolecule) {
                const PatternFace* O = U->next->next->pair->face;
                if (O && O->node) line(G.node, O->node, Valley);
            }
        }
    }
    void mountainsOf(PatternVertex& t) {
        t.node = node(&t.pos);
        PatternHalfEdge* e = t.vtmEdge;
        do {
            if (e->face && e->face->kind == VertexMolecule) line(t.node, e->face->node, Mountain);
            e = e->prev->pair;
        } while (e != t.vtmEdge);
    }
    void crimpsOf(PatternVertex& t) {
        PatternVertex* U = t.vtmEdge->vert;
        cp.crimps.push_front(CrimpRecord());
        CrimpRecord& c = cp.crimps.front();
        c.owner = &cp, c.vertex = &t;
        c.node1 = node(&c.point1);
        c.node2 = node(&c.point2);
        line(t.node, c.node1, CrimpMountain);
        line(U->node, c.node1, CrimpValley);
        line(t.node, c.node2, CrimpValley);
        line(U->node, c.node2, CrimpMountain);
        c.computePoints();
    }
    CreasePattern& cp;
};

// The edge molecules between two molecule triangles, and the ends of the
// valley across each one that the pattern lacks.
struct EdgeMoleculeValleys {
    int count = 0;
    std::vector<std::pair<Vec2, Vec2>> missing;

    explicit EdgeMoleculeValleys(const CreasePattern& cp) {
        for (const PatternFace& E : cp.faces) {
            if (E.kind != EdgeMolecule) continue;
            std::vector<const PatternFace*> across;
            const PatternHalfEdge* s = E.edge;
            for (int i = countSides(&E); i > 0; --i, s = s->next)
                if (s->pair && s->pair->face && s->pair->face->kind == VertexMolecule)
                    across.push_back(s->pair->face);
            if (across.size() != 2) continue;
            ++count;
            if (!joined(across[0]->node, across[1]->node))
                missing.push_back({across[0]->centre, across[1]->centre});
        }
    }
    static bool joined(const PatternNode* a, const PatternNode* b) {
        if (!a || !b) return false;
        for (const CreaseLine* l : a->incidentLines)
            if (l->kind == Valley && (l->start == b || l->end == b)) return true;
        return false;
    }
};

// Resting layouts saved as the window saves them, read back by
// check_dxf.py at every crease vertex and held to what the crease lines
// make with none left out. Among them sequences of the Split ETM tool: on
// the icosahedron a split, one timer tick, the idle loop until rest and a
// save; on the 320-face sphere a two-sided face moved some way, then a split
// and rest; on the resting dome its three widest tucks split, then rest.
// And a capsule of long thin triangles, at rest and after Model > Split
// extrawide tucks on its resting layout, then rest. resting.json names each
// drawing with the drawing of every line, the model's length scale, and the
// edge molecules' valleys it lacks. The torus comes once more a thousand
// times smaller, to be folded as at full size.
TEST(DxfModels, RestingLayoutsAreWrittenForFolding) {
    const std::string dir = outputDirectory();
    enum Edit { None, SplitAfterDevelop, MoveThenSplit, SplitWidestAtRest, SplitExtrawideAtRest };
    struct Model {
        std::string name, obj;
        Edit edit;
    };
    std::vector<Model> models;
    for (const char* example :
         {"cube", "dome", "icosahedron", "octahedron", "pebble", "pyramid", "tetrahedron"})
        models.push_back({example, testsupport::exampleObj(std::string(example) + ".obj"), None});
    models.push_back({"sphere-80", testsupport::sphereObj(1), None});
    models.push_back({"sphere-320", testsupport::sphereObj(2), None});
    models.push_back({"sphere-1280", testsupport::sphereObj(3), None});
    models.push_back({"torus", testsupport::torusObj(12, 6, 1.0, 0.4), None});
    models.push_back(
        {"torus-x0.001", testsupport::scaledObj(testsupport::torusObj(12, 6, 1.0, 0.4), 0.001), None});
    models.push_back({"icosahedron-split", testsupport::exampleObj("icosahedron.obj"), SplitAfterDevelop});
    models.push_back({"sphere-320-moved-split", testsupport::sphereObj(2), MoveThenSplit});
    models.push_back({"dome-split-widest", testsupport::exampleObj("dome.obj"), SplitWidestAtRest});
    const std::string capsule = testsupport::capsuleObj(12, 2, 3, 3.0, 0.2);
    models.push_back({"capsule", capsule, None});
    models.push_back({"capsule-split-extrawide", capsule, SplitExtrawideAtRest});

    std::vector<std::string> resting;
    for (const Model& m : models) {
        SCOPED_TRACE(m.name);
        Polyhedron working, backup;
        ASSERT_NO_FATAL_FAILURE(develop(working, backup, m.obj));
        const SolverOptions options = withCreaseLines();
        const std::string file = m.name + "-resting.dxf", everyFile = m.name + "-every-line.dxf";
        testsupport::captureStdout([&] {
            creasePatternTick(working, options);
            if (m.edit == MoveThenSplit) {
                Face* digon = nullptr;
                for (Face& f : working.faces)
                    if (!digon && f.edge->next->next == f.edge) digon = &f;
                ASSERT_TRUE(digon);
                const double size = working.lengthScale();
                digon->translation = digon->translation + Vec2(0.3 * size, 0.2 * size);
                working.solver.solveTranslations();
                working.solver.applyTranslations();
                working.solver.layoutFaces();
                restAndTick(working, options);
            }
            if (m.edit == None) {
                restAndTick(working, options);
            } else if (m.edit == SplitWidestAtRest || m.edit == SplitExtrawideAtRest) {
                restAndTick(working, options);
                const size_t faces = working.faces.size();
                if (m.edit == SplitWidestAtRest) {
                    const std::vector<HalfEdge*> tucks = widestSplittable(working, 3);
                    ASSERT_EQ(tucks.size(), 3u);
                    for (HalfEdge* tuck : tucks) working.splitEtmEdge(tuck);
                    ASSERT_EQ(working.faces.size(), faces + 3);
                } else {
                    working.splitWideTucks();
                    ASSERT_GT(working.faces.size(), faces);
                }
                restAndTick(working, options);
            } else {
                // Saved once the layout rests, before the timer has made the
                // lines again for it.
                HalfEdge* tuck = splittable(working, m.edit == SplitAfterDevelop ? 4 : 0);
                ASSERT_TRUE(tuck);
                const size_t faces = working.faces.size();
                working.splitEtmEdge(tuck);
                ASSERT_EQ(working.faces.size(), faces + 1);
                creasePatternTick(working, options);
                ASSERT_GE(testsupport::idleUntilRest(working, options, 5000), 0);
            }
            ASSERT_EQ(savePattern(working, options, 1.0, 0.0, (dir + "/" + file).c_str()), 0);
        });
        ASSERT_FALSE(working.creasePattern.lines.empty());
        const EdgeMoleculeValleys etms(working.creasePattern);
        EveryCreaseLine every(working.creasePattern);
        ASSERT_EQ(exportDXF(working, false, 1.0, 0.0, (dir + "/" + everyFile).c_str()), 0);

        std::ostringstream entry;
        entry.precision(17);
        entry << "{\"file\": \"" << file << "\", \"every_line_file\": \"" << everyFile
              << "\", \"length_scale\": " << working.lengthScale() << ", \"etms\": " << etms.count
              << ", \"missing_etm_valleys\": [";
        for (size_t i = 0; i < etms.missing.size(); ++i) {
            const auto& v = etms.missing[i];
            entry << (i ? ", " : "") << "[" << v.first.x << ", " << v.first.y << ", " << v.second.x << ", "
                  << v.second.y << "]";
        }
        entry << "]}";
        resting.push_back(entry.str());
    }
    writeList(dir + "/resting.json", resting);
    // Held to the same model at full size, at every crease vertex.
    writeList(dir + "/other_units.json",
              {"{\"file\": \"torus-x0.001-resting.dxf\", \"full_size_file\": \"torus-resting.dxf\"}"});
}

}  // namespace
