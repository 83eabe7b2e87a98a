// The console program's report, run in-process against a fake sysfs tree whose nodes are real
// pseudo-terminals, and against rows made by hand where the system cannot make them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "cli/cli_arguments.h"
#include "cli/port_report.h"
#include "cli/port_watch.h"
#include "ports/engine/port_probe.h"
#include "tests/common/port_facts_fields.h"
#include "tests/native/fake_sysfs.h"
#include "tests/native/holder_process.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr char kAdapter[] = "usb-FTDI_FT232R_A1B2C3-if00-port0";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::string Trimmed(const std::string& text) {
    const size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

// The survey of a report over the tree's list, with this probe.
SurveyStages StagesOf(const SysfsPortSource& list, PortProbe probe) {
    SurveyStages stages;
    const auto shared = std::make_shared<SysfsPortSource>(list);
    stages.readRows = [shared](bool) { return ReadPortRows(*shared); };
    stages.probe = std::move(probe);
    stages.findHolders = LookUpBusyHolders(SystemHolderLookup());
    return stages;
}

// Parsed without exceptions; a discarded value when the text is not JSON.
Json Parsed(const std::string& text) { return Json::parse(text, nullptr, false); }

// Four ports, one in each state: ttyACM0 fails its open, ttyS1 is free, ttyS10 has no node,
// ttyUSB0 is locked by another process.
class ReportOfFakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_tree.Root().empty());
        ASSERT_FALSE(m_free.Path().empty());
        ASSERT_FALSE(m_held.Path().empty());
        ASSERT_TRUE(m_holder.Holds());
        // A terminal whose master was never unlocked refuses every open with an I/O error.
        m_locked.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        ASSERT_TRUE(m_locked.IsValid());
        m_tree.AddTty("ttyACM0", "cdc_acm", ::ptsname(m_locked.Get()));
        m_tree.AddTty("ttyS1", "serial8250", m_free.Path());
        m_tree.AddTty("ttyS10", "serial8250", "");
        m_tree.AddTty("ttyUSB0", "ftdi_sio", m_held.Path());
        m_tree.AddById(kAdapter, "ttyUSB0");
    }

    // What the program reports for these arguments, as its entry point does it.
    Report Run(std::vector<const char*> arguments) {
        arguments.insert(arguments.begin(), "portlook");
        const CliArguments parsed =
            ParseCliArguments(static_cast<int>(arguments.size()), arguments.data());
        EXPECT_EQ(parsed.action, CliArguments::Action::Report);
        return MakeReport(
            SurveyForReport(StagesOf(m_tree.Source(), ProbePortWithReason), parsed.port), parsed);
    }

    FakeSysfsTree m_tree;
    Pty m_free;
    Pty m_held;
    Holder m_holder{m_held.Path(), "port-locker", Lock::Flock};
    UniqueFd m_locked;
    // The holder as the table names it.
    std::string HolderText() const {
        return "port-locker (PID " + std::to_string(m_holder.Pid()) + ")";
    }
};

TEST_F(ReportOfFakeSysfs, TableShowsEveryPortInOrderInColumnsSizedToTheirTexts) {
    const Report report = Run({});
    EXPECT_EQ(report.exitStatus, kExitAvailable);
    EXPECT_EQ(report.error, "");
    const std::vector<std::string> lines = Lines(report.out);
    ASSERT_EQ(lines.size(), 5u) << report.out;
    const std::string& header = lines[0];
    const size_t port = header.find("Port");
    const size_t status = header.find("Status");
    const size_t description = header.find("Description");
    const size_t held = header.find("Held by");
    ASSERT_EQ(header.compare(0, 6, "Device"), 0);
    EXPECT_EQ(port, std::string(kAdapter).size() + 2);
    EXPECT_EQ(status - port, m_tree.Node("ttyUSB0").size() + 2);
    EXPECT_EQ(description - status, std::string("unknown (open failed)").size() + 2);
    ASSERT_NE(held, std::string::npos) << "the busy port's holder has a column";
    EXPECT_EQ(held - description, std::string("Description").size() + 2);

    // Only the busy port is looked up: the test holds the free one's terminal too.
    const std::vector<std::vector<std::string>> expected = {
        {"cdc_acm", m_tree.Node("ttyACM0"), "unknown (open failed)", ""},
        {"serial8250", m_tree.Node("ttyS1"), "available", ""},
        {"serial8250", m_tree.Node("ttyS10"), "not found", ""},
        {kAdapter, m_tree.Node("ttyUSB0"), "busy (locked)", HolderText()}};
    for (size_t row = 0; row < expected.size(); ++row) {
        const std::string& line = lines[row + 1];
        EXPECT_EQ(Trimmed(line.substr(0, port)), expected[row][0]);
        EXPECT_EQ(Trimmed(line.substr(port, status - port)), expected[row][1]);
        if (expected[row][3].empty()) {
            EXPECT_EQ(line.substr(status), expected[row][2]) << "no blanks after the last text";
        } else {
            EXPECT_EQ(Trimmed(line.substr(status, description - status)), expected[row][2]);
            EXPECT_EQ(line.substr(held), expected[row][3]);
        }
    }
}

