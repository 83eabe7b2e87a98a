// SERIALCOMM values of every registry type, with names and data of every length from 0 to 300
// units, with and without terminators, and a thousand of them: a survey of the engine the
// programs run, and Portlook.exe itself, must not crash and must show the rows the rules give,
// worked out apart from the product (key_oracle.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ports/engine/survey_engine.h"
#include "res/resource.h"
#include "ui/port_list_view.h"
#include "tests/robustness/finished_survey.h"
#include "tests/win32/host_window.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kSurveyWait = 60000;  // a thousand opens on a busy machine
constexpr DWORD kTypes[] = {REG_NONE,
                            REG_SZ,
                            REG_EXPAND_SZ,
                            REG_BINARY,
                            REG_DWORD,
                            REG_DWORD_BIG_ENDIAN,
                            REG_LINK,
                            REG_MULTI_SZ,
                            REG_RESOURCE_LIST,
                            REG_FULL_RESOURCE_DESCRIPTOR,
                            REG_RESOURCE_REQUIREMENTS_LIST,
                            REG_QWORD};
constexpr size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];

// How data ends: with a zero as its last byte, with no zero at all, or with a zero inside
// and more bytes after it.
enum class Ending { Terminated, Unterminated, ZeroInside };
constexpr Ending kEndings[] = {Ending::Terminated, Ending::Unterminated, Ending::ZeroInside};

struct RawValue {
    std::string name;
    DWORD type;
    std::string data;
};

class ValueMaker {
public:
    explicit ValueMaker(unsigned seed) : m_random(seed) {}

    size_t Below(size_t limit) {
        return std::uniform_int_distribution<size_t>(0, limit - 1)(m_random);
    }
    // Bytes 1 to 255: anything but the terminator.
    std::string Bytes(size_t length) {
        std::string bytes;
        for (size_t i = 0; i < length; ++i) bytes += static_cast<char>(1 + Below(255));
        return bytes;
    }
    // Name characters: printable ASCII and the upper half of the code page.
    std::string NameTail(size_t length) {
        static const std::string kChars =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .-_\\/:*?\"<>|"
            "\x80\x81\x8D\x9F\xA0\xC4\xD6\xDC\xDF\xE4\xF6\xFC\xFF";
        std::string tail;
        for (size_t i = 0; i < length; ++i) tail += kChars[Below(kChars.size())];
        return tail;
    }
    // Data of exactly `length` bytes ending as asked; a zero inside follows a port name when
    // one fits, so that these rows probe real ports.
    std::string Data(size_t length, Ending ending, const std::vector<std::string>& ports) {
        if (length == 0) return "";
        switch (ending) {
            case Ending::Terminated:
                return Bytes(length - 1) + '\0';
            case Ending::Unterminated:
                return Bytes(length);
            default: {
                const std::string& port = ports[Below(ports.size())];
                const size_t zero = port.size() < length ? port.size() : Below(length);
                const std::string head = port.size() < length ? port : Bytes(zero);
                return head + '\0' + Bytes(length - zero - 1);
            }
        }
    }

private:
    std::mt19937 m_random;
};

// A number with leading zeros to the width, so that names sort by it.
std::string Padded(size_t number, size_t width) {
    std::string text = std::to_string(number);
    return std::string(width > text.size() ? width - text.size() : 0, '0') + text;
}

std::vector<std::string> ProbedPorts() {
    std::vector<std::string> ports = AvailablePorts();
    ports.resize(std::min<size_t>(ports.size(), 2));
    for (const char* variable :
         {"PORTLOOK_PORT_MISSING", "PORTLOOK_PORT_DENIED", "PORTLOOK_PORT_FAILING"}) {
        ports.push_back(EnvironmentValue(variable));
    }
    ports.push_back("COM250");
    ports.push_back("NUL");
    ports.push_back("");
    return ports;
}

// Every type, with data of lengths around each boundary, ending in each way: all fit.
std::vector<RawValue> EveryTypeAndLength(ValueMaker& maker) {
    static const size_t kLengths[] = {0,  1,  2,  3,  4,   5,   6,   7,   8,   9,
                                      12, 16, 31, 64, 128, 255, 256, 258, 259, 260};
    std::vector<RawValue> values;
    for (size_t type = 0; type < kTypeCount; ++type) {
        for (const size_t length : kLengths) {
            for (const Ending ending : kEndings) {
                const std::string name = "t" + Padded(type, 2) + " L" + Padded(length, 3) + " " +
                                         "TUZ"[static_cast<int>(ending)] +
                                         maker.NameTail(maker.Below(120));
                values.push_back({name, kTypes[type], maker.Data(length, ending, ProbedPorts())});
            }
        }
    }
    return values;
}

