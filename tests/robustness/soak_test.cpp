// The survey the programs run, soaked in one process against the real SERIALCOMM key while the
// port list churns: values come and go, and ports appear, vanish and refuse their open. One
// port's open hangs and a holder's name query is stuck throughout. The engine runs surveys
// into the window's list view; the window itself runs in continuous mode in a program of its
// own (portlook_slow_probe). Kernel handles, GDI and USER objects and threads must stay flat,
// memory must not grow, the colour table must hold exactly the live rows and the rows must
// match the key.
//
// PORTLOOK_SOAK_MINUTES makes the window's soak that long and prints its samples: the soak
// benchmark (scripts/bench-soak).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/win32_handles.h"
#include "ports/engine/survey_engine.h"
#include "res/resource.h"
#include "ui/port_list_view.h"
#include "tests/robustness/gui_handles.h"
#include "tests/robustness/finished_survey.h"
#include "tests/robustness/object_counts.h"
#include "tests/win32/host_window.h"
#include "tests/win32/port_holder_process.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"
#include "tests/win32/stuck_name_query.h"

namespace {

constexpr int kRefreshes = 100;
constexpr int kSampleEvery = 20;
constexpr unsigned kSeed = 20240607;
// The engine's patience, shorter than the programs' so that a survey listing the hanging port
// ends sooner; answers after it still come to the rows.
constexpr std::chrono::milliseconds kPatience{100};
constexpr DWORD kSurveyWait = 10000;
constexpr DWORD kWindowWait = 20000;

// A port of the test's own: an entry in the prefix's dosdevices directory, reached through
// drive Z. Wine opens \\.\COMn through that entry, so a plain file there is a port that opens,
// a read-only one refuses with access denied and none at all is not found. (Wine lets a
// program neither make a symbolic link there nor point a DOS device at a node of its choice.)
class OwnPort {
public:
    enum State { Absent, Present, ReadOnly };

    explicit OwnPort(const std::string& name) : m_name(name) {
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return static_cast<char>(std::tolower(c)); });
        m_path = "Z:" + EnvironmentValue("PORTLOOK_WINEPREFIX") + "/dosdevices/" + lower;
        std::replace(m_path.begin(), m_path.end(), '/', '\\');
    }
    ~OwnPort() { Set(Absent); }
    OwnPort(const OwnPort&) = delete;
    OwnPort& operator=(const OwnPort&) = delete;
    OwnPort(OwnPort&& other) noexcept
        : m_name(other.m_name), m_path(other.m_path), m_state(other.m_state) {
        other.m_state = Absent;
    }

    const std::string& Name() const { return m_name; }
    State Get() const { return m_state; }
    bool Set(State state) {
        if (m_state == ReadOnly && !::SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_NORMAL)) {
            return false;
        }
        if (m_state != Absent && state == Absent && !::DeleteFileA(m_path.c_str())) return false;
        if (m_state == Absent && state != Absent) {
            const FileHandle file(::CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.IsValid()) return false;
        }
        if (state == ReadOnly && !::SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_READONLY)) {
            return false;
        }
        m_state = state;
        return true;
    }
    std::string Status() const {
        switch (m_state) {
            case Present:
                return "available";
            case ReadOnly:
                return "busy";
            default:
                return "not found";
        }
    }

private:
    std::string m_name;
    std::string m_path;
    State m_state = Absent;
};

DWORD WINAPI WaitFor(void* event) { return ::WaitForSingleObject(event, INFINITE); }