TEST_F(ReportOfFakeSysfs, PortShowsOnlyItsLineAndItsStatusIsTheExitStatus) {
    const struct {
        std::string name;
        std::string node;
        const char* status;
        int exitStatus;
    } cases[] = {{"ttyS1", m_tree.Node("ttyS1"), "available", kExitAvailable},
                 {m_tree.Node("ttyUSB0"), m_tree.Node("ttyUSB0"), "busy (locked)", kExitBusy},
                 {m_tree.ById(kAdapter), m_tree.Node("ttyUSB0"), "busy (locked)", kExitBusy},
                 {"ttyS10", m_tree.Node("ttyS10"), "not found", kExitNotFound},
                 {"ttyACM0", m_tree.Node("ttyACM0"), "unknown (open failed)", kExitUnknown}};
    for (const auto& entry : cases) {
        const Report report = Run({"--port", entry.name.c_str()});
        EXPECT_EQ(report.exitStatus, entry.exitStatus) << entry.name;
        EXPECT_EQ(report.error, "") << entry.name;
        EXPECT_EQ(Lines(report.out).size(), 1u) << report.out;
        const std::string held = entry.exitStatus == kExitBusy ? "  " + HolderText() : "";
        EXPECT_NE(report.out.find("  " + entry.node + "  " + entry.status + held + "\n"),
                  std::string::npos)
            << report.out;
    }
    // With --json: that port alone, its holder, and the same exit status.
    const Report json = Run({"--json", "--port", "ttyUSB0"});
    EXPECT_EQ(json.exitStatus, kExitBusy);
    const Json parsed = Parsed(json.out);
    ASSERT_EQ(parsed.size(), 1u) << json.out;
    EXPECT_EQ(parsed[0]["port"], m_tree.Node("ttyUSB0"));
    ASSERT_EQ(parsed[0]["holders"].size(), 1u) << json.out;
    EXPECT_EQ(parsed[0]["holders"][0]["pid"], m_holder.Pid());
    // --match keeps the ports it selects, and only those.
    const std::vector<std::string> matched = Lines(Run({"--match", "device=serial8250"}).out);
    ASSERT_EQ(matched.size(), 3u);
    EXPECT_NE(matched[1].find(m_tree.Node("ttyS1") + " "), std::string::npos);
    EXPECT_NE(matched[2].find(m_tree.Node("ttyS10") + " "), std::string::npos);
    // Names match whole: neither a prefix nor a tail of a listed name is that port.
    for (const char* absent : {"ttyS2", "S1", "ttyUSB", "/dev/ttyS1"}) {
        const Report report = Run({"--port", absent});
        EXPECT_EQ(report.exitStatus, kExitNotFound) << absent;
        EXPECT_EQ(report.out, "") << absent;
        EXPECT_NE(report.error.find(absent), std::string::npos) << report.error;
    }
}

std::vector<std::string>& ProbedPorts() {
    static std::vector<std::string> probed;
    return probed;
}

PortStatus RecordingProbe(const char* port) {
    ProbedPorts().push_back(port);
    return PortStatus::Available;
}

TEST_F(ReportOfFakeSysfs, OnePortAskedForIsTheOnlyOneOpened) {
    ProbedPorts().clear();
    ASSERT_TRUE(SurveyForReport(StagesOf(m_tree.Source(), RecordingProbe), std::string("ttyUSB0")));
    EXPECT_EQ(ProbedPorts(), std::vector<std::string>{m_tree.Node("ttyUSB0")});
    ProbedPorts().clear();
    ASSERT_TRUE(SurveyForReport(StagesOf(m_tree.Source(), RecordingProbe), std::nullopt));
    EXPECT_EQ(ProbedPorts().size(), 4u);
}

