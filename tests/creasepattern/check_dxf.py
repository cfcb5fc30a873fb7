#!/usr/bin/python3
"""Reads the crease-pattern drawings of whole models back with a real DXF
reader and compares them with what the writing test expects.

usage: check_dxf.py TEST_BINARY WORK_DIR

Runs the DxfModels test of TEST_BINARY with PLICATROPE_DXF_DIR=WORK_DIR, then
checks every drawing listed in WORK_DIR/expected.json. Exits non-zero and
names every difference when one is found.
"""

import json
import math
import os
import subprocess
import sys

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


def check_drawing(path, want, faults):
    def fault(text):
        faults.append("%s: %s" % (os.path.basename(path), text))

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
        xs = sorted(set(round(x, 5) for x, _ in square))
        ys = sorted(set(round(y, 5) for _, y in square))
        if len(xs) != 2 or len(ys) != 2:
            fault("the paper square is not axis-aligned: %s" % square)
        elif abs(xs[1] - xs[0] - side) > 1e-5 * max(1.0, side) or abs(ys[1] - ys[0] - side) > 1e-5 * max(1.0, side):
            fault("the paper square is %g by %g, expected side %g" % (xs[1] - xs[0], ys[1] - ys[0], side))
        else:
            for p in polylines[first_face:first_face + faces]:
                for x, y in points_of(p):
                    if not (xs[0] - 1e-5 <= x <= xs[1] + 1e-5 and ys[0] - 1e-5 <= y <= ys[1] + 1e-5):
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


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    binary, work_dir = sys.argv[1], sys.argv[2]
    write_drawings(binary, work_dir)
    with open(os.path.join(work_dir, "expected.json")) as f:
        wanted = json.load(f)
    faults = []
    for want in wanted:
        check_drawing(os.path.join(work_dir, want["file"]), want, faults)
    for f in faults:
        print(f)
    if faults:
        sys.exit("%d differences in %d drawings" % (len(faults), len(wanted)))
    print("%d drawings read back as expected" % len(wanted))


if __name__ == "__main__":
    main()
