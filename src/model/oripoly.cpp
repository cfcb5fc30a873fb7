#include "model/oripoly.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const double kTwoPi = 6.283185307179586;
}

Vertex::Vertex()
    : bendDefect(kTwoPi), onCut(false), index(-1), cutDistance(DBL_MAX), towardCut(nullptr) {
    edge.reserve(128);
}

Polyhedron::Polyhedron() {
    solver.model = this;
}

// Members are destroyed in reverse order: the crease pattern, the solver, then
// the lists. Nothing follows a link, so a half-read model is freed safely.
Polyhedron::~Polyhedron() = default;

void Polyhedron::clearVisited() {
    for (HalfEdge& h : halfEdges) h.visited = false;
}

void Polyhedron::clearFlooded() {
    for (Face& f : faces) f.flooded = false;
}

void Polyhedron::resetFaceDepths() {
    for (Face& f : faces) f.depth = -1;
}

void Polyhedron::numberElements() {
    for (Vertex& v : vertices) v.index = -1;
    for (HalfEdge& h : halfEdges) {
        h.index = -1;
        h.edgeIndex = -1;
    }
    for (Face& f : faces) f.index = -1;

    numVertices = 0;
    for (Vertex& v : vertices) v.index = numVertices++;

    numInteriorEdges = 0;
    numEdges = 0;
    int count = 0;
    for (HalfEdge& h : halfEdges) {
        if (h.edgeIndex == -1) {
            if (!h.onCut && !h.pair->onCut) ++numInteriorEdges;
            h.edgeIndex = numEdges;
            h.pair->edgeIndex = numEdges;
            ++numEdges;
        }
        h.index = count++;
    }

    numFaces = 0;
    for (Face& f : faces) f.index = numFaces++;
}

namespace {

// One corner of a face line, read like "%d/%d/%d": absent indices are 0 and
// after an empty texture index the normal index is not read.
struct Corner {
    long vertex = 0, texture = 0, normal = 0;
    bool hasVertex = false;
};

bool readInt(const char*& s, long& value) {
    const char* p = s;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    char* end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p) return false;
    value = v;
    s = end;
    return true;
}

Corner parseCorner(const char* field) {
    Corner c;
    const char* s = field;
    if (!readInt(s, c.vertex)) return c;
    c.hasVertex = true;
    if (*s != '/') return c;
    ++s;
    if (!readInt(s, c.texture)) return c;
    if (*s != '/') return c;
    ++s;
    readInt(s, c.normal);
    return c;
}

}  // namespace

