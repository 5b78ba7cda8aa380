#!/usr/bin/env python3
"""Which way MDL models face, compared with a reference MDL.

Reads frame 0 of each MDL file (Quake's version 6), centres it and scales it
to a unit box, and tries the 48 turns and mirrors of the axes on it; prints,
for each file after the first, the one that brings it closest to the first
(the mean distance from a sample of its vertices to the nearest of the
reference's). A model that came out the way the reference faces is best
matched by (x, y, z).

    scripts/compare-orientation.py REFERENCE.mdl OTHER.mdl...
"""
import itertools
import struct
import sys


def frame_vertices(path):
    """The decoded vertices of an MDL file's first frame."""
    data = open(path, 'rb').read()
    scale = struct.unpack_from('<3f', data, 8)
    origin = struct.unpack_from('<3f', data, 20)
    skins, width, height, vertices, triangles = struct.unpack_from('<5i', data, 48)
    at = 84
    for _ in range(skins):
        group = struct.unpack_from('<i', data, at)[0]
        at += 4
        if group:
            pictures = struct.unpack_from('<i', data, at)[0]
            at += 4 + 4 * pictures + pictures * width * height
        else:
            at += width * height
    at += vertices * 12 + triangles * 16
    group = struct.unpack_from('<i', data, at)[0]
    at += 4
    if group:
        poses = struct.unpack_from('<i', data, at)[0]
        at += 4 + 8 + 4 * poses
    at += 8 + 16
    return [tuple(data[at + 4 * k + a] * scale[a] + origin[a] for a in range(3))
            for k in range(vertices)]


def normalised(points):
    low = [min(p[a] for p in points) for a in range(3)]
    high = [max(p[a] for p in points) for a in range(3)]
    size = max(high[a] - low[a] for a in range(3)) or 1.0
    return [tuple((p[a] - (low[a] + high[a]) / 2) / size for a in range(3))
            for p in points]


def distance(points, reference):
    # Samples of both keep the 48 comparisons to a few seconds a file.
    sample = points[::max(1, len(points) // 100)]
    reference = reference[::max(1, len(reference) // 500)]
    total = 0.0
    for p in sample:
        total += min(sum((p[a] - q[a]) ** 2 for a in range(3)) for q in reference) ** 0.5
    return total / len(sample)


def main(paths):
    reference = normalised(frame_vertices(paths[0]))
    for path in paths[1:]:
        points = normalised(frame_vertices(path))
        results = []
        for order in itertools.permutations(range(3)):
            for signs in itertools.product((1, -1), repeat=3):
                moved = [tuple(signs[a] * p[order[a]] for a in range(3)) for p in points]
                name = '(' + ', '.join(('-' if signs[a] < 0 else '') + 'xyz'[order[a]]
                                       for a in range(3)) + ')'
                results.append((distance(moved, reference), name))
        results.sort()
        print('%s: best matched by %s (%.4f), then %s (%.4f)'
              % (path.rsplit('/', 1)[-1], results[0][1], results[0][0],
                 results[1][1], results[1][0]))
    return 0


if __name__ == '__main__':
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1:]))
