#include "bench_process.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// Where standard output goes while a step runs; restores it when done.
class StdoutRedirect {
public:
    explicit StdoutRedirect(bool keep) {
        fflush(stdout);
        if (keep) {
            kept_ = tmpfile();
            if (kept_) target_ = dup(fileno(kept_));
        } else {
            target_ = open("/dev/null", O_WRONLY);
        }
        if (target_ < 0) return;
        saved_ = dup(STDOUT_FILENO);
        if (saved_ >= 0 && dup2(target_, STDOUT_FILENO) < 0) {
            close(saved_);
            saved_ = -1;
        }
    }

    ~StdoutRedirect() {
        restore();
        if (target_ >= 0) close(target_);
        if (kept_) fclose(kept_);
    }

    void restore() {
        fflush(stdout);
        if (saved_ < 0) return;
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
    }

    std::string lastLine() {
        std::string last;
        if (!kept_) return last;
        rewind(kept_);
        char buffer[4096];
        while (fgets(buffer, sizeof buffer, kept_)) {
            size_t n = strcspn(buffer, "\r\n");
            if (n > 0) last.assign(buffer, n);
        }
        return last;
    }

private:
    FILE* kept_ = nullptr;
    int target_ = -1;
    int saved_ = -1;
};

}  // namespace

double runQuietly(const std::function<void()>& f, std::string* lastLine) {
    StdoutRedirect redirect(lastLine != nullptr);
    auto t0 = std::chrono::steady_clock::now();
    f();
    auto t1 = std::chrono::steady_clock::now();
    redirect.restore();
    if (lastLine) *lastLine = redirect.lastLine();
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

double peakMemoryMB() {
    FILE* fp = fopen("/proc/self/status", "r");
    if (!fp) return -1.0;
    double kilobytes = -1.0;
    char line[256];
    while (fgets(line, sizeof line, fp)) {
        if (strncmp(line, "VmHWM:", 6) == 0) {
            long value = 0;
            if (sscanf(line + 6, "%ld", &value) == 1) kilobytes = (double)value;
            break;
        }
    }
    fclose(fp);
    return kilobytes < 0 ? -1.0 : kilobytes / 1024.0;
}

void resetPeakMemory() {
    // Memory freed by the previous model would otherwise still count.
    malloc_trim(0);
    // "5" resets the peak; a kernel without it keeps the process-wide peak.
    FILE* fp = fopen("/proc/self/clear_refs", "w");
    if (!fp) return;
    fputs("5", fp);
    fclose(fp);
}
