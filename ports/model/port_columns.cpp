#include "ports/model/port_columns.h"

const std::array<PortColumn, 4> kPortColumns = {{
    {"Device", "device", [](const PortRow& row) { return row.device; }},
    {"Port", "port", [](const PortRow& row) { return row.port; }},
    {"Status", "status", [](const PortRow& row) { return std::string(StatusText(row.status)); }},
    {"Description", "description", [](const PortRow& row) { return row.facts.description; }},
}};
