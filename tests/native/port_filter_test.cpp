// --match on rows made by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/port_filter.h"

namespace {

PortRow Adapter() {
    PortRow row{"usb-FTDI_FT232R_A1B2C3-if00-port0", "/dev/ttyUSB0"};
    row.facts.description = "FT232R USB UART";
    row.facts.manufacturer = "FTDI";
    row.facts.vid = "0403";
    row.facts.pid = "6001";
    row.facts.serial = "A1B2C3";
    row.facts.bus = "usb";
    return row;
}

TEST(PortFilter, NamesAndIdsMatchWholeTextsByAPartAnyCase) {
    const struct {
        const char* match;
        bool holds;
    } cases[] = {{"port=/dev/ttyUSB0", true},
                 {"port=/DEV/TTYusb0", true},
                 {"port=ttyUSB0", true},  // the names --port takes
                 {"port=TTYUSB0", true},
                 {"port=USB0", false},
                 {"port=/dev/ttyUSB", false},
                 {"device=USB-ftdi_ft232r_a1b2c3-IF00-port0", true},
                 {"vid=0403", true},
                 {"VID=0x0403", true},
                 {"vid=0X403", true},
                 {"vid=0402", false},
                 {"pid=6001", true},
                 {"pid=600", false},
                 {"serial=a1b2c3", true},
                 {"serial=A1B2", false},
                 {"bus=USB", true},
                 {"bus=pci", false},
                 {"description=usb uart", true},
                 {"description=FT232R USB UART!", false},
                 {"manufacturer=ftd", true},
                 {"manufacturer=Prolific", false},
                 {"description=", true},
                 {"serial=", false}};
    const PortRow row = Adapter();
    PortRow unknown;
    unknown.port = "/dev/ttyS0";
    for (const auto& entry : cases) {
        std::string problem;
        const std::optional<PortMatch> match = ParsePortMatch(entry.match, &problem);
        ASSERT_TRUE(match) << entry.match << ": " << problem;
        EXPECT_EQ(MatchesAll(row, {*match}), entry.holds) << entry.match;
    }
    // A fact that is not known equals only the empty value.
    std::string problem;
    EXPECT_TRUE(MatchesAll(unknown, {*ParsePortMatch("serial=", &problem)}));
    EXPECT_FALSE(MatchesAll(unknown, {*ParsePortMatch("vid=0403", &problem)}));
}

TEST(PortFilter, EveryMatchMustHoldAndRowsKeepTheirOrder) {
    PortRows rows = {Adapter(), Adapter(), Adapter()};
    rows[1].port = "/dev/ttyUSB1";
    rows[1].facts.serial = "D4E5F6";
    rows[2].port = "/dev/ttyUSB2";
    std::string problem;
    PortMatches matches = {*ParsePortMatch("vid=0403", &problem),
                           *ParsePortMatch("serial=A1B2C3", &problem)};
    KeepMatching(rows, matches);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].port, "/dev/ttyUSB0");
    EXPECT_EQ(rows[1].port, "/dev/ttyUSB2");
    EXPECT_EQ(DescribeMatches(matches), "--match vid=0403 --match serial=A1B2C3");
    matches.push_back(*ParsePortMatch("port=/dev/ttyUSB0", &problem));
    KeepMatching(rows, matches);
    EXPECT_EQ(rows.size(), 1u);
}

TEST(PortFilter, UnknownFieldsAndIdsThatAreNoHexNumbersAreRefused) {
    for (const char* wrong : {"colour=red", "serial", "=A1B2", "vid=04031", "pid=0xg1", "vid="}) {
        std::string problem;
        EXPECT_FALSE(ParsePortMatch(wrong, &problem)) << wrong;
        EXPECT_NE(problem.find(wrong), std::string::npos) << problem;
    }
}

}  // namespace
