#include "bench_models.h"

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

namespace {

struct Point {
    double x, y, z;
};
typedef std::vector<int> Polygon;

const int kLargestLevel = 4;
const int kMinSphereLevel = 0, kMaxSphereLevel = 6;
const int kMinGridLevel = 1, kMaxGridLevel = 6;

Point onUnitSphere(Point p) {
    double r = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    return Point{p.x / r, p.y / r, p.z / r};
}

// The icosahedron on the unit sphere, each triangle split in four `level`
// times: 20 * 4^level triangles, counter-clockwise seen from outside.
void icosphere(int level, std::vector<Point>& points, std::vector<Polygon>& triangles) {
    const double g = 0.5 * (1.0 + std::sqrt(5.0));
    points = {{0, 1, g},  {0, -1, g},  {0, 1, -g}, {0, -1, -g}, {1, g, 0},  {-1, g, 0},
              {1, -g, 0}, {-1, -g, 0}, {g, 0, 1},  {-g, 0, 1},  {g, 0, -1}, {-g, 0, -1}};
    for (Point& p : points) p = onUnitSphere(p);
    // Every triangle of three mutually nearest corners is a face.
    triangles.clear();
    const double edge2 = 4.0 / (g * g + 1.0) + 1e-9;
    auto near = [&](int a, int b) {
        double dx = points[a].x - points[b].x, dy = points[a].y - points[b].y, dz = points[a].z - points[b].z;
        return dx * dx + dy * dy + dz * dz < edge2;
    };
    for (int a = 0; a < 12; ++a)
        for (int b = a + 1; b < 12; ++b)
            for (int c = b + 1; c < 12; ++c)
                if (near(a, b) && near(b, c) && near(a, c)) triangles.push_back({a, b, c});

    for (int l = 0; l < level; ++l) {
        std::unordered_map<uint64_t, int> middle;
        auto middleOf = [&](int a, int b) {
            uint64_t key = ((uint64_t)std::min(a, b) << 32) | (uint64_t)std::max(a, b);
            auto found = middle.find(key);
            if (found != middle.end()) return found->second;
            const Point &p = points[a], &q = points[b];
            points.push_back(onUnitSphere(Point{p.x + q.x, p.y + q.y, p.z + q.z}));
            middle.emplace(key, (int)points.size() - 1);
            return (int)points.size() - 1;
        };
        std::vector<Polygon> finer;
        finer.reserve(4 * triangles.size());
        for (const Polygon& t : triangles) {
            int ab = middleOf(t[0], t[1]), bc = middleOf(t[1], t[2]), ca = middleOf(t[2], t[0]);
            finer.push_back({t[0], ab, ca});
            finer.push_back({ab, t[1], bc});
            finer.push_back({ca, bc, t[2]});
            finer.push_back({ab, bc, ca});
        }
        triangles.swap(finer);
    }

    for (Polygon& t : triangles) {
        const Point &a = points[t[0]], &b = points[t[1]], &c = points[t[2]];
        double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        double outward = (uy * vz - uz * vy) * a.x + (uz * vx - ux * vz) * a.y + (ux * vy - uy * vx) * a.z;
        if (outward < 0) std::swap(t[1], t[2]);
    }
}

// An n by n grid of squares, two triangles each, lifted onto a sphere of
// radius 1 over the unit square: an open surface curved like a cap
// everywhere, counter-clockwise seen from above.
void capGrid(int n, std::vector<Point>& points, std::vector<Polygon>& triangles) {
    points.clear();
    triangles.clear();
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            double x = (double)i / n - 0.5, y = (double)j / n - 0.5;
            points.push_back(Point{x, y, std::sqrt(1.0 - x * x - y * y)});
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            int p = j * (n + 1) + i, q = p + 1, r = q + n + 1, s = p + n + 1;
            // Alternate the diagonal so that no direction is favoured.
            if ((i + j) % 2 == 0) {
                triangles.push_back({p, q, r});
                triangles.push_back({p, r, s});
            } else {
                triangles.push_back({p, q, s});
                triangles.push_back({q, r, s});
            }
        }
}

// Grid size of the cap of the given level: about 80 * 4^(level - 1) triangles.
int gridSize(int level) { return (int)std::lround(std::sqrt(10.0) * std::ldexp(1.0, level)); }

bool writeObj(const std::string& path, const std::vector<Point>& points, const std::vector<Polygon>& faces) {
    FILE* fp = fopen(path.c_str(), "w");
    if (!fp) return false;
    for (const Point& p : points) fprintf(fp, "v %.17g %.17g %.17g\n", p.x, p.y, p.z);
    for (const Polygon& f : faces) fprintf(fp, "f %d %d %d\n", f[0] + 1, f[1] + 1, f[2] + 1);
    bool ok = !ferror(fp);
    return fclose(fp) == 0 && ok;
}

BenchModel generated(ModelSource source, int level) {
    BenchModel m;
    m.name = (source == ModelSource::Sphere ? "sphere" : "grid") + std::to_string(level);
    m.source = source;
    m.level = level;
    m.largest = level >= kLargestLevel;
    return m;
}

std::vector<std::string> objFilesIn(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".obj") == 0) names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// "sphere3" -> (Sphere, 3) within the levels a generator takes.
bool parseGenerated(const std::string& name, ModelSource& source, int& level) {
    std::string digits;
    int lo, hi;
    if (name.compare(0, 6, "sphere") == 0) {
        source = ModelSource::Sphere, digits = name.substr(6), lo = kMinSphereLevel, hi = kMaxSphereLevel;
    } else if (name.compare(0, 4, "grid") == 0) {
        source = ModelSource::Grid, digits = name.substr(4), lo = kMinGridLevel, hi = kMaxGridLevel;
    } else {
        return false;
    }
    if (digits.size() != 1 || digits[0] < '0' || digits[0] > '9') return false;
    level = digits[0] - '0';
    return level >= lo && level <= hi;
}

}  // namespace

std::vector<BenchModel> defaultModels(const std::string& examplesDir) {
    std::vector<BenchModel> models;
    for (int level = 1; level <= kLargestLevel; ++level)
        models.push_back(generated(ModelSource::Sphere, level));
    for (int level = 1; level <= kLargestLevel; ++level)
        models.push_back(generated(ModelSource::Grid, level));
    for (const std::string& file : objFilesIn(examplesDir)) {
        BenchModel m;
        m.name = file.substr(0, file.size() - 4);
        m.path = examplesDir + "/" + file;
        models.push_back(m);
    }
    return models;
}

bool findModel(const std::string& name, const std::vector<BenchModel>& known, BenchModel& model) {
    for (const BenchModel& m : known)
        if (m.name == name) {
            model = m;
            return true;
        }
    ModelSource source;
    int level;
    if (!parseGenerated(name, source, level)) return false;
    model = generated(source, level);
    return true;
}

bool writeModelFile(BenchModel& model, const std::string& dir) {
    if (model.source == ModelSource::Example) return true;
    std::vector<Point> points;
    std::vector<Polygon> faces;
    if (model.source == ModelSource::Sphere)
        icosphere(model.level, points, faces);
    else
        capGrid(gridSize(model.level), points, faces);
    model.path = dir + "/" + model.name + ".obj";
    if (writeObj(model.path, points, faces)) return true;
    fprintf(stderr, "cannot write the model file %s\n", model.path.c_str());
    return false;
}
