#include "model/memory_use.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "model/oripoly.h"

namespace {

// Used when the machine does not tell its memory size.
const double kFallbackMemory = 4096.0 * 1048576.0;

double physicalMemory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return kFallbackMemory;
    return (double)pages * (double)pageSize;
}

double resourceLimit(int resource) {
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<double>::infinity();
    return (double)limit.rlim_cur;
}

// A number of bytes as the control group files give it; "max" (or the
// enormous value of the older interface) means no limit.
double limitInFile(const char* path) {
    FILE* fp = std::fopen(path, "r");
    if (!fp) return std::numeric_limits<double>::infinity();
    char text[64] = "";
    bool read = std::fgets(text, sizeof text, fp) != nullptr;
    std::fclose(fp);
    char* end = nullptr;
    double bytes = read ? std::strtod(text, &end) : 0.0;
    if (!read || end == text || !(bytes > 0.0) || bytes >= 9e18)
        return std::numeric_limits<double>::infinity();
    return bytes;
}

// The smallest limit of the group and every group above it, where they
// can be read; a process in a container sees its own group as the root.
// Fixed buffers: the guards that ask run where memory may be short.
double groupLimit(const char* root, char* group, const char* file) {
    char path[8192];
    std::snprintf(path, sizeof path, "%s/%s", root, file);
    double limit = limitInFile(path);
    for (char* slash; (slash = std::strrchr(group, '/')) != nullptr; *slash = '\0') {
        if (slash[1] == '\0') continue;  // the root itself, read above
        if (std::snprintf(path, sizeof path, "%s%s/%s", root, group, file) < (int)sizeof path)
            limit = std::min(limit, limitInFile(path));
    }
    return limit;
}

// The memory controller's limit of this process's control group: memory.max
// of the unified hierarchy, or memory.limit_in_bytes of the older one.
double controlGroupLimit() {
    double limit = std::numeric_limits<double>::infinity();
    FILE* fp = std::fopen("/proc/self/cgroup", "r");
    if (!fp) return limit;
    char line[4096];
    while (std::fgets(line, sizeof line, fp)) {
        // hierarchy-id:controllers:path
        char* first = std::strchr(line, ':');
        char* second = first ? std::strchr(first + 1, ':') : nullptr;
        if (!second) continue;
        *second = '\0';
        char* group = second + 1;
        group[std::strcspn(group, "\n")] = '\0';
        const char* controllers = first + 1;
        bool memory = false;
        for (const char* c = controllers; *c; c += std::strcspn(c, ",") + (c[std::strcspn(c, ",")] ? 1 : 0))
            memory = memory || (std::strncmp(c, "memory", 6) == 0 && (c[6] == ',' || c[6] == '\0'));
        if (!*controllers)
            limit = std::min(limit, groupLimit("/sys/fs/cgroup", group, "memory.max"));
        else if (memory)
            limit = std::min(limit, groupLimit("/sys/fs/cgroup/memory", group, "memory.limit_in_bytes"));
    }
    std::fclose(fp);
    return limit;
}

// What the allocator takes for a block of n bytes: its header, rounded up
// to its granule (glibc's malloc, as measured).
double heap(double n) { return std::max(32.0, std::ceil((n + 8.0) / 16.0) * 16.0); }

// A record in a std::list: the record and its two links.
double listNode(double n) { return heap(n + 2.0 * sizeof(void*)); }

// Elements pushed one by one: the array may have twice the room they fill.
double grown(double n, double size) { return 2.0 * n * size; }

}  // namespace

double processMemoryLimit() {
    double limit = physicalMemory();
    limit = std::min(limit, resourceLimit(RLIMIT_AS));
    limit = std::min(limit, resourceLimit(RLIMIT_DATA));
    limit = std::min(limit, controlGroupLimit());
    return limit;
}

double loadBytes(double vertices, double faces, double corners) {
    const double V = vertices, F = faces, C = corners;
    // One half-edge per corner; an open surface adds one per boundary edge,
    // few beside the corners of any model large enough to matter here.
    const double H = C;
    // The fan triangles of every face, and the diagonals of the faces with
    // more than three corners.
    const double T = std::max(0.0, C - 2.0 * F);
    const double diagonals = std::max(0.0, C - 3.0 * F);
    const double record = sizeof(TriangleRecord);

    // Every vertex keeps room for 128 half-edges.
    const double vertex = listNode(sizeof(Vertex)) + heap(128.0 * sizeof(HalfEdge*));
    const double halfEdge = listNode(sizeof(HalfEdge));
    const double face = listNode(sizeof(Face));
    const double records = vertex * V + halfEdge * H + face * F;

    // While the file is read: the reader's tables, then the check of the
    // surface, which sorts every corner's edge.
    const double reading = records + grown(V, sizeof(Vertex*) + sizeof(long)) + grown(F, sizeof(long)) +
                           1.5 * grown(C, 2.0 * sizeof(int)) + grown(V, sizeof(size_t));

    // Once the offsets are cast: each face's fan on the surface and on the
    // offset surface, two strip triangles per half-edge, the diagonals, the
    // cut walking around the cut tree, and the search over the offset
    // surface's records, the larger of the two passes.
    const double fans = 2.0 * (T * record + F * heap(0.0));
    const double strips = H * heap(2.0 * record);
    const double cut = 2.0 * V * listNode(sizeof(HalfEdge*));
    const double offsets = records + fans + strips + 2.0 * diagonals * heap(sizeof(HalfEdge*)) + cut +
                           recordSearchBytes(T + 2.0 * H, F);
    return std::max(reading, offsets);
}
