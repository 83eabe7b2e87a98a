// The built portlook program, run as a separate process with its output through pipes.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <sched.h>
#include <string>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/unique_handle.h"
#include "tests/native/fake_sysfs.h"
#include "tests/native/holder_process.h"
#include "tests/support/child_process.h"

namespace {

using std::chrono::milliseconds;

// The machine's list hidden, or in its place one port, ttyUSB9, whose node links to the
// terminal. In the child's own mount namespace, so that only it sees the list; /dev is
// replaced too, keeping /dev/pts, for ttyUSB9's link.
std::function<bool()> PortListOf(const std::string& terminal) {
    return [terminal] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", "/sys/class", "tmpfs", 0, nullptr) != 0) {
            return false;
        }
        return terminal.empty() ||
               (::mkdir("/sys/class/tty", 0755) == 0 &&
                ::mkdir("/sys/class/tty/ttyUSB9", 0755) == 0 &&
                ::mkdir("/sys/class/tty/ttyUSB9/device", 0755) == 0 &&
                ::mkdir("/sys/class/pts", 0755) == 0 &&
                ::mount("/dev/pts", "/sys/class/pts", nullptr, MS_BIND, nullptr) == 0 &&
                ::mount("none", "/dev", "tmpfs", 0, nullptr) == 0 &&
                ::mkdir("/dev/pts", 0755) == 0 &&
                ::mount("/sys/class/pts", "/dev/pts", nullptr, MS_BIND, nullptr) == 0 &&
                ::symlink(terminal.c_str(), "/dev/ttyUSB9") == 0);
    };
}

// Nobody at a limit of one process: no thread can be made. The leak checker needs a thread
// of its own to look at the end.
bool WithoutThreads() {
    const rlimit oneProcess{1, 1};
    const char* sanitizer = ::getenv("ASAN_OPTIONS");
    const std::string options = std::string(sanitizer ? sanitizer : "") + ":detect_leaks=0";
    return ::setenv("ASAN_OPTIONS", options.c_str(), 1) == 0 && BecomeNobody() &&
           ::setrlimit(RLIMIT_NPROC, &oneProcess) == 0;
}

// portlook in a mount namespace of its own where the tree's classes (its tty list) and /dev
// (with the real pseudo-terminals in it) are the system's. With `errorAsOutput` its messages
// come among its output lines, in their order.
ChildOptions OnTree(const FakeSysfsTree& tree, std::vector<std::string> arguments,
                    bool errorAsOutput = false) {
    const std::string root = tree.Root();
    ::mkdir((root + "/dev/pts").c_str(), 0755);
    ChildOptions options;
    options.arguments = std::move(arguments);
    options.prepare = [root, errorAsOutput] {
        return ::unshare(CLONE_NEWNS) == 0 &&
               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount("/dev/pts", (root + "/dev/pts").c_str(), nullptr, MS_BIND, nullptr) == 0 &&
               ::mount((root + "/dev").c_str(), "/dev", nullptr, MS_BIND | MS_REC, nullptr) == 0 &&
               ::mount((root + "/class").c_str(), "/sys/class", nullptr, MS_BIND, nullptr) == 0 &&
               (!errorAsOutput || ::dup2(STDOUT_FILENO, STDERR_FILENO) >= 0);
    };
    return options;
}

// Each test's runs, reads and waits end within 50 s of its start, whatever the program does,
// so that a --watch or --wait that never ends fails its test instead of holding the run.
class PortlookProgram : public ::testing::Test {
protected:
    void SetUp() override { m_end = std::chrono::steady_clock::now() + std::chrono::seconds(50); }
    // At most `most`, and no later than the test's end.
    milliseconds Within(milliseconds most = std::chrono::seconds(50)) const {
        const auto left =
            std::chrono::duration_cast<milliseconds>(m_end - std::chrono::steady_clock::now());
        return std::max(milliseconds(0), std::min(most, left));
    }
    ChildRun Run(ChildOptions options, milliseconds most = std::chrono::seconds(50)) const {
        return RunChild(PORTLOOK_BINARY, std::move(options), Within(most));
    }
    // `output`: the program's standard output, instead of a pipe the test reads.
    ChildRun RunPortlook(std::vector<std::string> arguments, std::function<bool()> prepare = {},
                         int output = -1) const {
        ChildOptions options;
        options.arguments = std::move(arguments);
        options.prepare = std::move(prepare);
        options.outputFd = output;
        return Run(std::move(options));
    }

private:
    std::chrono::steady_clock::time_point m_end;
};

