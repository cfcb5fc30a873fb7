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


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1]


def depth_inside(p0, p1, polygon):
    """How deep the segment gets into the polygon: the largest distance from
    the rim of a point of the segment inside the polygon, exactly. Along the
    segment the distance from each edge's line, and from each corner, is a
    simple function of the position; the deepest point lies at an end of the
    segment or where two of them are equal. In a convex polygon the depth of
    an inner point is its least distance from the edges' lines, a minimum of
    linear pieces, whose largest value lies at an end or where two cross."""
    d = sub(p1, p0)
    edges = [(polygon[i], polygon[(i + 1) % len(polygon)]) for i in range(len(polygon))]
    edges = [(a, b) for a, b in edges if a != b]
    twice_area = sum(cross(a, b) for a, b in edges)
    if not edges or twice_area == 0:
        return 0.0
    turn = 1.0 if twice_area > 0 else -1.0
    # Each edge's line as the signed distance from it, inside positive, of
    # the point at t along the segment: a + b t.
    lines = []
    for a, b in edges:
        e = sub(b, a)
        length = math.hypot(e[0], e[1])
        normal = (-turn * e[1] / length, turn * e[0] / length)
        lines.append((dot(normal, sub(p0, a)), dot(normal, d)))
    # Convex: every corner turns the same way, once round in all.
    turns = [(cross(sub(b0, a0), sub(b1, a1)), dot(sub(b0, a0), sub(b1, a1)))
             for (a0, b0), (a1, b1) in zip(edges, edges[1:] + edges[:1])]
    convex = all(turn * x >= -1e-12 * math.hypot(x, y) for x, y in turns) and \
        abs(sum(math.atan2(x, y) for x, y in turns) - turn * 2 * math.pi) < 1e-6
    ts = [0.0, 1.0]

    def root(a, b):
        if b != 0:
            ts.append(-a / b)

    for i in range(len(lines)):
        for j in range(i + 1, len(lines)):
            (a0, b0), (a1, b1) = lines[i], lines[j]
            root(a0 - a1, b0 - b1)
            if not convex:
                root(a0 + a1, b0 + b1)
    if convex:
        return max(0.0, max(min(a + b * t for a, b in lines) for t in ts if 0.0 <= t <= 1.0))
    corners = [a for a, _ in edges]
    dd = dot(d, d)
    for i, v in enumerate(corners):
        w = sub(p0, v)
        for u in corners[i + 1:]:
            # Equally far from two corners.
            root(0.5 * (dot(w, w) - dot(sub(p0, u), sub(p0, u))), dot(d, sub(w, sub(p0, u))))
        for a, b in lines:
            # As far from a corner as from an edge's line.
            qa, qb, qc = dd - b * b, 2.0 * (dot(d, w) - a * b), dot(w, w) - a * a
            if qa == 0:
                root(qc, qb)
            elif qb * qb - 4 * qa * qc >= 0:
                r = math.sqrt(qb * qb - 4 * qa * qc)
                ts.extend([(-qb - r) / (2 * qa), (-qb + r) / (2 * qa)])
    deepest = 0.0
    for t in ts:
        if 0.0 <= t <= 1.0:
            p = (p0[0] + t * d[0], p0[1] + t * d[1])
            if inside(p, polygon):
                deepest = max(deepest, min(distance_to_segment(p, a, b) for a, b in edges))
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
            if depth > FACE_DEPTH * inradius(faces[k]) + 2 * rounding:
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


