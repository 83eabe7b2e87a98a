// One port as the JSON object scripts read, shared by the list and by the watch's events.
#pragma once

#include <nlohmann/json.hpp>

#include "ports/engine/port_survey.h"

// Its keys in the documented order; a fact that is not known is null.
nlohmann::ordered_json PortObject(const PortRow& row);

// Bytes that are not UTF-8 become U+FFFD instead of an exception.
std::string JsonDump(const nlohmann::ordered_json& json, int indent = -1);
