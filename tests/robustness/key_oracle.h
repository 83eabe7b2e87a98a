// What the port list must show for a SERIALCOMM key, worked out apart from the product: the
// key is read with buffers large enough for anything and the rules are applied to that.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "colorlist/color_list_ctrl.h"
#include "ports/engine/survey_engine.h"

struct KeyValue {
    std::string name;
    DWORD type;
    std::string data;  // every byte, as RegEnumValueA gives them
};

using Rows = std::vector<std::vector<std::string>>;
using StatusOf = std::function<std::string(const std::string& port)>;

// Every value of the key, in its enumeration order.
std::vector<KeyValue> ReadValues(HKEY key);

// The values in order up to the first whose name has 260 characters or more or whose data
// has more than 260 bytes; each gives its name, its data up to the first zero byte and the
// status of that port.
Rows ExpectedRows(const std::vector<KeyValue>& values, const StatusOf& statusOf);

// The status text an exclusive open of "\\.\port" earns right now.
std::string OpenStatus(const std::string& port);

// Device, port and status of every row of a list.
Rows ListRows(const CColorListCtrl& list);

// The first difference between two row lists, for failure messages; empty when equal.
std::string FirstDifference(const Rows& actual, const Rows& expected);

// One survey of `engine` once every port but `hanging` (unless null) has answered: answers that
// come after the survey's patience are waited for too. Nothing when the survey cannot start or its
// answers do not come within `wait`.
struct FinishedSurvey {
    PortRows rows;
    unsigned survey = 0;  // as SurveyEngine::News counts it
};
std::optional<FinishedSurvey> SurveyToTheEnd(SurveyEngine& engine, const char* hanging, DWORD wait);
