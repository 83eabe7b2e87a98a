// Times Portlook.exe under Wine against the least work the same job needs, and prints the
// figures as a Markdown table. Run through scripts/wine-run (scripts/bench-wine does both).
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/platform.h"
// After <windows.h>, which it needs.
#include <psapi.h>

#include "ports/engine/survey_engine.h"
#include "ports/model/port_status.h"
#include "res/resource.h"
#include "tests/bench/wine/bench_stats.h"
#include "tests/bench/wine/raw_survey.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kWaitMs = 30000;
constexpr int kMissingCount = 256;
constexpr int kFirstMissingPort = 300;  // above COM256, so Wine maps no default device
constexpr int kWarmUps = 3;

struct Options {
    std::string portlook = PORTLOOK_EXE;
    std::string minimal = MINIMAL_EXE;
    std::string filled = FILLED_EXE;
    int refreshes = 41;   // timed refreshes per value set, each beside one loop of each kind
    int starts = 25;      // timed starts per program and value set
    int roundTrips = 20;  // empty round trips per refresh
    int phaseRuns = 7;    // runs of the loop with every call timed
    int pollUs = 100;     // between looks at Portlook's lamp
};

struct PortValue {
    std::string name;
    std::string port;
};

struct ValueSet {
    std::string label;
    std::vector<PortValue> values;
    PortStatus expected;
};

ValueSet MissingPorts() {
    ValueSet set{"256 missing devices", {}, PortStatus::NotFound};
    for (int i = 0; i < kMissingCount; ++i) {
        set.values.push_back({"\\Device\\Serial" + std::to_string(i),
                              "COM" + std::to_string(kFirstMissingPort + i)});
    }
    return set;
}

ValueSet PseudoTerminalPorts() {
    ValueSet set{"32 pty-backed ports", {}, PortStatus::Available};
    const std::vector<std::string> ports = AvailablePorts();
    for (size_t i = 0; i < ports.size(); ++i) {
        set.values.push_back({"\\Device\\Serial" + std::to_string(i), ports[i]});
    }
    return set;
}

void WriteKey(SerialCommKey& key, const ValueSet& set) {
    key.Clear();
    for (const PortValue& value : set.values) key.SetText(value.name, value.port);
}

// Rows of the dialog's list, or -1 while the dialog does not answer.
int ListRows(HWND dialog) {
    DWORD_PTR rows = 0;
    if (!::SendMessageTimeoutA(::GetDlgItem(dialog, IDC_PORT_LIST), LVM_GETITEMCOUNT, 0, 0,
                               SMTO_NORMAL, kWaitMs, &rows)) {
        return -1;
    }
    return static_cast<int>(rows);
}

// The program's dialog once it is visible, its list holds `rows` rows and it waits for input;
// polled finely, so the time it is found is the time it got there.
HWND WaitForReadyDialog(const ChildProcess& program, int rows) {
    ::WaitForInputIdle(program.Handle(), kWaitMs);
    const Stopwatch limit;
    while (limit.ElapsedMs() < kWaitMs) {
        HWND dialog = FindVisibleWindow(program.Id(), "#32770", nullptr);
        if (dialog && ListRows(dialog) == rows) return dialog;
        ::Sleep(1);
    }
    return nullptr;
}

void Close(ChildProcess& program, HWND dialog) {
    if (dialog) ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    program.Finish(std::chrono::milliseconds(kWaitMs));
}

// Milliseconds from CreateProcess to a ready dialog; negative when it never got there.
double TimeStartUp(const std::string& path, int rows) {
    const Stopwatch watch;
    ChildProcess program(path, ChildOptions{{}, false});
    if (!program.IsRunning()) return -1;
    HWND dialog = WaitForReadyDialog(program, rows);
    const double elapsed = watch.ElapsedMs();
    Close(program, dialog);
    return dialog ? elapsed : -1;
}

struct StartUpFigures {
    Summary portlook;
    Summary minimal;
    Summary filled;
    // Within each round
    Summary portlookToMinimal;
    Summary portlookToFilled;
    Summary filledToMinimal;
    int failures = 0;
};

