// The survey as data: the rows a port source yields, read under the registry's rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ports/engine/port_probe.h"
#include "ports/engine/port_survey.h"
#include "ports/engine/port_value_list.h"
#include "tests/common/test_ports.h"

namespace {

class ScriptedSource : public PortValueList {
public:
    using PortValueList::SetOpen;
};

// Fills every byte of the buffers it is given, then reports the lengths it was told to, true
// or not, the way a broken or hostile source could.
class LyingSource : public PortSource {
public:
    LyingSource(std::uint32_t nameLength, std::uint32_t dataLength)
        : m_nameLength(nameLength), m_dataLength(dataLength) {}
    bool IsOpen() const override { return true; }
    bool ReadValue(std::uint32_t index, char* name, std::uint32_t* nameLength, unsigned char* data,
                   std::uint32_t* dataLength) override {
        if (index >= 2) return false;
        capacities.push_back({*nameLength, *dataLength});
        std::memset(name, 'n', *nameLength);
        std::memset(data, 'd', *dataLength);
        *nameLength = m_nameLength;
        *dataLength = m_dataLength;
        return true;
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> capacities;

private:
    std::uint32_t m_nameLength;
    std::uint32_t m_dataLength;
};

using Row = std::vector<std::string>;

std::vector<Row> Texts(const std::optional<PortRows>& rows) {
    std::vector<Row> texts;
    for (const PortRow& row : rows.value()) {
        texts.push_back({row.device, row.port, StatusText(row.status)});
    }
    return texts;
}

// Registry string data: the text and its terminator.
std::string Text(const std::string& text) { return text + '\0'; }

TEST(SurveyPorts, OneRowPerValueInTheSourcesOrderWithItsProbeStatus) {
    ScriptedSource source;
    source.Add("\\Device\\Serial0", Text(kMissingPort));
    source.Add("\\Device\\Serial1", Text(kAvailablePort));
    source.Add("\\Device\\Serial1", Text(kMissingPort));
    EXPECT_EQ(Texts(SurveyPorts(source, ProbePort)),
              (std::vector<Row>{{"\\Device\\Serial0", kMissingPort, "not found"},
                                {"\\Device\\Serial1", kAvailablePort, "available"},
                                {"\\Device\\Serial1", kMissingPort, "not found"}}));
    // Reading alone probes nothing.
    EXPECT_EQ(Texts(ReadPortRows(source))[1],
              (Row{"\\Device\\Serial1", kAvailablePort, "unknown"}));

    source.Clear();
    ASSERT_TRUE(SurveyPorts(source, ProbePort).has_value()) << "an empty list is still a list";
    EXPECT_TRUE(SurveyPorts(source, ProbePort)->empty());
    source.Add("\\Device\\Serial0", Text(kAvailablePort));
    source.SetOpen(false);
    EXPECT_FALSE(SurveyPorts(source, ProbePort).has_value());
    EXPECT_FALSE(ReadPortRows(source).has_value());
}

TEST(ReadPortRows, NameOf259FitsAndNameOf260EndsTheList) {
    ScriptedSource source;
    source.Add("first", Text("COM1"));
    source.Add(std::string(259, 'n'), Text("COM2"));
    source.Add(std::string(260, 'm'), Text("COM3"));
    source.Add("never read", Text("COM4"));
    const std::optional<PortRows> rows = ReadPortRows(source);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ(rows->at(1).device, std::string(259, 'n'));
    EXPECT_EQ(rows->at(1).port, "COM2");
}

TEST(ReadPortRows, DataIsTextUpToItsFirstZeroAndLongerDataEndsTheList) {
    ScriptedSource source;
    source.Add("full", std::string(260, 'D'));                 // fills the buffer, no terminator
    source.Add("short", "AB");                                 // no terminator either
    source.Add("zero", std::string("COM1\0junk", 9));          // text stops at the zero
    source.Add("binary", std::string("\x05\x00\x00\x00", 4));  // a number, as a REG_DWORD
    source.Add("empty", "");
    source.Add("too long", std::string(261, 'D'));
    source.Add("never read", Text("COM2"));
    const std::optional<PortRows> rows = ReadPortRows(source);
    std::vector<std::string> ports;
    for (const PortRow& row : rows.value()) ports.push_back(row.port);
    EXPECT_EQ(ports, (std::vector<std::string>{std::string(260, 'D'), "AB", "COM1", "\x05", ""}));
}

TEST(ReadPortRows, LengthsASourceReportsNeverReachPastTheBuffers) {
    // Beyond the buffers: names are cut to 259 characters, data to the 260 bytes it can hold.
    for (const std::uint32_t beyond : {260u, 261u, 100000u, 0xFFFFFFFFu}) {
        LyingSource source(beyond, beyond);
        const std::optional<PortRows> rows = ReadPortRows(source);
        ASSERT_EQ(rows->size(), 2u) << beyond;
        EXPECT_EQ(rows->at(1).device, std::string(259, 'n')) << beyond;
        EXPECT_EQ(rows->at(1).port, std::string(260, 'd')) << beyond;
        // Each read is offered the whole buffers again, whatever the last one reported.
        EXPECT_EQ(source.capacities[1], std::make_pair(260u, 260u));
    }
    // Short of what it wrote: the text ends at the reported length.
    LyingSource shorter(3, 2);
    EXPECT_EQ(Texts(ReadPortRows(shorter))[0], (Row{"nnn", "dd", "unknown"}));
}

}  // namespace
