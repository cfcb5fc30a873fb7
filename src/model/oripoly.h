#ifndef PLICATROPE_MODEL_ORIPOLY_H
#define PLICATROPE_MODEL_ORIPOLY_H

#include <list>
#include <string>
#include <vector>

#include "creasepattern/crease_pattern.h"
#include "model/triangle_record.h"
#include "model/vec.h"
#include "solver/layout_solver.h"

struct HalfEdge;
struct Face;
struct PatternVertex;

// Half-edge conventions used everywhere: `vert` is the head, the tail is
// prev->vert (and pair->vert), `next` starts where its half-edge ends, and a
// vertex's `edge` array lists the half-edges that leave it.

struct Vertex {
    Vec3 pos;
    Vec3 offset;
    double bendDefect;
    std::vector<HalfEdge*> edge;
    bool onCut;
    int index;
    double cutDistance;
    HalfEdge* towardCut;

    // The values of a vertex freshly read from a file.
    Vertex();
    Vertex(const Vertex& other) = default;
    Vertex& operator=(const Vertex& other) = default;
    ~Vertex() = default;

    void computeDefects();
};

struct HalfEdge {
    Vertex* vert = nullptr;
    Face* face = nullptr;
    HalfEdge* pair = nullptr;
    HalfEdge* next = nullptr;
    HalfEdge* prev = nullptr;
    std::vector<HalfEdge*> diagonals;
    Vec2 corner;
    Vec2 direction = Vec2(1.0, 0.0);
    double cornerCos = 0.0;
    double cornerSin = 0.0;
    double cornerAngle = 0.0;
    double dihedralSin = 0.0;
    double tuckAngle = 0.0;
    double length = 0.0;
    bool onCut = false;
    bool highlighted = false;
    bool visited = false;
    int index = -1;
    int edgeIndex = -1;
    double anglePenalty = 0.0;
    PatternVertex* patternVertex = nullptr;
    std::vector<TriangleRecord> stripTriangles;

    HalfEdge() = default;
    HalfEdge(const HalfEdge& other) = default;
    HalfEdge& operator=(const HalfEdge& other) = default;
    ~HalfEdge() = default;

    // Records compare by their running index.
    bool operator==(const HalfEdge& other) const { return index == other.index; }

    void computeAngles();
    void layoutFace(Vec2 d0);
    void computeTuckAngle();
};

struct Face {
    HalfEdge* edge = nullptr;
    Vec2 translation;
    Vec2 dragStart;
    Vec3 normal = Vec3(0.0, 0.0, 1.0);
    int depth = -1;
    int index = -1;
    bool highlighted = false;
    bool boundaryDigon = false;
    bool moving = false;
    bool flooded = false;
    std::vector<TriangleRecord> triangles;
    std::vector<TriangleRecord> offsetTriangles;

    Face() = default;
    Face(const Face& other) = default;
    Face& operator=(const Face& other) = default;
    ~Face() = default;

    bool operator==(const Face& other) const { return index == other.index; }

    void triangulate();
    void computeNormal();
};

// A two-sided face taken out of the model: its records, set aside with
// their addresses, and where they stood in the lists and in their vertices'
// edge arrays, so that the very same records can be put back in place.
struct RemovedDigon {
    std::list<HalfEdge> halfEdges;
    std::list<Face> faces;
    // The records that followed each one taken out.
    std::list<HalfEdge>::iterator afterFirst, afterSecond;
    std::list<Face>::iterator afterFace;
    // Their entries in their tails' edge arrays, if they had one.
    long firstSlot = -1, secondSlot = -1;
};

class Polyhedron {
public:
    typedef std::list<HalfEdge*>::iterator PerimeterPos;

