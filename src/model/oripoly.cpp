#include "model/oripoly.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "model/console_line.h"
#include "model/memory_use.h"

namespace {
const double kTwoPi = 6.283185307179586;
}

Vertex::Vertex() : bendDefect(kTwoPi), onCut(false), index(-1), cutDistance(DBL_MAX), towardCut(nullptr) {
    edge.reserve(128);
}

Polyhedron::Polyhedron() { solver.model = this; }

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

const size_t kChunkLength = 1023;

// One chunk of a line as fgets with a 1024-byte buffer reads it: up to 1023
// characters, or through the line end if it comes first.
struct Chunk {
    char text[kChunkLength + 1];
    // Counted here rather than found with strlen, so that NUL bytes in the
    // file do not upset the line numbers of messages.
    bool endsLine = false;
    // More of the same line follows in the next chunk.
    bool cut = false;
    // Nothing has been read from the file yet.
    bool atFileStart = true;
};

// The UTF-8 byte-order mark that some editors write before the first line.
bool isByteOrderMark(const char* text) { return std::memcmp(text, "\xEF\xBB\xBF", 3) == 0; }

bool readChunk(FILE* fp, Chunk& chunk) {
    size_t n = 0;
    chunk.endsLine = false;
    int c;
    while (n < kChunkLength && (c = std::getc(fp)) != EOF) {
        chunk.text[n++] = (char)c;
        // A byte-order mark is not part of the first line: left in, it would
        // hide that line's keyword.
        if (chunk.atFileStart && n == 3 && isByteOrderMark(chunk.text)) {
            n = 0;
            chunk.atFileStart = false;
            continue;
        }
        if (c == '\n') {
            chunk.endsLine = true;
            break;
        }
    }
    chunk.text[n] = '\0';
    chunk.atFileStart = false;
    chunk.cut = false;
    if (n == kChunkLength && !chunk.endsLine) {
        c = std::getc(fp);
        chunk.cut = c != EOF && c != '\n' && c != '\r';
        if (c != EOF) std::ungetc(c, fp);
    }
    return n > 0;
}

// A number of a face corner as "%d" reads it, kept as long so that indices
// too big for an int are merely out of range; `text` is what the file says.
struct CornerIndex {
    long value = 0;
    const char* text = "0";
    int textLength = 1;
};

bool readIndex(const char*& s, CornerIndex& index) {
    const char* p = s;
    while (std::isspace((unsigned char)*p)) ++p;
    char* end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p) return false;
    index.value = v;
    index.text = p;
    index.textLength = (int)(end - p);
    s = end;
    return true;
}

// One corner read like "%d/%d/%d": absent indices are 0, and after an empty
// texture index the normal index is not read.
struct Corner {
    CornerIndex vertex, texture, normal;
    bool hasVertex = false;
};

Corner parseCorner(const char* field) {
    Corner c;
    const char* s = field;
    if (!readIndex(s, c.vertex)) return c;
    c.hasVertex = true;
    if (*s != '/') return c;
    ++s;
    if (!readIndex(s, c.texture)) return c;
    if (*s != '/') return c;
    ++s;
    readIndex(s, c.normal);
    return c;
}

// Splits at any white space, a run counting as one, so that tabs between
// corners and blanks or a CR before the line end read as exported files mean
// them. The fields are cut out of `text` in place.
std::vector<char*> splitFields(char* text) {
    std::vector<char*> fields;
    char* s = text;
    while (*s) {
        while (std::isspace((unsigned char)*s)) ++s;
        if (!*s) break;
        fields.push_back(s);
        while (*s && !std::isspace((unsigned char)*s)) ++s;
        if (*s) *s++ = '\0';
    }
    return fields;
}

// The corners of a face line start after its keyword, whatever white space
// follows it, so "f\t1 2 3" and a line indented by a tab read like "f 1 2 3".
char* cornerText(char* line) {
    char* s = line;
    while (std::isspace((unsigned char)*s)) ++s;
    while (*s && !std::isspace((unsigned char)*s)) ++s;
    while (std::isspace((unsigned char)*s)) ++s;
    return s;
}