int Polyhedron::readOBJ(const char* path) {
    FILE* fp = std::fopen(path, "r");
    if (!fp) {
        printf("could not open file\n");
        return -1;
    }

    std::vector<Vertex*> table;
    table.reserve(10000);
    long numTex = 0, numNormals = 0;
    bool completeFace = false;

    char line[1024];
    char word[1024];
    while (std::fgets(line, sizeof line, fp)) {
        if (std::sscanf(line, "%1023s", word) != 1 || word[0] == '#') continue;

        if (std::strcmp(word, "v") == 0) {
            printf("\t%s", line);
            char k[1024], a[1024] = "", b[1024] = "", c[1024] = "";
            int n = std::sscanf(line, "%1023s %1023s %1023s %1023s", k, a, b, c);
            if (n < 4) printf("error! vert coord should be 3D\n");
            Vertex v;
            v.pos = Vec3(-std::atof(a), std::atof(b), std::atof(c));
            vertices.push_back(v);
            table.push_back(&vertices.back());
        } else if (std::strcmp(word, "vt") == 0) {
            printf("\t%s", line);
            char k[1024], a[1024], b[1024];
            if (std::sscanf(line, "%1023s %1023s %1023s", k, a, b) < 3) printf("error! tex coord should be 2D\n");
            ++numTex;
        } else if (std::strcmp(word, "vn") == 0) {
            printf("\t%s", line);
            ++numNormals;
        } else if (std::strcmp(word, "f") == 0) {
            if (table.empty()) {
                std::fclose(fp);
                return -1;
            }
            printf("\t%s", line);

            std::vector<Vertex*> p;
            std::vector<char*> fields;
            for (char* tok = std::strtok(line, " "); tok; tok = std::strtok(nullptr, " ")) fields.push_back(tok);
            for (size_t i = 1; i < fields.size(); ++i) {
                Corner c = parseCorner(fields[i]);
                if (!c.hasVertex || c.vertex < 1 || c.vertex > (long)table.size() || c.texture < 0 ||
                    c.texture > numTex || c.normal < 0 || c.normal > numNormals) {
                    std::fclose(fp);
                    return -1;
                }
                p.push_back(table[c.vertex - 1]);
            }

            size_t k = p.size();
            if (k == 0) continue;
            faces.push_back(Face());
            Face* face = &faces.back();
            std::vector<HalfEdge*> h(k);
            for (size_t i = 0; i < k; ++i) {
                halfEdges.push_back(HalfEdge());
                h[i] = &halfEdges.back();
            }
            for (size_t i = 0; i < k; ++i) {
                h[i]->vert = p[(i + k - 1) % k];
                h[i]->next = h[(i + k - 1) % k];
                h[i]->prev = h[(i + 1) % k];
                h[i]->face = face;
                p[i]->edge.push_back(h[i]);
            }
            face->edge = h[0];
            completeFace = true;
        }
    }
    std::fclose(fp);
    if (table.empty() || !completeFace) return -1;
    return 0;
}

void Polyhedron::pairHalfEdges() {
    for (HalfEdge& p : halfEdges) {
        if (p.pair) continue;
        Vertex* tail = p.prev->vert;
        for (HalfEdge* s : p.vert->edge) {
            if (s->vert == tail && !s->pair) {
                p.pair = s;
                s->pair = &p;
                break;
            }
        }
    }
    closeBoundary();
}

void Polyhedron::closeBoundary() {
    for (HalfEdge& r : halfEdges) {
        if (r.pair) continue;
        halfEdges.push_back(HalfEdge());
        HalfEdge* b = &halfEdges.back();
        b->vert = r.prev->vert;
        r.vert->edge.push_back(b);
        r.pair = b;
        b->pair = &r;
        r.onCut = b->onCut = true;
        r.vert->onCut = b->vert->onCut = true;

        for (HalfEdge* e = r.next->pair; e; e = e->next->pair) {
            if (!e->face) {
                b->prev = e;
                e->next = b;
                break;
            }
        }
        for (HalfEdge* e = r.prev->pair; e; e = e->prev->pair) {
            if (!e->face) {
                b->next = e;
                e->prev = b;
                break;
            }
        }
    }
    checkTopology();
}

void Polyhedron::checkTopology() {
    for (Face& f : faces)
        if (!f.edge) printf("i->edge == NULL\n");
    for (HalfEdge& h : halfEdges) {
        if (!h.pair) printf("i->pair == NULL\n");
        if (!h.prev) printf("i->prev == NULL\n");
        if (!h.next) printf("i->next == NULL\n");
        if (!h.vert) printf("i->vert == NULL\n");
        if (!h.face && !h.onCut) printf("i->face == NULL\n");
    }
    for (Vertex& v : vertices)
        if (v.edge.empty()) printf("i->edge.empty\n");
    for (auto it = perimeter.begin(); it != perimeter.end(); ++it) {
        auto nx = std::next(it);
        if (nx == perimeter.end()) nx = perimeter.begin();
        if ((*it)->vert != (*nx)->prev->vert) printf("error: perimeter not connected\n");
    }
}

int Polyhedron::load(const char* path) {
    int r = readOBJ(path);
    if (r != 0) return r;
    pairHalfEdges();
    floodFromFace(&faces.front());
    triangulateFaces();
    updateGeometry();
    computeOffsets();
    numberElements();
    computeCutDistances();
    return 0;
}
