#ifndef PLICATROPE_CREASEPATTERN_CREASE_PATTERN_H
#define PLICATROPE_CREASEPATTERN_CREASE_PATTERN_H

#include <list>
#include <vector>

#include "model/vec.h"

class Polyhedron;
struct HalfEdge;
class CreasePattern;
struct PatternHalfEdge;
struct PatternNode;
struct CreaseLine;

// What a pattern face is.
enum PatternFaceKind : char {
    PolygonFace = 'F',
    VertexMolecule = 'V',
    EdgeMolecule = 'E',
    NoFaceKind = ' ',
};

// What a crease line folds.
enum CreaseKind : char {
    Mountain = 'M',
    Valley = 'V',
    CrimpMountain = 'm',
    CrimpValley = 'v',
};

// The copy of a model vertex in one placed polygon.
struct PatternVertex {
    CreasePattern* owner = nullptr;
    Vec2 pos;
    PatternHalfEdge* polygonEdge = nullptr;
    PatternHalfEdge* vtmEdge = nullptr;
    PatternNode* node = nullptr;
    HalfEdge* modelHalfEdge = nullptr;

    Vec2 position() const { return pos; }
};

struct PatternFace;

struct PatternHalfEdge {
    CreasePattern* owner = nullptr;
    PatternVertex* vert = nullptr;
    PatternFace* face = nullptr;
    PatternHalfEdge* pair = nullptr;
    PatternHalfEdge* next = nullptr;
    PatternHalfEdge* prev = nullptr;
    bool boundary = false;
    bool active = false;

    Vec2 idealDirection() const;
};

struct PatternFace {
    CreasePattern* owner = nullptr;
    PatternHalfEdge* edge = nullptr;
    char kind = NoFaceKind;
    Vec2 centre;
    PatternNode* node = nullptr;
    // Whether `centre` has been computed for this face yet: the (0, 0) of a
    // new face is no centre to keep.
    bool centreComputed = false;

    void computeCentre();
};

// The end of a valley line on the paper edge.
struct BoundaryMidpoint {
    CreasePattern* owner = nullptr;
    Vec2 pos;
    PatternHalfEdge* halfEdge = nullptr;
    PatternNode* node = nullptr;
};

// The two crimp points at one corner.
struct CrimpRecord {
    CreasePattern* owner = nullptr;
    Vec2 point1;
    Vec2 point2;
    PatternNode* node1 = nullptr;
    PatternNode* node2 = nullptr;
    PatternVertex* vertex = nullptr;

    void computePoints();
};

// An end point of crease lines. It stands on a point held by another record,
// so lines follow every position update without being touched.
struct PatternNode {
    Vec2* point = nullptr;
    std::vector<CreaseLine*> incidentLines;

    explicit PatternNode(Vec2* p) : point(p) { incidentLines.reserve(16); }
};

struct CreaseLine {
    PatternNode* start = nullptr;
    PatternNode* end = nullptr;
    char kind = Mountain;

    // Length on the sheet as its two ends stand now, and its square, which
    // the many comparisons of every redraw take without a root.
    double length() const;
    double lengthSquared() const;
};

// The planar crease pattern of one model. Every record is inserted at the
// front of its list, so each list runs from the newest record to the oldest.
class CreasePattern {
public:
    // Lengths and heights on the sheet below this share of the model's
    // length scale are no length at all: no crease is made, drawn or written
    // that short, whatever the units of the model.
    static constexpr double tolerance = 1e-4;

    bool built = false;
    bool triangulated = false;
    Polyhedron* model = nullptr;
    std::list<PatternVertex> vertices;
    std::list<PatternHalfEdge> halfEdges;
    std::list<PatternFace> faces;
    std::list<BoundaryMidpoint> midpoints;
    std::list<CrimpRecord> crimps;
    std::list<PatternNode> nodes;
    std::list<CreaseLine> lines;
    // The sheet corners of the layout that the last timer tick left the
    // pattern for, whether it made crease lines then and whether its flips
    // were done (a pass flipped nothing): a tick on the same layout then has
    // nothing to do. Emptied with the crease lines.
    std::vector<Vec2> tickedCorners;
    bool tickedLines = false;
    bool tickedFlipsDone = false;

    CreasePattern() = default;
    CreasePattern(const CreasePattern&) = delete;
    CreasePattern& operator=(const CreasePattern&) = delete;

    // `tolerance` in the units of the sheet, for the attached model.
    double lengthTolerance() const;

    // Lifecycle.
    void attachModel(Polyhedron* m);
    void clear();
    void clearCreaseLines();

    // Construction, in this order.
    void buildPolygons();
    void buildVertexMolecules();
    void buildEdgeMolecules();
    void closePatternBoundary();

    // Triangulation of the vertex molecules and diagonal flips.
    PatternHalfEdge* splitFace(PatternHalfEdge* p, PatternHalfEdge* q);
    void splitMolecule(PatternHalfEdge* p);
    void triangulateVertexMolecules();
    // One pass of diagonal flips; returns how many diagonals it flipped.
    int improveVertexMolecules();

    // Following the layout.
    void updatePositions();

    // Angle-condition penalty terms.
    void computeAngleConditionPenalty();
    void accumulateAngleConditionTerms();

    // Crease lines.
    void generateCreaseLines();
};

PatternHalfEdge* longestEdge(PatternFace* f);
double minTriangleAngle(const PatternVertex* P0, const PatternVertex* P1, const PatternVertex* P2);
bool flipEdge(PatternHalfEdge* p);
// Sides of f counted along `next` from its edge; 0 for a face without edge.
int countSides(const PatternFace* f);
double oppositeAngle(const HalfEdge* X);
// Base angles s and s2 of the isosceles triangles over the VTM edge of
// corner X whose apexes are its two crimp points; false, leaving them as
// they were, unless X and its pair both have a face.
bool crimpBaseAngles(const HalfEdge* X, double& s, double& s2);
void clearPenaltyTerms(Polyhedron* model);

#endif
