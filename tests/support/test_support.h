#ifndef PLICATROPE_TESTS_SUPPORT_H
#define PLICATROPE_TESTS_SUPPORT_H

#include <functional>
#include <string>

class Polyhedron;

namespace testsupport {

// Runs f and returns everything it printed on standard output.
std::string captureStdout(const std::function<void()>& f);

// Writes text to a fresh file in this test run's scratch directory.
std::string writeTempFile(const std::string& name, const std::string& text);
std::string tempPath(const std::string& name);

// Path of a fixture in tests/data.
std::string dataPath(const std::string& name);

// OBJ texts of small closed and open surfaces, faces counter-clockwise
// seen from outside (from +z for the open ones).
std::string tetrahedronObj();
std::string cubeObj(double size = 1.0);
std::string octahedronObj();
// Icosahedron subdivided `levels` times onto the unit sphere: 20 * 4^levels triangles.
std::string sphereObj(int levels);
// A bumpy n by n grid of squares, each split into two triangles: 2 n^2 faces.
std::string openGridObj(int n);

// Loads OBJ text into the model, keeping the console quiet. Returns load()'s result.
int loadObjText(Polyhedron& model, const std::string& objText, const std::string& name = "model.obj");

}  // namespace testsupport

#endif
