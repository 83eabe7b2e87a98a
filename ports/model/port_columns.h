// The columns of the port rows, described once: the window's list, the console's table and the
// JSON objects show these, in this order, under these headings and keys.
#pragma once

#include <array>
#include <string>

#include "ports/model/port_row.h"

struct PortColumn {
    const char* heading;  // the window's and the table's
    const char* key;      // the JSON's
    std::string (*text)(const PortRow& row);
};

enum PortColumnIndex { kDeviceColumn = 0, kPortColumn, kStatusColumn, kDescriptionColumn };

extern const std::array<PortColumn, 4> kPortColumns;