TEST(ObjectCountsTest, EachCounterSeesObjectsComeAndGo) {
    // A thread's first top-level window brings an IME window along, and the first window
    // destroyed and the first count make helpers of Wine's own that stay: let all of them exist
    // already, as they do during the soak.
    const auto makeWindows = [] {
        Window top(::CreateWindowExA(0, "STATIC", "top", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     nullptr, nullptr));
        ::CreateWindowExA(0, "STATIC", "child", WS_CHILD, 0, 0, 5, 5, top.Get(), nullptr, nullptr,
                          nullptr);
        return top;
    };
    const Window keeper = makeWindows();
    makeWindows();          // made and destroyed again
    HKEY warmUp = nullptr;  // the first key under HKLM also opens HKLM itself, for good
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &warmUp);
    ::RegCloseKey(warmUp);
    CountObjects();
    const ObjectCounts base = CountObjects();
    std::printf("base: %s\n", Describe(base).c_str());
    ASSERT_GT(base.kernel, 0);
    ASSERT_GT(base.gdi, 0);
    ASSERT_FALSE(AvailablePorts().empty()) << "run through scripts/wine-run";

    {  // the kinds a refresh opens, a port and a key, and three others
        const std::string port = "\\\\.\\" + AvailablePorts()[0];
        const FileHandle file(::CreateFileA(port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        HKEY opened = nullptr;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &opened),
                  ERROR_SUCCESS);
        const RegKey key(opened);
        const KernelHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        const KernelHandle mutex(::CreateMutexA(nullptr, FALSE, nullptr));
        const KernelHandle mapping(
            ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, nullptr));
        ASSERT_TRUE(file.IsValid() && event.IsValid() && mutex.IsValid() && mapping.IsValid());
        EXPECT_EQ(CountObjects().kernel, base.kernel + 5);
    }
    {
        const GdiObject brush(::CreateSolidBrush(RGB(1, 2, 3)));
        const GdiObject pen(::CreatePen(PS_SOLID, 1, RGB(4, 5, 6)));
        const GdiObject font(::CreateFontA(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                           ANSI_CHARSET, 0, 0, 0, 0, "Tahoma"));
        const MemoryDc dc(::CreateCompatibleDC(nullptr));
        ASSERT_TRUE(brush.IsValid() && pen.IsValid() && font.IsValid() && dc.IsValid());
        EXPECT_EQ(CountObjects().gdi, base.gdi + 4);
    }
    {
        const Window top = makeWindows();
        EXPECT_EQ(CountObjects().windows, base.windows + 2);
    }
    {
        const Menu bar(::CreateMenu());
        ::AppendMenuA(bar.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(::CreatePopupMenu()),
                      "popup");
        const Menu other(::CreatePopupMenu());
        EXPECT_EQ(CountObjects().menus, base.menus + 3);
    }
    {
        BYTE andMask[32 * 32 / 8];
        std::fill(std::begin(andMask), std::end(andMask), 0xFF);
        const BYTE xorMask[32 * 32 / 8] = {};
        const IconHandle first(::CreateIcon(nullptr, 32, 32, 1, 1, andMask, xorMask));
        const IconHandle second(::CopyIcon(first.Get()));
        EXPECT_EQ(CountObjects().icons, base.icons + 2);
    }
    {  // a thread that waits, and 8 MiB written
        const KernelHandle go(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        const KernelHandle thread(::CreateThread(nullptr, 0, WaitFor, go.Get(), 0, nullptr));
        const std::vector<char> block(8 << 20, 1);
        const ObjectCounts during = CountObjects();
        EXPECT_EQ(during.threads, base.threads + 1);
        EXPECT_GE(during.privateKiB, base.privateKiB + 8 * 1024);
        ::SetEvent(go.Get());
        ASSERT_EQ(::WaitForSingleObject(thread.Get(), 5000), WAIT_OBJECT_0);
    }
    EXPECT_EQ(CountObjects(), base) << "after all of them went";
}

// Counts until two in a row agree: a thread that has just done its work may be on its way out.
template <typename Count>
ObjectCounts Settled(Count count) {
    ObjectCounts last = count();
    for (int attempt = 0; attempt < 10; ++attempt) {
        ::Sleep(50);
        const ObjectCounts next = count();
        if (next == last) return next;
        last = next;
    }
    return last;
}