TEST(Report, JsonCarriesEveryFactNullWhenUnknownAndTheTableTheDescription) {
    PortRows rows = {PortRow{"adapter", "/dev/ttyUSB0", PortStatus::Busy},
                     PortRow{"serial8250", "/dev/ttyS0", PortStatus::Available}};
    rows[0].facts = FtdiAdapterFacts();
    rows[0].facts.location = "1-1.2:1.1";
    rows[0].facts.usbInterface = "01";
    rows[0].facts.byId = "/dev/serial/by-id/usb-FTDI";
    rows[0].reason = PortReason::NoPermission;
    rows[0].reasonText = "no permission: join group dialout";
    rows[1].facts.serial = "0042";
    // Ordered objects compare key by key in order.
    EXPECT_EQ(Parsed(JsonText(rows)), Parsed(R"([
        {"device": "adapter", "port": "/dev/ttyUSB0", "status": "busy", "reason": "no permission",
         "description": "USB Serial Port", "manufacturer": "FTDI", "vid": "0403", "pid": "6001",
         "serial": "A1B2C3", "bus": "usb", "location": "1-1.2:1.1", "interface": 1,
         "byId": "/dev/serial/by-id/usb-FTDI", "byPath": null, "holders": []},
        {"device": "serial8250", "port": "/dev/ttyS0", "status": "available", "reason": null,
         "description": "", "manufacturer": null, "vid": null, "pid": null, "serial": "0042",
         "bus": null, "location": null, "interface": null, "byId": null, "byPath": null,
         "holders": []}])"));
    EXPECT_EQ(
        TableText(rows, true),
        "Device      Port          Status                                    Description\n"
        "adapter     /dev/ttyUSB0  busy (no permission: join group dialout)  USB Serial Port\n"
        "serial8250  /dev/ttyS0    available\n");
    EXPECT_EQ(JsonText({}), "[]\n");
}

TEST(Report, TableShowsTheReasonUnlessTheStatusSaysIt) {
    const struct {
        PortStatus status;
        PortReason reason;
        const char* text;
        const char* shown;
        const char* json;  // the JSON's reason, which scripts read
    } cases[] = {
        {PortStatus::Busy, PortReason::Held, "", "busy (held)", "held"},
        {PortStatus::Busy, PortReason::LockFile, "", "busy (lock file)", "lock file"},
        {PortStatus::Busy, PortReason::Locked, "", "busy (locked)", "locked"},
        {PortStatus::Available, PortReason::None, "stale lock file", "available (stale lock file)",
         nullptr},
        {PortStatus::NotFound, PortReason::NotPresent, "", "not found", "not present"},
        {PortStatus::Unknown, PortReason::NoAnswer, "", "unknown (no answer)", "no answer"}};
    for (const auto& c : cases) {
        PortRow row = PortRow{"adapter", "/dev/ttyUSB0", c.status};
        row.reason = c.reason;
        row.reasonText = c.text;
        EXPECT_EQ(TableText({row}, false), std::string("adapter  /dev/ttyUSB0  ") + c.shown + "\n");
        EXPECT_EQ(Parsed(JsonLine(row))["reason"], c.json ? Json(c.json) : Json()) << c.shown;
    }
}

TEST(Report, HoldersShowByNameAndIdAndThoseNotVisibleWithoutAName) {
    PortRows rows = {PortRow{"adapter", "/dev/ttyUSB0", PortStatus::Busy},
                     PortRow{"serial8250", "/dev/ttyS0", PortStatus::Busy}};
    rows[0].holders = {{4312, "minicom", true}, {1, "", false}, {77, "", false}};
    rows[1].holders = {{501, "", true}};
    const Json json = Parsed(JsonText(rows));
    EXPECT_EQ(json[0]["holders"], Parsed(R"([{"pid": 4312, "name": "minicom"},
        {"pid": 1, "name": null}, {"pid": 77, "name": null}])"));
    EXPECT_EQ(json[1]["holders"], Parsed(R"([{"pid": 501, "name": ""}])"));
    // Holders that could not be looked up are no holders at all.
    rows[1].holders.clear();
    rows[1].holdersFailed = true;
    EXPECT_TRUE(Parsed(JsonText(rows))[1]["holders"].is_null());
    EXPECT_EQ(Lines(TableText(rows, false))[1],
              "serial8250  /dev/ttyS0    busy  (could not be looked up)");
    EXPECT_EQ(TableText({rows[1]}, false),
              "serial8250  /dev/ttyS0  busy  (could not be looked up)\n");
    rows[1].holdersFailed = false;
    rows[1].holders = {{501, "", true}};
    // The processes that cannot be seen read as one.
    EXPECT_EQ(TableText(rows, true),
              "Device      Port          Status  Description  Held by\n"
              "adapter     /dev/ttyUSB0  busy                 minicom (PID 4312), another program "
              "(not visible to this user)\n"
              "serial8250  /dev/ttyS0    busy                 PID 501\n");
}

