#include "tests/robustness/object_counts.h"

#include <cstdio>

#include "base/win32_handles.h"
#include "tests/robustness/gui_handles.h"
// After <windows.h>, which they need.
#include <psapi.h>
#include <tlhelp32.h>

namespace {

// Kernel handles are multiples of 4; 16384 of them is far beyond anything a test holds.
constexpr UINT_PTR kKernelHandleEnd = 0x10000;
// GDI and USER handles are table indices in the low word; a high word of 0 matches any
// generation.
constexpr UINT_PTR kGdiHandleEnd = 0x10000;
constexpr UINT_PTR kUserHandleFirst = 0x20;
constexpr UINT_PTR kUserHandleEnd = 0x10000;

template <typename Handle>
Handle HandleValue(UINT_PTR value) {
    return reinterpret_cast<Handle>(value);
}

int CountKernelHandles() {
    int count = 0;
    for (UINT_PTR value = 4; value < kKernelHandleEnd; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(HandleValue<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

int CountGdiObjects() {
    int count = 0;
    for (UINT_PTR value = 0; value < kGdiHandleEnd; ++value) {
        if (::GetObjectType(HandleValue<HGDIOBJ>(value)) != 0) ++count;
    }
    return count;
}

int CountOwnWindows() {
    int count = 0;
    const DWORD self = ::GetCurrentProcessId();
    for (UINT_PTR value = kUserHandleFirst; value < kUserHandleEnd; value += 2) {
        DWORD owner = 0;
        if (::GetWindowThreadProcessId(HandleValue<HWND>(value), &owner) && owner == self) {
            ++count;
        }
    }
    return count;
}

int CountMenus() {
    int count = 0;
    for (UINT_PTR value = kUserHandleFirst; value < kUserHandleEnd; value += 2) {
        if (::IsMenu(HandleValue<HMENU>(value))) ++count;
    }
    return count;
}

// Drawing succeeds only for an icon or cursor of this process.
int CountIcons() {
    HDC screen = ::GetDC(nullptr);
    const MemoryDc dc(::CreateCompatibleDC(screen));
    const GdiObject bitmap(::CreateCompatibleBitmap(screen, 1, 1));
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc.Get(), bitmap.Get());
    int count = 0;
    for (UINT_PTR value = kUserHandleFirst; value < kUserHandleEnd; value += 2) {
        if (::DrawIconEx(dc.Get(), 0, 0, HandleValue<HICON>(value), 1, 1, 0, nullptr, DI_NORMAL)) {
            ++count;
        }
    }
    ::SelectObject(dc.Get(), old);
    return count;
}

long long PrivateKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<long long>(counters.PagefileUsage / 1024);
}

}  // namespace

int CountThreads() {
    const FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more;
         more = ::Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    }
    return count;
}

ObjectCounts CountObjects() {
    ObjectCounts counts;
    // GDI first: counting icons needs a DC and a bitmap of its own for a moment.
    counts.gdi = CountGdiObjects();
    counts.kernel = CountKernelHandles();
    counts.windows = CountOwnWindows();
    counts.menus = CountMenus();
    counts.icons = CountIcons();
    counts.threads = CountThreads();
    counts.privateKiB = PrivateKiB();
    return counts;
}

std::string Describe(const ObjectCounts& counts) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "kernel handles %d, GDI objects %d, USER objects %d (windows %d, menus %d, "
                  "icons/cursors %d), threads %d, private KiB %lld",
                  counts.kernel, counts.gdi, counts.User(), counts.windows, counts.menus,
                  counts.icons, counts.threads, counts.privateKiB);
    return text;
}