// From sample `from` on, every count must equal the one there and memory must not grow by
// 2 MiB: the samples before let objects made once settle in, while a leak goes on growing.
// Such objects come at no fixed time (seen as late as the 31st survey): an event and two
// semaphores, likely winpthreads giving a lock or condition variable its own at first need.
void ExpectFlatFrom(size_t from, const std::vector<ObjectCounts>& samples) {
    ASSERT_GE(samples.size(), from + 2);
    std::printf("from: %s\nlast: %s\n", Describe(samples[from]).c_str(),
                Describe(samples.back()).c_str());
    for (size_t i = from + 1; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i], samples[from]) << "sample " << i;
    }
    EXPECT_LT(samples.back().privateKiB - samples[from].privateKiB, 2048);
}

struct Sample {
    double hours;
    ObjectCounts counts;
};

// Start, end, most and least-squares slope per hour of each count.
void PrintTrend(const std::vector<Sample>& samples) {
    using Metric = long long (*)(const ObjectCounts&);
    const std::pair<const char*, Metric> metrics[] = {
        {"kernel handles", [](const ObjectCounts& c) -> long long { return c.kernel; }},
        {"GDI objects", [](const ObjectCounts& c) -> long long { return c.gdi; }},
        {"USER objects", [](const ObjectCounts& c) -> long long { return c.User(); }},
        {"threads", [](const ObjectCounts& c) -> long long { return c.threads; }},
        {"private KiB", [](const ObjectCounts& c) { return c.privateKiB; }}};
    std::printf("| | start | end | most | slope per hour |\n|---|---:|---:|---:|---:|\n");
    for (const auto& metric : metrics) {
        double meanX = 0, meanY = 0, most = 0;
        for (const Sample& s : samples) {
            meanX += s.hours / samples.size();
            meanY += static_cast<double>(metric.second(s.counts)) / samples.size();
            most = std::max(most, static_cast<double>(metric.second(s.counts)));
        }
        double sxy = 0, sxx = 0;
        for (const Sample& s : samples) {
            sxy += (s.hours - meanX) * (static_cast<double>(metric.second(s.counts)) - meanY);
            sxx += (s.hours - meanX) * (s.hours - meanX);
        }
        std::printf("| %s | %lld | %lld | %.0f | %.1f |\n", metric.first,
                    metric.second(samples.front().counts), metric.second(samples.back().counts),
                    most, sxx > 0 ? sxy / sxx : 0.0);
    }
}

class SoakTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(m_ptys.size(), 7u) << "run through scripts/wine-run";
        ASSERT_FALSE(EnvironmentValue("PORTLOOK_WINEPREFIX").empty());
        ASSERT_TRUE(m_key.IsOpen());
        // Listed throughout: a port whose open hangs (no status ever), one that tells each
        // survey, and a busy one, whose holders are looked up while a name query is stuck.
        m_hanging = m_ptys[4];
        m_clock = m_ptys[6];
        const std::string denied = EnvironmentValue("PORTLOOK_PORT_DENIED");
        m_base = {{"\\Device\\Hanging0", m_hanging},
                  {"\\Device\\Clock0", m_clock},
                  {"\\Device\\Denied0", denied}};
        for (const auto& value : m_base) ASSERT_TRUE(m_key.SetText(value.first, value.second));
        m_holder = std::make_unique<PortHolderProcess>(m_ptys[5]);
        ASSERT_TRUE(m_holder->Holds());
        m_ptys.resize(4);
        for (const char* name : {"COM70", "COM71", "COM72", "COM73"}) m_own.emplace_back(name);
        m_fixed = {{m_ptys[0], "available"},
                   {m_ptys[1], "available"},
                   {m_ptys[2], "available"},
                   {m_ptys[3], "available"},
                   {EnvironmentValue("PORTLOOK_PORT_MISSING"), "not found"},
                   {denied, "busy"},
                   {EnvironmentValue("PORTLOOK_PORT_FAILING"), "unknown"},
                   {"COM250", "not found"}};  // no dosdevices entry at all
        for (const auto& entry : m_fixed) m_ports.push_back(entry.first);
        for (const OwnPort& port : m_own) m_ports.push_back(port.Name());
        m_fixed[m_hanging] = "";
        m_fixed[m_clock] = "available";
        // Device names whose enumeration order interleaves.
        for (int i = 0; i < 4; ++i) {
            m_names.push_back("\\Device\\Serial" + std::to_string(i));
            m_names.push_back("\\Device\\VCP" + std::to_string(i));
            m_names.push_back("\\Device\\ProlificSerial" + std::to_string(10 * i));
        }
    }
    void TearDown() override {
        ::SetEvent(m_release->Get());
        ReleaseStuckNameQueries();
    }

    // What the test knows of each port, without opening it.
    std::string StatusOf(const std::string& port) const {
        for (const OwnPort& own : m_own) {
            if (own.Name() == port) return own.Status();
        }
        const auto fixed = m_fixed.find(port);
        return fixed == m_fixed.end() ? "(a port the test never wrote)" : fixed->second;
    }
    Rows Expected() const {
        return ExpectedRows(ReadValues(m_key.Get()),
                            [this](const std::string& port) { return StatusOf(port); });
    }
    size_t Pick(size_t count) {
        return static_cast<size_t>(std::uniform_int_distribution<size_t>(0, count - 1)(m_random));
    }
    // 1 to 3 random changes: values set, replaced or removed, own ports changing state. The
    // values listed throughout stay.
    void Churn() {
        const size_t operations = 1 + Pick(3);
        for (size_t op = 0; op < operations; ++op) {
            switch (Pick(4)) {
                case 0:
                case 1:
                    ASSERT_TRUE(m_key.SetText(m_names[Pick(m_names.size())],
                                              m_ports[Pick(m_ports.size())]));
                    break;
                case 2: {
                    std::vector<std::string> present = m_key.Names();
                    present.erase(std::remove_if(present.begin(), present.end(),
                                                 [this](const std::string& name) {
                                                     return m_base.count(name) != 0;
                                                 }),
                                  present.end());
                    if (!present.empty()) {
                        ASSERT_TRUE(m_key.Remove(present[Pick(present.size())]));
                    }
                    break;
                }
                default: {
                    OwnPort& port = m_own[Pick(m_own.size())];
                    const auto state = static_cast<OwnPort::State>(Pick(3));
                    if (state != port.Get()) ++m_ownPortChanges;
                    ASSERT_TRUE(port.Set(state)) << port.Name();
                    break;
                }
            }
        }
    }
    // The system's stages with a probe that hangs on the hanging port until the test ends.
    SurveyStages Stages() const {
        const std::shared_ptr<KernelHandle> release = m_release;
        const std::string hanging = m_hanging;
        return SystemSurveyStages([release, hanging](const char* port) {
            if (hanging == port) ::WaitForSingleObject(release->Get(), INFINITE);
            return ProbePortWithReason(port);
        });
    }

    SerialCommKey m_key;
    HostWindow m_host{LVS_REPORT | LVS_SINGLESEL, {"Device", "Port", "Status"}};  // never shown
    std::vector<std::string> m_ptys = AvailablePorts();
    std::string m_hanging, m_clock;
    std::map<std::string, std::string> m_base;  // value name: port
    std::unique_ptr<PortHolderProcess> m_holder;
    std::vector<OwnPort> m_own;
    std::map<std::string, std::string> m_fixed;
    std::vector<std::string> m_ports;
    std::vector<std::string> m_names;
    std::mt19937 m_random{kSeed};
    int m_ownPortChanges = 0;
    const std::shared_ptr<KernelHandle> m_release =
        std::make_shared<KernelHandle>(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
};

