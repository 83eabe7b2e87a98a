// Who holds a port, under Wine: helper programs hold ports of this run, and the lookup finds
// them through the system's snapshot of handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ports/win32/port_holder_finder.h"
#include "ports/engine/port_probe.h"
#include "ports/win32/handle_name_query.h"
#include "tests/robustness/object_counts.h"
#include "tests/win32/stuck_name_query.h"
#include "tests/win32/port_holder_process.h"
#include "tests/win32/program_process.h"
#include "tests/support/serial_comm_key.h"

namespace {

class PortHoldersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GE(m_ports.size(), 3u) << "run through scripts/wine-run"; }

    static PortRow Row(const std::string& port) {
        return PortRow{"\\Device\\Serial" + port.substr(3), port, PortStatus::Busy};
    }
    // Each row's holders, by a finder that must have seen the system's handles.
    static std::vector<PortHolders> Find(const PortRows& rows) {
        PortHolderFinder finder;
        const std::vector<std::optional<PortHolders>> found = finder.Find(rows);
        EXPECT_FALSE(finder.LastFindFailed());
        EXPECT_EQ(found.size(), rows.size());
        std::vector<PortHolders> holders;
        for (const std::optional<PortHolders>& held : found) {
            EXPECT_TRUE(held.has_value()) << "looked up";
            holders.push_back(held.value_or(PortHolders()));
        }
        holders.resize(rows.size());
        return holders;
    }

    const std::vector<std::string> m_ports = AvailablePorts();
};

void ExpectHolder(const PortHolder& holder, DWORD id) {
    EXPECT_EQ(holder.pid, id);
    EXPECT_EQ(holder.name, PortHolderProcess::kProgramName);
    EXPECT_TRUE(holder.visible);
}

TEST_F(PortHoldersTest, ProgramsHoldingAPortAreNamedWithTheirProcessIds) {
    const PortHolderProcess holder(m_ports[0]);
    // Wine lets a second program open a held port.
    const PortHolderProcess first(m_ports[1]);
    const PortHolderProcess second(m_ports[1]);
    ASSERT_TRUE(holder.Holds() && first.Holds() && second.Holds());
    const PortMadeBusy busy(m_ports[0]);
    ASSERT_TRUE(busy.Done());
    ASSERT_EQ(ProbePort(m_ports[0].c_str()), PortStatus::Busy);

    const std::vector<PortHolders> holders =
        Find({Row(m_ports[0]), Row(m_ports[1]), Row(m_ports[2])});
    ASSERT_EQ(holders[0].size(), 1u);
    ExpectHolder(holders[0][0], holder.Id());
    ASSERT_EQ(holders[1].size(), 2u);
    const bool firstFirst = holders[1][0].pid == first.Id();
    ExpectHolder(holders[1][firstFirst ? 0 : 1], first.Id());
    ExpectHolder(holders[1][firstFirst ? 1 : 0], second.Id());
    EXPECT_TRUE(holders[2].empty()) << "nobody holds " << m_ports[2];
}

TEST_F(PortHoldersTest, AHolderThatCannotBeOpenedIsNotVisibleAndOnlyWhereNoneIsInSight) {
    const PortHolderProcess hidden(m_ports[2], true);
    const PortHolderProcess seen(m_ports[0]);
    ASSERT_TRUE(hidden.Holds() && seen.Holds());
    ASSERT_EQ(::OpenProcess(PROCESS_DUP_HANDLE, FALSE, hidden.Id()), nullptr);
    ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    const std::vector<PortHolders> holders = Find({Row(m_ports[2]), Row(m_ports[0])});
    ASSERT_EQ(holders[0].size(), 1u);
    EXPECT_EQ(holders[0][0].pid, hidden.Id());
    EXPECT_EQ(holders[0][0].name, "");
    EXPECT_FALSE(holders[0][0].visible);
    ASSERT_EQ(holders[1].size(), 1u) << "the holder in sight is the answer";
    ExpectHolder(holders[1][0], seen.Id());
}

