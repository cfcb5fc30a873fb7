#include "creasepattern/dxf_export.h"

#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/oripoly.h"

namespace {

const char* const kPaperLayer = "  8\nPaper\n";
const char* const kPolygonLayer = "  8\nPolygon\n";
const char* const kVtmLayer = "  8\nVTM\n";
const char* const kEtmLayer = "  8\nETM\n";
const char* const kByBlock = " 62\n0\n";
const char* const kRed = " 62\n1\n";
const char* const kBlue = " 62\n5\n";

bool isFinite(const Vec2& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// The file being written, and the decimals of its coordinates.
struct Sink {
    FILE* file;
    int decimals;
};

// Six decimals, as for a sheet of unit size or larger. A smaller sheet is
// written to a hundred-millionth of its side, the relative precision six
// decimals give a sheet of side 100: no model at unit scale needs a sheet
// that large, so a model drawn in smaller units is never written coarser
// than at its full size, and its creases keep the same angles.
int decimalsFor(double side) {
    if (!(side > 0.0) || !std::isfinite(side) || side >= 1.0) return 6;
    return std::min(17, 8 + (int)std::ceil(-std::log10(side)));
}

void writeCoordinate(const Sink& out, const char* code, double value) {
    fprintf(out.file, "%s\n%.*f\n", code, out.decimals, value);
}

// The complex factor a + ib that every written point is multiplied by.
struct Transform {
    double a, b;
    Vec2 operator()(const Vec2& p) const { return Vec2(a * p.x - b * p.y, b * p.x + a * p.y); }
};

void beginPolyline(const Sink& out, const char* layer, const char* colour) {
    fprintf(out.file, "  0\nPOLYLINE\n");
    fprintf(out.file, "%s", layer);
    fprintf(out.file, " 70\n1\n");
    fprintf(out.file, "%s", colour);
    fprintf(out.file, " 10\n0\n");
    fprintf(out.file, " 20\n0\n");
}

// A point that is not finite is left out: a reader would refuse the file.
void writeVertex(const Sink& out, const Vec2& p) {
    if (!isFinite(p)) return;
    fprintf(out.file, "  0\nVERTEX\n");
    writeCoordinate(out, " 10", p.x);
    writeCoordinate(out, " 20", p.y);
}

void endPolyline(const Sink& out) { fprintf(out.file, "  0\nSEQEND\n"); }

void layerOfKind(char kind, const char*& layer, const char*& colour) {
    switch (kind) {
        case Mountain:
            layer = "  8\nMountain\n";
            colour = kRed;
            break;
        case Valley:
            layer = "  8\nValley\n";
            colour = kBlue;
            break;
        case CrimpMountain:
            layer = "  8\nCrimpMountain\n";
            colour = kRed;
            break;
        case CrimpValley:
            layer = "  8\nCrimpValley\n";
            colour = kBlue;
            break;
        default:
            layer = "  8\nCrease\n";
            colour = kByBlock;
    }
}

void writeLine(const Sink& out, char kind, const Vec2& p0, const Vec2& p1) {
    if (!isFinite(p0) || !isFinite(p1)) return;
    const char* layer;
    const char* colour;
    layerOfKind(kind, layer, colour);
    fprintf(out.file, "  0\nLINE\n");
    fprintf(out.file, "%s", layer);
    fprintf(out.file, "%s", colour);
    writeCoordinate(out, " 10", p0.x);
    writeCoordinate(out, " 20", p0.y);
    writeCoordinate(out, " 11", p1.x);
    writeCoordinate(out, " 21", p1.y);
}

// The axis-aligned square of side m k around the layout turned by the
// factor's angle, computed in the turned frame: its corners A and B.
struct PaperSquare {
    Vec2 A, B;
    double k;

    PaperSquare(const Polyhedron& model, const Transform& T) {
        Vec2 hi, lo;
        model.boundsAt(std::atan2(T.b, T.a), hi, lo);
        Vec2 size = hi - lo;
        double m = size.x > size.y ? size.x : size.y;
        Vec2 c = 0.5 * (hi + lo);
        A = c + Vec2(0.5 * m, 0.5 * m);
        B = c - Vec2(0.5 * m, 0.5 * m);
        // A layout without a single finite corner gets the sheet of an empty model.
        if (!isFinite(A) || !isFinite(B)) {
            A = Vec2(0.5, 0.5);
            B = Vec2(-0.5, -0.5);
        }
        k = std::sqrt(T.a * T.a + T.b * T.b);
    }
    double side() const { return (A.x - B.x) * k; }
};

void writePaperSquare(const Sink& out, const PaperSquare& square) {
    const Vec2 &A = square.A, &B = square.B;
    const double k = square.k;
    beginPolyline(out, kPaperLayer, kByBlock);
    writeVertex(out, Vec2(A.x * k, B.y * k));
    writeVertex(out, Vec2(A.x * k, A.y * k));
    writeVertex(out, Vec2(B.x * k, A.y * k));
    writeVertex(out, Vec2(B.x * k, B.y * k));
    endPolyline(out);
}

// The outline walks the paper boundary backwards through `prev` from the last
// face-less half-edge. Where the chain ends (a missing `prev`) or runs into
// itself without coming back to the start, the outline stops there; the
// polyline's closed flag joins its ends.
void writePaperOutline(const Sink& out, const CreasePattern& cp, const Transform& T) {
    const PatternHalfEdge* start = nullptr;
    for (const PatternHalfEdge& h : cp.halfEdges)
        if (!h.face) start = &h;
    if (!start) return;
    beginPolyline(out, kPaperLayer, kByBlock);
    std::unordered_set<const PatternHalfEdge*> seen;
    const PatternHalfEdge* e = start;
    while (e && seen.insert(e).second) {
        if (e->vert) writeVertex(out, T(e->vert->position()));
        e = e->prev;
    }
    endPolyline(out);
}

void writePlacedFaces(const Sink& out, const Polyhedron& model, const Transform& T) {
    const size_t limit = model.halfEdges.size();
    for (const Face& f : model.faces) {
        beginPolyline(out, kPolygonLayer, kByBlock);
        const HalfEdge* X = f.edge;
        for (size_t steps = 0; X && X->face && steps < limit; ++steps) {
            writeVertex(out, T(X->face->translation + X->corner));
            X = X->next;
            if (X == f.edge) break;
        }
        endPolyline(out);
    }
}

void writeCreaseLines(const Sink& out, const CreasePattern& cp, const Transform& T) {
    const double shortest = cp.lengthTolerance();
    for (const CreaseLine& line : cp.lines) {
        if (!line.start || !line.end || !line.start->point || !line.end->point) continue;
        if (line.lengthSquared() < shortest * shortest) continue;
        writeLine(out, line.kind, T(*line.start->point), T(*line.end->point));
    }
}

void writeMolecules(const Sink& out, const CreasePattern& cp, const Transform& T) {
    for (const PatternFace& f : cp.faces) {
        if (f.kind != VertexMolecule && f.kind != EdgeMolecule) continue;
        if (f.kind == VertexMolecule)
            beginPolyline(out, kVtmLayer, kByBlock);
        else
            beginPolyline(out, kEtmLayer, kBlue);
        int sides = countSides(&f);
        const PatternHalfEdge* e = f.edge;
        for (int i = 0; i < sides && e; ++i, e = e->next)
            if (e->vert) writeVertex(out, T(e->vert->position()));
        endPolyline(out);
    }
}

void writeDrawing(FILE* fp, Polyhedron& model, bool withMolecules, const Transform& T) {
    CreasePattern& cp = model.creasePattern;
    fprintf(fp, "  0\nSECTION\n");
    fprintf(fp, "  2\nENTITIES\n");
    cp.updatePositions();
    const PaperSquare square(model, T);
    const Sink out{fp, decimalsFor(square.side())};
    writePaperSquare(out, square);
    writePaperOutline(out, cp, T);
    writePlacedFaces(out, model, T);
    cp.updatePositions();
    writeCreaseLines(out, cp, T);
    if (withMolecules) writeMolecules(out, cp, T);
    fprintf(out.file, "  0\nENDSEC\n");
    fprintf(out.file, "  0\nEOF\n");
}

// Saving over a link writes the file it points to, as writing in place would.
std::string resolvedTarget(const char* path) {
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = realpath(path, nullptr);
        if (real) {
            std::string resolved(real);
            free(real);
            return resolved;
        }
    }
    return path;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The permissions a file written in place would have: those of the file it
// replaces, else the usual ones for a new file.
mode_t modeFor(const std::string& target) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A failure always has a cause to name, even from a call that left errno alone.
int lastError() { return errno ? errno : EIO; }

int failed(const char* path, const char* what, int error) {
    printf("could not save the crease pattern to %s: %s (%s)\n", path, what, strerror(error));
    return -1;
}

}  // namespace

int exportDXF(Polyhedron& model, bool withMolecules, double a, double b, const char* path) {
    if (!path || !*path) {
        printf("could not save the crease pattern: no file name given\n");
        return -1;
    }
    const char* const outOfMemory = "not enough memory, nothing was saved";
    std::string target;
    std::vector<char> name;
    try {
        target = resolvedTarget(path);
        const std::string temp = directoryOf(target) + "/.plicatrope-save-XXXXXX";
        name.assign(temp.begin(), temp.end());
        name.push_back('\0');
    } catch (const std::bad_alloc&) {
        return failed(path, outOfMemory, ENOMEM);
    }

    int fd = mkstemp(name.data());
    if (fd < 0) return failed(path, "cannot create a file in its directory", errno);
    fchmod(fd, modeFor(target));
    FILE* fp = fdopen(fd, "w");
    if (!fp) {
        int error = errno;
        close(fd);
        unlink(name.data());
        return failed(path, "cannot write", error);
    }

    // A DXF reader wants a decimal point whatever the user's locale says.
    locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    locale_t userLocale = cLocale ? uselocale(cLocale) : (locale_t)0;
    errno = 0;
    // Memory that runs out half way leaves a file that is no drawing: it
    // goes like one whose writing failed.
    bool whole = true;
    try {
        writeDrawing(fp, model, withMolecules, Transform{a, b});
    } catch (const std::bad_alloc&) {
        whole = false;
    }
    if (cLocale) {
        uselocale(userLocale);
        freelocale(cLocale);
    }

    // Only a file written, flushed to the disk and closed without an error
    // replaces the target.
    int error = whole ? 0 : ENOMEM;
    const char* what = whole ? "writing failed, nothing was saved" : outOfMemory;
    if (!error && (ferror(fp) || fflush(fp) != 0 || fsync(fd) != 0)) error = lastError();
    if (fclose(fp) != 0 && !error) error = lastError();
    if (!error && rename(name.data(), target.c_str()) != 0) {
        error = lastError();
        what = "it cannot be replaced, nothing was saved";
    }
    if (error) {
        unlink(name.data());
        return failed(path, what, error);
    }
    return 0;
}