    Vec3 bboxMin;
    Vec3 bboxMax;
    double area = 0.0;
    bool prepared = false;
    int numVertices = 0;
    int numInteriorEdges = 0;
    int numEdges = 0;
    int numFaces = 0;
    int minPerimeter = 6;
    std::list<Vertex*> openSet;
    std::list<Vertex> vertices;
    std::list<HalfEdge> halfEdges;
    std::list<Face> faces;
    std::list<HalfEdge*> perimeter;
    LayoutSolver solver;
    CreasePattern creasePattern;

    Polyhedron();
    ~Polyhedron();
    Polyhedron(const Polyhedron&) = delete;
    // Deep copy: every element copied and relinked among the copies.
    Polyhedron& operator=(const Polyhedron& source);
    // Exchanges the records, the cut and the measures with `other`, every
    // record keeping its address, and allocates nothing: a step that ran out
    // of memory half-way takes back the copy it had made. The solvers and
    // the crease patterns stay with their models.
    void swapRecords(Polyhedron& other);

    // Records and numbering.
    void clearVisited();
    void clearFlooded();
    void resetFaceDepths();
    void numberElements();

    // Loading: the reader, pairing, boundary closing and the topology check.
    int load(const char* path);
    int readOBJ(const char* path);
    // Refuses (-1, with the reason as one console line in `reason`) a surface
    // just read that pairing and boundary closing cannot represent; the lines
    // are those of the "v" and "f" records in file order.
    int checkSurface(const std::vector<long>& vertexLines, const std::vector<long>& faceLines,
                     std::string& reason);
    void pairHalfEdges();
    void closeBoundary();
    void checkTopology();

    // Geometry of the model and measures of its layout on the sheet.
    void triangulateFaces();
    void updateGeometry();
    Vec3 bboxSize() const;
    // Half the largest side of the bounding box. Thresholds on lengths of the
    // layout and of the crease pattern are measured against it, so that a
    // model and its copy in other units get the same design; 1 for a model
    // without extent.
    double lengthScale() const;
    void boundsAt(double alpha, Vec2& maxCorner, Vec2& minCorner) const;
    Vec2 extentAt(double alpha) const;
    void computeArea();
    double efficiencyAt(double alpha);

    // Vertex offsets limited by ray casting.
    void computeOffsets();
    void computeVertexOffset(Vertex* v);
    void limitVertexOffset(Vertex* v);

    // The cut: the closed walk `perimeter` around the cut tree.
    void clearCutFlags();
    void markCut();
    void computeCutDistances();
    void floodFromFace(Face* f);
    bool moveCutAcrossFace(Face* f);
    void deleteCutBranch(HalfEdge* h);
    void addCutPath(HalfEdge* h);
    int branchLength(PerimeterPos p, PerimeterPos q);
    bool removeBranch(PerimeterPos p, PerimeterPos q);

    // Cutting open and two-sided faces.
    void prepare();
    void cutOpen();
    void addBoundaryDigons();
    HalfEdge* splitIntoDigon(HalfEdge* h);
    void removeDigon(HalfEdge* h);
    // Exact inverses, for an edit that has to be taken back: undoSplit takes
    // back the newest split, the one made at h (false, changing nothing, when
    // that is not the newest change). takeDigonOut does what removeDigon does
    // but keeps the records in `out` (false, changing nothing, where
    // removeDigon refuses); putDigonBack returns them to their places.
    bool undoSplit(HalfEdge* h);
    bool takeDigonOut(HalfEdge* h, RemovedDigon& out);
    void putDigonBack(RemovedDigon& out);

    // Topology edits of a developed model that rebuild the solver. Each one
    // whose rebuild is refused for its size is taken back: the model, its
    // layout and its crease pattern stay exactly as they were.
    void splitWideTucks();
    void splitWideTucksWithAngleCondition();
    void mergeSplitEdge(HalfEdge* h);
    // The Split ETM tool's click: h's edge split into a two-sided face, then
    // the same finish. An edge the split refuses leaves everything alone.
    void splitEtmEdge(HalfEdge* h);
};

#endif
