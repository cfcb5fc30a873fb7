#!/usr/bin/python3
"""Reads the crease-pattern drawings of whole models back with a real DXF
reader and compares them with what the writing test expects.

usage: check_dxf.py TEST_BINARY WORK_DIR

Runs the DxfModels tests of TEST_BINARY with PLICATROPE_DXF_DIR=WORK_DIR, then
checks every drawing listed in WORK_DIR/expected.json, checks every drawing
listed in WORK_DIR/foldable.json for what a folder needs of it, and those in
WORK_DIR/resting.json at every crease vertex too; those of models in other
units (WORK_DIR/other_units.json) are held to the same model at full size.
Exits non-zero and names every difference or fault when one is found.
"""

import json
import math
import os
import re
import subprocess
import sys
from collections import defaultdict

import ezdxf

LINE_COLOURS = {"Mountain": 1, "Valley": 5, "CrimpMountain": 1, "CrimpValley": 5}
POLYLINE_COLOURS = {"Paper": 0, "Polygon": 0, "VTM": 0, "ETM": 5}


def write_drawings(binary, work_dir):
    os.makedirs(work_dir, exist_ok=True)
    for name in os.listdir(work_dir):
        os.remove(os.path.join(work_dir, name))
    env = dict(os.environ, PLICATROPE_DXF_DIR=work_dir)
    run = subprocess.run([binary, "--gtest_filter=DxfModels.*"], env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if run.returncode != 0:
        sys.stdout.write(run.stdout)
        sys.exit("the test that writes the drawings failed")


def points_of(polyline):
    return [(v.dxf.location.x, v.dxf.location.y) for v in polyline.vertices]


def rounding_of(path):
    """What the decimals of the file may move a written coordinate by, with
    room to spare: the writer gives small sheets more decimals."""
    decimals = 0
    with open(path) as f:
        for line in f:
            m = DECIMAL.match(line.strip())
            if m:
                decimals = max(decimals, len(m.group(1)))
    return 10.0 ** -decimals * 10 if decimals else 0.0


def distinct(values, within):
    """The values, sorted, with those within `within` of the one before dropped."""
    kept = []
    for v in sorted(values):
        if not kept or v - kept[-1] > within:
            kept.append(v)
    return kept


def check_drawing(path, want, faults):
    def fault(text):
        faults.append("%s: %s" % (os.path.basename(path), text))

    rounding = rounding_of(path)
    doc = ezdxf.readfile(path)
    entities = list(doc.modelspace())
    for e in entities:
        if e.dxftype() not in ("POLYLINE", "LINE"):
            fault("unexpected entity %s" % e.dxftype())
            return
    polylines = [e for e in entities if e.dxftype() == "POLYLINE"]
    lines = [e for e in entities if e.dxftype() == "LINE"]

    # Order: square, outline, placed faces, crease lines, molecules.
    faces = len(want["polygon_vertices"])
    has_outline = want["outline_vertices"] > 0
    first_face = 2 if has_outline else 1
    order = ["Paper"] * first_face + ["Polygon"] * faces + ["LINE"] * len(lines)
    order += ["VTM/ETM"] * (want["vtm"] + want["etm"])
    seen = []
    for e in entities:
        if e.dxftype() == "LINE":
            seen.append("LINE")
        else:
            seen.append("VTM/ETM" if e.dxf.layer in ("VTM", "ETM") else e.dxf.layer)
    if seen != order:
        fault("entities in the order %s..., expected %s..." % (seen[:6], order[:6]))
        return

    for p in polylines:
        if not p.is_closed:
            fault("polyline on layer %s is not closed" % p.dxf.layer)
        if p.dxf.color != POLYLINE_COLOURS.get(p.dxf.layer, -1):
            fault("polyline on layer %s has colour %d" % (p.dxf.layer, p.dxf.color))
        for x, y in points_of(p):
            if not (math.isfinite(x) and math.isfinite(y)):
                fault("a vertex on layer %s is not finite" % p.dxf.layer)

    square = points_of(polylines[0])
    side = want["square_side"]
    if len(square) != 4:
        fault("the paper square has %d corners" % len(square))
    else:
        xs = distinct((x for x, _ in square), rounding)
        ys = distinct((y for _, y in square), rounding)
        if len(xs) != 2 or len(ys) != 2:
            fault("the paper square is not axis-aligned: %s" % square)
        elif abs(xs[1] - xs[0] - side) > rounding or abs(ys[1] - ys[0] - side) > rounding:
            fault("the paper square is %g by %g, expected side %g" % (xs[1] - xs[0], ys[1] - ys[0], side))
        else:
            for p in polylines[first_face:first_face + faces]:
                for x, y in points_of(p):
                    if not (xs[0] - rounding <= x <= xs[1] + rounding and ys[0] - rounding <= y <= ys[1] + rounding):
                        fault("a placed face leaves the paper square at (%g, %g)" % (x, y))
                        break

    outline = len(points_of(polylines[1])) if has_outline else 0
    if outline != want["outline_vertices"]:
        fault("the paper outline has %d vertices, expected %d" % (outline, want["outline_vertices"]))
    sizes = [len(points_of(p)) for p in polylines[first_face:first_face + faces]]
    if sizes != want["polygon_vertices"]:
        fault("placed faces with %s corners, expected %s" % (sizes, want["polygon_vertices"]))

    counts = {}
    for line in lines:
        layer = line.dxf.layer
        counts[layer] = counts.get(layer, 0) + 1
        if line.dxf.color != LINE_COLOURS.get(layer, -1):
            fault("line on layer %s has colour %d" % (layer, line.dxf.color))
        ends = (line.dxf.start.x, line.dxf.start.y, line.dxf.end.x, line.dxf.end.y)
        if not all(math.isfinite(c) for c in ends):
            fault("a line on layer %s has an end that is not finite" % layer)
    wanted_lines = {k: v for k, v in want["lines"].items() if v}
    if counts != wanted_lines:
        fault("lines by layer %s, expected %s" % (counts, wanted_lines))

    molecules = polylines[first_face + faces:]
    vtm = sum(1 for p in molecules if p.dxf.layer == "VTM")
    etm = sum(1 for p in molecules if p.dxf.layer == "ETM")
    if (vtm, etm) != (want["vtm"], want["etm"]):
        fault("%d VTM and %d ETM polylines, expected %d and %d" % (vtm, etm, want["vtm"], want["etm"]))


# A coordinate's value line, for its decimals.
DECIMAL = re.compile(r"^-?[0-9]+\.([0-9]+)$")
# The pattern's own tolerance, as a share of the model's length scale: two
# lines closer than that lie along one line.
TOLERANCE = 1e-4
# A crease shorter than this share of the paper's side has no length.
NO_LENGTH = 1e-6
MOUNTAINS = ("Mountain", "CrimpMountain")
VALLEYS = ("Valley", "CrimpValley")
# A crease that only grazes a face near its rim is a matter of rounding and
# of creases that start at its corners; one that runs through the face goes
# deeper than this share of the face's inradius.
FACE_DEPTH = 0.1


def cross(a, b):
    return a[0] * b[1] - a[1] * b[0]


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1])


