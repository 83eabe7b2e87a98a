// The port list refreshed from the real SERIALCOMM key of this run's Wine prefix, with ports
// that are pseudo-terminals behind dosdevices links (see scripts/wine-run).
#include <gtest/gtest.h>

#include <aclapi.h>

#include <string>
#include <vector>

#include "base/win32_handles.h"
#include "ui/port_list_update.h"
#include "ports/engine/port_probe.h"
#include "tests/win32/host_window.h"
#include "tests/support/serial_comm_key.h"

namespace {

std::string Env(const char* name) { return EnvironmentValue(name); }
std::string FirstAvailablePort() { return AvailablePorts().empty() ? "" : AvailablePorts()[0]; }

class PortSurveyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(FirstAvailablePort().empty()) << "run through scripts/wine-run";
        ASSERT_TRUE(m_key.IsOpen());
    }
    void SetText(const std::string& name, const std::string& port) {
        ASSERT_TRUE(m_key.SetText(name, port));
    }
    void SetRaw(const std::string& name, DWORD type, const std::string& bytes) {
        ASSERT_TRUE(m_key.SetRaw(name, type, bytes));
    }
    Rows ListRows() { return ::ListRows(m_host.List()); }

    SerialCommKey m_key;
    HostWindow m_host{LVS_REPORT | LVS_SINGLESEL, {"Device", "Port", "Status"}};
};

TEST_F(PortSurveyTest, ProbeTellsTheFourSituationsApart) {
    EXPECT_EQ(ProbePort(FirstAvailablePort().c_str()), PortStatus::Available);
    EXPECT_EQ(ProbePort(FirstAvailablePort().c_str()), PortStatus::Available);
    EXPECT_EQ(ProbePort(Env("PORTLOOK_PORT_MISSING").c_str()), PortStatus::NotFound);
    EXPECT_EQ(ProbePort(Env("PORTLOOK_PORT_DENIED").c_str()), PortStatus::Busy);
    EXPECT_EQ(ProbePort(Env("PORTLOOK_PORT_FAILING").c_str()), PortStatus::Unknown);
    EXPECT_EQ(ProbePort("COM250"), PortStatus::NotFound);  // no link at all
}

TEST_F(PortSurveyTest, RowsFollowTheKeysOrderWithTheirStatuses) {
    SetText("\\Device\\Serial2", FirstAvailablePort());
    SetText("\\Device\\Serial0", Env("PORTLOOK_PORT_MISSING"));
    SetText("\\Device\\VCP0", Env("PORTLOOK_PORT_DENIED"));
    SetText("\\Device\\serial1", Env("PORTLOOK_PORT_FAILING"));
    UpdatePortList(m_host.List());

    const std::vector<std::string> order = m_key.Names();
    const Rows rows = ListRows();
    ASSERT_EQ(rows.size(), 4u);
    for (size_t row = 0; row < rows.size(); ++row) EXPECT_EQ(rows[row][0], order[row]);
    const auto statusOf = [&](const std::string& device) {
        for (const auto& row : rows) {
            if (row[0] == device) return row[1] + "=" + row[2];
        }
        return std::string("(none)");
    };
    EXPECT_EQ(statusOf("\\Device\\Serial2"), FirstAvailablePort() + "=available");
    EXPECT_EQ(statusOf("\\Device\\Serial0"), Env("PORTLOOK_PORT_MISSING") + "=not found");
    EXPECT_EQ(statusOf("\\Device\\VCP0"), Env("PORTLOOK_PORT_DENIED") + "=busy");
    EXPECT_EQ(statusOf("\\Device\\serial1"), Env("PORTLOOK_PORT_FAILING") + "=unknown");
}