class CreaseGraph:
    """The creases of a drawing joined into a graph where they meet: at ends
    within the pattern's tolerance, and where an end lies on another crease,
    which then passes through. An inner vertex is one on no rim: not on the
    paper square, the outline or a placed face."""

    def __init__(self, drawing, length_scale):
        self.rounding = drawing.rounding
        self.tolerance = TOLERANCE * length_scale + drawing.rounding
        self.lines = drawing.lines
        rims = drawing.on_layers("Paper", "Polygon")
        lo_x, lo_y, hi_x, hi_y = box(rims[0])
        self.cell = max(max(hi_x - lo_x, hi_y - lo_y) / max(1.0, math.sqrt(len(self.lines))), self.tolerance)
        self.sides = [(p[i], p[(i + 1) % len(p)]) for p in rims for i in range(len(p))]
        self.side_grid = Grid([box(s) for s in self.sides], self.cell)
        self.vertices = []
        self.vertex_cells = defaultdict(list)
        # Each vertex's creases as (direction, layer, line, ends there, length).
        self.creases = defaultdict(list)
        self.ends = []
        for k, (layer, a, b) in enumerate(self.lines):
            u, v = self.vertex_at(a), self.vertex_at(b)
            self.ends.append((u, v))
            if u != v:
                pu, pv = self.vertices[u], self.vertices[v]
                length = math.dist(pu, pv)
                self.creases[u].append((math.atan2(pv[1] - pu[1], pv[0] - pu[0]), layer, k, True, length))
                self.creases[v].append((math.atan2(pu[1] - pv[1], pu[0] - pv[0]), layer, k, True, length))
        line_grid = Grid([box(line[1:]) for line in self.lines], self.cell)
        for v, p in enumerate(self.vertices):
            for k in line_grid.near(self.around(p)):
                layer, a, b = self.lines[k]
                if v not in self.ends[k] and distance_to_segment(p, a, b) < self.tolerance:
                    for q in (a, b):
                        self.creases[v].append((math.atan2(q[1] - p[1], q[0] - p[0]), layer, k, False,
                                                math.dist(p, q)))
        for around_v in self.creases.values():
            around_v.sort()

    def around(self, p):
        t = self.tolerance
        return p[0] - t, p[1] - t, p[0] + t, p[1] + t

    def cell_of(self, p):
        return int(math.floor(p[0] / self.tolerance)), int(math.floor(p[1] / self.tolerance))

    def find(self, p):
        """The vertex at p, or None."""
        i, j = self.cell_of(p)
        for c in ((i + a, j + b) for a in (-1, 0, 1) for b in (-1, 0, 1)):
            for v in self.vertex_cells.get(c, ()):
                if math.dist(self.vertices[v], p) < self.tolerance:
                    return v
        return None

    def vertex_at(self, p):
        v = self.find(p)
        if v is None:
            self.vertices.append(p)
            v = len(self.vertices) - 1
            self.vertex_cells[self.cell_of(p)].append(v)
        return v

    def inner(self, v):
        p = self.vertices[v]
        return not any(distance_to_segment(p, *self.sides[k]) < self.tolerance
                       for k in self.side_grid.near(self.around(p)))

    def crimp_point(self, v):
        return any(layer in CRIMPS and ends_here for _, layer, _, ends_here, _ in self.creases[v])


def directions(creases):
    """The creases at a vertex, sorted by direction, with those that leave
    it along one line as an earlier one dropped."""
    kept = []
    for c in creases:
        if not kept or c[0] - kept[-1][0] > SAME_DIRECTION:
            kept.append(c)
    if len(kept) > 1 and kept[0][0] + 2 * math.pi - kept[-1][0] < SAME_DIRECTION:
        kept.pop()
    return kept


def unfoldable(creases, tolerance):
    """Whether the distinct creases at a point are a set that no fold makes:
    one alone, or two at an angle. Two in line, within the tolerance at
    their far ends, are a straight crease through the point."""
    if len(creases) != 2:
        return len(creases) == 1
    (a0, _, _, _, l0), (a1, _, _, _, l1) = creases
    return not (math.cos(a1 - a0) < 0 and abs(math.sin(a1 - a0)) * max(l0, l1) <= tolerance)


def could_not_fold(creases, tolerance, rounding):
    """Whether the generator judges the creases that end at a point to be a
    set that cannot fold: those whose far ends lie within the tolerance of
    one line from the point count as one, and what is left is one crease,
    or two that are not a straight crease of one fold. Judged from the
    file, within its rounding, in the generator's favour."""
    def in_line(c, d, side, within):
        u = (math.cos(c[0]), math.sin(c[0]))
        v = (math.cos(d[0]), math.sin(d[0]))
        return side * dot(u, v) > 0 and abs(cross(u, v)) * min(c[4], d[4]) <= within

    directions = []
    for c in creases:
        if not directions or not in_line(directions[-1], c, 1, tolerance + 2 * rounding):
            directions.append(c)
    if len(directions) > 1 and in_line(directions[0], directions[-1], 1, tolerance + 2 * rounding):
        directions.pop()
    if len(directions) != 2:
        return len(directions) < 2
    one_fold = len(set(c[1] in MOUNTAINS for c in creases)) == 1
    return not (one_fold and in_line(directions[0], directions[1], -1, tolerance - 2 * rounding))


def crease_vertices(graph):
    """Each inner vertex judged as a folder would: a crease that ends there
    alone cannot fold, nor can two creases meeting at an angle with nothing
    else there (a bend). Crimp points, the inner ends of crimp creases, are
    counted with Maekawa's count (mountains and valleys differ by two) and
    Kawasaki's angles. Every inner vertex of even degree, four or more, is
    listed under "Kawasaki" with how far its alternate sectors miss a half
    turn."""
    found = defaultdict(list)
    counts = defaultdict(int)
    for v, around_v in graph.creases.items():
        p = graph.vertices[v]
        if not graph.inner(v):
            continue
        distinct_creases = directions(around_v)
        n = len(distinct_creases)
        counts["inner vertices"] += 1
        sectors = [(distinct_creases[(i + 1) % n][0] - distinct_creases[i][0]) % (2 * math.pi) for i in range(n)]
        kawasaki_miss = abs(sum(sectors[0::2]) - math.pi)
        if n >= 4 and n % 2 == 0:
            found["Kawasaki"].append((p, kawasaki_miss))
        crimp_point = graph.crimp_point(v)
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


