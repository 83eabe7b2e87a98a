// Who holds a port, looked up in /proc: child processes hold pseudo-terminals that the test
// itself keeps only the master side of, so that the children are the only holders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/unique_handle.h"
#include "ports/engine/port_holders.h"
#include "ports/engine/port_probe.h"

namespace {

constexpr uid_t kNobody = 65534;

// A pseudo-terminal whose terminal side nobody has open yet.
class Terminal {
public:
    explicit Terminal(mode_t mode) : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (!m_master.IsValid() || ::grantpt(m_master.Get()) != 0 ||
            ::unlockpt(m_master.Get()) != 0) {
            return;
        }
        const char* name = ::ptsname(m_master.Get());
        if (name && ::chmod(name, mode) == 0) m_path = name;
    }
    const std::string& Path() const { return m_path; }
    PortRow Row() const {
        PortRow row;
        row.device = "pty";
        row.port = m_path;
        row.status = PortStatus::Busy;
        return row;
    }

private:
    UniqueFd m_master;
    std::string m_path;
};

// How a holder locks the port: a lock of its own, or one of its open file description,
// which /proc/locks shows without a process.
enum class Lock { None, Flock, OpenFile };

bool TakeLock(int fd, Lock lock) {
    if (lock == Lock::Flock) return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    return lock == Lock::None || ::fcntl(fd, F_OFD_SETLK, &range) == 0;
}

// A child process that opens the port, locks it if asked, and holds it until this ends.
class Holder {
public:
    Holder(const std::string& port, const char* name, Lock lock) {
        int ready[2] = {-1, -1};
        int stay[2] = {-1, -1};
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(stay, O_CLOEXEC) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_NAME, name);
            const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY);
            const char held = fd >= 0 && TakeLock(fd, lock);
            ::close(stay[1]);
            if (::write(ready[1], &held, 1) == 1) {
                char end = 0;
                while (::read(stay[0], &end, 1) > 0) {
                }
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stay[0]);
        m_stay.Reset(stay[1]);
        char held = 0;
        m_held = m_pid > 0 && ::read(ready[0], &held, 1) == 1 && held;
        ::close(ready[0]);
    }
    ~Holder() {
        m_stay.Reset();
        if (m_pid > 0) ::waitpid(m_pid, nullptr, 0);
    }
    bool Holds() const { return m_held; }
    unsigned long Pid() const { return static_cast<unsigned long>(m_pid); }

private:
    pid_t m_pid = -1;
    UniqueFd m_stay;
    bool m_held = false;
};

std::vector<unsigned long> Pids(const PortHolders& holders) {
    std::vector<unsigned long> pids;
    for (const PortHolder& holder : holders) pids.push_back(holder.pid);
    std::sort(pids.begin(), pids.end());
    return pids;
}

TEST(PortHolders, AreTheProcessesWithThePortOpenByTheirNames) {
    const Terminal locked(0600);
    const Terminal free(0600);
    ASSERT_FALSE(locked.Path().empty());
    const Holder first(locked.Path(), "port-holder-1", Lock::Flock);
    const Holder second(locked.Path(), "port-holder-2", Lock::OpenFile);
    ASSERT_TRUE(first.Holds() && second.Holds());
    ASSERT_EQ(ProbePort(locked.Path().c_str()), PortStatus::Busy) << "the lock keeps it busy";

    PortRows rows = {locked.Row(), free.Row(), locked.Row()};
    rows[2].port = "/dev/portlook-no-such-port";
    PortHolderFinder finder;
    const std::vector<PortHolders> holders = finder.Find(rows);
    EXPECT_FALSE(finder.LastFindFailed());
    ASSERT_EQ(holders.size(), 3u);
    ASSERT_EQ(Pids(holders[0]), (std::vector<unsigned long>{first.Pid(), second.Pid()}));
    for (const PortHolder& holder : holders[0]) {
        EXPECT_TRUE(holder.visible);
        EXPECT_EQ(holder.name, holder.pid == first.Pid() ? "port-holder-1" : "port-holder-2");
    }
    EXPECT_TRUE(holders[1].empty()) << "nobody holds it";
    EXPECT_TRUE(holders[2].empty()) << "no such node";
}