// Now surveys of the engine, shown by the window's view, where it once drove UpdatePortList.
TEST_F(SoakTest, TenThousandRefreshesWithChurnKeepObjectsFlatAndRowsTrue) {
    StickNameQueriesOfPorts();
    SurveyEngine::Options options;
    options.patience = kPatience;
    auto engine = std::make_unique<SurveyEngine>(
        Stages(), [] { return true; }, options);
    CColorListCtrl& list = m_host.List();
    PortListView view(list);
    std::vector<ObjectCounts> samples;
    std::map<std::string, int> statusRows;
    int rowCountChanges = 0;
    int holdersUnknown = 0;
    size_t mostRows = 0;
    size_t previousRows = 0;
    const DWORD start = ::GetTickCount();
    for (int refresh = 0; refresh < kRefreshes; ++refresh) {
        ASSERT_NO_FATAL_FAILURE(Churn());
        // Answers after the patience come to the rows too; the hanging port's never does.
        const std::optional<FinishedSurvey> news =
            SurveyToTheEnd(*engine, m_hanging.c_str(), kSurveyWait);
        ASSERT_TRUE(news) << "refresh " << refresh;
        for (const PortRow& row : news->rows) holdersUnknown += row.holdersFailed;
        view.Show(news->rows, news->survey);
        PumpMessages();

        const Rows rows = ListRows(list);
        ASSERT_EQ(list.ColorEntryCount(), rows.size()) << "refresh " << refresh;
        ASSERT_EQ(FirstDifference(rows, Expected()), "") << "refresh " << refresh;

        for (const auto& row : rows) ++statusRows[row[2]];
        if (rows.size() != previousRows) ++rowCountChanges;
        previousRows = rows.size();
        mostRows = std::max(mostRows, rows.size());
        if (refresh % kSampleEvery == 0 || refresh == kRefreshes - 1) {
            samples.push_back(Settled(CountObjects));
            std::printf("after refresh %5d: %s\n", refresh + 1, Describe(samples.back()).c_str());
        }
    }
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_GE(StuckNameQueries(), 1);
    engine.reset();
    std::printf(
        "%d surveys in %lu ms; rows 0..%zu, row count changed %d times, own ports changed "
        "state %d times, busy rows whose holders could not be looked up %d\n",
        kRefreshes, static_cast<unsigned long>(elapsed), mostRows, rowCountChanges,
        m_ownPortChanges, holdersUnknown);
    for (const auto& entry : statusRows) {
        std::printf("  rows with status \"%s\": %d\n", entry.first.c_str(), entry.second);
    }

    // The churn reached every kind of port and moved the list both ways, and both faults were
    // met: the hanging port's row waited throughout, and a lookup met the stuck query.
    for (const char* status : {"available", "not found", "busy", "unknown"}) {
        EXPECT_GT(statusRows[status], kRefreshes / 10) << status;
    }
    EXPECT_EQ(statusRows[""], kRefreshes);
    EXPECT_GT(rowCountChanges, kRefreshes / 4);
    EXPECT_GT(m_ownPortChanges, kRefreshes / 10);

    ExpectFlatFrom(samples.size() / 2, samples);
}