// The three programs started in turn, the order rotated every round; one untimed start each
// first.
StartUpFigures MeasureStartUp(const Options& options, const ValueSet& set) {
    const int rows = static_cast<int>(set.values.size());
    const std::pair<const std::string*, int> programs[] = {
        {&options.portlook, rows}, {&options.minimal, 0}, {&options.filled, rows}};
    constexpr int kPrograms = sizeof programs / sizeof programs[0];
    for (const auto& program : programs) TimeStartUp(*program.first, program.second);
    StartUpFigures figures;
    std::vector<double> samples[kPrograms];
    std::vector<double> portlookToMinimal, portlookToFilled, filledToMinimal;
    for (int round = 0; round < options.starts; ++round) {
        double ms[kPrograms] = {};
        for (int turn = 0; turn < kPrograms; ++turn) {
            const int which = (round + turn) % kPrograms;
            ms[which] = TimeStartUp(*programs[which].first, programs[which].second);
            ::Sleep(50);
        }
        if (ms[0] < 0 || ms[1] < 0 || ms[2] < 0) {
            ++figures.failures;
            continue;
        }
        for (int which = 0; which < kPrograms; ++which) samples[which].push_back(ms[which]);
        portlookToMinimal.push_back(ms[0] / ms[1]);
        portlookToFilled.push_back(ms[0] / ms[2]);
        filledToMinimal.push_back(ms[2] / ms[1]);
    }
    figures.portlook = Summarize(samples[0]);
    figures.minimal = Summarize(samples[1]);
    figures.filled = Summarize(samples[2]);
    figures.portlookToMinimal = Summarize(portlookToMinimal);
    figures.portlookToFilled = Summarize(portlookToFilled);
    figures.filledToMinimal = Summarize(filledToMinimal);
    return figures;
}

struct Memory {  // KiB
    unsigned long long peakWorkingSet = 0;
    unsigned long long workingSet = 0;
    unsigned long long privateBytes = 0;
};

Memory MemoryOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    Memory memory;
    if (::GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        memory.peakWorkingSet = counters.PeakWorkingSetSize / 1024;
        memory.workingSet = counters.WorkingSetSize / 1024;
        memory.privateBytes = counters.PagefileUsage / 1024;
    }
    return memory;
}

struct RefreshFigures {
    std::string label;
    bool ok = false;
    std::string problem;
    Summary refresh;      // BM_CLICK on Portlook's "&Single", until the lamp goes out
    Summary inertClick;   // BM_CLICK on the minimal program's button, which does nothing
    Summary roundTrip;    // SendMessage(WM_NULL) to Portlook's dialog
    Summary rawLoop;      // (a)
    Summary rawWithList;  // (b)
    Summary subclassed;   // (b) with the list subclassed through SetWindowSubclass
    Summary firstFill;    // (b) into an empty hidden list: every row inserted
    Summary lamp;         // Portlook's lamp sequence on a static of our own
    Summary pairedToA;    // refresh / (a) within each round
    Summary pairedToB;    // refresh / (b) within each round
    Summary plainPaint;   // one repaint of our own list
    Summary colorPaint;   // the same with every cell coloured through custom draw
    Summary remotePaint;  // one repaint of Portlook's list, forced from here
    Summary buttonPaint;  // one of Portlook's "&Single" button, which a click repaints
    Summary lampPaint;    // one of Portlook's lamp, which a refresh repaints twice
    Summary engine;       // the window's survey engine in this process, no window: start to end
    double getPropUs = 0;
    SurveyPhases phases;  // medians of (b) with every call timed
    SurveyCount count;
    int portlookRows = 0;
    Memory portlookMemory;
    Memory minimalMemory;
};

