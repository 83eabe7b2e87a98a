// Ten thousand refreshes in one process against the real SERIALCOMM key while the port list
// churns: values come and go, and ports appear, vanish and refuse their open. The process's
// kernel handles, GDI objects and USER objects must stay flat, the colour table must hold
// exactly the live rows and the rows must always match the key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/win32_handles.h"
#include "ui/port_list_update.h"
#include "tests/robustness/gui_handles.h"
#include "tests/robustness/key_oracle.h"
#include "tests/robustness/object_counts.h"
#include "tests/win32/host_window.h"
#include "tests/win32/serial_comm_key.h"

namespace {

constexpr int kRefreshes = 10000;
constexpr int kSampleEvery = 1000;
constexpr unsigned kSeed = 20240607;

void PumpMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

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
        const Icon first(::CreateIcon(nullptr, 32, 32, 1, 1, andMask, xorMask));
        const Icon second(::CopyIcon(first.Get()));
        EXPECT_EQ(CountObjects().icons, base.icons + 2);
    }
    EXPECT_EQ(CountObjects(), base) << "after all of them went";
}

class SoakTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(m_ptys.size(), 4u) << "run through scripts/wine-run";
        ASSERT_FALSE(EnvironmentValue("PORTLOOK_WINEPREFIX").empty());
        ASSERT_TRUE(m_key.IsOpen());
        m_host.List().InsertColumn(0, "Device");
        m_host.List().InsertColumn(1, "Port");
        m_host.List().InsertColumn(2, "Status");
        m_ptys.resize(4);
        for (const char* name : {"COM70", "COM71", "COM72", "COM73"}) m_own.emplace_back(name);
        m_fixed = {{m_ptys[0], "available"},
                   {m_ptys[1], "available"},
                   {m_ptys[2], "available"},
                   {m_ptys[3], "available"},
                   {EnvironmentValue("PORTLOOK_PORT_MISSING"), "not found"},
                   {EnvironmentValue("PORTLOOK_PORT_DENIED"), "busy"},
                   {EnvironmentValue("PORTLOOK_PORT_FAILING"), "unknown"},
                   {"COM250", "not found"}};  // no dosdevices entry at all
        for (const auto& entry : m_fixed) m_ports.push_back(entry.first);
        for (const OwnPort& port : m_own) m_ports.push_back(port.Name());
    }

    // What the test knows of each port, without opening it.
    std::string StatusOf(const std::string& port) const {
        for (const OwnPort& own : m_own) {
            if (own.Name() == port) return own.Status();
        }
        const auto fixed = m_fixed.find(port);
        return fixed == m_fixed.end() ? "(a port the test never wrote)" : fixed->second;
    }

    SerialCommKey m_key;
    HostWindow m_host{LVS_REPORT | LVS_SINGLESEL};  // never shown
    std::vector<std::string> m_ptys = AvailablePorts();
    std::vector<OwnPort> m_own;
    std::map<std::string, std::string> m_fixed;
    std::vector<std::string> m_ports;
};

TEST_F(SoakTest, TenThousandRefreshesWithChurnKeepObjectsFlatAndRowsTrue) {
    // Device names whose enumeration order interleaves.
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        names.push_back("\\Device\\Serial" + std::to_string(i));
        names.push_back("\\Device\\VCP" + std::to_string(i));
        names.push_back("\\Device\\ProlificSerial" + std::to_string(10 * i));
    }
    std::mt19937 random(kSeed);
    const auto pick = [&](size_t count) {
        return static_cast<size_t>(std::uniform_int_distribution<size_t>(0, count - 1)(random));
    };

    CColorListCtrl& list = m_host.List();
    std::vector<ObjectCounts> samples;
    std::map<std::string, int> statusRows;
    int rowCountChanges = 0;
    int ownPortChanges = 0;
    size_t mostRows = 0;
    size_t previousRows = 0;
    const DWORD start = ::GetTickCount();
    for (int refresh = 0; refresh < kRefreshes; ++refresh) {
        const size_t operations = 1 + pick(3);
        for (size_t op = 0; op < operations; ++op) {
            switch (pick(4)) {
                case 0:
                case 1:
                    ASSERT_TRUE(
                        m_key.SetText(names[pick(names.size())], m_ports[pick(m_ports.size())]));
                    break;
                case 2: {
                    const std::vector<std::string> present = m_key.Names();
                    if (!present.empty()) {
                        ASSERT_TRUE(m_key.Remove(present[pick(present.size())]));
                    }
                    break;
                }
                default: {
                    OwnPort& port = m_own[pick(m_own.size())];
                    const auto state = static_cast<OwnPort::State>(pick(3));
                    if (state != port.Get()) ++ownPortChanges;
                    ASSERT_TRUE(port.Set(state)) << port.Name();
                    break;
                }
            }
        }

        UpdatePortList(list);
        PumpMessages();

        const Rows rows = ListRows(list);
        ASSERT_EQ(list.ColorEntryCount(), rows.size()) << "refresh " << refresh;
        const Rows expected = ExpectedRows(ReadValues(m_key.Get()),
                                           [&](const std::string& port) { return StatusOf(port); });
        ASSERT_EQ(FirstDifference(rows, expected), "") << "refresh " << refresh;

        for (const auto& row : rows) ++statusRows[row[2]];
        if (rows.size() != previousRows) ++rowCountChanges;
        previousRows = rows.size();
        mostRows = std::max(mostRows, rows.size());
        if (refresh % kSampleEvery == 0 || refresh == kRefreshes - 1) {
            samples.push_back(CountObjects());
            std::printf("after refresh %5d: %s\n", refresh + 1, Describe(samples.back()).c_str());
        }
    }
    const DWORD elapsed = ::GetTickCount() - start;
    std::printf(
        "%d refreshes in %lu ms; rows 0..%zu, row count changed %d times, own ports "
        "changed state %d times\n",
        kRefreshes, static_cast<unsigned long>(elapsed), mostRows, rowCountChanges, ownPortChanges);
    for (const auto& entry : statusRows) {
        std::printf("  rows with status %s: %d\n", entry.first.c_str(), entry.second);
    }

    // The churn reached every kind of port and moved the list both ways.
    for (const char* status : {"available", "not found", "busy", "unknown"}) {
        EXPECT_GT(statusRows[status], 1000) << status;
    }
    EXPECT_GT(rowCountChanges, kRefreshes / 4);
    EXPECT_GT(ownPortChanges, kRefreshes / 10);

    ASSERT_GE(samples.size(), 2u);
    std::printf("first: %s\nlast:  %s\n", Describe(samples.front()).c_str(),
                Describe(samples.back()).c_str());
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i], samples.front()) << "sample " << i;
    }
}

}  // namespace
