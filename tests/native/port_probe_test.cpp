// The probe against real pseudo-terminals standing in for serial ports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "ports/port_probe.h"

namespace {

class Pty {
public:
    Pty() {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0) m_path = name;
    }
    ~Pty() {
        if (m_slave >= 0) ::close(m_slave);
        if (m_master >= 0) ::close(m_master);
    }
    const std::string& Path() const { return m_path; }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

TEST(StatusText, GivesTheFourTexts) {
    EXPECT_STREQ(StatusText(PortStatus::Available), "available");
    EXPECT_STREQ(StatusText(PortStatus::NotFound), "not found");
    EXPECT_STREQ(StatusText(PortStatus::Busy), "busy");
    EXPECT_STREQ(StatusText(PortStatus::Unknown), "unknown");
    EXPECT_STREQ(StatusText(static_cast<PortStatus>(7)), "unknown");
    EXPECT_STREQ(StatusText(static_cast<PortStatus>(-1)), "unknown");
}

TEST(StatusFromOpenError, ReadsTheWin32Error) {
    EXPECT_EQ(StatusFromOpenError(ERROR_FILE_NOT_FOUND), PortStatus::NotFound);
    EXPECT_EQ(StatusFromOpenError(ERROR_ACCESS_DENIED), PortStatus::Busy);
    EXPECT_EQ(StatusFromOpenError(ERROR_GEN_FAILURE), PortStatus::Unknown);
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
    EXPECT_EQ(ProbePort(""), PortStatus::NotFound);
}

TEST(ProbePort, PortLockedThroughAnotherOpenIsBusy) {
    const Pty pty;
    const int holder = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ProbePort(pty.Path().c_str()), PortStatus::Busy);
    ::flock(holder, LOCK_UN);
    EXPECT_EQ(ProbePort(pty.Path().c_str()), PortStatus::Available);
    ::close(holder);
}

TEST(ProbePort, DeviceThatFailsItsOpenIsUnknown) {
    // A pseudo-terminal whose master was never unlocked refuses opens with an I/O error.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    const char* slave = ::ptsname(master);
    ASSERT_NE(slave, nullptr);
    EXPECT_EQ(ProbePort(slave), PortStatus::Unknown);
    ::close(master);
}

TEST(ProbePort, NameTooLongForTheSystemIsUnknown) {
    const std::string longName = "/tmp/" + std::string(300, 'x');
    EXPECT_EQ(ProbePort(longName.c_str()), PortStatus::Unknown);
}

}  // namespace