def left_unfoldable(saved, every):
    """The crimp points and triangle centres (the inner vertices of the
    drawing of every line) that the saved drawing leaves with one crease, or
    two at an angle, where every line would give them more: (point, creases
    kept, creases of every line)."""
    found = []
    for v, around_v in every.creases.items():
        full = len(directions(around_v))
        if full < 2 or not every.inner(v):
            continue
        s = saved.find(every.vertices[v])
        kept = directions(saved.creases[s]) if s is not None else []
        if len(kept) < full and unfoldable(kept, saved.tolerance + saved.rounding):
            found.append((every.vertices[v], len(kept), full))
    return found


def opposite(a, b):
    return (a in MOUNTAINS and b in VALLEYS) or (a in VALLEYS and b in MOUNTAINS)


def left_out(drawing, saved, every, length_scale):
    """The lines of the drawing of every line that the saved drawing lacks,
    each with why: a reason of its own ("no length", "along the opposite fold", "through a
    placed face", "off the paper": an end beyond the layout's outline, on
    blank paper), or a point of it that keeps no crease because what its
    other lines would leave there cannot fold ("its point cannot fold"), or
    its crimp pair lost ("with its pair"). None where nothing explains it."""
    tolerance = TOLERANCE * length_scale
    rounding = drawing.rounding
    faces = [f for f in drawing.faces() if inradius(f) > 0]
    face_grid = Grid([box(f) for f in faces], every.cell)
    outline = drawing.on_layers("Paper")[1:]

    # Both drawings are written from the same positions, so a line kept has
    # the very same coordinates in both.
    kept = defaultdict(int)
    for line in saved.lines:
        kept[line] += 1
    missing = {}
    for k, line in enumerate(every.lines):
        if kept[line]:
            kept[line] -= 1
        else:
            missing[k] = None

    def off_paper(p):
        return outline and not inside(p, outline[0]) and min(
            distance_to_segment(p, outline[0][i], outline[0][(i + 1) % len(outline[0])])
            for i in range(len(outline[0]))) > tolerance

    def along(layer, a, b, others):
        return any(opposite(layer, o[0]) and
                   shared_stretch(a, b, o[1], o[2], tolerance + rounding) > tolerance - rounding for o in others)

    # A crimp line runs from a corner to its crimp point, where it ends;
    # the lines of one point end on the very same coordinates.
    pairs = defaultdict(list)
    for k, (layer, _, b) in enumerate(every.lines):
        if layer in CRIMPS:
            pairs[b].append(k)

    for k in missing:
        layer, a, b = every.lines[k]
        if math.dist(a, b) < tolerance + 2 * rounding:
            missing[k] = "no length"
        elif any(depth_inside(a, b, faces[f]) > FACE_DEPTH * inradius(faces[f]) - 2 * rounding
                 for f in face_grid.near(box((a, b)))):
            missing[k] = "through a placed face"
        elif off_paper(a) or off_paper(b):
            missing[k] = "off the paper"
    # Nor is a line made along one of the opposite fold made before it (later
    # in the file, which lists the newest line first) and sound in itself.
    every_grid = Grid([box(line[1:]) for line in every.lines], every.cell)
    for k in missing:
        layer, a, b = every.lines[k]
        if missing[k]:
            continue
        earlier = [every.lines[j] for j in every_grid.near(box((a, b))) if j > k and not missing.get(j)]
        if along(layer, a, b, earlier) or (layer in CRIMPS and along(layer, a, b, [every.lines[j] for j in pairs[b]])):
            missing[k] = "along the opposite fold"

    # The generator judges the points where its lines end: the lines that
    # end at each point (on the very same coordinates), and at a crimp point
    # the lines through it too, the valley it sits on among them.
    ending = defaultdict(list)
    for k, (_, a, b) in enumerate(every.lines):
        ending[a].append(k)
        ending[b].append(k)
    keeps = set(p for _, a, b in saved.lines for p in (a, b))
    through = defaultdict(list)
    sits_on = defaultdict(list)
    for p in pairs:
        for k in every_grid.near((p[0], p[1], p[0], p[1])):
            layer, a, b = every.lines[k]
            if p != a and p != b and distance_to_segment(p, a, b) < tolerance - 2 * rounding:
                through[p].append(k)
                sits_on[k].append(p)

    def creases_at(p, ending_here, passing):
        found = []
        for k, ends in [(k, True) for k in ending_here] + [(k, False) for k in passing]:
            layer, a, b = every.lines[k]
            for q in ((b if a == p else a),) if ends else (a, b):
                found.append((math.atan2(q[1] - p[1], q[0] - p[0]), layer, k, ends, math.dist(p, q)))
        return sorted(found)

    # A point that keeps no crease explains the lines it loses when what the
    # lines explained so far leave there cannot fold; a crimp line goes with
    # its pair.
    def explain(k, why):
        missing[k] = why
        queue.append(k)

    queue = [k for k, why in missing.items() if why]
    while queue:
        k = queue.pop()
        layer, a, b = every.lines[k]
        if layer in CRIMPS:
            for j in pairs[b]:
                if missing.get(j, "") is None:
                    explain(j, "with its pair")
        for p in [a, b] + sits_on[k]:
            if p in keeps:
                continue
            left = creases_at(p, [j for j in ending[p] if not missing.get(j)],
                              [j for j in through[p] if not missing.get(j)])
            if could_not_fold(left, tolerance, rounding):
                for j in ending[p]:
                    if missing.get(j, "") is None:
                        explain(j, "its point cannot fold")
    return missing


