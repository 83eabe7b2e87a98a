// The built portlook program, run as a separate process with its output through pipes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/unique_handle.h"
#include "tests/native/holder_process.h"

namespace {

struct ProgramRun {
    int exitStatus = -1;  // -1 when the program did not end by itself
    std::string out;
    std::string error;
};

constexpr int kNoNamespace = 126;  // the child could not hide the port list

// The machine's list; none; or one port, ttyUSB9, whose node links to a terminal.
enum class PortList { AsItIs, Hidden, OneTerminal };

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

ProgramRun RunPortlook(std::vector<std::string> arguments, PortList list = PortList::AsItIs,
                       const char* outputFile = nullptr, const std::string& terminal = "") {
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
        if (list != PortList::AsItIs && !MountPortList(list, terminal)) ::_exit(kNoNamespace);
        const int output = outputFile ? ::open(outputFile, O_WRONLY) : outWrite.Get();
        if (output < 0 || ::dup2(output, STDOUT_FILENO) < 0 ||
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
    while ((ends[0].fd >= 0 || ends[1].fd >= 0) && ::poll(ends, 2, 10000) > 0) {
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
                                               {"--json", "--help=x"}}) {
        const ProgramRun run = RunPortlook(wrong);
        EXPECT_EQ(run.exitStatus, 2) << wrong.back();
        EXPECT_EQ(run.out, "") << wrong.back();
        EXPECT_NE(run.error.find("Usage: portlook "), std::string::npos) << run.error;
    }
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

TEST(PortlookProgram, PortNotInTheListIsNotFound) {
    const ProgramRun run = RunPortlook({"--port", "/dev/portlook-no-such-port"});
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.error.find("/dev/portlook-no-such-port"), std::string::npos) << run.error;
    const ProgramRun json = RunPortlook({"--port=portlook-no-such-port", "--json"});
    EXPECT_EQ(json.exitStatus, 3);
    EXPECT_EQ(json.out, "[]\n");
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

TEST(PortlookProgram, OutputThatCannotBeWrittenGivesStatus6) {
    for (const char* form : {"--json", "--help"}) {
        const ProgramRun run = RunPortlook({form}, PortList::AsItIs, "/dev/full");
        EXPECT_EQ(run.exitStatus, 6) << form;
        EXPECT_EQ(run.error, "portlook: the output cannot be written\n");
    }
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
        const ProgramRun run =
            RunPortlook(c.arguments, PortList::OneTerminal, nullptr, terminal.Path());
        if (run.exitStatus == kNoNamespace) GTEST_SKIP() << "no mount namespace for the test";
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.error;
        EXPECT_EQ(run.out, c.out);
        char events[4096];
        EXPECT_EQ(::read(watch.Get(), events, sizeof events) > 0, c.opens);
    }
    const ProgramRun json =
        RunPortlook({"--json"}, PortList::OneTerminal, nullptr, terminal.Path());
    const nlohmann::json parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array() && parsed.size() == 1) << json.out;
    EXPECT_EQ(parsed[0]["status"], "busy");
    EXPECT_EQ(parsed[0]["reason"], "held");
    EXPECT_EQ(parsed[0]["holders"][0]["pid"], holder.Pid());
}

}  // namespace
