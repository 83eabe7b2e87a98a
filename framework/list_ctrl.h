// The list view control, spoken to only through list-view and header messages. Those are
// answered by a real list view window or, where there is none, by a ListModel.
#pragma once

#include <string>

#include "framework/wnd.h"

class ListModel;

class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)

public:
    // From now on the model answers every list and header message, and the model's
    // notifications come to this control.
    void AttachModel(ListModel* model);

#ifdef _WIN32
    bool Create(DWORD style, const RECT& rect, HWND parent, UINT id);
#endif

    LRESULT SendListMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendHeaderMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    // Window facts the model answers too.
    DWORD GetStyle() const;
    void GetClientRect(RECT* rect) const;

    int GetItemCount() const { return static_cast<int>(SendListMessage(LVM_GETITEMCOUNT)); }
    int InsertItem(int item, LPCSTR text);
    BOOL GetItem(LVITEMA* item) const {
        return static_cast<BOOL>(SendListMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItem(const LVITEMA* item) {
        return static_cast<BOOL>(SendListMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL DeleteItem(int item) {
        return static_cast<BOOL>(SendListMessage(LVM_DELETEITEM, static_cast<WPARAM>(item)));
    }
    // The platform's own item data of a row; 0 when the row does not exist.
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItemData(int item, DWORD_PTR data);
    // The whole text of a cell, however long.
    std::string GetItemText(int item, int subItem) const;
    int FindItem(const LVFINDINFOA* find, int start = -1) const {
        return static_cast<int>(SendListMessage(LVM_FINDITEMA, static_cast<WPARAM>(start),
                                                reinterpret_cast<LPARAM>(find)));
    }
    BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data) {
        return static_cast<BOOL>(SendListMessage(LVM_SORTITEMS, static_cast<WPARAM>(data),
                                                 reinterpret_cast<LPARAM>(compare)));
    }
    int GetStringWidth(LPCSTR text) const {
        return static_cast<int>(
            SendListMessage(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
    }
    int InsertColumn(int column, LPCSTR heading, int format = LVCFMT_LEFT, int width = -1);
    int GetColumnWidth(int column) const {
        return static_cast<int>(SendListMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
    }
    BOOL SetColumnWidth(int column, int width) {
        return static_cast<BOOL>(SendListMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                                                 MAKELPARAM(static_cast<WORD>(width), 0)));
    }
    DWORD SetExtendedStyle(DWORD exStyle) {
        return static_cast<DWORD>(
            SendListMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(exStyle)));
    }
    // Off, the list stops drawing changes; back on, it draws itself anew once.
    void SetRedraw(BOOL redraw);
    DWORD GetExtendedStyle() const {
        return static_cast<DWORD>(SendListMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
    }
    void SetIconSpacing(int cx, int cy) {
        SendListMessage(LVM_SETICONSPACING, 0,
                        MAKELPARAM(static_cast<WORD>(cx), static_cast<WORD>(cy)));
    }

    // The list's header control.
    HWND GetHeaderCtrl() const { return reinterpret_cast<HWND>(SendListMessage(LVM_GETHEADER)); }
    int GetHeaderItemCount() const { return static_cast<int>(SendHeaderMessage(HDM_GETITEMCOUNT)); }
    BOOL GetHeaderItem(int index, HDITEMA* item) const {
        return static_cast<BOOL>(SendHeaderMessage(HDM_GETITEMA, static_cast<WPARAM>(index),
                                                   reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetHeaderItem(int index, const HDITEMA* item) {
        return static_cast<BOOL>(SendHeaderMessage(HDM_SETITEMA, static_cast<WPARAM>(index),
                                                   reinterpret_cast<LPARAM>(item)));
    }

private:
    ListModel* m_pModel = nullptr;
};
