// The built portlook program, run as a separate process with its output through pipes.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/unique_handle.h"
#include "tests/native/fake_sysfs.h"
#include "tests/native/holder_process.h"

namespace {

struct ProgramRun {
    int exitStatus = -1;  // -1 when the program did not end by itself
    std::string out;
    std::string error;
};

constexpr int kNoNamespace = 126;  // the child could not hide the port list

// The machine's list; none; or one port, ttyUSB9, whose node links to a terminal. Or the
// machine's list, seen by nobody at a limit of one process: no thread can be made.
enum class PortList { AsItIs, Hidden, OneTerminal, AsItIsWithoutThreads };

// In the child's own mount namespace, so that only it sees the list. /dev is replaced too,
// keeping /dev/pts, for ttyUSB9's link.
bool MountPortList(PortList list, const std::string& terminal) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", "/sys/class", "tmpfs", 0, nullptr) != 0) {
        return false;
    }
    return list == PortList::Hidden ||
           (::mkdir("/sys/class/tty", 0755) == 0 && ::mkdir("/sys/class/tty/ttyUSB9", 0755) == 0 &&
            ::mkdir("/sys/class/tty/ttyUSB9/device", 0755) == 0 &&
            ::mkdir("/sys/class/pts", 0755) == 0 &&
            ::mount("/dev/pts", "/sys/class/pts", nullptr, MS_BIND, nullptr) == 0 &&
            ::mount("none", "/dev", "tmpfs", 0, nullptr) == 0 && ::mkdir("/dev/pts", 0755) == 0 &&
            ::mount("/sys/class/pts", "/dev/pts", nullptr, MS_BIND, nullptr) == 0 &&
            ::symlink(terminal.c_str(), "/dev/ttyUSB9") == 0);
}

