// Times one lookup of who holds a port (the system's handle snapshot, and every file handle in
// it duplicated and asked what it is) with more and more handles in another process, which also
// holds the port. Run through scripts/wine-run; prints a Markdown table.
//
//   portlook_holders_timing.exe [SAMPLES]
//
// The same program plays that other process: --hold PORT EVENTS DISKFILES DEVICES READY.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/win32_handles.h"
#include "ports/win32/port_holder_finder.h"
#include "tests/bench/wine/bench_stats.h"
#include "tests/support/child_process.h"

namespace {

constexpr int kDefaultSamples = 31;
constexpr char kPort[] = "COM21";

// Holds the port and as many handles of each kind as asked, then waits to be ended.
int Hold(char** argv) {
    std::vector<HANDLE> handles;
    const std::string path = std::string("\\\\.\\") + argv[0];
    handles.push_back(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    for (int i = std::atoi(argv[1]); i > 0; --i) {
        handles.push_back(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    for (int i = std::atoi(argv[2]); i > 0; --i) {
        handles.push_back(
            ::CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    for (int i = std::atoi(argv[3]); i > 0; --i) {
        handles.push_back(::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    }
    for (const HANDLE handle : handles) {
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return 1;
    }
    const KernelHandle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[4]));
    if (!ready.IsValid() || !::SetEvent(ready.Get())) return 1;
    ::Sleep(INFINITE);
    return 0;
}

// Another instance of this program holding handles; ended with this object.
class HandleHolder {
public:
    HandleHolder(int events, int diskFiles, int devices) {
        const std::string ready = "portlook-holders-timing-" + std::to_string(events) + "-" +
                                  std::to_string(diskFiles) + "-" + std::to_string(devices);
        const KernelHandle event(::CreateEventA(nullptr, TRUE, FALSE, ready.c_str()));
        char self[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, self, MAX_PATH);
        if (!event.IsValid()) return;
        m_process = std::make_unique<ChildProcess>(
            self, ChildOptions{{"--hold", kPort, std::to_string(events), std::to_string(diskFiles),
                                std::to_string(devices), ready},
                               false});
        const HANDLE waits[] = {event.Get(), m_process->Handle()};
        m_ready = m_process->Started() &&
                  ::WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0;
    }
    bool Ready() const { return m_ready; }
    DWORD Id() const { return m_process ? m_process->Id() : 0; }

private:
    std::unique_ptr<ChildProcess> m_process;
    bool m_ready = false;
};

// The system's handles, all and of files, counted from a snapshot of their own.
struct HandleCount {
    unsigned long all = 0;
    unsigned long files = 0;
};

HandleCount CountHandles() {
    struct Entry {
        void* object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ULONG access;
        USHORT creator;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    using Query = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    const FileHandle marker(::CreateFileA("NUL", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    std::vector<ULONG_PTR> buffer(1 << 20);
    ULONG needed = 0;
    HandleCount count;
    if (!query || query(64, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)),
                        &needed) < 0) {
        return count;
    }
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + 2);
    count.all = static_cast<unsigned long>(buffer[0]);
    USHORT fileType = 0;
    for (unsigned long i = 0; i < count.all; ++i) {
        if (entries[i].processId == ::GetCurrentProcessId() &&
            entries[i].handle == reinterpret_cast<ULONG_PTR>(marker.Get())) {
            fileType = entries[i].type;
        }
    }
    for (unsigned long i = 0; i < count.all; ++i) count.files += entries[i].type == fileType;
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::strcmp(argv[1], "--hold") == 0) return Hold(argv + 2);
    const int samples = argc > 1 ? std::atoi(argv[1]) : kDefaultSamples;
    PortRow row;
    row.device = "\\Device\\Serial0";
    row.port = kPort;
    row.status = PortStatus::Busy;

    const struct {
        const char* what;
        int events;
        int diskFiles;
        int devices;
    } loads[] = {{"the port's holder alone", 0, 0, 0},
                 {"+ 20000 events", 20000, 0, 0},
                 {"+ 2000 disk files", 0, 2000, 0},
                 {"+ 2000 handles of a character device", 0, 0, 2000}};
    std::printf(
        "| other process holds, ms | handles | file handles | samples | median | q1 | q3 |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const auto& load : loads) {
        const HandleHolder holder(load.events, load.diskFiles, load.devices);
        if (!holder.Ready()) {
            std::fprintf(stderr, "the holder of '%s' did not start\n", load.what);
            return 1;
        }
        const HandleCount count = CountHandles();
        PortHolderFinder finder;
        std::vector<double> times;
        for (int sample = 0; sample < samples; ++sample) {
            const Stopwatch watch;
            const std::vector<std::optional<PortHolders>> holders = finder.Find({row});
            times.push_back(watch.ElapsedMs());
            if (finder.LastFindFailed() || !holders[0] || holders[0]->size() != 1 ||
                (*holders[0])[0].pid != holder.Id()) {
                std::fprintf(stderr, "'%s': the holder was not found\n", load.what);
                return 1;
            }
        }
        const Summary s = Summarize(times);
        std::printf("| %s | %lu | %lu | %zu | %.2f | %.2f | %.2f |\n", load.what, count.all,
                    count.files, s.count, s.median, s.q1, s.q3);
    }
    return 0;
}
