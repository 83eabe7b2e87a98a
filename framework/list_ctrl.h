// The list view control: each operation one list-view or header message.
#pragma once

#include <string>

#include "framework/wnd.h"

class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)

public:
    bool Create(DWORD style, const RECT& rect, HWND parent, UINT id);

    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int InsertItem(int item, LPCSTR text);
    bool GetItem(LVITEMA* item) const {
        return SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(item)) != 0;
    }
    bool SetItem(const LVITEMA* item) {
        return SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(item)) != 0;
    }
    bool SetItemText(int item, int subItem, LPCSTR text);
    bool DeleteItem(int item) {
        return SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(item)) != 0;
    }
    // The platform's own item data of a row; 0 when the row does not exist.
    DWORD_PTR GetItemData(int item) const;
    bool SetItemData(int item, DWORD_PTR data);
    // The whole text of a cell, however long.
    std::string GetItemText(int item, int subItem) const;
    int FindItem(const LVFINDINFOA* find, int start = -1) const {
        return static_cast<int>(
            SendMessage(LVM_FINDITEMA, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(find)));
    }
    bool SortItems(PFNLVCOMPARE compare, DWORD_PTR data) {
        return SendMessage(LVM_SORTITEMS, data, reinterpret_cast<LPARAM>(compare)) != 0;
    }
    int GetStringWidth(LPCSTR text) const {
        return static_cast<int>(
            SendMessage(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
    }
    int InsertColumn(int column, LPCSTR heading, int format = LVCFMT_LEFT, int width = -1);
    int GetColumnWidth(int column) const {
        return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
    }
    bool SetColumnWidth(int column, int width) {
        return SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                           MAKELPARAM(static_cast<WORD>(width), 0)) != 0;
    }
    DWORD SetExtendedStyle(DWORD exStyle) {
        return static_cast<DWORD>(
            SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(exStyle)));
    }
    DWORD GetExtendedStyle() const {
        return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
    }
    // Off, the list stops drawing changes; back on, it draws itself anew once.
    void SetRedraw(bool redraw);
    void SetIconSpacing(int cx, int cy) {
        SendMessage(LVM_SETICONSPACING, 0,
                    MAKELPARAM(static_cast<WORD>(cx), static_cast<WORD>(cy)));
    }

    // The list's header control.
    HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)); }
    int GetHeaderItemCount() const {
        return static_cast<int>(::SendMessageA(GetHeaderCtrl(), HDM_GETITEMCOUNT, 0, 0));
    }
    bool GetHeaderItem(int index, HDITEMA* item) const {
        return ::SendMessageA(GetHeaderCtrl(), HDM_GETITEMA, static_cast<WPARAM>(index),
                              reinterpret_cast<LPARAM>(item)) != 0;
    }
    bool SetHeaderItem(int index, const HDITEMA* item) {
        return ::SendMessageA(GetHeaderCtrl(), HDM_SETITEMA, static_cast<WPARAM>(index),
                              reinterpret_cast<LPARAM>(item)) != 0;
    }
};
