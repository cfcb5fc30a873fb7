// Mutations that keep an OBJ file a surface. Byte-level mutations mostly give
// files that the reader refuses; these give surfaces that load but have
// coincident, collinear or flattened corners, extreme scales, holes and extra
// corners, which is where the geometry and the solver divide by small numbers.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

typedef std::vector<std::string> Words;

struct ObjText {
    std::vector<std::string> lines;
    std::vector<size_t> vertexLines;  // indices into `lines`, in file order
    std::vector<size_t> faceLines;
};

Words wordsOf(const std::string& line) {
    std::istringstream in(line);
    Words w;
    std::string s;
    while (in >> s) w.push_back(s);
    return w;
}

std::string joinWords(const Words& w) {
    std::string s;
    for (size_t i = 0; i < w.size(); ++i) s += (i ? " " : "") + w[i];
    return s;
}

ObjText parse(const uint8_t* data, size_t size) {
    ObjText t;
    std::string text((const char*)data, size);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        t.lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (size_t i = 0; i < t.lines.size(); ++i) {
        Words w = wordsOf(t.lines[i]);
        if (w.size() >= 4 && w[0] == "v") t.vertexLines.push_back(i);
        if (w.size() >= 4 && w[0] == "f") t.faceLines.push_back(i);
    }
    return t;
}

std::string number(double x) {
    char s[40];
    std::snprintf(s, sizeof s, "%.17g", x);
    return s;
}

double coordinate(const ObjText& t, size_t vertex, int axis) {
    return std::atof(wordsOf(t.lines[t.vertexLines[vertex]])[1 + axis].c_str());
}

void setCoordinate(ObjText& t, size_t vertex, int axis, double x) {
    std::string& line = t.lines[t.vertexLines[vertex]];
    Words w = wordsOf(line);
    w[1 + axis] = number(x);
    line = joinWords(w);
}

// One coordinate moves onto a value that makes corners meet, line up or
// nearly so, or onto an extreme.
void moveCoordinate(ObjText& t, std::mt19937& rng) {
    size_t n = t.vertexLines.size();
    size_t v = rng() % n, other = rng() % n;
    int axis = (int)(rng() % 3);
    double x = coordinate(t, v, axis), y = coordinate(t, other, axis);
    const double choices[] = {0.0, y, y + 1e-12, -x, x * 1e-9, x * 1e9, 1e37, -1e37, 1e-300, 0.5 * (x + y)};
    setCoordinate(t, v, axis, choices[rng() % (sizeof choices / sizeof choices[0])]);
}

void mergeVertices(ObjText& t, std::mt19937& rng) {
    size_t n = t.vertexLines.size();
    t.lines[t.vertexLines[rng() % n]] = t.lines[t.vertexLines[rng() % n]];
}

// Every vertex onto a plane, or the whole model scaled.
void flattenOrScale(ObjText& t, std::mt19937& rng) {
    int axis = (int)(rng() % 3);
    bool flatten = rng() % 2;
    double scale = std::pow(10.0, (int)(rng() % 61) - 30);
    for (size_t v = 0; v < t.vertexLines.size(); ++v)
        setCoordinate(t, v, axis, flatten ? 0.0 : coordinate(t, v, axis) * scale);
}

// The vertex number a face corner starts with; 0 for anything that names no
// vertex of the file, which is then left as it is.
long vertexNumber(const ObjText& t, const std::string& corner) {
    long k = std::strtol(corner.c_str(), nullptr, 10);
    return k >= 1 && (size_t)k <= t.vertexLines.size() ? k : 0;
}

// A face becomes a fan of triangles around a new vertex near its centre,
// which keeps the surface a surface.
void subdivideFace(ObjText& t, std::mt19937& rng) {
    size_t f = t.faceLines[rng() % t.faceLines.size()];
    Words w = wordsOf(t.lines[f]);
    std::vector<long> corners;
    for (size_t i = 1; i < w.size(); ++i) corners.push_back(vertexNumber(t, w[i]));
    double c[3] = {0, 0, 0};
    for (long k : corners) {
        if (k == 0) return;
        for (int a = 0; a < 3; ++a) c[a] += coordinate(t, (size_t)k - 1, a) / corners.size();
    }
    const double lifts[] = {0.0, 1e-9, 0.3, -0.3, 1e6};
    double lift = lifts[rng() % 5];
    t.lines.insert(t.lines.begin(), "v " + number(c[0]) + " " + number(c[1]) + " " + number(c[2] + lift));
    std::string fan;
    for (size_t i = 0; i < corners.size(); ++i)
        fan += "f " + std::to_string(corners[i] + 1) + " " +
               std::to_string(corners[(i + 1) % corners.size()] + 1) + " 1\n";
    // Every other face line names its vertices one further on.
    for (size_t g : t.faceLines) {
        if (g == f) continue;
        Words fw = wordsOf(t.lines[g + 1]);
        for (size_t i = 1; i < fw.size(); ++i)
            if (long k = vertexNumber(t, fw[i])) fw[i] = std::to_string(k + 1);
        t.lines[g + 1] = joinWords(fw);
    }
    fan.pop_back();
    t.lines[f + 1] = fan;
}

void removeFace(ObjText& t, std::mt19937& rng) {
    if (t.faceLines.size() > 1) t.lines[t.faceLines[rng() % t.faceLines.size()]] = "";
}

std::string textOf(const ObjText& t) {
    std::string s;
    for (const std::string& line : t.lines) s += line + "\n";
    return s;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
    std::mt19937 rng(seed);
    ObjText t = parse(data, size);
    if (rng() % 2 || t.vertexLines.empty() || t.faceLines.empty())
        return LLVMFuzzerMutate(data, size, maxSize);
    switch (rng() % 5) {
        case 0:
            moveCoordinate(t, rng);
            break;
        case 1:
            mergeVertices(t, rng);
            break;
        case 2:
            flattenOrScale(t, rng);
            break;
        case 3:
            subdivideFace(t, rng);
            break;
        default:
            removeFace(t, rng);
            break;
    }
    std::string s = textOf(t);
    if (s.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, s.data(), s.size());
    return s.size();
}
