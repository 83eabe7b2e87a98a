// The port list as the view of a survey: row k shows port k of the survey, its device name,
// port name and status; rows beyond the last port go.
#pragma once

#include <vector>

#include "colorlist/color_list_ctrl.h"
#include "ports/engine/port_survey.h"

enum PortListColumn {
    kDeviceColumn = 0,
    kPortColumn = 1,
    kStatusColumn = 2,
    kDescriptionColumn = 3
};

// Writes only what a list matched by position needs: an unchanged list gets no row inserted or
// deleted and no device cell written.
void ShowPortRows(CColorListCtrl& list, const PortRows& rows);

// The same where only some statuses are known yet: a row whose status is not keeps what it
// shows while it shows the same port, and shows none when its port is new to it.
void ShowPortRows(CColorListCtrl& list, const PortRows& rows, const std::vector<bool>& known);

// Surveys the system's ports and shows them. When the port list cannot be read, the rows stay
// as they are.
void UpdatePortList(CColorListCtrl& list);
