// The usage scan against pseudo-terminals held by child processes, one way of holding each.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <vector>

#include "ports/engine/port_probe.h"
#include "ports/linux/port_usage.h"
#include "ports/model/port_holders_text.h"
#include "tests/native/fake_sysfs.h"
#include "tests/native/holder_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<PortUsage> Scan(const std::vector<std::string>& ports,
                            const PortUsagePlaces& places = PortUsagePlaces()) {
    return ScanPortUsage(ports, places, Clock::now() + std::chrono::seconds(30)).ports;
}

// Fifo and Link are what anyone may put under a lock file's name in /run/lock.
enum class LockFile { None, Ascii, Binary, StaleAscii, StaleBinary, Fifo, Link };

// "/dev/pts/3" is locked as "LCK..pts_3", its pid written as text or as an int.
void WriteLockFile(const fs::path& dir, const std::string& port, LockFile kind, int pid) {
    std::string name = port.substr(std::string("/dev/").size());
    std::replace(name.begin(), name.end(), '/', '_');
    const fs::path path = dir / ("LCK.." + name);
    if (kind == LockFile::Fifo) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
        return;
    }
    if (kind == LockFile::Link) {
        WriteLockFile(dir, port, LockFile::Ascii, pid);
        fs::rename(path, dir / "elsewhere");
        fs::create_symlink(dir / "elsewhere", path);
        return;
    }
    std::ofstream file(path, std::ios::binary);
    if (kind == LockFile::Binary || kind == LockFile::StaleBinary) {
        file.write(reinterpret_cast<const char*>(&pid), sizeof pid);
    } else {
        file << "      " << pid << " minicom root\n";
    }
}

int GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(PortUsage, EachWayOfHoldingAPortIsSeenWithItsHolder) {
    const struct {
        const char* name;
        Lock lock;
        LockFile file;
        PortReason reason;  // None: available
        const char* text;   // as the table and the JSON say it
        bool holdersUnknown = false;
    } kCases[] = {
        {"plain open", Lock::None, LockFile::None, PortReason::Held, "held"},
        {"flock", Lock::Flock, LockFile::None, PortReason::Locked, "locked"},
        {"shared flock", Lock::FlockShared, LockFile::None, PortReason::Locked, "locked"},
        {"OFD lock", Lock::OpenFile, LockFile::None, PortReason::Locked, "locked"},
        {"POSIX lock", Lock::Posix, LockFile::None, PortReason::Locked, "locked"},
        {"TIOCEXCL", Lock::Exclusive, LockFile::None, PortReason::Held, "held"},
        {"fork after flock", Lock::FlockThenFork, LockFile::None, PortReason::Locked, "locked"},
        {"lock file", Lock::NotOpen, LockFile::Ascii, PortReason::LockFile, "lock file"},
        {"binary lock file", Lock::NotOpen, LockFile::Binary, PortReason::LockFile, "lock file"},
        {"stale lock file", Lock::NotOpen, LockFile::StaleAscii, PortReason::None,
         "stale lock file"},
        {"stale binary", Lock::NotOpen, LockFile::StaleBinary, PortReason::None, "stale lock file"},
        {"held, stale lock file", Lock::None, LockFile::StaleAscii, PortReason::Held, "held"},
        {"FIFO as lock file", Lock::NotOpen, LockFile::Fifo, PortReason::LockFile, "lock file",
         true},
        {"link as lock file", Lock::NotOpen, LockFile::Link, PortReason::LockFile, "lock file",
         true}};
    const TempDir temp;
    const fs::path lockDir = temp.Path();
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const Terminal terminal(0600);
        const Holder holder(terminal.Path(), "port-user", c.lock);
        ASSERT_TRUE(holder.Holds());
        const bool free = c.reason == PortReason::None;
        if (c.file != LockFile::None) {
            const bool stale = c.file == LockFile::StaleAscii || c.file == LockFile::StaleBinary;
            WriteLockFile(lockDir, terminal.Path(), c.file,
                          stale ? GonePid() : static_cast<int>(holder.Pid()));
        }
        const PortUsage usage =
            Scan({terminal.Path()}, PortUsagePlaces{"/proc", {"/nonexistent", lockDir}}).at(0);
        EXPECT_EQ(usage.status, free ? PortStatus::Available : PortStatus::Busy);
        EXPECT_EQ(usage.reason, c.reason);
        EXPECT_EQ(UsageText(usage), c.text);
        EXPECT_TRUE(usage.holdersComplete);
        EXPECT_EQ(usage.holdersUnknown, c.holdersUnknown);
        const std::string named = "port-user (PID " + std::to_string(holder.Pid()) + ")";
        EXPECT_EQ(DescribePortHolders(usage.holders), free || c.holdersUnknown
                                                          ? std::vector<std::string>()
                                                          : std::vector<std::string>{named});
        for (const fs::directory_entry& entry : fs::directory_iterator(lockDir)) {
            fs::remove(entry.path());
        }
    }
}

TEST(PortUsage, ScanOpensNoPortNode) {
    const Terminal terminal(0600);
    const Holder holder(terminal.Path(), "port-user", Lock::Flock);
    const UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_GE(::inotify_add_watch(watch.Get(), terminal.Path().c_str(), IN_OPEN), 0);
    char events[4096];
    EXPECT_EQ(Scan({terminal.Path()}).at(0).status, PortStatus::Busy);
    EXPECT_LT(::read(watch.Get(), events, sizeof events), 0) << "the scan opened the node";
    ProbePort(terminal.Path().c_str());
    EXPECT_GT(::read(watch.Get(), events, sizeof events), 0) << "the watch sees an open";
}