// `output`: the child's standard output, instead of a pipe the test reads. A run that has
// not ended 10 s after its last output is killed.
ProgramRun RunPortlook(std::vector<std::string> arguments, PortList list = PortList::AsItIs,
                       int output = -1, const std::string& terminal = "") {
    int out[2] = {-1, -1};
    int error[2] = {-1, -1};
    ProgramRun run;
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    const UniqueFd outRead(out[0]);
    UniqueFd outWrite(out[1]);
    if (::pipe2(error, O_CLOEXEC) != 0) return run;
    const UniqueFd errorRead(error[0]);
    UniqueFd errorWrite(error[1]);

    arguments.insert(arguments.begin(), PORTLOOK_BINARY);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit oneProcess{1, 1};
        if (list == PortList::AsItIsWithoutThreads) {
            // The leak checker needs a thread of its own to look at the end.
            const char* sanitizer = ::getenv("ASAN_OPTIONS");
            const std::string options = std::string(sanitizer ? sanitizer : "") + ":detect_leaks=0";
            if (::setenv("ASAN_OPTIONS", options.c_str(), 1) != 0 || !BecomeNobody() ||
                ::setrlimit(RLIMIT_NPROC, &oneProcess) != 0) {
                ::_exit(127);
            }
        } else if (list != PortList::AsItIs && !MountPortList(list, terminal)) {
            ::_exit(kNoNamespace);
        }
        if (::dup2(output >= 0 ? output : outWrite.Get(), STDOUT_FILENO) < 0 ||
            ::dup2(errorWrite.Get(), STDERR_FILENO) < 0) {
            ::_exit(127);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    outWrite.Reset();
    errorWrite.Reset();
    if (child < 0) return run;
    pollfd ends[] = {{outRead.Get(), POLLIN, 0}, {errorRead.Get(), POLLIN, 0}};
    std::string* texts[] = {&run.out, &run.error};
    bool quiet = false;
    while ((ends[0].fd >= 0 || ends[1].fd >= 0) && !quiet) {
        quiet = ::poll(ends, 2, 10000) <= 0;
        for (int i = 0; i < 2; ++i) {
            if (ends[i].fd < 0 || ends[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(ends[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, static_cast<size_t>(got));
            } else {
                ends[i].fd = -1;  // poll skips negative descriptors
            }
        }
    }
    if (quiet) ::kill(child, SIGKILL);
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    }
    return run;
}

TEST(PortlookProgram, HelpVersionAndWrongArguments) {
    for (const char* help : {"--help", "-h"}) {
        const ProgramRun run = RunPortlook({help, "--json"});
        EXPECT_EQ(run.exitStatus, 0);
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
        const ProgramRun run = RunPortlook(wrong);
        EXPECT_EQ(run.exitStatus, 2) << wrong.back();
        EXPECT_EQ(run.out, "") << wrong.back();
        // One line saying what is wrong, and where to read more.
        const size_t line = run.error.find('\n');
        EXPECT_EQ(run.error.compare(0, 10, "portlook: "), 0) << run.error;
        EXPECT_EQ(run.error.substr(line + 1), "Try 'portlook --help'.\n") << run.error;
    }
    EXPECT_EQ(RunPortlook({"--bogus", "--version"}).error,
              "portlook: unknown argument '--bogus'\nTry 'portlook --help'.\n");
}

TEST(PortlookProgram, SecondsFromATenthToADayAreTakenAndOthersRefusedWithTheValue) {
    for (const char* option : {"--interval", "--timeout"}) {
        for (const char* value :
             {"2500000", "86400.1", "-1", "0", "0.09", "nan", "inf", "2s", ""}) {
            const ProgramRun run = RunPortlook({"--wait", option, value});
            EXPECT_EQ(run.exitStatus, 2) << option << ' ' << value;
            EXPECT_NE(run.error.find(std::string(option) + " takes 0.1 to 86,400 seconds (got '" +
                                     value + "')"),
                      std::string::npos)
                << run.error;
        }
    }
    const ProgramRun bounds = RunPortlook(
        {"--wait", "--interval", "86400", "--timeout", "0.1", "--port", "portlook-no-such-port"});
    EXPECT_EQ(bounds.exitStatus, 7) << bounds.error;
}

TEST(PortlookProgram, ListsTheMachinesPortsAsTableAndAsJson) {
    const ProgramRun table = RunPortlook({});
    ASSERT_EQ(table.exitStatus, 0) << table.error;
    EXPECT_EQ(table.out.compare(0, 8, "Device  "), 0) << table.out;
    const size_t lines = static_cast<size_t>(std::count(table.out.begin(), table.out.end(), '\n'));

    const ProgramRun json = RunPortlook({"--json"});
    ASSERT_EQ(json.exitStatus, 0) << json.error;
    const nlohmann::json parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array()) << json.out;
    EXPECT_EQ(parsed.size(), lines - 1);
}

// At the user's process limit no thread can be made: the list is still read and told.
TEST(PortlookProgram, ListsThePortsWhenNoThreadCanBeMade) {
    const ProgramRun json = RunPortlook({"--json"});
    const ProgramRun limited = RunPortlook({"--json"}, PortList::AsItIsWithoutThreads);
    ASSERT_NE(limited.exitStatus, -1) << "it ended by itself";
    EXPECT_NE(limited.exitStatus, 5) << limited.error;
    EXPECT_EQ(limited.error, "");
    const nlohmann::json ports = nlohmann::json::parse(json.out, nullptr, false);
    const nlohmann::json seen = nlohmann::json::parse(limited.out, nullptr, false);
    ASSERT_TRUE(ports.is_array() && seen.is_array()) << limited.out;
    ASSERT_EQ(seen.size(), ports.size());
    for (size_t port = 0; port < ports.size(); ++port) {
        EXPECT_EQ(seen[port]["port"], ports[port]["port"]);
    }
}

TEST(PortlookProgram, PortNotInTheListIsNotFound) {
    const ProgramRun run = RunPortlook({"--port", "/dev/portlook-no-such-port"});
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.error.find("/dev/portlook-no-such-port"), std::string::npos) << run.error;
    const ProgramRun json = RunPortlook({"--port=portlook-no-such-port", "--json"});
    EXPECT_EQ(json.exitStatus, 3);
    EXPECT_EQ(json.out, "[]\n");
    // A --match that selects no port is as "not found".
    const ProgramRun none = RunPortlook({"--match", "vid=ffff"});
    EXPECT_EQ(none.exitStatus, 3);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.error, "portlook: no port passes --match vid=ffff\n");
    const ProgramRun noneJson = RunPortlook({"--json", "--match", "vid=ffff"});
    EXPECT_EQ(noneJson.exitStatus, 3);
    EXPECT_EQ(noneJson.out, "[]\n");
}

TEST(PortlookProgram, UnreadablePortListGivesStatus5AndNoTable) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{}, {"--json"}, {"--port", "ttyS0"}}) {
        const ProgramRun run = RunPortlook(arguments, PortList::Hidden);
        if (run.exitStatus == kNoNamespace) GTEST_SKIP() << "no mount namespace for the test";
        EXPECT_EQ(run.exitStatus, 5);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.error, "portlook: cannot read the port list (/sys/class/tty)\n");
    }
}

