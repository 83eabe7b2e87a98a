// portlook-cli.exe as a separate process, its output read through pipes, against the serial
// ports of this run's prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/win32/port_holder_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr char kCli[] = PORTLOOK_CLI_EXE;

class CliProgram : public ::testing::Test {
protected:
    void SetUp() override {
        // The expected texts below name the ports scripts/wine-run provides.
        ASSERT_FALSE(m_ports.empty()) << "run through scripts/wine-run";
        ASSERT_EQ(m_ports[0], "COM21");
        ASSERT_EQ(EnvironmentValue("PORTLOOK_PORT_MISSING"), "COM60");
        ASSERT_EQ(EnvironmentValue("PORTLOOK_PORT_DENIED"), "COM61");
        ASSERT_EQ(EnvironmentValue("PORTLOOK_PORT_FAILING"), "COM62");
        ASSERT_TRUE(m_key.IsOpen());
    }

    // A port in each state; the registry enumerates the names sorted.
    void WriteOnePortInEachState() {
        ASSERT_TRUE(m_key.SetText("\\Device\\Serial2", "COM21"));
        ASSERT_TRUE(m_key.SetText("\\Device\\Serial0", "COM60"));
        ASSERT_TRUE(m_key.SetText("\\Device\\VCP0", "COM61"));
        ASSERT_TRUE(m_key.SetText("\\Device\\Serial1", "COM62"));
    }

    static ChildRun Run(std::vector<std::string> arguments = {}) {
        ChildRun run = RunChild(kCli, ChildOptions{arguments});
        EXPECT_TRUE(run.ended) << ::testing::PrintToString(arguments);
        return run;
    }

    SerialCommKey m_key;
    const std::vector<std::string> m_ports = AvailablePorts();
};

TEST_F(CliProgram, TableAndJsonListThePortsInTheKeysOrderWithTheirStatuses) {
    WriteOnePortInEachState();
    const ChildRun table = Run();
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_EQ(table.error, "");
    EXPECT_EQ(table.out,
              "Device           Port   Status                 Description\n"
              "\\Device\\Serial0  COM60  not found\n"
              "\\Device\\Serial1  COM62  unknown (open failed)\n"
              "\\Device\\Serial2  COM21  available\n"
              "\\Device\\VCP0     COM61  busy (exclusive)\n");

    const ChildRun json = Run({"--json"});
    EXPECT_EQ(json.exitCode, 0);
    // No device stands behind these ports: every fact is null.
    const auto port = [](const char* device, const char* name, const char* status,
                         const Json& reason) {
        return Json{{"device", device}, {"port", name},        {"status", status},
                    {"reason", reason}, {"description", ""},   {"manufacturer", nullptr},
                    {"vid", nullptr},   {"pid", nullptr},      {"serial", nullptr},
                    {"bus", nullptr},   {"location", nullptr}, {"interface", nullptr},
                    {"byId", nullptr},  {"byPath", nullptr},   {"holders", Json::array()}};
    };
    EXPECT_EQ(Json::parse(json.out, nullptr, false),
              Json::array({port("\\Device\\Serial0", "COM60", "not found", "not present"),
                           port("\\Device\\Serial1", "COM62", "unknown", "open failed"),
                           port("\\Device\\Serial2", "COM21", "available", nullptr),
                           port("\\Device\\VCP0", "COM61", "busy", "exclusive")}))
        << "COM61 is busy, but nobody holds it";
}

TEST_F(CliProgram, TableAndJsonNameWhoHoldsABusyPort) {
    ASSERT_TRUE(m_key.SetText("\\Device\\Serial0", "COM21"));
    ASSERT_TRUE(m_key.SetText("\\Device\\Serial1", "COM22"));
    const PortHolderProcess holder("COM21");
    ASSERT_TRUE(holder.Holds());
    const PortMadeBusy busy("COM21");
    ASSERT_TRUE(busy.Done());
    const std::string id = std::to_string(holder.Id());

    const ChildRun table = Run();
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_EQ(table.out,
              "Device           Port   Status            Description  Held by\n"
              "\\Device\\Serial0  COM21  busy (exclusive)               portlook_port_holder.exe "
              "(PID " +
                  id +
                  ")\n"
                  "\\Device\\Serial1  COM22  available\n");
    EXPECT_EQ(
        Run({"--port", "COM21"}).out,
        "\\Device\\Serial0  COM21  busy (exclusive)  portlook_port_holder.exe (PID " + id + ")\n");

    const ChildRun json = Run({"--json"});
    const Json parsed = Json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array() && parsed.size() == 2) << json.out;
    EXPECT_EQ(parsed[0]["status"], "busy") << "the status text stays as it is";
    EXPECT_EQ(parsed[0]["holders"],
              Json::parse("[{\"pid\": " + id + R"(, "name": "portlook_port_holder.exe"}])"));
    EXPECT_EQ(parsed[1]["holders"], Json::array());
}

