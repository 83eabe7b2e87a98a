// The objects this process holds, counted from inside. Under Wine GetGuiResources and
// GetProcessHandleCount answer 0, so every value a handle of each kind can take is tried.
// Threads come from a snapshot, memory from the process's counters.
#pragma once

#include <ostream>
#include <string>

#include "base/platform.h"

struct ObjectCounts {
    int kernel = 0;   // kernel handles: files, registry keys, events, threads...
    int gdi = 0;      // DCs, bitmaps, brushes, pens, fonts, regions, palettes
    int windows = 0;  // windows of this process
    int menus = 0;
    int icons = 0;  // icons and cursors
    int threads = 0;
    // Private bytes in KiB. Not compared: the heap grows and shrinks by itself.
    long long privateKiB = 0;

    int User() const { return windows + menus + icons; }
    bool operator==(const ObjectCounts& other) const {
        return kernel == other.kernel && gdi == other.gdi && windows == other.windows &&
               menus == other.menus && icons == other.icons && threads == other.threads;
    }
};

ObjectCounts CountObjects();
// The threads of this process alone.
int CountThreads();

// Sent to a window whose program counts its own objects on request (the soak's window).
constexpr char kCountObjectsMessage[] = "PortlookCountObjects";
std::string Describe(const ObjectCounts& counts);

// How GoogleTest shows counts in a failure message.
inline void PrintTo(const ObjectCounts& counts, std::ostream* out) { *out << Describe(counts); }
