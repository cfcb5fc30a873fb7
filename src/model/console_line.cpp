#include "model/console_line.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool lineOpen = false;
// Every message and echo of the program fits; formatting into it allocates
// nothing, which matters for the lines that say memory ran out.
char buffer[16384];

void printFollowed(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n <= 0) return;
    if ((size_t)n < sizeof buffer) {
        std::fputs(buffer, stdout);
        lineOpen = buffer[n - 1] != '\n';
        return;
    }
    std::vprintf(format, args);
    size_t length = std::strlen(format);
    lineOpen = length == 0 || format[length - 1] != '\n';
}

}  // namespace

void consolePrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printFollowed(format, args);
    va_end(args);
}

void consoleLine(const char* format, ...) {
    startConsoleLine();
    va_list args;
    va_start(args, format);
    printFollowed(format, args);
    va_end(args);
}

void startConsoleLine() {
    if (lineOpen) std::fputs("\n", stdout);
    lineOpen = false;
}

void resetConsoleLine() { lineOpen = false; }
