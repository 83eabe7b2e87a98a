// A colour list with the port list's three columns, answered by the list model.
#pragma once

#include "colorlist/color_list_ctrl.h"
#include "framework/list_model.h"

class ModelPortList {
public:
    ModelPortList() {
        m_list.AttachModel(&m_model);
        m_list.InsertColumn(0, "Device");
        m_list.InsertColumn(1, "Port");
        m_list.InsertColumn(2, "Status");
    }
    CColorListCtrl& List() { return m_list; }
    ListModel& Model() { return m_model; }

private:
    ListModel m_model;  // declared first: outlives the control that talks to it
    CColorListCtrl m_list;
};
