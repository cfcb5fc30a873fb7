#!/usr/bin/env python3
"""Writes the example models in examples/: small polyhedra a new user can
open, every face listed counter-clockwise seen from outside."""
import math
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "examples")


def sub(a, b):
    return [a[i] - b[i] for i in range(3)]


def cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]


def dot(a, b):
    return sum(a[i] * b[i] for i in range(3))


def centre(points):
    return [sum(p[i] for p in points) / len(points) for i in range(3)]


def outward(vertices, faces, inside):
    """Turns every face so that its corners run counter-clockwise seen from
    the side away from `inside` (a point for closed solids)."""
    result = []
    for f in faces:
        p = [vertices[i] for i in f]
        n = cross(sub(p[1], p[0]), sub(p[2], p[0]))
        away = sub(centre(p), inside)
        result.append(list(f) if dot(n, away) > 0 else list(reversed(f)))
    return result


def write(name, comment, vertices, faces):
    with open(os.path.join(OUT, name), "w") as out:
        out.write("# %s\n" % comment)
        for v in vertices:
            out.write("v %s\n" % " ".join("%.6f" % c for c in v))
        for f in faces:
            out.write("f %s\n" % " ".join(str(i + 1) for i in f))


def convex(name, comment, vertices, faces):
    write(name, comment, vertices, outward(vertices, faces, centre(vertices)))


def tetrahedron():
    v = [[1, 1, 1], [1, -1, -1], [-1, 1, -1], [-1, -1, 1]]
    convex("tetrahedron.obj", "Regular tetrahedron: four triangles.", v, [[0, 1, 2], [0, 1, 3], [0, 2, 3], [1, 2, 3]])


def cube():
    # Centred on the origin, about which the views turn.
    v = [[x, y, z] for z in (-0.5, 0.5) for y in (-0.5, 0.5) for x in (-0.5, 0.5)]
    f = [[0, 1, 3, 2], [4, 5, 7, 6], [0, 1, 5, 4], [2, 3, 7, 6], [0, 2, 6, 4], [1, 3, 7, 5]]
    convex("cube.obj", "Unit cube centred on the origin: six squares.", v, f)


def octahedron():
    v = [[1, 0, 0], [-1, 0, 0], [0, 1, 0], [0, -1, 0], [0, 0, 1], [0, 0, -1]]
    f = [[a, b, c] for a in (0, 1) for b in (2, 3) for c in (4, 5)]
    convex("octahedron.obj", "Regular octahedron: eight triangles.", v, f)


def icosahedron():
    t = (1 + math.sqrt(5)) / 2
    v = []
    for a in (-1, 1):
        for b in (-t, t):
            v += [[0, a, b], [a, b, 0], [b, 0, a]]
    # The faces are the triples of mutually nearest vertices.
    edge = 2.0
    near = lambda i, j: abs(math.dist(v[i], v[j]) - edge) < 1e-9
    f = [[i, j, k] for i in range(12) for j in range(i + 1, 12) for k in range(j + 1, 12)
         if near(i, j) and near(j, k) and near(i, k)]
    convex("icosahedron.obj", "Regular icosahedron: twenty triangles.", v, f)


def pyramid():
    v = [[-1, -1, 0], [1, -1, 0], [1, 1, 0], [-1, 1, 0], [0, 0, 1.2]]
    f = [[0, 1, 2, 3], [0, 1, 4], [1, 2, 4], [2, 3, 4], [3, 0, 4]]
    convex("pyramid.obj", "Square pyramid: a square base and four triangles.", v, f)


def dome():
    # An open surface: a low hexagonal cap, its rim left open.
    v = [[0, 0, 0.5]]
    v += [[math.cos(k * math.pi / 3), math.sin(k * math.pi / 3), 0.25] for k in range(6)]
    v += [[2 * math.cos((k + 0.5) * math.pi / 3), 2 * math.sin((k + 0.5) * math.pi / 3), 0] for k in range(6)]
    f = [[0, 1 + k, 1 + (k + 1) % 6] for k in range(6)]
    for k in range(6):
        f.append([1 + k, 7 + k, 1 + (k + 1) % 6])
        f.append([1 + (k + 1) % 6, 7 + k, 7 + (k + 1) % 6])
    write("dome.obj", "Open hexagonal cap: the rim is the boundary.", v, outward(v, f, [0, 0, -10]))


def hull(points):
    """Triangles of the convex hull of points in general position, each
    counter-clockwise seen from outside, added one point at a time."""
    inside = centre(points[:4])

    def facing(f, p):
        a, b, c = (points[i] for i in f)
        return dot(cross(sub(b, a), sub(c, a)), sub(p, a))

    faces = outward(points, [[0, 1, 2], [0, 1, 3], [0, 2, 3], [1, 2, 3]], inside)
    for i in range(4, len(points)):
        seen = [f for f in faces if facing(f, points[i]) > 1e-12]
        if not seen:
            continue
        rim = set()
        for f in seen:
            for k in range(3):
                e = (f[k], f[(k + 1) % 3])
                if (e[1], e[0]) in rim:
                    rim.remove((e[1], e[0]))
                else:
                    rim.add(e)
        faces = [f for f in faces if facing(f, points[i]) <= 1e-12] + [[a, b, i] for a, b in rim]
    return faces


def pebble():
    # What a scanner leaves: uneven triangles of every shape around a bumpy,
    # flattened body, each vertex a little off the smooth surface.
    rng = random.Random(12345)
    directions = []
    while len(directions) < 1839:
        p = [2 * rng.random() - 1 for _ in range(3)]
        r = math.sqrt(dot(p, p))
        if not 0.1 < r <= 1:
            continue
        p = [c / r for c in p]
        # Scanners thin out points that fall almost on one another.
        if all(math.dist(p, q) > 0.02 for q in directions):
            directions.append(p)
    faces = hull(directions)
    v = []
    for x, y, z in directions:
        r = 1 + 0.25 * (math.sin(3 * x + 1) * math.cos(2 * y) + 0.5 * math.sin(5 * z + 2 * x))
        r *= 1 + 0.08 * (2 * rng.random() - 1)
        v.append([x * r, y * r, 0.8 * z * r])
    write("pebble.obj", "An irregular closed mesh of %d triangles, as a scanner leaves one." % len(faces), v, faces)


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    for make in (tetrahedron, cube, octahedron, icosahedron, pyramid, dome, pebble):
        make()
