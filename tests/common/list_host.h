// A colour list under test, answered either by the list model or by a real list view window.
// The same tests run against both, which keeps the model honest.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "colorlist/color_list_ctrl.h"

class ListModel;

enum class ListHostKind { Model, Window };

class ListHost {
public:
    virtual ~ListHost() = default;
    virtual CColorListCtrl& List() = 0;
    // The header reports a click on a column to the list, as a real click makes it do.
    virtual void ClickHeader(int column, UINT code) = 0;
    // Column-click notifications that reached the list's parent.
    virtual int ColumnClicksToParent() const = 0;
    // Resizes the list's client area.
    virtual void SetClientSize(int width, int height) = 0;
    // The model behind the list, or null for a real list view.
    virtual ListModel* Model() { return nullptr; }
};

std::unique_ptr<ListHost> MakeModelHost(DWORD style);
// The kinds of list this platform has; every shared list suite runs on each.
std::vector<ListHostKind> ListHostKinds();
std::unique_ptr<ListHost> MakeListHost(ListHostKind kind, DWORD style = LVS_REPORT | LVS_SINGLESEL);

inline std::string ListHostName(const ::testing::TestParamInfo<ListHostKind>& info) {
    return info.param == ListHostKind::Model ? "Model" : "Window";
}