TEST_F(PortSurveyTest, RefreshFollowsValuesAddedAndRemoved) {
    SetText("\\Device\\Serial0", FirstAvailablePort());
    SetText("\\Device\\Serial1", Env("PORTLOOK_PORT_MISSING"));
    UpdatePortList(m_host.List());
    ASSERT_EQ(ListRows().size(), 2u);
    const DWORD_PTR firstKey = m_host.List().CListCtrl::GetItemData(0);

    ASSERT_TRUE(m_key.Remove("\\Device\\Serial0"));
    SetText("\\Device\\Serial5", Env("PORTLOOK_PORT_DENIED"));
    UpdatePortList(m_host.List());
    const Rows rows = ListRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"\\Device\\Serial1", Env("PORTLOOK_PORT_MISSING"),
                                                 "not found"}));
    EXPECT_EQ(rows[1],
              (std::vector<std::string>{"\\Device\\Serial5", Env("PORTLOOK_PORT_DENIED"), "busy"}));
    // Rows are rewritten where they stand: row 0 keeps its key.
    EXPECT_EQ(m_host.List().CListCtrl::GetItemData(0), firstKey);

    m_key.Clear();
    UpdatePortList(m_host.List());
    EXPECT_TRUE(ListRows().empty());
    EXPECT_EQ(m_host.List().ColorEntryCount(), 0u);
}

TEST_F(PortSurveyTest, LongNamesAndUnterminatedDataOfAnyType) {
    const std::string name259 = "y" + std::string(258, 'n');
    const std::string name260 = "z" + std::string(259, 'n');
    SetRaw("a-binary", REG_BINARY, std::string(260, 'C'));  // fills the buffer exactly
    SetRaw("b-multi", REG_MULTI_SZ, FirstAvailablePort() + '\0' + "COM99" + '\0' + '\0');
    SetRaw("c-dword", REG_DWORD, std::string("\x41\x42\x00\x00", 4));
    SetRaw("d-unterminated", REG_BINARY, FirstAvailablePort());  // no zero at all
    SetText(name259, Env("PORTLOOK_PORT_MISSING"));
    SetText(name260, FirstAvailablePort());
    UpdatePortList(m_host.List());

    const Rows rows = ListRows();
    ASSERT_EQ(m_key.Names().back(), name260);
    ASSERT_EQ(rows.size(), 5u) << "the 260-character name ends the list";
    EXPECT_EQ(rows[0][1], std::string(260, 'C'));
    EXPECT_EQ(rows[1][1] + "=" + rows[1][2], FirstAvailablePort() + "=available");
    EXPECT_EQ(rows[2][1], "AB");
    EXPECT_EQ(rows[3][1] + "=" + rows[3][2], FirstAvailablePort() + "=available");
    EXPECT_EQ(rows[4][0], name259);
}

TEST_F(PortSurveyTest, KeyThatCannotBeOpenedLeavesTheListAsItWas) {
    SetText("\\Device\\Serial0", FirstAvailablePort());
    UpdatePortList(m_host.List());
    const Rows before = ListRows();
    ASSERT_EQ(before.size(), 1u);
    m_key.Close();
    ASSERT_EQ(::RegDeleteKeyA(HKEY_LOCAL_MACHINE, SerialCommKey::kPath), ERROR_SUCCESS);
    UpdatePortList(m_host.List());
    EXPECT_EQ(ListRows(), before);
}

TEST_F(PortSurveyTest, KeyIsReadWithoutAskingForWriteAccess) {
    SetText("\\Device\\Serial0", FirstAvailablePort());
    // Everyone may read the key, nobody may write it, as for a standard user on Windows.
    EXPLICIT_ACCESS_A readOnly{};
    readOnly.grfAccessPermissions = KEY_READ;
    readOnly.grfAccessMode = SET_ACCESS;
    readOnly.grfInheritance = NO_INHERITANCE;
    readOnly.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    readOnly.Trustee.ptstrName = const_cast<char*>("EVERYONE");
    PACL acl = nullptr;
    ASSERT_EQ(::SetEntriesInAclA(1, &readOnly, nullptr, &acl), ERROR_SUCCESS);
    const DWORD applied =
        ::SetSecurityInfo(m_key.Get(), SE_REGISTRY_KEY,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, acl, nullptr);
    ::LocalFree(acl);
    ASSERT_EQ(applied, ERROR_SUCCESS);

    HKEY full = nullptr;
    EXPECT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialCommKey::kPath, 0, KEY_ALL_ACCESS, &full),
              ERROR_ACCESS_DENIED);
    UpdatePortList(m_host.List());
    const Rows rows = ListRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2], "available");
}

}  // namespace
