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
#include "ports/linux/port_holder_finder.h"
#include "ports/linux/port_usage.h"
#include "ports/engine/port_probe.h"
#include "tests/native/holder_process.h"

namespace {

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
    const std::vector<std::optional<PortHolders>> found = finder.Find(rows);
    EXPECT_FALSE(finder.LastFindFailed());
    ASSERT_EQ(found.size(), 3u);
    ASSERT_TRUE(found[0] && found[1] && found[2]) << "every process was looked at";
    const std::vector<PortHolders> holders = {*found[0], *found[1], *found[2]};
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
    const std::vector<std::optional<PortHolders>> holders = finder.Find({terminal.Row()});
    EXPECT_TRUE(finder.LastFindFailed());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_FALSE(holders[0].has_value()) << "could not be looked up";
}

// The holders as a user without privileges finds them: by the lookup of a survey that opens
// the ports, or else by the usage stage of one that opens none. Holders that could not be
// looked up are one of pid 0. Nothing when the child failed.
std::optional<std::vector<PortHolders>> FindUnprivileged(const PortRows& rows, bool openNone) {
    const std::optional<std::string> text = AsNobody([&] {
        std::vector<std::optional<PortHolders>> found;
        PortRows surveyed = rows;
        if (openNone) UsageStage()(surveyed);
        for (const PortRow& row : surveyed) {
            found.push_back(row.holdersFailed ? std::nullopt : std::optional(row.holders));
        }
        if (!openNone) found = PortHolderFinder().Find(rows);
        std::string lines;
        for (size_t row = 0; row < found.size(); ++row) {
            for (const PortHolder& holder : found[row].value_or(PortHolders{{0, "", false}})) {
                lines += std::to_string(row) + ' ' + std::to_string(holder.pid) + ' ' +
                         (holder.visible ? "1 " : "0 ") + holder.name + '\n';
            }
        }
        return lines;
    });
    if (!text) return std::nullopt;
    std::vector<PortHolders> holders(rows.size());
    std::istringstream lines(*text);
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
    // Open to everyone, so that only a holder makes the first three busy for nobody.
    const Terminal locked(0666);
    const Terminal lockedByFile(0666);
    const Terminal held(0666);
    const Terminal closed(0600);
    const Holder locker(locked.Path(), "port-locker", Lock::Flock);
    const Holder fileLocker(lockedByFile.Path(), "port-locker", Lock::OpenFile);
    const Holder holder(held.Path(), "port-holder", Lock::None);
    const Holder closedHolder(closed.Path(), "port-holder", Lock::None);
    ASSERT_TRUE(locker.Holds() && fileLocker.Holds() && holder.Holds() && closedHolder.Holds());

    for (const bool openNone : {false, true}) {
        SCOPED_TRACE(openNone ? "--no-open" : "--open");
        const auto holders = FindUnprivileged(
            {locked.Row(), lockedByFile.Row(), held.Row(), closed.Row()}, openNone);
        ASSERT_TRUE(holders.has_value());
        // The lock names its holder, though its descriptors are hidden.
        ASSERT_EQ(holders->at(0).size(), 1u);
        EXPECT_EQ(holders->at(0)[0].pid, locker.Pid());
        EXPECT_EQ(holders->at(0)[0].name, "port-locker");
        EXPECT_TRUE(holders->at(0)[0].visible);
        // No holder in sight: the hidden processes are the candidates, the holder among them.
        // Without an open, nothing tells that a plain open by one of them holds the port.
        for (const auto& [row, pid] :
             {std::pair(1, fileLocker.Pid()), std::pair(2, holder.Pid())}) {
            const std::vector<unsigned long> hidden = Pids(holders->at(row));
            if (openNone && row == 2) {
                EXPECT_TRUE(hidden.empty());
                continue;
            }
            EXPECT_TRUE(std::binary_search(hidden.begin(), hidden.end(), pid)) << row;
            EXPECT_TRUE(std::binary_search(hidden.begin(), hidden.end(),
                                           static_cast<unsigned long>(::getpid())));
            for (const PortHolder& candidate : holders->at(row)) {
                EXPECT_FALSE(candidate.visible);
                EXPECT_EQ(candidate.name, "");
            }
        }
        // A port closed to this user is busy for that alone: nobody is guessed at.
        EXPECT_TRUE(holders->at(3).empty());
    }
}

}  // namespace
