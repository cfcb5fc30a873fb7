#ifndef PLICATROPE_BENCH_CREASE_CROSSINGS_H
#define PLICATROPE_BENCH_CREASE_CROSSINGS_H

#include <vector>

#include "creasepattern/sheet_geometry.h"

typedef sheet::Segment Segment;

// How many of the segments cross another away from their ends: the two meet
// at a point inside both, and no end of either lies within `tolerance` of the
// other. Shared ends, an end touching another line (a T) and collinear
// overlaps are not crossings. Runs on a grid of cells, so that lines far
// apart are never compared.
int countCrossingLines(const std::vector<Segment>& segments, double tolerance);

#endif
