// The port list as the view of a survey: row k shows port k of the survey, its device name,
// port name and status; rows beyond the last port go.
#pragma once

#include "colorlist/color_list_ctrl.h"
#include "ports/port_survey.h"

// Writes only what a list matched by position needs: an unchanged list gets no row inserted or
// deleted and no device cell written.
void ShowPortRows(CColorListCtrl& list, const PortRows& rows);

// Surveys the system's ports and shows them. When the port list cannot be read, the rows stay
// as they are.
void UpdatePortList(CColorListCtrl& list);