// What --watch tells from one survey to the next: each port once, though listed twice, and
// ports that went together in the order they were listed.
TEST(Report, WatchEventsTellEachPortOnceAndRemovedPortsInTheirOrder) {
    const PortRows before = {PortRow{"a", "/dev/ttyS2", PortStatus::Busy},
                             PortRow{"a", "/dev/ttyS10", PortStatus::Busy},
                             PortRow{"a", "/dev/ttyS1", PortStatus::Busy},
                             PortRow{"a", "/dev/ttyS1", PortStatus::Available},
                             PortRow{"a", "/dev/ttyUSB0", PortStatus::Busy}};
    const PortRows after = {PortRow{"a", "/dev/ttyUSB0", PortStatus::Available},
                            PortRow{"a", "/dev/ttyUSB0", PortStatus::Busy},
                            PortRow{"a", "/dev/ttyACM0", PortStatus::Available},
                            PortRow{"a", "/dev/ttyACM0", PortStatus::Available}};
    std::string told;
    for (const PortEvent& event : PortEvents(before, after)) told += EventLine(event, "T", false);
    EXPECT_EQ(told,
              "T  removed  a  /dev/ttyS2  busy\n"
              "T  removed  a  /dev/ttyS10  busy\n"
              "T  removed  a  /dev/ttyS1  busy\n"
              "T  changed  a  /dev/ttyUSB0  available\n"
              "T  added    a  /dev/ttyACM0  available\n");
}

TEST(Report, HostileNamesGiveValidJsonThatRoundTripsAndOneTableLineEach) {
    // Quotes, a backslash, control bytes, an escape sequence, a C1 control, a valid umlaut and
    // a byte that is no UTF-8, filled to the 259 characters a value name may have.
    std::string hostile = "\"COM\"\\ \x01\x02\t\n\r\x1b[31m\x7f \xC2\x9B \xC3\xA4 \xFF end";
    hostile.resize(259, 'x');
    const PortRows rows = {PortRow{hostile, "/dev/\"tty\"\n1", PortStatus::Busy},
                           PortRow{"plain", "/dev/ttyS0", PortStatus::Available}};

    const std::string json = JsonText(rows);
    const Json parsed = Parsed(json);
    ASSERT_FALSE(parsed.is_discarded()) << json;
    ASSERT_EQ(parsed.size(), 2u);
    std::string expected = hostile;
    expected.replace(expected.find('\xFF'), 1, "\xEF\xBF\xBD");
    EXPECT_EQ(parsed[0]["device"], expected);
    EXPECT_EQ(parsed[0]["port"], "/dev/\"tty\"\n1");
    EXPECT_EQ(parsed[1]["device"], "plain");

    const std::string table = TableText(rows, true);
    const std::vector<std::string> lines = Lines(table);
    ASSERT_EQ(lines.size(), 3u) << table;
    for (const char c : table) {
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n') << int(c);
    }
    EXPECT_EQ(table.find("\x7f"), std::string::npos);
    EXPECT_EQ(table.find("\xC2\x9B"), std::string::npos);
    EXPECT_EQ(lines[1].compare(0, 12, "\"COM\"\\ ?????"), 0) << lines[1];
    EXPECT_NE(lines[1].find("\xC3\xA4"), std::string::npos) << "printable text stays";
    // Columns align on the screen: the umlaut's two bytes take one place.
    const size_t port = lines[0].find("Port");
    EXPECT_EQ(lines[2].find("/dev/ttyS0"), port);
    const std::string beforePort = lines[1].substr(0, lines[1].find("/dev/"));
    EXPECT_EQ(beforePort.size() - 1, port) << beforePort;
}

// The table's text is UTF-8 on both systems (Windows' code page is converted before): what is
// no UTF-8, and the C1 controls an 8-bit terminal obeys (0x9B opens a control sequence), show
// as '?', one for each byte that is no UTF-8; letters of any length stay.
TEST(Report, BytesThatAreNoUtf8AndC1ControlsShowAsQuestionMarks) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\x9B"
         "2Jb",
         "a?2Jb"},  // a raw CSI
        {"a\xC2\x9B"
         "2Jb",
         "a?2Jb"},                                   // CSI as UTF-8
        {"\xC2\x80\xC2\x9F\xC2\xA0", "??\xC2\xA0"},  // C1's ends; NBSP is no control
        {"\xFF\xC0\xAF\xED\xA0\x80", "??????"},      // never UTF-8; overlong; a surrogate
        {"\xE2\x82 \xF0\x9F\x98", "?? ???"},         // sequences cut short
        {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80"},
    };
    for (const auto& [text, shown] : cases) {
        PortRows rows = {PortRow{"adapter", "/dev/ttyUSB0", PortStatus::Available}};
        rows[0].facts.description = text;
        EXPECT_EQ(TableText(rows, false), "adapter  /dev/ttyUSB0  available  " + shown + "\n");
    }
}

TEST(Report, SignsInADescriptionAreShownUnchanged) {
    PortRows rows = {PortRow{"adapter", "/dev/ttyUSB0", PortStatus::Available}};
    rows[0].facts.description = "Gadget\xC2\xAE \xC2\xB5Link";
    EXPECT_NE(TableText(rows, true).find(rows[0].facts.description), std::string::npos);
    EXPECT_EQ(Parsed(JsonText(rows))[0]["description"], rows[0].facts.description);
}

}  // namespace