TEST(PortUsage, ANodeThisUserMayNotReadAndWriteIsBusyForLackOfPermission) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to look as another user";
    // The fourth readable, not writable; the last open to all, but a lock file claims it that
    // only root may read.
    const mode_t modes[] = {0666, 0600, 0660, 0644, 0666};
    std::vector<Terminal> terminals;
    PortRows rows;
    for (const mode_t mode : modes) {
        terminals.emplace_back(mode);
        rows.push_back(terminals.back().Row());
        ASSERT_EQ(::chown(rows.back().port.c_str(), 0, 5), 0);  // group tty
    }
    const TempDir temp;
    const fs::path lockDir = temp.Path();
    WriteLockFile(lockDir, rows.back().port, LockFile::Ascii, ::getpid());
    fs::permissions(lockDir, fs::perms::owner_all | fs::perms::others_exec);
    for (const fs::directory_entry& entry : fs::directory_iterator(lockDir)) {
        fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write);
    }
    // The rows as the table shows them.
    EXPECT_EQ(AsNobody([&] {
                  UsageStage(PortUsagePlaces{"/proc", {lockDir}})(rows);
                  std::string lines;
                  for (const PortRow& row : rows) {
                      const char* key = ReasonKey(row.reason);
                      lines += std::string(StatusText(row.status)) + " " +
                               (row.reasonText.empty() && key ? key : row.reasonText) +
                               (row.holdersFailed ? " (could not be looked up)" : "") + "\n";
                  }
                  return lines;
              }),
              "available \nbusy no permission\nbusy no permission: join group tty\n"
              "busy no permission\nbusy lock file (could not be looked up)\n");
}

TEST(PortUsage, GoneNodeUnreadableNameAndLateScan) {
    const Terminal terminal(0600);
    // A process whose name cannot be read: only its pid is known.
    const TempDir temp;
    const fs::path proc = temp.Path();
    fs::create_directories(proc / "4242/fd");
    fs::create_symlink(terminal.Path(), proc / "4242/fd/5");
    const std::vector<PortUsage> usage =
        Scan({terminal.Path(), "/dev/portlook-no-such-port"}, PortUsagePlaces{proc, {}});
    EXPECT_EQ(usage[0].reason, PortReason::Held);
    ASSERT_EQ(usage[0].holders.size(), 1u);
    EXPECT_EQ(usage[0].holders[0].pid, 4242u);
    EXPECT_TRUE(usage[0].holders[0].visible && !usage[0].holders[0].nameKnown);
    EXPECT_EQ(usage[1].status, PortStatus::NotFound);
    EXPECT_EQ(usage[1].reason, PortReason::NotPresent);
    // Past its deadline the scan looks at no process: a port nobody is seen using is unknown.
    const PortUsage late =
        ScanPortUsage({terminal.Path()}, PortUsagePlaces(), Clock::now()).ports.at(0);
    EXPECT_EQ(late.status, PortStatus::Unknown);
    EXPECT_EQ(late.reason, PortReason::NoAnswer);
    EXPECT_FALSE(late.holdersComplete);
    // A scan that never ends (its list of locks a FIFO nobody writes) cannot tell a port that is
    // there, but a port whose node is gone is still not found.
    ASSERT_EQ(::mkfifo((proc / "locks").c_str(), 0600), 0);
    PortRows rows = {terminal.Row(), terminal.Row()};
    rows[1].port = "/dev/portlook-no-such-port";
    rows[1].status = PortStatus::NotFound;
    rows[1].reason = PortReason::NotPresent;
    UsageStage(PortUsagePlaces{proc, {}})(rows);
    // Lets the stuck scan end.
    const UniqueFd writer(::open((proc / "locks").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    EXPECT_TRUE(writer.IsValid());
    EXPECT_EQ(rows[0].status, PortStatus::Unknown);
    EXPECT_EQ(rows[0].reason, PortReason::NoAnswer);
    EXPECT_EQ(rows[1].status, PortStatus::NotFound);
    EXPECT_EQ(rows[1].reason, PortReason::NotPresent);
}

// A scan cut short by its deadline names only a live locker, which needs no process's files;
// a port nobody was seen using could be held by a process the scan did not come to.
TEST(PortUsage, AScanCutShortNamesOnlyLiveLockersAndOtherwiseCannotTell) {
    const struct {
        const char* name;
        Lock lock;
        PortStatus status;
        PortReason reason;
        bool named;  // else nobody is named, and holders are unknown when busy
    } kCases[] = {{"flock", Lock::Flock, PortStatus::Busy, PortReason::Locked, true},
                  {"POSIX lock", Lock::Posix, PortStatus::Busy, PortReason::Locked, true},
                  {"OFD lock", Lock::OpenFile, PortStatus::Busy, PortReason::Locked, false},
                  {"plain open", Lock::None, PortStatus::Unknown, PortReason::NoAnswer, false}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const Terminal terminal(0600);
        const Holder holder(terminal.Path(), "port-user", c.lock);
        ASSERT_TRUE(holder.Holds());
        const PortUsage usage =
            ScanPortUsage({terminal.Path()}, PortUsagePlaces{"/proc", {}}, Clock::now())
                .ports.at(0);
        EXPECT_EQ(usage.status, c.status);
        EXPECT_EQ(usage.reason, c.reason);
        EXPECT_FALSE(usage.holdersComplete);
        const std::string named = "port-user (PID " + std::to_string(holder.Pid()) + ")";
        EXPECT_EQ(DescribePortHolders(usage.holders),
                  c.named ? std::vector<std::string>{named} : std::vector<std::string>());
        EXPECT_EQ(usage.holdersUnknown, c.status == PortStatus::Busy && !c.named);
    }
}

}  // namespace