// Without an open, a port is busy only when its holder is seen, whatever the port would say to
// an open; it is free when nobody is seen and every process could be looked at.
TEST_F(CliProgram, NoOpenTellsFromTheHandleSnapshotAlone) {
    ASSERT_TRUE(m_key.SetText("\\Device\\Serial0", "COM21"));
    ASSERT_TRUE(m_key.SetText("\\Device\\Serial1", "COM22"));
    ASSERT_TRUE(m_key.SetText("\\Device\\VCP0", "COM61"));
    const PortHolderProcess holder("COM21");
    ASSERT_TRUE(holder.Holds());
    const std::string id = std::to_string(holder.Id());
    const ChildRun table = Run({"--no-open"});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_EQ(table.out,
              "Device           Port   Status       Description  Held by\n"
              "\\Device\\Serial0  COM21  busy (held)               portlook_port_holder.exe (PID " +
                  id +
                  ")\n"
                  "\\Device\\Serial1  COM22  available\n"
                  "\\Device\\VCP0     COM61  available\n");
    const Json parsed =
        Json::parse(Run({"--json", "--no-open", "--port", "COM21"}).out, nullptr, false);
    ASSERT_TRUE(parsed.is_array() && parsed.size() == 1);
    EXPECT_EQ(parsed[0]["reason"], "held");
    EXPECT_EQ(Run({"--port", "COM21", "--no-open", "--open"}).out,
              "\\Device\\Serial0  COM21  available\n")
        << "Wine shares what a Windows open would not: the last flag counts";
    // A process that cannot be looked at may hold any port nobody is seen holding.
    const PortHolderProcess hidden("COM22", true);
    ASSERT_TRUE(hidden.Holds());
    const ChildRun unknown = Run({"--no-open", "--port", "COM61"});
    EXPECT_EQ(unknown.exitCode, 4);
    EXPECT_EQ(unknown.out, "\\Device\\VCP0  COM61  unknown (no answer)\n");
}

TEST_F(CliProgram, PortGivesItsLineAndItsStatusAsTheExitCode) {
    WriteOnePortInEachState();
    const struct {
        const char* name;
        int exitCode;
        const char* line;
    } cases[] = {{"COM21", 0, "\\Device\\Serial2  COM21  available\n"},
                 {"com61", 1, "\\Device\\VCP0  COM61  busy (exclusive)\n"},
                 {"COM60", 3, "\\Device\\Serial0  COM60  not found\n"},
                 {"COM62", 4, "\\Device\\Serial1  COM62  unknown (open failed)\n"}};
    for (const auto& entry : cases) {
        const ChildRun run = Run({"--port", entry.name});
        EXPECT_EQ(run.exitCode, entry.exitCode) << entry.name;
        EXPECT_EQ(run.out, entry.line);
        EXPECT_EQ(run.error, "");
    }
    const ChildRun json = Run({"--port", "COM61", "--json"});
    EXPECT_EQ(json.exitCode, 1);
    const Json parsed = Json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array() && parsed.size() == 1) << json.out;
    EXPECT_EQ(parsed[0]["status"], "busy");

    for (const bool asJson : {false, true}) {
        const ChildRun run = asJson ? Run({"--port=COM99", "--json"}) : Run({"--port", "COM2"});
        EXPECT_EQ(run.exitCode, 3) << asJson;
        EXPECT_EQ(run.out, asJson ? "[]\n" : "");
        EXPECT_NE(run.error.find(" is not in the port list"), std::string::npos) << run.error;
    }
}

TEST_F(CliProgram, HostileNameGivesJsonThatRoundTrips) {
    std::string hostile = "\\Device\\\"Serial\"\\ \x01\x02\t\n\r\x1b[2J\x7f ";
    hostile.resize(259, 'x');
    ASSERT_TRUE(m_key.SetText(hostile, "COM21"));
    const ChildRun json = Run({"--json"});
    EXPECT_EQ(json.exitCode, 0);
    const Json parsed = Json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array() && parsed.size() == 1) << json.out;
    EXPECT_EQ(parsed[0]["device"], hostile);
    // The table keeps it to one line.
    const std::string table = Run().out;
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 2) << table;
}