TEST_F(PortlookProgram, HelpVersionAndWrongArguments) {
    for (const char* help : {"--help", "-h"}) {
        const ChildRun run = RunPortlook({help, "--json"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out.compare(0, 16, "Usage: portlook "), 0) << run.out;
        EXPECT_EQ(run.error, "");
    }
    EXPECT_EQ(RunPortlook({"--version"}).out, "portlook 1.0.0.1\n");
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"-j"},
                                               {"ttyS0"},
                                               {"--port"},
                                               {"--port", "--json"},
                                               {"--port", ""},
                                               {"--port="},
                                               {"--port", "a", "--port=b"},
                                               {"--match", "colour=red"},
                                               {"--match=vid=nope"},
                                               {"--match"},
                                               {"--json", "--help=x"},
                                               {"--version", "--bogus"},
                                               {"--help", "--watch", "--wait"}}) {
        const ChildRun run = RunPortlook(wrong);
        EXPECT_EQ(run.exitCode, 2) << wrong.back();
        EXPECT_EQ(run.out, "") << wrong.back();
        // One line saying what is wrong, and where to read more.
        const size_t line = run.error.find('\n');
        EXPECT_EQ(run.error.compare(0, 10, "portlook: "), 0) << run.error;
        EXPECT_EQ(run.error.substr(line + 1), "Try 'portlook --help'.\n") << run.error;
    }
    EXPECT_EQ(RunPortlook({"--bogus", "--version"}).error,
              "portlook: unknown argument '--bogus'\nTry 'portlook --help'.\n");
}

TEST_F(PortlookProgram, SecondsFromATenthToADayAreTakenAndOthersRefusedWithTheValue) {
    for (const char* option : {"--interval", "--timeout"}) {
        for (const char* value :
             {"2500000", "86400.1", "-1", "0", "0.09", "nan", "inf", "2s", ""}) {
            const ChildRun run = RunPortlook({"--wait", option, value});
            EXPECT_EQ(run.exitCode, 2) << option << ' ' << value;
            EXPECT_NE(run.error.find(std::string(option) + " takes 0.1 to 86,400 seconds (got '" +
                                     value + "')"),
                      std::string::npos)
                << run.error;
        }
    }
    const ChildRun bounds = RunPortlook(
        {"--wait", "--interval", "86400", "--timeout", "0.1", "--port", "portlook-no-such-port"});
    EXPECT_EQ(bounds.exitCode, 7) << bounds.error;
}

TEST_F(PortlookProgram, ListsTheMachinesPortsAsTableAndAsJson) {
    const ChildRun table = RunPortlook({});
    ASSERT_EQ(table.exitCode, 0) << table.error;
    EXPECT_EQ(table.out.compare(0, 8, "Device  "), 0) << table.out;
    const size_t lines = static_cast<size_t>(std::count(table.out.begin(), table.out.end(), '\n'));

    const ChildRun json = RunPortlook({"--json"});
    ASSERT_EQ(json.exitCode, 0) << json.error;
    const nlohmann::json parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array()) << json.out;
    EXPECT_EQ(parsed.size(), lines - 1);
}

// At the user's process limit no thread can be made: the list is still read and told.
TEST_F(PortlookProgram, ListsThePortsWhenNoThreadCanBeMade) {
    const ChildRun json = RunPortlook({"--json"});
    const ChildRun limited = RunPortlook({"--json"}, WithoutThreads);
    ASSERT_NE(limited.exitCode, -1) << "it ended by itself";
    EXPECT_NE(limited.exitCode, 5) << limited.error;
    EXPECT_EQ(limited.error, "");
    const nlohmann::json ports = nlohmann::json::parse(json.out, nullptr, false);
    const nlohmann::json seen = nlohmann::json::parse(limited.out, nullptr, false);
    ASSERT_TRUE(ports.is_array() && seen.is_array()) << limited.out;
    ASSERT_EQ(seen.size(), ports.size());
    for (size_t port = 0; port < ports.size(); ++port) {
        EXPECT_EQ(seen[port]["port"], ports[port]["port"]);
    }
}

TEST_F(PortlookProgram, PortNotInTheListIsNotFound) {
    const ChildRun run = RunPortlook({"--port", "/dev/portlook-no-such-port"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.error.find("/dev/portlook-no-such-port"), std::string::npos) << run.error;
    const ChildRun json = RunPortlook({"--port=portlook-no-such-port", "--json"});
    EXPECT_EQ(json.exitCode, 3);
    EXPECT_EQ(json.out, "[]\n");
    // A --match that selects no port is as "not found".
    const ChildRun none = RunPortlook({"--match", "vid=ffff"});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.error, "portlook: no port passes --match vid=ffff\n");
    const ChildRun noneJson = RunPortlook({"--json", "--match", "vid=ffff"});
    EXPECT_EQ(noneJson.exitCode, 3);
    EXPECT_EQ(noneJson.out, "[]\n");
}