// A full disk is a fault worth a message; a reader that left, as `| head -1` does, is how a
// pipeline ends: no message, and no death by SIGPIPE.
TEST(PortlookProgram, OutputThatCannotBeWrittenGivesStatus6QuietlyWhenTheReaderLeft) {
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
        const ProgramRun run = RunPortlook(c.arguments, PortList::AsItIs, output.Get());
        EXPECT_EQ(run.exitStatus, 6);
        EXPECT_EQ(run.error, c.error);
    }
}

// portlook in a mount namespace of its own where the tree's tty class and /dev (with the real
// pseudo-terminals in it) are the system's, its output read line by line as it comes.
class PortlookOnTree {
public:
    PortlookOnTree(const FakeSysfsTree& tree, std::vector<std::string> arguments) {
        int out[2] = {-1, -1};
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        m_out.Reset(out[0]);
        UniqueFd write(out[1]);
        const std::string root = tree.Root();
        ::mkdir((root + "/dev/pts").c_str(), 0755);
        arguments.insert(arguments.begin(), PORTLOOK_BINARY);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(&argument[0]);
        argv.push_back(nullptr);
        m_child = ::fork();
        if (m_child == 0) {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("/dev/pts", (root + "/dev/pts").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
                ::mount((root + "/dev").c_str(), "/dev", nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
                ::mount((root + "/class/tty").c_str(), "/sys/class/tty", nullptr, MS_BIND,
                        nullptr) != 0) {
                ::_exit(kNoNamespace);
            }
            if (::dup2(write.Get(), STDOUT_FILENO) < 0) ::_exit(127);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~PortlookOnTree() {
        if (m_child > 0 && ExitStatus(SIGKILL) < 0) ADD_FAILURE() << "portlook did not end";
    }

    // The next line; empty when none came within the time.
    std::string ReadLine(int milliseconds) {
        for (;;) {
            const size_t end = m_pending.find('\n');
            if (end != std::string::npos) {
                const std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return line;
            }
            pollfd ready = {m_out.Get(), POLLIN, 0};
            char buffer[4096];
            if (::poll(&ready, 1, milliseconds) <= 0) return {};
            const ssize_t got = ::read(m_out.Get(), buffer, sizeof buffer);
            if (got <= 0) return {};
            m_pending.append(buffer, static_cast<size_t>(got));
        }
    }
    // Sends the signal and waits for the end: the exit status, or -1 when it ended otherwise.
    // Sends `signal` (none: 0) and waits for the end: at most 20 s, then it is killed, so that
    // a --watch or --wait that never ends fails the test instead of holding the run.
    int ExitStatus(int signal) {
        const pid_t child = std::exchange(m_child, -1);
        if (signal) ::kill(child, signal);
        int status = 0;
        for (int tries = 0; tries < 2000; ++tries) {
            const pid_t ended = ::waitpid(child, &status, WNOHANG);
            if (ended != 0) return ended == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            ::usleep(10000);
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return -1;
    }

private:
    pid_t m_child = -1;
    UniqueFd m_out;
    std::string m_pending;
};

constexpr int kWithin = 2000;  // twice --interval 1

TEST(PortlookProgram, WatchTellsOfPortsAddedChangedAndRemovedAndEndsOnSigterm) {
    FakeSysfsTree tree;
    Pty pty;
    Pty other;
    ASSERT_FALSE(pty.Path().empty());
    tree.AddTty("ttyS3", "serial8250", other.Path());
    // The test itself keeps the terminal open: only the exclusive open tells it from a holder.
    PortlookOnTree watch(tree, {"--watch", "--open", "--json", "--interval", "1"});
    const auto next = [&watch] {
        const std::string line = watch.ReadLine(kWithin);
        return nlohmann::json::parse(line.empty() ? "null" : line, nullptr, false);
    };
    nlohmann::json event = next();
    if (event.is_null() && watch.ExitStatus(0) == kNoNamespace) {
        GTEST_SKIP() << "no mount namespace for the test";
    }
    EXPECT_EQ(event["event"], "present");
    EXPECT_EQ(event["port"]["port"], "/dev/ttyS3");
    tree.AddTty("ttyUSB7", "ftdi_sio", pty.Path());
    event = next();
    EXPECT_EQ(event["event"], "added");
    EXPECT_EQ(event["port"]["port"], "/dev/ttyUSB7");
    EXPECT_EQ(event["port"]["status"], "available");

    UniqueFd holder(::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_EQ(::flock(holder.Get(), LOCK_EX | LOCK_NB), 0);
    event = next();
    EXPECT_EQ(event["event"], "changed");
    EXPECT_EQ(event["port"]["status"], "busy");
    EXPECT_EQ(event["port"]["holders"][0]["pid"], ::getpid());

    ASSERT_EQ(std::system(("rm -r '" + tree.Root() + "/class/tty/ttyUSB7'").c_str()), 0);
    event = next();
    EXPECT_EQ(event["event"], "removed");
    EXPECT_EQ(event["port"]["status"], "busy") << "as last seen";
    EXPECT_EQ(watch.ExitStatus(SIGTERM), 0);
}

TEST(PortlookProgram, WaitGivesTheFreePortOrSaysWhatItSawWhenTimeIsUp) {
    FakeSysfsTree tree;
    Pty pty;
    tree.AddTty("ttyUSB7", "ftdi_sio", pty.Path());
    UniqueFd holder(::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_EQ(::flock(holder.Get(), LOCK_EX | LOCK_NB), 0);
    PortlookOnTree timedOut(tree, {"--wait", "--open", "--timeout", "0.5", "--port", "ttyUSB7"});
    const int status = timedOut.ExitStatus(0);
    if (status == kNoNamespace) GTEST_SKIP() << "no mount namespace for the test";
    EXPECT_EQ(status, 7);

    PortlookOnTree wait(tree, {"--wait", "--open", "--interval", "1", "--port", "ttyUSB7"});
    EXPECT_EQ(wait.ReadLine(kWithin), "") << "busy";
    holder.Reset();
    EXPECT_EQ(wait.ReadLine(kWithin), "ftdi_sio  /dev/ttyUSB7  available");
    EXPECT_EQ(wait.ExitStatus(0), 0);
}

// udev's names that last: of the links that resolve to a port's node, the first by name; a
// link to another node names nothing here. --port and --match take them.
TEST(PortlookProgram, SerialLinksGiveByIdAndByPathAndSelectThePort) {
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
    const auto run = [&tree](std::vector<std::string> arguments, int* status) {
        PortlookOnTree program(tree, std::move(arguments));
        *status = program.ExitStatus(0);
        std::string out;
        for (std::string line; !(line = program.ReadLine(kWithin)).empty();) out += line + '\n';
        return out;
    };
    int status = 0;
    nlohmann::json list = nlohmann::json::parse(run({"--json"}, &status), nullptr, false);
    if (status == kNoNamespace) GTEST_SKIP() << "no mount namespace for the test";
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
TEST(PortlookProgram, WaitEndsAtItsTimeoutWhileASurveyHangs) {
    FakeSysfsTree tree;
    Pty pty;
    tree.AddTty("ttyUSB7", "ftdi_sio", pty.Path());
    ASSERT_EQ(::mkfifo((tree.Root() + "/class/tty/ttyUSB7/type").c_str(), 0644), 0);
    const auto start = std::chrono::steady_clock::now();
    PortlookOnTree wait(tree, {"--wait", "--timeout", "0.3", "--port", "ttyUSB7"});
    const int status = wait.ExitStatus(0);
    if (status == kNoNamespace) GTEST_SKIP() << "no mount namespace for the test";
    EXPECT_EQ(status, 7);
    // The survey's own deadline is 4 s; a second is room for a loaded machine.
    using std::chrono::duration_cast;
    EXPECT_LT(
        duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
        1300);
}

// A plain open is no exclusive one on Linux: the open succeeds, and only the usage scan, which
// opens nothing, sees the holder.
TEST(PortlookProgram, TerminalHeldByAPlainOpenIsBusyAndTheDefaultOpensNoNode) {
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
        const ProgramRun run = RunPortlook(c.arguments, PortList::OneTerminal, -1, terminal.Path());
        if (run.exitStatus == kNoNamespace) GTEST_SKIP() << "no mount namespace for the test";
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.error;
        EXPECT_EQ(run.out, c.out);
        char events[4096];
        EXPECT_EQ(::read(watch.Get(), events, sizeof events) > 0, c.opens);
    }
    const ProgramRun json = RunPortlook({"--json"}, PortList::OneTerminal, -1, terminal.Path());
    const nlohmann::json parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array() && parsed.size() == 1) << json.out;
    EXPECT_EQ(parsed[0]["status"], "busy");
    EXPECT_EQ(parsed[0]["reason"], "held");
    EXPECT_EQ(parsed[0]["holders"][0]["pid"], holder.Pid());
}

}  // namespace