TEST_F(CliProgram, MissingPortListGivesStatus5AndNoTable) {
    m_key.Close();
    ASSERT_EQ(::RegDeleteKeyA(HKEY_LOCAL_MACHINE, SerialCommKey::kPath), ERROR_SUCCESS);
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{}, {"--json"}, {"--port", "COM21"}}) {
        const ChildRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 5) << ::testing::PrintToString(arguments);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(
            run.error,
            "portlook-cli: cannot read the port list (HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM)\n");
    }
}

TEST_F(CliProgram, HelpVersionAndWrongArguments) {
    const ChildRun version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "portlook-cli 1.0.0.1\n");
    const ChildRun help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.compare(0, 20, "Usage: portlook-cli "), 0) << help.out;
    EXPECT_NE(help.out.find("COM5"), std::string::npos);
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"--port"}, {"COM21"}, {"/json"}, {"--version", "--bogus"}}) {
        const ChildRun run = Run(wrong);
        EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(wrong);
        EXPECT_EQ(run.out, "");
        const size_t line = run.error.find('\n');
        EXPECT_EQ(run.error.compare(0, 14, "portlook-cli: "), 0) << run.error;
        EXPECT_EQ(run.error.substr(line + 1), "Try 'portlook-cli --help'.\n") << run.error;
    }
}

// The version block is shared with Portlook.exe; the names in it are the console program's.
TEST(CliProgramFile, VersionResourceNamesTheConsoleProgram) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(kCli, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(kCli, 0, size, info.data()));
    const auto text = [&](const std::string& name) {
        void* value = nullptr;
        UINT length = 0;
        const std::string path = "\\StringFileInfo\\040704b0\\" + name;
        return ::VerQueryValueA(info.data(), path.c_str(), &value, &length) && length > 0
                   ? std::string(static_cast<const char*>(value))
                   : std::string("(none)");
    };
    EXPECT_EQ(text("OriginalFilename"), "portlook-cli.exe");
    EXPECT_EQ(text("FileDescription"), "Portlook console");
    EXPECT_EQ(text("ProductVersion"), "1.0.0.1");
}

// The text of a console's first lines, read by attaching to it; empty when that fails.
std::wstring ConsoleText(DWORD processId) {
    ::FreeConsole();
    if (!::AttachConsole(processId)) return std::wstring();
    std::wstring text;
    const FileHandle screen(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (screen.IsValid() && ::GetConsoleScreenBufferInfo(screen.Get(), &info)) {
        const DWORD length = static_cast<DWORD>(info.dwSize.X) * 10;
        text.resize(length);
        DWORD read = 0;
        ::ReadConsoleOutputCharacterW(screen.Get(), &text[0], length, COORD{0, 0}, &read);
        text.resize(read);
    }
    ::FreeConsole();
    return text;
}

TEST_F(CliProgram, AnsiNamesGoToPipesAsUtf8AndToAConsoleAsCharacters) {
    if (::GetACP() != 1252) GTEST_SKIP() << "the expected text is for code page 1252";
    ASSERT_TRUE(m_key.SetText("\\Device\\Ger\xE4t", "COM21"));
    const Json parsed = Json::parse(Run({"--json"}).out, nullptr, false);
    ASSERT_TRUE(parsed.is_array() && parsed.size() == 1);
    EXPECT_EQ(parsed[0]["device"], "\\Device\\Ger\xC3\xA4t");
    EXPECT_EQ(Run({"--port", "COM21"}).out, "\\Device\\Ger\xC3\xA4t  COM21  available\n");

    ChildOptions inConsole{{"/k", kCli, "--port", "COM21"}, false};
    inConsole.ownConsole = true;
    ChildProcess shell("cmd.exe", inConsole);
    ASSERT_TRUE(shell.Started());
    std::wstring text;
    for (int attempt = 0; attempt < 100 && text.find(L"available") == std::wstring::npos;
         ++attempt) {
        ::Sleep(100);
        text = ConsoleText(shell.Id());
    }
    shell.Finish(std::chrono::milliseconds(0));
    EXPECT_NE(text.find(L"\\Device\\Ger\u00E4t  COM21  available"), std::wstring::npos)
        << text.size();

    // 0x9B is a letter in 1252, a closing angle quote; 0x81 is undefined there and becomes the
    // C1 control U+0081, which the table shows as '?'.
    ASSERT_TRUE(m_key.Remove("\\Device\\Ger\xE4t"));
    ASSERT_TRUE(m_key.SetText("\\Device\\\x9B\x81", "COM21"));
    EXPECT_EQ(Run({"--port", "COM21"}).out, "\\Device\\\xE2\x80\xBA?  COM21  available\n");
}

}  // namespace