// As on Windows, where a handle to a port carries the name of the device the port list gives.
// Wine names its handles to ports by their unix paths, but its own devices as Windows does.
TEST_F(PortHoldersTest, AHandleNamedAsTheDeviceIsTheDevicesHolder) {
    const PortHolderProcess holder("MountPointManager");
    ASSERT_TRUE(holder.Holds());
    PortRow row = Row("MountPointManager");
    row.device = "\\device\\MOUNTPOINTMANAGER";  // object names ignore case
    const PortHolders holders = Find({row})[0];
    const auto found = std::find_if(holders.begin(), holders.end(),
                                    [&](const PortHolder& h) { return h.pid == holder.Id(); });
    ASSERT_NE(found, holders.end());
    ExpectHolder(*found, holder.Id());
}

TEST_F(PortHoldersTest, ABusyPortThatNobodyHoldsHasNoHolders) {
    const std::string denied = EnvironmentValue("PORTLOOK_PORT_DENIED");
    ASSERT_EQ(ProbePort(denied.c_str()), PortStatus::Busy);
    EXPECT_TRUE(Find({Row(denied)})[0].empty());
}

struct OwnHandles {
    size_t all = 0;
    size_t ports = 0;
};

// Wine counts no handles: each small value is asked for its name instead.
OwnHandles CountOwnHandles() {
    OwnHandles count;
    std::vector<ULONG_PTR> buffer(512);
    for (ULONG_PTR value = 4; value < (1u << 12); value += 4) {
        ULONG needed = 0;
        const LONG status =
            SystemNameQuery(reinterpret_cast<HANDLE>(value), 1, buffer.data(),
                            static_cast<ULONG>(buffer.size() * sizeof buffer[0]), &needed);
        if (status == static_cast<LONG>(0xC0000008)) continue;  // STATUS_INVALID_HANDLE
        ++count.all;
        if (NamesAPort(status, buffer.data())) ++count.ports;
    }
    return count;
}

// A lookup that passes over a handle whose name query still hangs cannot say nobody holds it.
TEST_F(PortHoldersTest, AHolderWhoseQueryStillHangsIsNotTakenForNobody) {
    const PortHolderProcess holder(m_ports[0]);
    ASSERT_TRUE(holder.Holds());
    const PortRows rows = {Row(m_ports[0])};
    PortHolderFinder finder;
    StickNameQueriesOfPorts();
    EXPECT_FALSE(finder.Find(rows).at(0).has_value()) << "its query hangs";
    EXPECT_FALSE(finder.Find(rows).at(0).has_value()) << "not []: the holder was not asked";
    ReleaseStuckNameQueries();
}

TEST_F(PortHoldersTest, NameQueriesThatHangCostBoundedThreadsAndHandlesAndHideNoHolderAfter) {
    // One holder more than the queries that may be left hanging.
    std::vector<std::unique_ptr<PortHolderProcess>> holders;
    PortRows rows;
    for (size_t port = 0; port <= kMostNameQueriesOut; ++port) {
        holders.push_back(std::make_unique<PortHolderProcess>(m_ports[port]));
        ASSERT_TRUE(holders.back()->Holds());
        rows.push_back(Row(m_ports[port]));
    }
    PortHolderFinder finder;
    const int threads = CountThreads();
    StickNameQueriesOfPorts();
    OwnHandles atMost;
    for (unsigned lookup = 0; lookup < 2 * kMostNameQueriesOut; ++lookup) {
        finder.Find(rows);
        if (lookup + 1 == kMostNameQueriesOut) atMost = CountOwnHandles();
    }
    EXPECT_LE(CountThreads(), threads + static_cast<int>(kMostNameQueriesOut));
    const OwnHandles after = CountOwnHandles();
    EXPECT_EQ(after.all, atMost.all);
    EXPECT_EQ(after.ports, 0u) << "a duplicate kept would keep its port open";
    ReleaseStuckNameQueries();
    // The same processes and handles that hung answer now.
    std::vector<std::optional<PortHolders>> found;
    ASSERT_TRUE(WaitUntil(
        [&] {
            found = finder.Find(rows);
            return std::all_of(found.begin(), found.end(), [](const auto& held) {
                return held.has_value() && held->size() == 1;
            });
        },
        5000));
    for (size_t port = 0; port < holders.size(); ++port) {
        ExpectHolder((*found[port])[0], holders[port]->Id());
    }
}

}  // namespace