// Portlook's window in continuous mode, in a program of its own with the same two faults; its
// objects are counted inside it between two surveys.
TEST_F(SoakTest, WindowInContinuousModeKeepsObjectsFlat) {
    const int minutes = std::atoi(EnvironmentValue("PORTLOOK_SOAK_MINUTES").c_str());
    const DWORD duration = minutes > 0 ? minutes * 60000u : 20000u;
    const DWORD sampleEvery = minutes > 0 ? 60000u : 4000u;
    char directory[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, directory);
    const std::string stem =
        std::string(directory) + "portlook-soak-" + std::to_string(::GetCurrentProcessId());
    const std::string gate = stem + ".gate", log = stem + ".log", counts = stem + ".counts";
    std::ofstream(gate) << "held";
    ChildProcess program(PORTLOOK_SLOW_PROBE, ChildOptions{{m_hanging, gate, log, "0", counts}});
    const HWND dialog = WaitForWindow(program, "#32770", "Portlook", kWindowWait);
    ASSERT_NE(dialog, nullptr);
    const auto lamp = [&] {
        return ::SendMessageA(::GetDlgItem(dialog, IDC_STATUS_ICON), STM_GETICON, 0, 0);
    };
    const auto probes = [&](const std::string& port) {
        std::ifstream lines(log);
        int count = 0;
        for (std::string line; std::getline(lines, line);) count += line == port;
        return count;
    };
    ::SendMessageA(::GetDlgItem(dialog, IDC_SINGLE), BM_CLICK, 0, 0);
    const LRESULT lit = lamp();
    ASSERT_TRUE(WaitUntil([&] { return lamp() != lit; }, kWindowWait));
    ::SendMessageA(::GetDlgItem(dialog, IDC_CONTINUOUSLY), BM_CLICK, 0, 0);

    const UINT countMessage = ::RegisterWindowMessageA(kCountObjectsMessage);
    long stuck = 0;
    // Counted between two surveys, once two counts in a row agree (Settled).
    const auto countBetweenSurveys = [&] {
        ObjectCounts inside;
        inside.kernel = -1;
        ::DeleteFileA(counts.c_str());
        DWORD_PTR result = 0;
        if (WaitUntil([&] { return lamp() != lit; }, kWindowWait) &&
            ::SendMessageTimeoutA(dialog, countMessage, 0, 0, SMTO_ABORTIFHUNG, kWindowWait,
                                  &result)) {
            std::ifstream file(counts, std::ios::binary);
            file.read(reinterpret_cast<char*>(&inside), sizeof inside);
            file.read(reinterpret_cast<char*>(&stuck), sizeof stuck);
        }
        return inside;
    };
    std::vector<Sample> samples;
    const DWORD start = ::GetTickCount();
    // At least four samples, however slowly a busy machine counts.
    for (DWORD next = std::min(sampleEvery, 10000ul);
         ::GetTickCount() - start < duration || samples.size() < 4;) {
        ASSERT_NO_FATAL_FAILURE(Churn());
        ::Sleep(1000);
        if (::GetTickCount() - start < next) continue;
        next += sampleEvery;
        ASSERT_TRUE(program.IsRunning());
        samples.push_back({(::GetTickCount() - start) / 3600000.0, Settled(countBetweenSurveys)});
        std::printf("| %5.1f min | %4d surveys | %s |\n", samples.back().hours * 60,
                    probes(m_clock), Describe(samples.back().counts).c_str());
        std::fflush(stdout);
    }
    PrintTrend(samples);
    EXPECT_GE(stuck, 1) << "no name query got stuck";

    // Back to the values listed throughout: the list shows them within a few periods.
    for (const std::string& name : m_key.Names()) {
        if (m_base.count(name) == 0) {
            ASSERT_TRUE(m_key.Remove(name));
        }
    }
    RemoteList list(::GetDlgItem(dialog, IDC_PORT_LIST));
    EXPECT_TRUE(WaitUntil([&] { return list.Rows(3) == Expected(); }, 3 * 2000 + 2000))
        << FirstDifference(list.Rows(3), Expected());
    EXPECT_EQ(probes(m_hanging), 1) << "a pending port is not probed again";
    EXPECT_GE(probes(m_clock), static_cast<int>(duration / 4000));
    ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    const ChildRun end = program.Finish(std::chrono::milliseconds(kWindowWait));
    EXPECT_TRUE(end.ended);
    EXPECT_EQ(end.exitCode, 0);
    for (const std::string& file : {gate, log, counts}) ::DeleteFileA(file.c_str());

    std::vector<ObjectCounts> counted;
    for (const Sample& sample : samples) counted.push_back(sample.counts);
    ExpectFlatFrom(counted.size() / 2, counted);
    // Its threads, the stuck ones included, are all there by the first sample.
    for (const ObjectCounts& sample : counted) EXPECT_EQ(sample.threads, counted[0].threads);
}

}  // namespace