// Names of every length from 0 to 300. Those of 260 characters and more sort after the short
// ones and before a few short ones again, which the list must then not show.
std::vector<RawValue> NamesOfEveryLength(ValueMaker& maker) {
    std::vector<RawValue> values;
    const auto name = [&](char first, size_t length) {
        if (length < 4) return std::string("abc").substr(0, length);
        return first + Padded(length, 3) + maker.NameTail(length - 4);
    };
    for (size_t length = 0; length <= 300; ++length) {
        const std::string port = ProbedPorts()[length % ProbedPorts().size()] + '\0';
        values.push_back(
            {name(length < 260 ? 'a' : 'm', length), kTypes[length % kTypeCount], port});
    }
    for (size_t length = 4; length < 8; ++length) {
        values.push_back({name('n', length), REG_SZ, ProbedPorts()[0] + '\0'});
    }
    return values;
}

// Data of every length from 0 to 300, in that order: up to 260 bytes they fit.
std::vector<RawValue> DataOfEveryLength(ValueMaker& maker) {
    std::vector<RawValue> values;
    for (size_t length = 0; length <= 300; ++length) {
        values.push_back({"d" + Padded(length, 3), kTypes[length % kTypeCount],
                          maker.Data(length, kEndings[length % 3], ProbedPorts())});
    }
    return values;
}

// A thousand values of every kind that fit, then one whose data does not and two after it.
std::vector<RawValue> ThousandValues(ValueMaker& maker) {
    std::vector<RawValue> values;
    for (size_t i = 0; i < 1000; ++i) {
        values.push_back({"v" + Padded(i, 4) + maker.NameTail(maker.Below(100)),
                          kTypes[maker.Below(kTypeCount)],
                          maker.Data(maker.Below(261), kEndings[maker.Below(3)], ProbedPorts())});
    }
    values.push_back({"w-stop", REG_BINARY, maker.Bytes(261)});
    values.push_back({"x-after", REG_SZ, ProbedPorts()[0] + '\0'});
    values.push_back({"y-after", REG_SZ, ProbedPorts()[1] + '\0'});
    return values;
}

// Replaces the key's values. Data goes in exactly as given: a byte past it that is not zero
// keeps the registry from adding a terminator that a string's data seems to have forgotten.
void WriteKey(SerialCommKey& key, const std::vector<RawValue>& values) {
    key.Clear();
    for (const RawValue& value : values) {
        const std::string buffer = value.data + 'X';
        ASSERT_EQ(::RegSetValueExA(key.Get(), value.name.c_str(), 0, value.type,
                                   reinterpret_cast<const BYTE*>(buffer.data()),
                                   static_cast<DWORD>(value.data.size())),
                  ERROR_SUCCESS)
            << value.name;
    }
    // The key holds exactly what was written, whatever order it lists it in.
    std::vector<KeyValue> read = ReadValues(key.Get());
    ASSERT_EQ(read.size(), values.size());
    std::vector<RawValue> sortedWritten = values;
    const auto byName = [](const auto& a, const auto& b) { return a.name < b.name; };
    std::sort(sortedWritten.begin(), sortedWritten.end(), byName);
    std::sort(read.begin(), read.end(), byName);
    for (size_t i = 0; i < read.size(); ++i) {
        ASSERT_EQ(read[i].name, sortedWritten[i].name);
        ASSERT_EQ(read[i].type, sortedWritten[i].type) << read[i].name;
        ASSERT_EQ(read[i].data, sortedWritten[i].data) << read[i].name;
    }
}

// How many rows have each status.
std::string Summary(const Rows& rows) {
    std::map<std::string, int> statuses;
    for (const auto& row : rows) ++statuses[row[2]];
    std::string text = std::to_string(rows.size()) + " rows:";
    for (const auto& entry : statuses) {
        text += " " + entry.first + " " + std::to_string(entry.second);
    }
    return text;
}

class HostileInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(AvailablePorts().size(), 2u) << "run through scripts/wine-run";
        ASSERT_TRUE(m_key.IsOpen());
    }
    // Surveys, shows the rows through the window's view and compares them with the rules;
    // returns the number of rows.
    size_t RefreshAndCheck() {
        const std::optional<FinishedSurvey> survey = SurveyToTheEnd(m_engine, nullptr, kSurveyWait);
        EXPECT_TRUE(survey);
        if (survey) m_view.Show(survey->rows, survey->survey);
        const Rows expected = ExpectedRows(ReadValues(m_key.Get()), OpenStatus);
        const Rows rows = ListRows(m_host.List());
        EXPECT_EQ(FirstDifference(rows, expected), "");
        EXPECT_EQ(m_host.List().ColorEntryCount(), rows.size());
        std::printf("%s\n", Summary(rows).c_str());
        return rows.size();
    }

    SerialCommKey m_key;
    HostWindow m_host{LVS_REPORT | LVS_SINGLESEL, {"Device", "Port", "Status"}};
    PortListView m_view{m_host.List()};
    SurveyEngine m_engine{SystemSurveyStages(), [] { return true; }};
    ValueMaker m_maker{20240611};
};

