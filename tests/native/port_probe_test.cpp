// The probe against real pseudo-terminals standing in for serial ports.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "base/unique_handle.h"
#include "ports/engine/port_probe.h"
#include "ports/linux/port_open_probe.h"
#include "tests/native/fake_sysfs.h"
#include "tests/native/holder_process.h"

namespace {

// The status and reason of each port's open as a process without privileges sees them, a
// line each; empty when the child failed.
std::string ProbeUnprivileged(const std::vector<std::string>& ports) {
    return AsNobody([&] {
               std::string lines;
               for (const std::string& port : ports) {
                   const OpenProbeResult result = ProbePortByOpen(port.c_str());
                   const char* reason = ReasonKey(result.reason);
                   lines += std::string(StatusText(ProbePort(port.c_str()))) + " " +
                            (reason ? reason : "") + "\n";
               }
               return lines;
           })
        .value_or("");
}

// What a session leader without a terminal makes of the port: 0 when the probe left it
// without one while a plain open does take it, 1 when the probe made it its terminal, 2 when
// the test cannot tell.
int ControllingTerminalAfterProbe(const std::string& port) {
    const auto hasTerminal = [] {
        const UniqueFd terminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
        return terminal.IsValid();
    };
    const std::optional<std::string> verdict =
        InChild([&] { return ::setsid() >= 0 && !hasTerminal(); },
                [&] {
                    if (ProbePort(port.c_str()) != PortStatus::Available) return "2";
                    if (hasTerminal()) return "1";
                    const UniqueFd plain(::open(port.c_str(), O_RDWR | O_CLOEXEC));
                    return plain.IsValid() && hasTerminal() ? "0" : "2";
                });
    return verdict ? std::stoi(*verdict) : 2;
}

TEST(StatusText, GivesTheFourTexts) {
    EXPECT_STREQ(StatusText(PortStatus::Available), "available");
    EXPECT_STREQ(StatusText(PortStatus::NotFound), "not found");
    EXPECT_STREQ(StatusText(PortStatus::Busy), "busy");
    EXPECT_STREQ(StatusText(PortStatus::Unknown), "unknown");
    EXPECT_STREQ(StatusText(static_cast<PortStatus>(7)), "unknown");
    EXPECT_STREQ(StatusText(static_cast<PortStatus>(-1)), "unknown");
}

TEST(StatusFromOpenError, ReadsTheWin32Error) {
    EXPECT_EQ(StatusFromOpenError(kOpenErrorFileNotFound), PortStatus::NotFound);
    EXPECT_EQ(StatusFromOpenError(kOpenErrorAccessDenied), PortStatus::Busy);
    EXPECT_EQ(StatusFromOpenError(kOpenErrorGenFailure), PortStatus::Unknown);
    EXPECT_EQ(StatusFromOpenError(33), PortStatus::Unknown);  // a lock violation
    EXPECT_EQ(StatusFromOpenError(0), PortStatus::Unknown);
}

TEST(ProbePort, FreePortIsAvailableAgainAndAgain) {
    const Pty pty;
    ASSERT_FALSE(pty.Path().empty());
    EXPECT_EQ(ProbePort(pty.Path().c_str()), PortStatus::Available);
    EXPECT_EQ(ProbePort(pty.Path().c_str()), PortStatus::Available);
}

TEST(ProbePort, LeavesNeitherLockNorExclusiveModeBehind) {
    const Pty pty;
    ASSERT_EQ(ProbePort(pty.Path().c_str()), PortStatus::Available);
    const int other = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    int exclusive = -1;
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(other);
}

TEST(ProbePort, MissingNodeIsNotFound) {
    EXPECT_EQ(ProbePort("/dev/portlook-no-such-port"), PortStatus::NotFound);
    EXPECT_EQ(ProbePortByOpen("/dev/portlook-no-such-port").reason, PortReason::NotPresent);
    EXPECT_EQ(ProbePort(""), PortStatus::NotFound);
}

TEST(ProbePort, PortLockedThroughAnotherOpenIsBusy) {
    const Pty pty;
    const int holder = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ProbePort(pty.Path().c_str()), PortStatus::Busy);
    EXPECT_EQ(ProbePortByOpen(pty.Path().c_str()).reason, PortReason::Locked);
    ::flock(holder, LOCK_UN);
    EXPECT_EQ(ProbePort(pty.Path().c_str()), PortStatus::Available);
    ::close(holder);
}

TEST(ProbePort, PortHeldExclusivelyOrClosedToUsIsBusy) {
    const Pty free;
    const Pty held;
    const Pty closed;
    // Open to everyone, so that only the hold or the mode keeps the child out.
    ASSERT_EQ(::fchmod(free.Slave(), 0666), 0);
    ASSERT_EQ(::fchmod(held.Slave(), 0666), 0);
    ASSERT_EQ(::ioctl(held.Slave(), TIOCEXCL), 0);  // the child's open fails with EBUSY
    ASSERT_EQ(::fchmod(closed.Slave(), 0), 0);      // and here with EACCES
    EXPECT_EQ(ProbeUnprivileged({free.Path(), held.Path(), closed.Path()}),
              "available \nbusy exclusive\nbusy no permission\n");
}

TEST(ProbePort, SocketIsNotFound) {
    // Opening a socket's node fails with ENXIO, as does a device without its hardware.
    const TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir.Path() + "/port";
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(socket.IsValid());
    ASSERT_EQ(::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(ProbePort(path.c_str()), PortStatus::NotFound);
}

TEST(ProbePort, OpensForWritingWithoutWaitingForACarrierOrTakingTheTerminal) {
    // No pseudo-terminal waits for a carrier, so that part shows only in the flags.
    EXPECT_NE(kProbeOpenFlags & O_NONBLOCK, 0);
    EXPECT_NE(kProbeOpenFlags & O_NOCTTY, 0);
    EXPECT_EQ(kProbeOpenFlags & O_ACCMODE, O_RDWR);
    // A directory opens for reading only.
    const TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    EXPECT_EQ(ProbePort(dir.Path().c_str()), PortStatus::Unknown);
    const Pty pty;
    EXPECT_EQ(ControllingTerminalAfterProbe(pty.Path()), 0);
}

TEST(ProbePort, DeviceThatFailsItsOpenIsUnknown) {
    // A pseudo-terminal whose master was never unlocked refuses opens with an I/O error.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    const char* slave = ::ptsname(master);
    ASSERT_NE(slave, nullptr);
    EXPECT_EQ(ProbePort(slave), PortStatus::Unknown);
    EXPECT_EQ(ProbePortByOpen(slave).reason, PortReason::OpenFailed);
    ::close(master);
}

TEST(ProbePort, NameTooLongForTheSystemIsUnknown) {
    const std::string longName = "/tmp/" + std::string(300, 'x');
    EXPECT_EQ(ProbePort(longName.c_str()), PortStatus::Unknown);
}

}  // namespace
