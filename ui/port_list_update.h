// The port list as the view of a survey: row k shows port k of the survey in the columns of
// kPortColumns; rows beyond the last port go.
#pragma once

#include "colorlist/color_list_ctrl.h"
#include "ports/engine/port_survey.h"
#include "ports/model/port_columns.h"

// Writes only what a list matched by position needs: an unchanged list gets no row inserted or
// deleted and no device cell written. A pending row keeps the status its list row shows while
// that shows the same port, and shows none when its port is new to it.
void ShowPortRows(CColorListCtrl& list, const PortRows& rows);

// Surveys the system's ports and shows them. When the port list cannot be read, the rows stay
// as they are.
void UpdatePortList(CColorListCtrl& list);