// The reader's own tables, dropped when it returns.
struct ObjTables {
    std::vector<Vertex*> vertices;  // by file number - 1
    std::vector<long> vertexLines;
    std::vector<long> faceLines;
    long numTex = 0;
    long numNormals = 0;

    // A chunk of a long line, or a last line, is echoed without a line end;
    // whatever follows it starts a line of its own.
    void echo(const char* line) { consoleLine("\t%s", line); }
};

// Checks one index against the count of its records read so far; `lowest` is
// 1 for vertices and 0 for the optional texture and normal indices.
bool indexInRange(long lineNo, const CornerIndex& index, long lowest, long count, const char* one,
                  const char* many) {
    if (index.value >= lowest && index.value <= count) return true;
    if (index.value < 0)
        consoleLine("line %ld: face corner names %s %.*s; negative (relative) indices are not supported\n",
                    lineNo, one, index.textLength, index.text);
    else if (index.value == 0)
        consoleLine("line %ld: face corner names %s 0; %s are numbered from 1\n", lineNo, one, many);
    else
        consoleLine("line %ld: face corner names %s %.*s, but only %ld %s %s defined\n", lineNo, one,
                    index.textLength, index.text, count, count == 1 ? one : many, count == 1 ? "is" : "are");
    return false;
}

bool readVertexLine(std::list<Vertex>& vertices, ObjTables& t, const char* line, long lineNo) {
    char k[kChunkLength + 1], a[kChunkLength + 1] = "", b[kChunkLength + 1] = "", c[kChunkLength + 1] = "";
    if (std::sscanf(line, "%1023s %1023s %1023s %1023s", k, a, b, c) < 4)
        consoleLine("error! vert coord should be 3D\n");
    Vertex v;
    v.pos = Vec3(-std::atof(a), std::atof(b), std::atof(c));
    if (!std::isfinite(v.pos.x) || !std::isfinite(v.pos.y) || !std::isfinite(v.pos.z)) {
        consoleLine("line %ld: vertex coordinate is not a finite number\n", lineNo);
        return false;
    }
    // Lengths are multiplied with each other several times over by the
    // geometry and the solver; far beyond any real model they overflow.
    const double largest = 1e38;
    if (std::fabs(v.pos.x) > largest || std::fabs(v.pos.y) > largest || std::fabs(v.pos.z) > largest) {
        consoleLine("line %ld: vertex coordinate is too large; coordinates must lie within -1e38 .. 1e38\n",
                    lineNo);
        return false;
    }
    vertices.push_back(v);
    // Copying into the list does not keep the reserved room.
    vertices.back().edge.reserve(128);
    t.vertices.push_back(&vertices.back());
    t.vertexLines.push_back(lineNo);
    return true;
}

// Texture coordinates and normals are only counted; a short one is still
// counted, with a warning. `words` includes the keyword.
void warnIfShort(const char* line, int words, const char* warning) {
    char w[4][kChunkLength + 1];
    if (std::sscanf(line, "%1023s %1023s %1023s %1023s", w[0], w[1], w[2], w[3]) < words)
        consoleLine("%s", warning);
}

// Reads the corners of a face line into `p`; says why and returns false when
// the line names a vertex, texture or normal that is not there.
bool readCorners(ObjTables& t, char* line, long lineNo, std::vector<Vertex*>& p, std::vector<long>& numbers) {
    std::vector<char*> fields = splitFields(cornerText(line));
    for (size_t i = 0; i < fields.size(); ++i) {
        Corner c = parseCorner(fields[i]);
        if (!c.hasVertex) {
            consoleLine("line %ld: face corner %zu has no vertex number\n", lineNo, i + 1);
            return false;
        }
        if (!indexInRange(lineNo, c.vertex, 1, (long)t.vertices.size(), "vertex", "vertices") ||
            !indexInRange(lineNo, c.texture, 0, t.numTex, "texture coordinate", "texture coordinates") ||
            !indexInRange(lineNo, c.normal, 0, t.numNormals, "normal", "normals"))
            return false;
        p.push_back(t.vertices[c.vertex.value - 1]);
        numbers.push_back(c.vertex.value);
    }
    return true;
}