def box(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return min(xs), min(ys), max(xs), max(ys)


def cells_of(b, cell):
    for i in range(int(math.floor(b[0] / cell)), int(math.floor(b[2] / cell)) + 1):
        for j in range(int(math.floor(b[1] / cell)), int(math.floor(b[3] / cell)) + 1):
            yield i, j


class Grid:
    """Boxes by the grid cells they touch, so that only neighbours are compared."""

    def __init__(self, boxes, cell):
        self.cell = cell
        self.cells = defaultdict(list)
        for k, b in enumerate(boxes):
            for c in cells_of(b, cell):
                self.cells[c].append(k)

    def near(self, b):
        found = set()
        for c in cells_of(b, self.cell):
            found.update(self.cells.get(c, ()))
        return found

    def pairs(self):
        seen = set()
        for members in self.cells.values():
            for x in range(len(members)):
                for y in range(x + 1, len(members)):
                    pair = (members[x], members[y])
                    if pair not in seen:
                        seen.add(pair)
                        yield pair


def shared_stretch(a0, a1, b0, b1, tolerance):
    """Length of the stretch two segments have in common when they lie on one
    line, within the tolerance; 0 when they do not."""
    if math.dist(a0, a1) < math.dist(b0, b1):
        a0, a1, b0, b1 = b0, b1, a0, a1
    length = math.dist(a0, a1)
    u = ((a1[0] - a0[0]) / length, (a1[1] - a0[1]) / length)
    if abs(cross(u, sub(b0, a0))) > tolerance or abs(cross(u, sub(b1, a0))) > tolerance:
        return 0.0
    t0 = u[0] * (b0[0] - a0[0]) + u[1] * (b0[1] - a0[1])
    t1 = u[0] * (b1[0] - a0[0]) + u[1] * (b1[1] - a0[1])
    return min(length, max(t0, t1)) - max(0.0, min(t0, t1))


def inside(p, polygon):
    odd = False
    for i in range(len(polygon)):
        a, b = polygon[i], polygon[(i + 1) % len(polygon)]
        if (a[1] > p[1]) != (b[1] > p[1]) and a[0] + (p[1] - a[1]) * (b[0] - a[0]) / (b[1] - a[1]) > p[0]:
            odd = not odd
    return odd


def distance_to_segment(p, a, b):
    d = sub(b, a)
    dd = d[0] * d[0] + d[1] * d[1]
    t = 0.0 if dd == 0 else max(0.0, min(1.0, ((p[0] - a[0]) * d[0] + (p[1] - a[1]) * d[1]) / dd))
    return math.dist(p, (a[0] + t * d[0], a[1] + t * d[1]))


def depth_inside(p0, p1, polygon):
    """How far inside the polygon the segment gets: it is split where it
    crosses the outline, and each piece is sampled."""
    d = sub(p1, p0)
    cuts = [0.0, 1.0]
    for i in range(len(polygon)):
        a, b = polygon[i], polygon[(i + 1) % len(polygon)]
        e = sub(b, a)
        den = cross(d, e)
        if den != 0:
            t = cross(sub(a, p0), e) / den
            u = cross(sub(a, p0), d) / den
            if 0 < t < 1 and 0 <= u <= 1:
                cuts.append(t)
    cuts.sort()
    deepest = 0.0
    for t0, t1 in zip(cuts, cuts[1:]):
        for k in range(1, 8):
            t = t0 + (t1 - t0) * k / 8
            p = (p0[0] + t * d[0], p0[1] + t * d[1])
            if inside(p, polygon):
                rim = min(distance_to_segment(p, polygon[i], polygon[(i + 1) % len(polygon)])
                          for i in range(len(polygon)))
                deepest = max(deepest, rim)
    return deepest


def inradius(polygon):
    twice_area = sum(cross(polygon[i], polygon[(i + 1) % len(polygon)]) for i in range(len(polygon)))
    perimeter = sum(math.dist(polygon[i], polygon[(i + 1) % len(polygon)]) for i in range(len(polygon)))
    return abs(twice_area) / perimeter if perimeter else 0.0


class Drawing:
    """What the fold checks read of a drawing, read once: the file's
    rounding, its polylines as (layer, points) and its lines as (layer,
    start, end)."""

    def __init__(self, path):
        self.name = os.path.basename(path)
        self.rounding = rounding_of(path)
        entities = list(ezdxf.readfile(path).modelspace())
        self.polylines = [(e.dxf.layer, points_of(e)) for e in entities if e.dxftype() == "POLYLINE"]
        self.lines = [(e.dxf.layer, (e.dxf.start.x, e.dxf.start.y), (e.dxf.end.x, e.dxf.end.y))
                      for e in entities if e.dxftype() == "LINE"]

    def on_layers(self, *layers):
        return [points for layer, points in self.polylines if layer in layers]

    def faces(self):
        """The placed faces; a two-sided face covers no paper, and a crease
        may run along it."""
        return [points for points in self.on_layers("Polygon") if len(points) > 2]


def fold_faults(drawing, length_scale):
    """What keeps the drawing from being folded, by rule: every point on the
    paper square (the first polyline), no crease of no length, no stretch
    both mountain and valley, no crease through a placed face. Lengths are
    judged against the model's length scale and the paper's side, and the
    file's rounding is given to the drawing, so that the same model in other
    units is judged alike."""
    rounding = drawing.rounding
    tolerance = TOLERANCE * length_scale
    polylines = [points for _, points in drawing.polylines]
    faces = drawing.faces()
    lines = drawing.lines
    faults = defaultdict(list)

    lo_x, lo_y, hi_x, hi_y = box(polylines[0])
    side = hi_x - lo_x
    for p in [q for poly in polylines[1:] for q in poly] + [q for line in lines for q in line[1:]]:
        if not (lo_x - rounding <= p[0] <= hi_x + rounding and lo_y - rounding <= p[1] <= hi_y + rounding):
            faults["square"].append("(%g, %g) lies off the paper square" % p)

    creases = []
    for line in lines:
        if math.dist(line[1], line[2]) < NO_LENGTH * side:
            faults["length"].append("a %s line of length %g" % (line[0], math.dist(line[1], line[2])))
        else:
            creases.append(line)

    cell = max(side / max(1.0, math.sqrt(len(creases))), tolerance)
    grid = Grid([box(line[1:]) for line in creases], cell)
    for i, j in grid.pairs():
        a, b = creases[i], creases[j]
        if (a[0] in MOUNTAINS and b[0] in VALLEYS) or (a[0] in VALLEYS and b[0] in MOUNTAINS):
            # Within the rounding of the file the two may still be apart.
            stretch = shared_stretch(a[1], a[2], b[1], b[2], tolerance - rounding)
            if stretch > tolerance + rounding:
                faults["mountain and valley"].append("%s %s-%s and %s %s-%s share %g" % (a + b + (stretch,)))

    face_grid = Grid([box(f) for f in faces], cell)
    for line in creases:
        for k in face_grid.near(box(line[1:])):
            depth = depth_inside(line[1], line[2], faces[k])
            if depth > FACE_DEPTH * inradius(faces[k]):
                faults["face"].append("a %s line from %s runs %g inside a face" % (line[0], line[1], depth))
                break
    return faults


def check_foldable(drawing, length_scale, open_rules, faults):
    for rule, found in sorted(fold_faults(drawing, length_scale).items()):
        if rule in open_rules:
            print("%s: still open, %s: %d, e.g. %s" % (drawing.name, rule, len(found), found[0]))
            continue
        for text in found[:5]:
            faults.append("%s: %s" % (drawing.name, text))
        if len(found) > 5:
            faults.append("%s: %d more of the same" % (drawing.name, len(found) - 5))


# Two creases leaving a vertex within this angle of each other lie along
# one line.
SAME_DIRECTION = 1e-7
# Kawasaki's angles hold at a vertex when its alternate sectors add up to a
# half turn within this many radians.
KAWASAKI = 1e-2
CRIMPS = ("CrimpMountain", "CrimpValley")


def crease_vertices(drawing, length_scale):
    """The creases of the drawing joined into a graph where they meet: at
    ends within the pattern's tolerance, and where an end lies on another
    crease, which then passes through. Each inner vertex (one on no rim: not
    on the paper square, the outline or a placed face) is judged as a folder
    would: a crease that ends there alone cannot fold, nor can two creases
    meeting at an angle with nothing else there (a bend). Crimp points, the
    inner ends of crimp creases, are counted with Maekawa's count (mountains
    and valleys differ by two) and Kawasaki's angles. Every inner vertex of
    even degree, four or more, is listed under "Kawasaki" with how far its
    alternate sectors miss a half turn."""
    tolerance = TOLERANCE * length_scale + drawing.rounding
    rims = drawing.on_layers("Paper", "Polygon")
    lines = drawing.lines
    lo_x, lo_y, hi_x, hi_y = box(rims[0])
    cell = max(max(hi_x - lo_x, hi_y - lo_y) / max(1.0, math.sqrt(len(lines))), tolerance)

    sides = [(p[i], p[(i + 1) % len(p)]) for p in rims for i in range(len(p))]
    side_grid = Grid([box(s) for s in sides], cell)

    def around(p):
        return p[0] - tolerance, p[1] - tolerance, p[0] + tolerance, p[1] + tolerance

    def on_rim(p):
        return any(distance_to_segment(p, *sides[k]) < tolerance for k in side_grid.near(around(p)))

    vertices = []
    vertex_cells = defaultdict(list)

    def vertex_at(p):
        i, j = int(math.floor(p[0] / tolerance)), int(math.floor(p[1] / tolerance))
        for c in ((i + a, j + b) for a in (-1, 0, 1) for b in (-1, 0, 1)):
            for v in vertex_cells.get(c, ()):
                if math.dist(vertices[v], p) < tolerance:
                    return v
        vertices.append(p)
        vertex_cells[(i, j)].append(len(vertices) - 1)
        return len(vertices) - 1

    # Each vertex's creases as (direction, layer, ends there).
    creases = defaultdict(list)
    ends = []
    for layer, a, b in lines:
        u, v = vertex_at(a), vertex_at(b)
        ends.append((u, v))
        if u != v:
            pu, pv = vertices[u], vertices[v]
            creases[u].append((math.atan2(pv[1] - pu[1], pv[0] - pu[0]), layer, True))
            creases[v].append((math.atan2(pu[1] - pv[1], pu[0] - pv[0]), layer, True))
    line_grid = Grid([box(line[1:]) for line in lines], cell)
    for v, p in enumerate(vertices):
        for k in line_grid.near(around(p)):
            layer, a, b = lines[k]
            if v not in ends[k] and distance_to_segment(p, a, b) < tolerance:
                for q in (a, b):
                    creases[v].append((math.atan2(q[1] - p[1], q[0] - p[0]), layer, False))

    found = defaultdict(list)
    counts = defaultdict(int)
    for v, around_v in creases.items():
        p = vertices[v]
        if on_rim(p):
            continue
        around_v.sort()
        distinct_creases = []
        for c in around_v:
            if not distinct_creases or c[0] - distinct_creases[-1][0] > SAME_DIRECTION:
                distinct_creases.append(c)
        if len(distinct_creases) > 1 and distinct_creases[0][0] + 2 * math.pi - distinct_creases[-1][0] < SAME_DIRECTION:
            distinct_creases.pop()
        n = len(distinct_creases)
        counts["inner vertices"] += 1
        sectors = [(distinct_creases[(i + 1) % n][0] - distinct_creases[i][0]) % (2 * math.pi) for i in range(n)]
        kawasaki_miss = abs(sum(sectors[0::2]) - math.pi)
        if n >= 4 and n % 2 == 0:
            found["Kawasaki"].append((p, kawasaki_miss))
        crimp_point = any(layer in CRIMPS and ends_here for _, layer, ends_here in around_v)
        if n == 1:
            found["crimp ends alone" if distinct_creases[0][1] in CRIMPS else "ends alone"].append(p)
        bend = n == 2 and abs(abs(distinct_creases[1][0] - distinct_creases[0][0]) - math.pi) > SAME_DIRECTION
        if bend:
            found["bends"].append(p)
        if not crimp_point:
            continue
        counts["crimp points"] += 1
        if bend:
            found["crimp bends"].append(p)
        mountains = sum(1 for c in distinct_creases if c[1] in MOUNTAINS)
        if abs(2 * mountains - n) == 2:
            counts["Maekawa"] += 1
            if n >= 4 and kawasaki_miss < KAWASAKI:
                counts["Maekawa and Kawasaki"] += 1
    for rule, where in found.items():
        counts[rule] = len(where)
    return counts, found


def why_left_out(drawing, length_scale, valleys):
    """For each valley (a, b) that the drawing lacks, why it could not be
    made: "no length", "along a mountain", "through a placed face" or "off
    the paper" (an end beyond the layout's outline, on blank paper); None
    where it could have been."""
    tolerance = TOLERANCE * length_scale
    rounding = drawing.rounding
    mountains = [(a, b) for layer, a, b in drawing.lines if layer in MOUNTAINS]
    faces = drawing.faces()
    outline = drawing.on_layers("Paper")[1:]

    def off_paper(p):
        return outline and not inside(p, outline[0]) and min(
            distance_to_segment(p, outline[0][i], outline[0][(i + 1) % len(outline[0])])
            for i in range(len(outline[0]))) > tolerance

    def why(a, b):
        if math.dist(a, b) < tolerance:
            return "no length"
        if any(shared_stretch(a, b, m0, m1, tolerance + rounding) > tolerance - rounding for m0, m1 in mountains):
            return "along a mountain"
        if any(depth_inside(a, b, f) > FACE_DEPTH * inradius(f) for f in faces):
            return "through a placed face"
        if off_paper(a) or off_paper(b):
            return "off the paper"
        return None

    return [why(a, b) for a, b in valleys]


def check_resting(want, work_dir, faults):
    """A resting layout as the window saves it: sound by every rule, no crimp
    crease alone, no more crimp points left as a bend than the crease lines
    make with none of them left out (`every_line_file`), and every edge
    molecule's valley across it kept unless it would be wrong in itself."""
    drawing = Drawing(os.path.join(work_dir, want["file"]))
    name = drawing.name
    scale = want["length_scale"]
    check_foldable(drawing, scale, [], faults)
    now, found = crease_vertices(drawing, scale)
    every, _ = crease_vertices(Drawing(os.path.join(work_dir, want["every_line_file"])), scale)
    if now["crimp ends alone"]:
        faults.append("%s: %d crimp creases end alone, e.g. at %s" % (name, now["crimp ends alone"],
                                                                      found["crimp ends alone"][0]))
    if now["crimp bends"] > every["crimp bends"]:
        faults.append("%s: %d crimp points are bends, %d with every line kept" % (name, now["crimp bends"],
                                                                                 every["crimp bends"]))
    valleys = [((x0, y0), (x1, y1)) for x0, y0, x1, y1 in want["missing_etm_valleys"]]
    missing = defaultdict(int)
    for (a, b), why in zip(valleys, why_left_out(drawing, scale, valleys)):
        if why is None:
            faults.append("%s: the valley across an edge molecule from %s to %s is left out" % (name, a, b))
        missing[why] += 1
    share = lambda c: 100.0 * c["Maekawa and Kawasaki"] / max(1, c["crimp points"])
    print("%-26s crimp points %6d, bends %5d (every line kept %5d), Maekawa and Kawasaki %5.1f %% (%5.1f %%), "
          "ends alone %d, ETM valleys %d of %d%s" %
          (name, now["crimp points"], now["crimp bends"], every["crimp bends"], share(now), share(every),
           now["ends alone"], want["etms"] - len(want["missing_etm_valleys"]), want["etms"],
           "".join(", %d %s" % (n, why) for why, n in sorted(missing.items(), key=str))))


# The rounding of a file shows in Kawasaki's sums long before they miss by
# the folder's tolerance: at this many radians a file written coarser than
# its model at full size misses several times as often.
FINE_KAWASAKI = 1e-4


def kawasaki_misses(drawing, length_scale):
    """How many inner vertices of even degree miss Kawasaki's sums by more
    than the folder's tolerance and by more than the fine one."""
    _, found = crease_vertices(drawing, length_scale)
    return [sum(1 for _, miss in found["Kawasaki"] if miss > within) for within in (KAWASAKI, FINE_KAWASAKI)]


def check_other_units(want, length_scales, work_dir, faults):
    """The same model in other units is judged as at full size: its file
    keeps Kawasaki's sums about as often, give or take the noise of two
    layouts solved apart."""
    name, full = want["file"], want["full_size_file"]
    scaled_misses = kawasaki_misses(Drawing(os.path.join(work_dir, name)), length_scales[name])
    full_misses = kawasaki_misses(Drawing(os.path.join(work_dir, full)), length_scales[full])
    for within, scaled, at_full in zip((KAWASAKI, FINE_KAWASAKI), scaled_misses, full_misses):
        if scaled > 1.5 * at_full + 10:
            faults.append("%s: %d vertices miss Kawasaki's sums by more than %g, %d at full size" %
                          (name, scaled, within, at_full))
    print("%-26s Kawasaki misses by %g / %g: %d / %d, at full size %d / %d" %
          ((name, KAWASAKI, FINE_KAWASAKI) + tuple(scaled_misses) + tuple(full_misses)))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    binary, work_dir = sys.argv[1], sys.argv[2]
    write_drawings(binary, work_dir)
    with open(os.path.join(work_dir, "expected.json")) as f:
        wanted = json.load(f)
    with open(os.path.join(work_dir, "foldable.json")) as f:
        foldable = json.load(f)
    faults = []
    for want in wanted:
        check_drawing(os.path.join(work_dir, want["file"]), want, faults)
    for want in foldable:
        check_foldable(Drawing(os.path.join(work_dir, want["file"])), want["length_scale"], want["open"], faults)
    with open(os.path.join(work_dir, "resting.json")) as f:
        resting = json.load(f)
    for want in resting:
        check_resting(want, work_dir, faults)
    with open(os.path.join(work_dir, "other_units.json")) as f:
        other_units = json.load(f)
    length_scales = {want["file"]: want["length_scale"] for want in resting}
    for want in other_units:
        check_other_units(want, length_scales, work_dir, faults)
    for f in faults:
        print(f)
    drawings = len(wanted) + len(foldable) + len(resting)
    if faults:
        sys.exit("%d differences or faults in %d drawings" % (len(faults), drawings))
    print("%d drawings read back as expected, %d of them as a folder needs" % (drawings, len(foldable) + len(resting)))


if __name__ == "__main__":
    main()
