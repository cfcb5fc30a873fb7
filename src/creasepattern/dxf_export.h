#ifndef PLICATROPE_CREASEPATTERN_DXF_EXPORT_H
#define PLICATROPE_CREASEPATTERN_DXF_EXPORT_H

class Polyhedron;

// Writes the crease pattern of a developed model as a DXF drawing, every
// point multiplied by the complex factor a + ib. The file is written beside
// the target and renamed over it only when complete. Returns 0 on success,
// -1 (with a console line) when nothing could be saved.
int exportDXF(Polyhedron& model, bool withMolecules, double a, double b, const char* path);

#endif