// A face needs three corners and may name a vertex only once: the half-edge
// records cannot hold anything else.
bool isPolygon(long lineNo, std::vector<long> numbers) {
    if (numbers.size() < 3) {
        consoleLine("line %ld: face has %zu corner%s; a face needs at least 3\n", lineNo, numbers.size(),
                    numbers.size() == 1 ? "" : "s");
        return false;
    }
    std::sort(numbers.begin(), numbers.end());
    auto twice = std::adjacent_find(numbers.begin(), numbers.end());
    if (twice != numbers.end()) {
        consoleLine("line %ld: face names vertex %ld twice\n", lineNo, *twice);
        return false;
    }
    return true;
}

// Corner i leaves p[i] towards p[i-1], so the `next` cycle runs against the
// file's order of corners.
void makeFace(std::list<Face>& faces, std::list<HalfEdge>& halfEdges, const std::vector<Vertex*>& p) {
    size_t k = p.size();
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
}

bool readFaceLine(Polyhedron& model, ObjTables& t, char* line, long lineNo) {
    std::vector<Vertex*> p;
    std::vector<long> numbers;
    if (!readCorners(t, line, lineNo, p, numbers) || !isPolygon(lineNo, numbers)) return false;
    makeFace(model.faces, model.halfEdges, p);
    t.faceLines.push_back(lineNo);
    return true;
}

// A long line is read in chunks. The first chunk of a vertex or face line
// would give a wrong position or a wrong face (cut in the middle of a number,
// say), so such a record is refused.
bool isWhole(const Chunk& chunk, const char* record, long lineNo) {
    if (!chunk.cut) return true;
    consoleLine("line %ld: %s line is longer than %zu characters\n", lineNo, record, kChunkLength);
    return false;
}

// Reads every record of the file; says why and returns false on the first
// line that refuses it.
bool readRecords(FILE* fp, Polyhedron& model, ObjTables& t) {
    Chunk chunk;
    char* line = chunk.text;
    char word[kChunkLength + 1];
    long lineNo = 1;
    bool inLongLine = false;
    for (; readChunk(fp, chunk); lineNo += chunk.endsLine ? 1 : 0) {
        // The rest of a long comment (or of any long line) is never a record
        // of its own, whatever it happens to start with.
        bool rest = inLongLine;
        inLongLine = chunk.cut;
        if (rest) continue;
        if (std::sscanf(line, "%1023s", word) != 1 || word[0] == '#') continue;
        bool ok = true;
        if (std::strcmp(word, "v") == 0) {
            t.echo(line);
            ok = isWhole(chunk, "vertex", lineNo) && readVertexLine(model.vertices, t, line, lineNo);
        } else if (std::strcmp(word, "vt") == 0) {
            t.echo(line);
            warnIfShort(line, 3, "error! tex coord should be 2D\n");
            ++t.numTex;
        } else if (std::strcmp(word, "vn") == 0) {
            t.echo(line);
            warnIfShort(line, 4, "error! normal coord should be 3D\n");
            ++t.numNormals;
        } else if (std::strcmp(word, "f") == 0) {
            if (t.vertices.empty()) {
                consoleLine("line %ld: face comes before any vertex\n", lineNo);
                return false;
            }
            t.echo(line);
            ok = isWhole(chunk, "face", lineNo) && readFaceLine(model, t, line, lineNo);
        }
        if (!ok) return false;
    }
    if (std::ferror(fp)) {
        consoleLine("could not read file\n");
        return false;
    }
    if (t.vertices.empty()) {
        consoleLine("the file defines no vertex\n");
        return false;
    }
    if (t.faceLines.empty()) {
        consoleLine("the file defines no face\n");
        return false;
    }
    return true;
}

