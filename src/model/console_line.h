#ifndef PLICATROPE_MODEL_CONSOLE_LINE_H
#define PLICATROPE_MODEL_CONSOLE_LINE_H

// The console is one stream that every step writes to. Some output stops
// inside a line (an echoed last line without its line end, progress dots,
// the vertex angle sums), and a message printed next, by the same step or
// by the next command, would run on after it. Output that goes through
// consolePrintf is followed, so that consoleLine can begin a line of its own.

// printf to standard output, remembering whether the output ended inside a line.
__attribute__((format(printf, 1, 2))) void consolePrintf(const char* format, ...);

// One message on a line of its own: a line end first when the last output
// left its line open.
__attribute__((format(printf, 1, 2))) void consoleLine(const char* format, ...);

// Ends a line that the last output left open; nothing otherwise.
void startConsoleLine();

// Forgets an open line: the output goes somewhere new from here (a test
// that captures it).
void resetConsoleLine();

#endif