TEST_F(PortlookProgram, UnreadablePortListGivesStatus5AndNoTable) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{}, {"--json"}, {"--port", "ttyS0"}}) {
        const ChildRun run = RunPortlook(arguments, PortListOf(""));
        if (run.exitCode == kChildNotPrepared) GTEST_SKIP() << "no mount namespace for the test";
        EXPECT_EQ(run.exitCode, 5);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.error, "portlook: cannot read the port list (/sys/class/tty)\n");
    }
}

// A full disk is a fault worth a message; a reader that left, as `| head -1` does, is how a
// pipeline ends: no message, and no death by SIGPIPE.
TEST_F(PortlookProgram, OutputThatCannotBeWrittenGivesStatus6QuietlyWhenTheReaderLeft) {
    enum class Output { Full, PipeReaderGone, SocketReaderGone };
    const struct {
        Output output;
        std::vector<std::string> arguments;
        const char* error;
    } cases[] = {
        {Output::Full, {"--json"}, "portlook: the output cannot be written\n"},
        {Output::Full, {"--help"}, "portlook: the output cannot be written\n"},
        {Output::PipeReaderGone, {"--json"}, ""},
        {Output::PipeReaderGone, {"--watch"}, ""},
        // Nothing to write: only the wait between surveys can see that the reader left.
        {Output::PipeReaderGone, {"--watch", "--match", "vid=ffff"}, ""},
        {Output::SocketReaderGone, {"--watch", "--match", "vid=ffff"}, ""},
        {Output::SocketReaderGone, {"--wait", "--match", "vid=ffff"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        int ends[2] = {-1, -1};
        if (c.output == Output::Full) {
            ends[1] = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        } else if (c.output == Output::PipeReaderGone) {
            ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        } else {
            ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        }
        if (ends[0] >= 0) ::close(ends[0]);
        const UniqueFd output(ends[1]);
        const ChildRun run = RunPortlook(c.arguments, {}, output.Get());
        EXPECT_EQ(run.exitCode, 6);
        EXPECT_EQ(run.error, c.error);
    }
}

constexpr milliseconds kWithin{2000};  // twice --interval 1

TEST_F(PortlookProgram, WatchTellsOfPortsAddedChangedAndRemovedAndEndsOnSigterm) {
    FakeSysfsTree tree;
    const Terminal terminal(0600);
    Pty other;
    ASSERT_FALSE(terminal.Path().empty());
    tree.AddTty("ttyS3", "serial8250", other.Path());
    // The test itself keeps ttyS3's terminal open: only the exclusive open tells it from a holder.
    ChildProcess watch(PORTLOOK_BINARY,
                       OnTree(tree, {"--watch", "--open", "--json", "--interval", "1"}, true));
    const auto next = [&] {
        const std::string line = watch.ReadLine(Within(kWithin));
        return nlohmann::json::parse(line.empty() ? "null" : line, nullptr, false);
    };
    nlohmann::json event = next();
    if (event.is_null() && watch.Finish(Within(kWithin)).exitCode == kChildNotPrepared) {
        GTEST_SKIP() << "no mount namespace for the test";
    }
    EXPECT_EQ(event["event"], "present");
    EXPECT_EQ(event["port"]["port"], "/dev/ttyS3");
    tree.AddTty("ttyUSB7", "ftdi_sio", terminal.Path());
    event = next();
    EXPECT_EQ(event["event"], "added");
    EXPECT_EQ(event["port"]["port"], "/dev/ttyUSB7");
    EXPECT_EQ(event["port"]["status"], "available");

    // A holder that runs another program keeps its id and changes its name.
    const Holder holder(terminal.Path(), "port-user", Lock::Flock);
    for (const char* name : {"port-user", "cat"}) {
        event = next();
        EXPECT_EQ(event["event"], "changed");
        EXPECT_EQ(event["port"]["status"], "busy");
        EXPECT_EQ(event["port"]["holders"],
                  nlohmann::json::array({{{"pid", holder.Pid()}, {"name", name}}}));
        if (name == std::string("cat")) break;
        ASSERT_TRUE(holder.RunCat());
    }
    // A node that went changes the status alone.
    ASSERT_EQ(::unlink(tree.Node("ttyS3").c_str()), 0);
    event = next();
    EXPECT_EQ(event["event"], "changed");
    EXPECT_EQ(event["port"]["port"], "/dev/ttyS3");
    EXPECT_EQ(event["port"]["status"], "not found");

    // A list that cannot be read for a while is said once, and the watch goes on.
    const std::string list = tree.Root() + "/class/tty";
    ASSERT_EQ(::rename(list.c_str(), (list + "-away").c_str()), 0);
    EXPECT_EQ(watch.ReadLine(Within(kWithin)), "portlook: cannot read the port list; trying again");
    ASSERT_EQ(std::system(("rm -r '" + list + "-away/ttyUSB7'").c_str()), 0);
    ASSERT_EQ(::rename((list + "-away").c_str(), list.c_str()), 0);
    event = next();
    EXPECT_EQ(event["event"], "removed");
    EXPECT_EQ(event["port"]["status"], "busy") << "as last seen";
    ASSERT_TRUE(watch.Signal(SIGTERM));
    const ChildRun run = watch.Finish(Within(kWithin));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
}

TEST_F(PortlookProgram, WaitGivesTheFreePortOrSaysWhatItSawWhenTimeIsUp) {
    FakeSysfsTree tree;
    Pty pty;
    Pty free;
    // A terminal whose master was never unlocked refuses every open: its port is unknown.
    const UniqueFd unknown(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(unknown.IsValid());
    tree.AddTty("ttyUSB7", "ftdi_sio", pty.Path());
    tree.AddTty("ttyS3", "serial8250", free.Path());
    tree.AddTty("ttyACM0", "cdc_acm", ::ptsname(unknown.Get()));
    tree.AddTty("ttyACM1", "cdc_acm", "");
    UniqueFd holder(::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_EQ(::flock(holder.Get(), LOCK_EX | LOCK_NB), 0);
    const ChildRun timedOut =
        Run(OnTree(tree, {"--wait", "--open", "--timeout", "0.5", "--port", "ttyUSB7"}));
    if (timedOut.exitCode == kChildNotPrepared) GTEST_SKIP() << "no mount namespace for the test";
    EXPECT_EQ(timedOut.exitCode, 7);
    // Neither a port that cannot be told nor one not found is free, and the time is up at the
    // timeout, however long the interval.
    const ChildRun none = Run(OnTree(tree, {"--wait", "--open", "--timeout", "0.5", "--interval",
                                            "86400", "--match", "device=cdc_acm"}),
                              std::chrono::seconds(10));
    EXPECT_EQ(none.exitCode, 7);
    EXPECT_EQ(none.error,
              "portlook: waited 0.5 s for an available port with --match device=cdc_acm; "
              "/dev/ttyACM0 matched but unknown; /dev/ttyACM1 matched but not found\n");

    ChildProcess wait(PORTLOOK_BINARY, OnTree(tree, {"--wait", "--open", "--interval", "1",
                                                     "--match", "device=ftdi_sio"}));
    EXPECT_EQ(wait.ReadLine(Within(kWithin)), "") << "busy, and the free one does not match";
    holder.Reset();
    EXPECT_EQ(wait.ReadLine(Within(kWithin)), "ftdi_sio  /dev/ttyUSB7  available");
    EXPECT_EQ(wait.Finish(Within(kWithin)).exitCode, 0);
}

// udev's names that last: of the links that resolve to a port's node, the first by name; a
// link to another node names nothing here. --port and --match take them.
TEST_F(PortlookProgram, SerialLinksGiveByIdAndByPathAndSelectThePort) {
    FakeSysfsTree tree;
    Pty pty;
    Pty other;
    tree.AddTty("ttyS3", "serial8250", other.Path());
    tree.AddTty("ttyUSB7", "ftdi_sio", pty.Path());
    const std::string id = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
    const std::string path = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    for (const std::string& link : {id, path, std::string("/dev/serial/by-id/usb-FTDI_zz")}) {
        tree.AddDevLink(link.substr(5), "../../ttyUSB7");
    }
    tree.AddDevLink("serial/by-id/aaa-elsewhere", "../../ttyACM0");
    const auto run = [&](std::vector<std::string> arguments, int* status) {
        const ChildRun program = Run(OnTree(tree, std::move(arguments)));
        *status = program.exitCode;
        return program.out;
    };
    int status = 0;
    nlohmann::json list = nlohmann::json::parse(run({"--json"}, &status), nullptr, false);
    if (status == kChildNotPrepared) GTEST_SKIP() << "no mount namespace for the test";
    ASSERT_TRUE(list.is_array() && list.size() == 2) << list;
    EXPECT_TRUE(list[0]["byId"].is_null() && list[0]["byPath"].is_null()) << list[0];
    EXPECT_EQ(list[1]["byId"], id);
    EXPECT_EQ(list[1]["byPath"], path);
    EXPECT_NE(run({}, &status).find("\nTip: " + id), std::string::npos);

    EXPECT_NE(run({"--open", "--port", id}, &status).find(" /dev/ttyUSB7 "), std::string::npos);
    EXPECT_EQ(status, 0);
    // A selection that selects nothing may have an exit status of its own: only the ports count.
    const std::pair<std::string, std::vector<std::string>> matches[] = {
        {"bypath=" + path, {"/dev/ttyUSB7"}},
        {"byId=usb-ftdi_ft232r_a1b2c3-if00-port0", {"/dev/ttyUSB7"}},
        {"byid=aaa-elsewhere", {}}};
    for (const auto& [match, expected] : matches) {
        const nlohmann::json ports =
            nlohmann::json::parse(run({"--json", "--match", match}, &status), nullptr, false);
        ASSERT_TRUE(ports.is_array()) << match;
        nlohmann::json selected = nlohmann::json::array();
        for (const nlohmann::json& port : ports) selected.push_back(port["port"]);
        EXPECT_EQ(selected, nlohmann::json(expected)) << match;
    }
}

// A survey in flight counts against --timeout: here the list read hangs on a FIFO.
TEST_F(PortlookProgram, WaitEndsAtItsTimeoutWhileASurveyHangs) {
    FakeSysfsTree tree;
    Pty pty;
    tree.AddTty("ttyUSB7", "ftdi_sio", pty.Path());
    ASSERT_EQ(::mkfifo((tree.Root() + "/class/tty/ttyUSB7/type").c_str(), 0644), 0);
    const auto start = std::chrono::steady_clock::now();
    const ChildRun wait = Run(OnTree(tree, {"--wait", "--timeout", "0.3", "--port", "ttyUSB7"}));
    if (wait.exitCode == kChildNotPrepared) GTEST_SKIP() << "no mount namespace for the test";
    EXPECT_EQ(wait.exitCode, 7);
    // The survey's own deadline is 4 s; a second is room for a loaded machine.
    using std::chrono::duration_cast;
    EXPECT_LT(
        duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
        1300);
}

// A plain open is no exclusive one on Linux: the open succeeds, and only the usage scan, which
// opens nothing, sees the holder.
TEST_F(PortlookProgram, TerminalHeldByAPlainOpenIsBusyAndTheDefaultOpensNoNode) {
    const Terminal terminal(0600);
    const Holder holder(terminal.Path(), "port-user", Lock::None);
    ASSERT_TRUE(holder.Holds());
    const std::string busy = "ttyUSB9  /dev/ttyUSB9  busy (held)  port-user (PID " +
                             std::to_string(holder.Pid()) + ")\n";
    const struct {
        std::vector<std::string> arguments;
        std::string out;
        int exitStatus;
        bool opens;
    } cases[] = {{{"--port", "ttyUSB9"}, busy, 1, false},
                 {{"--no-open", "--port", "ttyUSB9"}, busy, 1, false},
                 {{"--port", "ttyUSB9", "--open"}, "ttyUSB9  /dev/ttyUSB9  available\n", 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        ASSERT_GE(::inotify_add_watch(watch.Get(), terminal.Path().c_str(), IN_OPEN), 0);
        const ChildRun run = RunPortlook(c.arguments, PortListOf(terminal.Path()));
        if (run.exitCode == kChildNotPrepared) GTEST_SKIP() << "no mount namespace for the test";
        EXPECT_EQ(run.exitCode, c.exitStatus) << run.error;
        EXPECT_EQ(run.out, c.out);
        char events[4096];
        EXPECT_EQ(::read(watch.Get(), events, sizeof events) > 0, c.opens);
    }
    const ChildRun json = RunPortlook({"--json"}, PortListOf(terminal.Path()));
    const nlohmann::json parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array() && parsed.size() == 1) << json.out;
    EXPECT_EQ(parsed[0]["status"], "busy");
    EXPECT_EQ(parsed[0]["reason"], "held");
    EXPECT_EQ(parsed[0]["holders"][0]["pid"], holder.Pid());
}

}  // namespace