// Vertices that no face uses have no outgoing half-edge, which every later
// step starts from; they are common in real files, so they go with a note.
void dropUnusedVertices(std::list<Vertex>& vertices) {
    size_t before = vertices.size();
    vertices.remove_if([](const Vertex& v) { return v.edge.empty(); });
    size_t dropped = before - vertices.size();
    if (dropped == 1)
        consoleLine("dropped 1 vertex that no face uses\n");
    else if (dropped > 1)
        consoleLine("dropped %zu vertices that no face uses\n", dropped);
}

// Opens a regular file for reading, links followed. Anything else is
// refused at once: a FIFO would block until some writer came, and a device
// such as /dev/zero never ends. Opening without blocking and judging the
// descriptor leaves no gap in which the name could change.
FILE* openRegularFile(const char* path) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        consoleLine("could not open file\n");
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        consoleLine("not a regular file: %s\n", path);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    FILE* fp = flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1 ? nullptr : fdopen(fd, "r");
    if (!fp) {
        close(fd);
        consoleLine("could not open file\n");
    }
    return fp;
}

// What a first pass over the file finds, before any record is built: the
// lines the reader would take for vertex, texture, normal and face records,
// and the corners of the faces. A line is taken by its first word, as the
// reader takes it; where the two could differ (a keyword beyond the first
// 1023 characters of a line, a NUL inside a face line) this pass counts
// more, never fewer.
struct RecordCounts {
    double vertices = 0, faces = 0, corners = 0, others = 0;
    double records() const { return vertices + faces + others; }
};

class RecordCounter {
public:
    explicit RecordCounter(RecordCounts& counts) : counts_(counts) {}

    void feed(const char* p, size_t n) {
        const char* end = p + n;
        if (atFileStart_ && n >= 3 && isByteOrderMark(p)) p += 3;
        atFileStart_ = false;
        while (p < end) {
            if (phase_ == Skip) {
                const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', end - p));
                if (!lineEnd) return;
                p = lineEnd + 1;
                phase_ = Leading;
                continue;
            }
            const char c = *p++;
            if (phase_ == Leading) {
                if (c == '\0') {
                    phase_ = Skip;  // the reader sees no word on this line
                } else if (!isBlank(c)) {
                    phase_ = Keyword;
                    length_ = 0;
                    addToKeyword(c);
                }
            } else if (phase_ == Keyword) {
                if (isBlank(c) || c == '\0')
                    endKeyword(c);
                else
                    addToKeyword(c);
            } else if (c == '\n') {  // the corners of a face line
                phase_ = Leading;
            } else {
                const bool separator = isBlank(c) || c == '\0';
                if (!separator && !inCorner_) ++counts_.corners;
                inCorner_ = !separator;
            }
        }
    }

    void finish() {
        if (phase_ == Keyword) endKeyword('\n');
    }

private:
    enum Phase { Leading, Keyword, Corners, Skip };

    static bool isBlank(char c) { return std::isspace((unsigned char)c) != 0; }

    void addToKeyword(char c) {
        if (length_ < sizeof keyword_) keyword_[length_] = c;
        ++length_;
    }

    void endKeyword(char c) {
        const bool one = length_ == 1, two = length_ == 2;
        if (one && keyword_[0] == 'v') {
            ++counts_.vertices;
        } else if (two && keyword_[0] == 'v' && (keyword_[1] == 't' || keyword_[1] == 'n')) {
            ++counts_.others;
        } else if (one && keyword_[0] == 'f') {
            ++counts_.faces;
            phase_ = c == '\n' ? Leading : Corners;
            inCorner_ = false;
            return;
        }
        phase_ = c == '\n' ? Leading : Skip;
    }

    RecordCounts& counts_;
    Phase phase_ = Leading;
    char keyword_[3] = {0, 0, 0};
    size_t length_ = 0;
    bool inCorner_ = false;
    bool atFileStart_ = true;
};