// Paints everything the last step invalidated, in every window, outside any timing.
void SettleAll(const BaselineList& baseline, HWND portlook, HWND minimal) {
    baseline.Settle();
    ::RedrawWindow(portlook, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::RedrawWindow(minimal, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// A sleep of some microseconds, where Sleep counts whole milliseconds.
void Nap(int microseconds) {
    using Delay = LONG(WINAPI*)(BOOLEAN, LARGE_INTEGER*);
    static const auto delay = reinterpret_cast<Delay>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtDelayExecution")));
    LARGE_INTEGER interval{};
    interval.QuadPart = -10LL * microseconds;  // relative, in 100 ns
    if (delay) {
        delay(FALSE, &interval);
    } else {
        ::SwitchToThread();
    }
}

// Portlook's lamp, watched without a message to Portlook's window thread: the static control
// keeps its icon in its window's extra bytes, which another process reads through the server
// alone. Every look still costs the server and the one CPU a little, so the watcher first
// sleeps through half the quickest refresh seen so far, and then looks every so often.
class Lamp {
public:
    Lamp(HWND lamp, int napUs)
        : m_lamp(lamp),
          m_napUs(napUs),
          m_unlit(Ask()),
          m_readable(m_unlit != 0 && ::GetWindowLongPtrA(m_lamp, kIconOffset) == m_unlit) {}

    // A click on "&Single" until its survey is shown, in milliseconds. The click lights the
    // lamp before it returns, but the survey may end before the first look: so the wait is for
    // the unlit lamp. Waiting for a change from the first look, as this driver once did, waited
    // for ever whenever a loaded machine kept the driver from that look until the lamp was out.
    double RefreshAndWait(HWND single) {
        const Stopwatch refresh;
        ::SendMessageA(single, BM_CLICK, 0, 0);
        if (m_quickestMs > 0) Nap(static_cast<int>(m_quickestMs * 500));
        if (m_readable) {
            while (::GetWindowLongPtrA(m_lamp, kIconOffset) != m_unlit) Nap(m_napUs);
        }
        // Answered once the handler that put the lamp out, its painting included, has ended.
        while (Ask() != m_unlit) Nap(m_napUs);
        const double ms = refresh.ElapsedMs();
        if (m_quickestMs == 0 || ms < m_quickestMs) m_quickestMs = ms;
        return ms;
    }

private:
    static constexpr int kIconOffset = sizeof(HFONT);
    LONG_PTR Ask() const { return ::SendMessageA(m_lamp, STM_GETICON, 0, 0); }

    const HWND m_lamp;
    const int m_napUs;
    const LONG_PTR m_unlit;
    const bool m_readable;
    double m_quickestMs = 0;
};

double TimeMs(const std::function<void()>& step) {
    const Stopwatch watch;
    step();
    return watch.ElapsedMs();
}

// One whole repaint of a window of Portlook's, forced from here: the round trip and the paint.
double RemotePaintMs(HWND window) {
    return TimeMs([window] {
        ::RedrawWindow(window, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    });
}

SurveyPhases MedianPhases(const std::vector<SurveyPhases>& runs) {
    std::vector<double> openKey, enumValue, createFile, closeHandle, getItem, setItems, total;
    for (const SurveyPhases& run : runs) {
        openKey.push_back(run.openKey);
        enumValue.push_back(run.enumValue);
        createFile.push_back(run.createFile);
        closeHandle.push_back(run.closeHandle);
        getItem.push_back(run.getItem);
        setItems.push_back(run.setItems);
        total.push_back(run.total);
    }
    SurveyPhases median;
    median.openKey = Summarize(openKey).median;
    median.enumValue = Summarize(enumValue).median;
    median.createFile = Summarize(createFile).median;
    median.closeHandle = Summarize(closeHandle).median;
    median.getItem = Summarize(getItem).median;
    median.setItems = Summarize(setItems).median;
    median.total = Summarize(total).median;
    return median;
}

RefreshFigures MeasureRefresh(const Options& options, SerialCommKey& key, const ValueSet& set) {
    RefreshFigures figures;
    figures.label = set.label;
    const int rows = static_cast<int>(set.values.size());
    WriteKey(key, set);

    ChildProcess portlook(options.portlook, ChildOptions{{}, false});
    HWND dialog = WaitForReadyDialog(portlook, rows);
    ChildProcess minimal(options.minimal, ChildOptions{{}, false});
    HWND minimalDialog = WaitForReadyDialog(minimal, 0);
    if (!dialog || !minimalDialog) {
        figures.problem = "a program did not show its dialog";
        return figures;
    }
    // Side by side on the desktop, nothing covering either list.
    ::SetWindowPos(minimalDialog, nullptr, 0, 560, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND list = ::GetDlgItem(dialog, IDC_PORT_LIST);
    RECT listRect{};
    ::GetWindowRect(list, &listRect);
    int widths[3] = {};
    for (int column = 0; column < 3; ++column) {
        widths[column] = static_cast<int>(
            ::SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    }
    const BaselineList baseline(
        0, 0, {listRect.right - listRect.left, listRect.bottom - listRect.top}, widths);
    if (!baseline.IsValid()) {
        figures.problem = "the baseline list could not be made";
        return figures;
    }
    figures.count = RawSurvey(baseline.List());  // fills its rows as Portlook's are

    HWND single = ::GetDlgItem(dialog, IDC_SINGLE);
    Lamp portlookLamp(::GetDlgItem(dialog, IDC_STATUS_ICON), options.pollUs);
    HWND inert = ::GetDlgItem(minimalDialog, IDC_SINGLE);
    std::vector<double> refresh, inertClick, roundTrip, rawLoop, rawWithList, subclassed, firstFill,
        lamp, plainPaint, colorPaint, remotePaint, engineSurvey, buttonPaint, lampPaint;
    // Kept from survey to survey as the window keeps its own, with the facts it caches.
    SurveyEngine engine(SystemSurveyStages(), [] { return true; });
    HINSTANCE self = ::GetModuleHandleA(nullptr);
    const HICON lampOn = ::LoadIconA(self, MAKEINTRESOURCEA(IDI_LAMP_ON));
    const HICON lampOff = ::LoadIconA(self, MAKEINTRESOURCEA(IDI_LAMP_OFF));
    ::SendMessageA(baseline.Lamp(), STM_SETICON, reinterpret_cast<WPARAM>(lampOff), 0);
    const std::function<void()> steps[] = {
        [&] { refresh.push_back(portlookLamp.RefreshAndWait(single)); },
        [&] { rawLoop.push_back(TimeMs([] { RawSurvey(); })); },
        [&] {
            engineSurvey.push_back(TimeMs([&] {
                if (engine.Start()) engine.WaitFinished(std::chrono::milliseconds(kWaitMs));
            }));
        },
        [&] { inertClick.push_back(TimeMs([&] { ::SendMessageA(inert, BM_CLICK, 0, 0); })); },
        [&] { rawWithList.push_back(TimeMs([&] { RawSurvey(baseline.List()); })); },
        [&] {
            const PassThroughSubclass subclass(baseline.List());
            subclassed.push_back(TimeMs([&] { RawSurvey(baseline.List()); }));
        },
        [&] {
            ::SendMessageA(baseline.List(), LVM_DELETEALLITEMS, 0, 0);
            baseline.Show(false);
            baseline.Settle();
            firstFill.push_back(TimeMs([&] { RawSurvey(baseline.List()); }));
            baseline.Show(true);
        },
        [&] {
            HWND icon = baseline.Lamp();
            lamp.push_back(TimeMs([&] {
                ::SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(lampOn), 0);
                ::UpdateWindow(icon);
                ::SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(lampOff), 0);
            }));
        },
        [&] { plainPaint.push_back(baseline.PaintMs(false)); },
        [&] { colorPaint.push_back(baseline.PaintMs(true)); },
        [&] {
            remotePaint.push_back(TimeMs([&] {
                ::RedrawWindow(list, nullptr, nullptr,
                               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            }));
        },
        [&] { buttonPaint.push_back(RemotePaintMs(single)); },
        [&] { lampPaint.push_back(RemotePaintMs(::GetDlgItem(dialog, IDC_STATUS_ICON))); },
    };
    constexpr int kSteps = sizeof steps / sizeof steps[0];
    for (int round = 0; round < kWarmUps + options.refreshes; ++round) {
        if (round == kWarmUps) {
            for (auto* samples : {&refresh, &inertClick, &rawLoop, &rawWithList, &subclassed,
                                  &firstFill, &lamp, &plainPaint, &colorPaint, &remotePaint,
                                  &engineSurvey, &buttonPaint, &lampPaint}) {
                samples->clear();
            }
            roundTrip.clear();
        }
        for (int i = 0; i < kSteps; ++i) {
            steps[(round + i) % kSteps]();
            SettleAll(baseline, dialog, minimalDialog);
        }
        for (int i = 0; i < options.roundTrips; ++i) {
            roundTrip.push_back(TimeMs([&] { ::SendMessageA(dialog, WM_NULL, 0, 0); }));
        }
    }
    std::vector<SurveyPhases> phases;
    for (int run = 0; run < options.phaseRuns; ++run) {
        phases.push_back(TimedSurvey(baseline.List()));
        baseline.Settle();
    }

    figures.refresh = Summarize(refresh);
    figures.inertClick = Summarize(inertClick);
    figures.roundTrip = Summarize(roundTrip);
    figures.rawLoop = Summarize(rawLoop);
    figures.rawWithList = Summarize(rawWithList);
    figures.subclassed = Summarize(subclassed);
    figures.firstFill = Summarize(firstFill);
    figures.lamp = Summarize(lamp);
    figures.plainPaint = Summarize(plainPaint);
    // Steps of one round ran back to back, so their ratio shares the machine's load.
    std::vector<double> toA, toB;
    for (size_t i = 0; i < refresh.size(); ++i) {
        toA.push_back(refresh[i] / rawLoop[i]);
        toB.push_back(refresh[i] / rawWithList[i]);
    }
    figures.pairedToA = Summarize(toA);
    figures.pairedToB = Summarize(toB);
    figures.colorPaint = Summarize(colorPaint);
    figures.remotePaint = Summarize(remotePaint);
    figures.buttonPaint = Summarize(buttonPaint);
    figures.lampPaint = Summarize(lampPaint);
    figures.engine = Summarize(engineSurvey);
    figures.getPropUs = GetPropMicroseconds(baseline.List(), 1000);
    figures.phases = MedianPhases(phases);
    figures.portlookRows = ListRows(dialog);
    figures.portlookMemory = MemoryOf(portlook.Handle());
    figures.minimalMemory = MemoryOf(minimal.Handle());
    const int expected =
        set.expected == PortStatus::Available ? figures.count.available : figures.count.notFound;
    if (figures.count.values != rows || expected != rows || figures.portlookRows != rows ||
        baseline.RowCount() != rows) {
        figures.problem = "the values did not give the expected rows and statuses";
    } else {
        figures.ok = true;
    }
    Close(minimal, minimalDialog);
    Close(portlook, dialog);
    return figures;
}

long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string WineVersion() {
    using Version = const char*(CDECL*)();
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const auto version = ntdll ? reinterpret_cast<Version>(reinterpret_cast<void*>(
                                     ::GetProcAddress(ntdll, "wine_get_version")))
                               : nullptr;
    return version ? version() : "unknown";
}

void PrintRow(const char* what, const std::string& set, const Summary& s, const char* unit = "ms",
              double scale = 1.0) {
    std::printf("| %s | %s | %zu | %.3f | %.3f - %.3f | %.3f - %.3f | %s |\n", what, set.c_str(),
                s.count, s.median * scale, s.q1 * scale, s.q3 * scale, s.min * scale, s.max * scale,
                unit);
}

double Ratio(double a, double b) { return b > 0 ? a / b : 0; }

const char* Verdict(double ratio, double target) { return ratio <= target ? "met" : "missed"; }

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (std::strcmp(option, "--refreshes") == 0) {
            options.refreshes = std::atoi(value);
        } else if (std::strcmp(option, "--starts") == 0) {
            options.starts = std::atoi(value);
        } else if (std::strcmp(option, "--poll-us") == 0) {
            options.pollUs = std::atoi(value);
        } else if (std::strcmp(option, "--round-trips") == 0) {
            options.roundTrips = std::atoi(value);
        } else if (std::strcmp(option, "--portlook") == 0) {
            options.portlook = value;
        } else if (std::strcmp(option, "--minimal") == 0) {
            options.minimal = value;
        } else if (std::strcmp(option, "--filled") == 0) {
            options.filled = value;
        } else {
            return false;
        }
    }
    return options.refreshes > 0 && options.starts > 0 && options.roundTrips > 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Plain line feeds: the table goes to files and pipes.
    _setmode(_fileno(stdout), _O_BINARY);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--refreshes N] [--starts N] [--round-trips N] "
                     "[--poll-us N] [--portlook EXE] [--minimal EXE] [--filled EXE]\n",
                     argv[0]);
        return 2;
    }
    if (AvailablePorts().size() != 32) {
        std::fprintf(stderr, "run through scripts/wine-run: it provides the 32 ports\n");
        return 2;
    }
    SerialCommKey key;
    if (!key.IsOpen()) {
        std::fprintf(stderr, "cannot write the SERIALCOMM key\n");
        return 1;
    }
    const ValueSet sets[] = {MissingPorts(), PseudoTerminalPorts()};

    std::vector<StartUpFigures> startUps;
    for (const ValueSet& set : sets) {
        WriteKey(key, set);
        startUps.push_back(MeasureStartUp(options, set));
        std::fprintf(stderr, "start-up with %s: done\n", set.label.c_str());
    }
    std::vector<RefreshFigures> refreshes;
    for (const ValueSet& set : sets) {
        refreshes.push_back(MeasureRefresh(options, key, set));
        std::fprintf(stderr, "refresh with %s: done\n", set.label.c_str());
    }

    std::printf(
        "Wine %s; %d timed refreshes per set (after %d untimed), %d timed starts per "
        "program and set (after 1 untimed), %d empty round trips per refresh.\n\n",
        WineVersion().c_str(), options.refreshes, kWarmUps, options.starts, options.roundTrips);
    std::printf("| Measure | Values | n | Median | IQR | Min - max | Unit |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const RefreshFigures& f : refreshes) {
        PrintRow("Portlook \"&Single\" refresh (cross-process BM_CLICK, until shown)", f.label,
                 f.refresh);
        PrintRow("(a) RegOpenKeyExA + RegEnumValueA + CreateFileA + CloseHandle", f.label,
                 f.rawLoop);
        PrintRow("(b) (a) + LVM_GETITEMA col 0, LVM_SETITEMA cols 1, 2 on own list", f.label,
                 f.rawWithList);
        PrintRow("Portlook's survey engine in this process, no window: start to finished", f.label,
                 f.engine);
        PrintRow("Empty cross-process SendMessage(WM_NULL) to Portlook", f.label, f.roundTrip, "us",
                 1000.0);
        PrintRow("Cross-process BM_CLICK on the minimal program's inert button", f.label,
                 f.inertClick);
        PrintRow("(b) with own list subclassed by SetWindowSubclass (pass-through)", f.label,
                 f.subclassed);
        PrintRow("(b) into an emptied, hidden own list (first fill: rows inserted)", f.label,
                 f.firstFill);
        PrintRow("Lamp on own SS_ICON static: STM_SETICON, UpdateWindow, STM_SETICON", f.label,
                 f.lamp);
        PrintRow("Repaint of own list (header and visible rows), plain", f.label, f.plainPaint);
        PrintRow("Repaint of own list, every cell coloured by custom draw", f.label, f.colorPaint);
        PrintRow("Repaint of Portlook's list, forced cross-process (RDW_UPDATENOW)", f.label,
                 f.remotePaint);
        PrintRow("Repaint of Portlook's \"&Single\" button, forced cross-process", f.label,
                 f.buttonPaint);
        PrintRow("Repaint of Portlook's lamp, forced cross-process", f.label, f.lampPaint);
    }
    for (size_t i = 0; i < startUps.size(); ++i) {
        PrintRow("Start-up to filled list, input idle: Portlook", sets[i].label,
                 startUps[i].portlook);
        PrintRow("Start-up to dialog shown, input idle: minimal dialog program", sets[i].label,
                 startUps[i].minimal);
        PrintRow("Start-up to filled list, input idle: same dialog filled by (b) once",
                 sets[i].label, startUps[i].filled);
    }

    std::printf(
        "\n| Ratio | Values | Of medians | Per round: median (IQR) | Target | Verdict (of "
        "medians) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    const auto paired = [](const Summary& s) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3f (%.3f - %.3f)", s.median, s.q1, s.q3);
        return std::string(text);
    };
    for (const RefreshFigures& f : refreshes) {
        const double b = f.rawWithList.median;
        std::printf("| refresh / (a) | %s | %.3f | %s | - | - |\n", f.label.c_str(),
                    Ratio(f.refresh.median, f.rawLoop.median), paired(f.pairedToA).c_str());
        const double ratio = Ratio(f.refresh.median, b);
        std::printf("| refresh / (b) | %s | %.3f | %s | <= 1.25 | %s |\n", f.label.c_str(), ratio,
                    paired(f.pairedToB).c_str(), Verdict(ratio, 1.25));
        std::printf("| engine in this process / (a) | %s | %.3f | - | - | - |\n", f.label.c_str(),
                    Ratio(f.engine.median, f.rawLoop.median));
        std::printf("| (refresh - empty round trip) / (b) | %s | %.3f | - | - | - |\n",
                    f.label.c_str(), Ratio(f.refresh.median - f.roundTrip.median, b));
        std::printf("| (refresh - inert BM_CLICK) / (b) | %s | %.3f | - | - | - |\n",
                    f.label.c_str(), Ratio(f.refresh.median - f.inertClick.median, b));
        std::printf("| (refresh - inert BM_CLICK - own lamp) / (b) | %s | %.3f | - | - | - |\n",
                    f.label.c_str(),
                    Ratio(f.refresh.median - f.inertClick.median - f.lamp.median, b));
    }
    for (size_t i = 0; i < startUps.size(); ++i) {
        const StartUpFigures& s = startUps[i];
        const char* label = sets[i].label.c_str();
        const double ratio = Ratio(s.portlook.median, s.minimal.median);
        std::printf("| start-up Portlook / minimal | %s | %.3f | %s | <= 1.2 | %s |\n", label,
                    ratio, paired(s.portlookToMinimal).c_str(), Verdict(ratio, 1.2));
        std::printf("| start-up Portlook / filled dialog | %s | %.3f | %s | - | - |\n", label,
                    Ratio(s.portlook.median, s.filled.median), paired(s.portlookToFilled).c_str());
        std::printf("| start-up filled dialog / minimal | %s | %.3f | %s | - | - |\n", label,
                    Ratio(s.filled.median, s.minimal.median), paired(s.filledToMinimal).c_str());
    }

    std::printf(
        "\n| Where (b)'s time goes (median of %d timed copies) | Values | ms | per value "
        "us |\n",
        options.phaseRuns);
    std::printf("|---|---|---|---|\n");
    for (const RefreshFigures& f : refreshes) {
        const double values = f.count.values > 0 ? f.count.values : 1;
        const std::pair<const char*, double> parts[] = {
            {"RegOpenKeyExA + RegCloseKey", f.phases.openKey},
            {"RegEnumValueA", f.phases.enumValue},
            {"CreateFileA", f.phases.createFile},
            {"CloseHandle", f.phases.closeHandle},
            {"LVM_GETITEMA", f.phases.getItem},
            {"LVM_SETITEMA x2", f.phases.setItems},
            {"whole loop (with timer calls)", f.phases.total},
        };
        std::printf("| one GetPropA on own window (median of 1000) | %s | %.4f | - |\n",
                    f.label.c_str(), f.getPropUs / 1000.0);
        for (const auto& part : parts) {
            std::printf("| %s | %s | %.3f | %.1f |\n", part.first, f.label.c_str(), part.second,
                        part.second * 1000.0 / values);
        }
    }

    std::printf(
        "\n| Program | File size (bytes) | Peak working set (KiB) | Working set (KiB) | "
        "Private bytes (KiB) | When |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const RefreshFigures& f : refreshes) {
        const int timed = kWarmUps + options.refreshes;
        const std::pair<const char*, const Memory*> programs[] = {
            {"Portlook.exe", &f.portlookMemory},
            {"minimal dialog program", &f.minimalMemory},
        };
        for (const auto& program : programs) {
            const bool isPortlook = program.second == &f.portlookMemory;
            std::printf("| %s | %lld | %llu | %llu | %llu | %s, after %d %s |\n", program.first,
                        FileSize(isPortlook ? options.portlook : options.minimal),
                        program.second->peakWorkingSet, program.second->workingSet,
                        program.second->privateBytes, f.label.c_str(), timed,
                        isPortlook ? "refreshes" : "inert clicks");
        }
    }

    bool ok = true;
    std::printf("\n");
    for (const RefreshFigures& f : refreshes) {
        std::printf(
            "- %s: %d values, %d available, %d not found, %d other; Portlook showed %d "
            "rows.%s%s\n",
            f.label.c_str(), f.count.values, f.count.available, f.count.notFound, f.count.other,
            f.portlookRows, f.ok ? "" : " PROBLEM: ", f.problem.c_str());
        ok = ok && f.ok;
    }
    for (size_t i = 0; i < startUps.size(); ++i) {
        if (startUps[i].failures) {
            std::printf("- start-up with %s: %d rounds had a start that reached no ready dialog\n",
                        sets[i].label.c_str(), startUps[i].failures);
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
