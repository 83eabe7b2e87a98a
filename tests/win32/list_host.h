// A colour list under test on a real list view, hosted in a window of ours that reflects
// notifications back to the list. The shared list suites are parameterised on the kinds of
// list this platform has.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "colorlist/color_list_ctrl.h"

enum class ListHostKind { Window };

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
};

std::vector<ListHostKind> ListHostKinds();
std::unique_ptr<ListHost> MakeListHost(ListHostKind kind, DWORD style = LVS_REPORT | LVS_SINGLESEL);

inline std::string ListHostName(const ::testing::TestParamInfo<ListHostKind>&) { return "Window"; }