// Reads the whole file in large blocks and puts it back to its start;
// false when it cannot be read.
bool countRecords(FILE* fp, RecordCounts& counts) {
    std::vector<char> block(1 << 20);
    RecordCounter counter(counts);
    size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), fp)) > 0) counter.feed(block.data(), n);
    counter.finish();
    return !std::ferror(fp) && std::fseek(fp, 0, SEEK_SET) == 0;
}

// The model is judged as Develop judges its systems: within half of the
// memory the process may use, the rest being left for the model open now,
// its crease pattern, the views and Develop.
bool fitsInMemory(const RecordCounts& counts) {
    const double bytes = loadBytes(counts.vertices, counts.faces, counts.corners);
    const double limit = LayoutSolver::storageLimit();
    if (bytes <= limit) return true;
    consoleLine("model too large to open (v:%.0f f:%.0f): loading may need %.1f MB, %.1f MB allowed\n",
                counts.vertices, counts.faces, bytes / kMegabyte, limit / kMegabyte);
    return false;
}

// Reads the records of a file that was judged to fit and checks the surface
// they make; -1, having said why, when the file is refused.
int readSurface(FILE* fp, Polyhedron& model) {
    ObjTables t;
    t.vertices.reserve(10000);
    t.vertexLines.reserve(10000);
    t.faceLines.reserve(10000);
    if (!readRecords(fp, model, t)) return -1;
    std::string reason;
    if (model.checkSurface(t.vertexLines, t.faceLines, reason) != 0) {
        consoleLine("%s", reason.c_str());
        return -1;
    }
    dropUnusedVertices(model.vertices);
    return 0;
}

void sayOutOfMemory(double vertices, double faces) {
    consoleLine("not enough memory to open the model (v:%.0f f:%.0f)\n", vertices, faces);
}

}  // namespace

int Polyhedron::readOBJ(const char* path) {
    FILE* fp = openRegularFile(path);
    if (!fp) return -1;
    RecordCounts counts;
    int result = -1;
    try {
        if (!countRecords(fp, counts)) {
            consoleLine("could not read file\n");
        } else if (counts.records() == 0) {
            // Nothing the reader would echo or say before this: a large file
            // without records need not be read once more.
            consoleLine("the file defines no vertex\n");
        } else if (fitsInMemory(counts)) {
            result = readSurface(fp, *this);
        }
    } catch (const std::bad_alloc&) {
        // The records made so far go with the model, which the caller drops.
        sayOutOfMemory(counts.vertices, counts.faces);
        result = -1;
    }
    std::fclose(fp);
    return result;
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
        if (!f.edge) consoleLine("i->edge == NULL\n");
    for (HalfEdge& h : halfEdges) {
        if (!h.pair) consoleLine("i->pair == NULL\n");
        if (!h.prev) consoleLine("i->prev == NULL\n");
        if (!h.next) consoleLine("i->next == NULL\n");
        if (!h.vert) consoleLine("i->vert == NULL\n");
        if (!h.face && !h.onCut) consoleLine("i->face == NULL\n");
    }
    for (Vertex& v : vertices)
        if (v.edge.empty()) consoleLine("i->edge.empty\n");
    for (auto it = perimeter.begin(); it != perimeter.end(); ++it) {
        auto nx = std::next(it);
        if (nx == perimeter.end()) nx = perimeter.begin();
        // A missing link has been named above; it is not followed.
        if (!(*nx)->prev || (*it)->vert != (*nx)->prev->vert) consoleLine("error: perimeter not connected\n");
    }
}

int Polyhedron::load(const char* path) {
    int r = readOBJ(path);
    if (r != 0) return r;
    try {
        pairHalfEdges();
        floodFromFace(&faces.front());
        triangulateFaces();
        updateGeometry();
        computeOffsets();
        numberElements();
        computeCutDistances();
    } catch (const std::bad_alloc&) {
        sayOutOfMemory((double)vertices.size(), (double)faces.size());
        return -1;
    }
    return 0;
}
