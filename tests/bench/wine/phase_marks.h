// Timestamps of a refresh's steps, for scripts/bench-phases alone: that script copies the
// sources, puts calls of these functions into the copy (tests/bench/wine/mark_phases.py) and
// builds the copy. No build of the product includes this file.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

namespace phase_marks {

struct Mark {
    const char* what;
    long long nanoseconds;
    long long detail;
};

inline std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

// Reserved up front, so that marking never grows the buffer inside a timing.
inline std::vector<Mark>& Marks() {
    static std::vector<Mark> marks = [] {
        std::vector<Mark> reserved;
        reserved.reserve(1u << 20);
        return reserved;
    }();
    return marks;
}

}  // namespace phase_marks

inline void PhaseMark(const char* what, long long detail = 0) {
    const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    const std::lock_guard<std::mutex> lock(phase_marks::Lock());
    phase_marks::Marks().push_back({what, now, detail});
}

// Appends the marks so far to Z:\tmp\portlook-phases\<process id>.txt, one per line.
inline void PhaseMarksWrite() {
    const std::lock_guard<std::mutex> lock(phase_marks::Lock());
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "Z:\\tmp\\portlook-phases\\%lu.txt",
                  static_cast<unsigned long>(::GetCurrentProcessId()));
    if (FILE* file = std::fopen(path, "a")) {
        for (const phase_marks::Mark& mark : phase_marks::Marks()) {
            std::fprintf(file, "%s %lld %lld\n", mark.what, mark.nanoseconds, mark.detail);
        }
        std::fclose(file);
    }
    phase_marks::Marks().clear();
}