TEST_F(HostileInputTest, EveryTypeWithDataOfEveryLengthAndEndingGivesItsRow) {
    const std::vector<RawValue> values = EveryTypeAndLength(m_maker);
    ASSERT_NO_FATAL_FAILURE(WriteKey(m_key, values));
    EXPECT_EQ(RefreshAndCheck(), values.size());
    EXPECT_EQ(RefreshAndCheck(), values.size()) << "a second refresh over the same key";
}

TEST_F(HostileInputTest, NamesOfEveryLengthEndTheListAtTheFirstOfTwoHundredSixty) {
    ASSERT_NO_FATAL_FAILURE(WriteKey(m_key, NamesOfEveryLength(m_maker)));
    EXPECT_EQ(RefreshAndCheck(), 260u);
}

TEST_F(HostileInputTest, DataOfEveryLengthEndsTheListAtTheFirstOfTwoHundredSixtyOne) {
    ASSERT_NO_FATAL_FAILURE(WriteKey(m_key, DataOfEveryLength(m_maker)));
    EXPECT_EQ(RefreshAndCheck(), 261u);
}

TEST_F(HostileInputTest, AThousandValues) {
    ASSERT_NO_FATAL_FAILURE(WriteKey(m_key, ThousandValues(m_maker)));
    EXPECT_EQ(RefreshAndCheck(), 1000u);
}

TEST_F(HostileInputTest, OneListFollowsEveryKeyInTurn) {
    using Maker = std::vector<RawValue> (*)(ValueMaker&);
    const Maker makers[] = {EveryTypeAndLength, ThousandValues,     NamesOfEveryLength,
                            DataOfEveryLength,  EveryTypeAndLength, ThousandValues};
    const size_t rowCounts[] = {EveryTypeAndLength(m_maker).size(), 1000, 260, 261,
                                EveryTypeAndLength(m_maker).size(), 1000};
    for (size_t i = 0; i < sizeof makers / sizeof makers[0]; ++i) {
        ASSERT_NO_FATAL_FAILURE(WriteKey(m_key, makers[i](m_maker)));
        EXPECT_EQ(RefreshAndCheck(), rowCounts[i]) << "key " << i;
    }
    m_key.Clear();
    EXPECT_EQ(RefreshAndCheck(), 0u);
}

// Portlook.exe itself over the thousand values: it starts, fills its list as the rules say,
// refreshes again on "&Single" and in continuous mode, and ends on IDCANCEL with exit code 0.
TEST(HostileInputProgramTest, ProgramShowsTheRulesRowsSurvivesSingleAndExits) {
    ASSERT_GE(AvailablePorts().size(), 2u) << "run through scripts/wine-run";
    SerialCommKey key;
    ASSERT_TRUE(key.IsOpen());
    ValueMaker maker(20240612);
    ASSERT_NO_FATAL_FAILURE(WriteKey(key, ThousandValues(maker)));
    const Rows expected = ExpectedRows(ReadValues(key.Get()), OpenStatus);
    ASSERT_EQ(expected.size(), 1000u);

    ChildProcess program(PORTLOOK_EXE);
    ASSERT_TRUE(program.IsRunning());
    HWND dialog = WaitForWindow(program, "#32770", "Portlook", 20000);
    ASSERT_NE(dialog, nullptr);
    ::WaitForInputIdle(program.Handle(), 20000);
    RemoteList list(::GetDlgItem(dialog, IDC_PORT_LIST));
    EXPECT_EQ(FirstDifference(list.Rows(3), expected), "");

    ::SendMessageA(::GetDlgItem(dialog, IDC_SINGLE), BM_CLICK, 0, 0);
    EXPECT_TRUE(program.IsRunning());
    EXPECT_EQ(FirstDifference(list.Rows(3), expected), "") << "after \"&Single\"";
    ::SendMessageA(::GetDlgItem(dialog, IDC_CONTINUOUSLY), BM_CLICK, 0, 0);
    ::Sleep(2 * 2000 + 500);  // two of its periods
    EXPECT_TRUE(program.IsRunning());
    EXPECT_EQ(FirstDifference(list.Rows(3), expected), "") << "in continuous mode";

    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.Finish(std::chrono::seconds(10)).exitCode, 0);
}

}  // namespace