def check_resting(want, work_dir, faults):
    """A resting layout as the window saves it: sound by every rule, no
    crimp crease alone, no more crimp points left as a bend than the crease
    lines make with none of them left out (`every_line_file`), no crimp
    point or triangle centre left with one crease or two at an angle where
    every line would give it more, and every line left out for a reason of
    its own or because the point it leaves could not fold."""
    drawing = Drawing(os.path.join(work_dir, want["file"]))
    name = drawing.name
    scale = want["length_scale"]
    check_foldable(drawing, scale, [], faults)
    saved = CreaseGraph(drawing, scale)
    every = CreaseGraph(Drawing(os.path.join(work_dir, want["every_line_file"])), scale)
    now, found = crease_vertices(saved)
    full, _ = crease_vertices(every)
    if now["crimp ends alone"]:
        faults.append("%s: %d crimp creases end alone, e.g. at %s" % (name, now["crimp ends alone"],
                                                                      found["crimp ends alone"][0]))
    if now["crimp bends"] > full["crimp bends"]:
        faults.append("%s: %d crimp points are bends, %d with every line kept" % (name, now["crimp bends"],
                                                                                 full["crimp bends"]))
    unfolded = left_unfoldable(saved, every)
    for p, kept, rule in unfolded[:5]:
        faults.append("%s: the point (%.6g, %.6g) keeps %d crease%s of the %d every line gives it" %
                      (name, p[0], p[1], kept, "" if kept == 1 else "s", rule))
    if len(unfolded) > 5:
        faults.append("%s: %d more points of the same" % (name, len(unfolded) - 5))
    missing = left_out(drawing, saved, every, scale)
    unexplained = [k for k, why in missing.items() if why is None]
    for k in unexplained[:5]:
        layer, a, b = every.lines[k]
        faults.append("%s: a %s line from %s to %s is left out for no reason" % (name, layer, a, b))
    if len(unexplained) > 5:
        faults.append("%s: %d more lines of the same" % (name, len(unexplained) - 5))
    valleys = defaultdict(int)
    for x0, y0, x1, y1 in want["missing_etm_valleys"]:
        u, v = every.find((x0, y0)), every.find((x1, y1))
        k = next((c[2] for c in every.creases.get(u, ()) if c[1] == "Valley" and c[3] and v in every.ends[c[2]]),
                 None)
        valleys[missing.get(k)] += 1
    reasons = defaultdict(int)
    for why in missing.values():
        reasons[why] += 1
    share = lambda c: 100.0 * c["Maekawa and Kawasaki"] / max(1, c["crimp points"])
    print("%-26s crimp points %6d, bends %5d (every line kept %5d), Maekawa and Kawasaki %5.1f %% (%5.1f %%), "
          "ends alone %d, left unfoldable %d, ETM valleys %d of %d%s; lines left out %d%s" %
          (name, now["crimp points"], now["crimp bends"], full["crimp bends"], share(now), share(full),
           now["ends alone"], len(unfolded), want["etms"] - len(want["missing_etm_valleys"]), want["etms"],
           "".join(", %d %s" % (n, why) for why, n in sorted(valleys.items(), key=str)), len(missing),
           "".join(", %d %s" % (n, why) for why, n in sorted(reasons.items(), key=str))))


# The rounding of a file shows in Kawasaki's sums long before they miss by
# the folder's tolerance: at this many radians a file written coarser than
# its model at full size misses several times as often.
FINE_KAWASAKI = 1e-4


def kawasaki_misses(drawing, length_scale):
    """How many inner vertices of even degree miss Kawasaki's sums by more
    than the folder's tolerance and by more than the fine one."""
    _, found = crease_vertices(CreaseGraph(drawing, length_scale))
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