TEST(PortHolders, NoProcessListMeansAFailedLookupAndNoHolders) {
    const Terminal terminal(0600);
    const Holder holder(terminal.Path(), "port-holder", Lock::None);
    PortHolderFinder finder("/portlook-no-such-proc");
    const std::vector<PortHolders> holders = finder.Find({terminal.Row()});
    EXPECT_TRUE(finder.LastFindFailed());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_TRUE(holders[0].empty());
}

// The holders as a user without privileges finds them; nothing when the child failed.
std::optional<std::vector<PortHolders>> FindUnprivileged(const PortRows& rows) {
    int ends[2] = {-1, -1};
    if (::pipe(ends) != 0) return std::nullopt;
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(1);
        }
        std::string lines;
        const std::vector<PortHolders> found = PortHolderFinder().Find(rows);
        for (size_t row = 0; row < found.size(); ++row) {
            for (const PortHolder& holder : found[row]) {
                lines += std::to_string(row) + ' ' + std::to_string(holder.pid) + ' ' +
                         (holder.visible ? "1 " : "0 ") + holder.name + '\n';
            }
        }
        const bool written = ::write(writeEnd.Get(), lines.data(), lines.size()) ==
                             static_cast<ssize_t>(lines.size());
        ::_exit(written ? 0 : 1);
    }
    writeEnd.Reset();
    std::string text;
    char chunk[4096];
    for (ssize_t got; child > 0 && (got = ::read(readEnd.Get(), chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<size_t>(got));
    }
    int exitStatus = -1;
    if (child > 0) ::waitpid(child, &exitStatus, 0);
    if (exitStatus != 0) return std::nullopt;
    std::vector<PortHolders> holders(rows.size());
    std::istringstream lines(text);
    size_t row = 0;
    PortHolder holder;
    int visible = 0;
    while (lines >> row >> holder.pid >> visible) {
        holder.visible = visible != 0;
        std::getline(lines, holder.name);
        holder.name.erase(0, holder.name.find_first_not_of(' '));
        if (row < holders.size()) holders[row].push_back(holder);
    }
    return holders;
}

TEST(PortHolders, ProcessesAUserMayNotInspectAreNamedOnlyWhereNothingElseExplainsTheBusyPort) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to look as another user";
    // Open to everyone, so that only a holder makes the first two busy for nobody.
    const Terminal locked(0666);
    const Terminal held(0666);
    const Terminal closed(0600);
    const Holder locker(locked.Path(), "port-locker", Lock::Flock);
    const Holder holder(held.Path(), "port-holder", Lock::None);
    const Holder closedHolder(closed.Path(), "port-holder", Lock::None);
    ASSERT_TRUE(locker.Holds() && holder.Holds() && closedHolder.Holds());

    const auto holders = FindUnprivileged({locked.Row(), held.Row(), closed.Row()});
    ASSERT_TRUE(holders.has_value());
    // The lock names its holder, though its descriptors are hidden.
    ASSERT_EQ(holders->at(0).size(), 1u);
    EXPECT_EQ(holders->at(0)[0].pid, locker.Pid());
    EXPECT_EQ(holders->at(0)[0].name, "port-locker");
    EXPECT_TRUE(holders->at(0)[0].visible);
    // No holder in sight: the hidden processes are the candidates, the holder among them.
    const std::vector<unsigned long> hidden = Pids(holders->at(1));
    EXPECT_TRUE(std::binary_search(hidden.begin(), hidden.end(), holder.Pid()));
    EXPECT_TRUE(
        std::binary_search(hidden.begin(), hidden.end(), static_cast<unsigned long>(::getpid())));
    for (const PortHolder& candidate : holders->at(1)) {
        EXPECT_FALSE(candidate.visible);
        EXPECT_EQ(candidate.name, "");
    }
    // A port closed to this user is busy for that alone: nobody is guessed at.
    EXPECT_TRUE(holders->at(2).empty());
}

}  // namespace
