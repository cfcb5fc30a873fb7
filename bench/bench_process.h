#ifndef PLICATROPE_BENCH_PROCESS_H
#define PLICATROPE_BENCH_PROCESS_H

#include <functional>
#include <string>

// Runs f with standard output sent to /dev/null, so that the core's echo
// lines and progress dots stay off the table, and returns how long f took in
// milliseconds. With `lastLine` given, the output is kept instead and its
// last non-empty line stored there (the core's reason when a step refuses).
double runQuietly(const std::function<void()>& f, std::string* lastLine = nullptr);

// The process's peak resident memory (VmHWM) in megabytes; negative when the
// system does not tell.
double peakMemoryMB();

// Starts a new peak at the current resident memory, so that each model's
// peak is its own rather than that of a larger model run before it.
void resetPeakMemory();

#endif
