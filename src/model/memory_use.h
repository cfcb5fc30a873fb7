#ifndef PLICATROPE_MODEL_MEMORY_USE_H
#define PLICATROPE_MODEL_MEMORY_USE_H

// What the guards that refuse a model before it is built judge by: the
// memory this process may use, and bounds of what the steps take at their
// peaks, from the counts of the records alone.

// The console gives sizes in megabytes of this many bytes.
const double kMegabyte = 1048576.0;

// Bytes this process may use: the physical memory, or less where a limit
// of the address space or of the data segment, or the memory limit of the
// process's control group, sets less.
double processMemoryLimit();

// Loading a file of `vertices` vertex records and `faces` face records
// with `corners` corners in all: the model's records, the ray-casting
// records of its faces and strips, and the search over them, at their peak.
double loadBytes(double vertices, double faces, double corners);

// The search that ray casting builds over `records` triangle records of a
// model of `faces` faces.
double recordSearchBytes(double records, double faces);

#endif
