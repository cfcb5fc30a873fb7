#ifndef PLICATROPE_BENCH_MODELS_H
#define PLICATROPE_BENCH_MODELS_H

#include <string>
#include <vector>

enum class ModelSource { Sphere, Grid, Example };

struct BenchModel {
    std::string name;
    ModelSource source = ModelSource::Example;
    int level = 0;         // subdivision level of a generated model
    std::string path;      // the OBJ file to load (written for generated models)
    bool largest = false;  // one of the largest generated models, left out of a quick run
};

// The default models: closed spheres and open caps of about 80, 320, 1,280
// and 5,120 triangles, then every OBJ file in `examplesDir`.
std::vector<BenchModel> defaultModels(const std::string& examplesDir);

// A model by name: one of `known`, or a generated model of another level
// ("sphere0" to "sphere6", "grid1" to "grid6").
bool findModel(const std::string& name, const std::vector<BenchModel>& known, BenchModel& model);

// Writes a generated model's OBJ file into `dir` and sets its path. Returns
// false with a line on standard error when the file cannot be written.
bool writeModelFile(BenchModel& model, const std::string& dir);

#endif
