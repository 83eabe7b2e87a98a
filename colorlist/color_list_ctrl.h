// A report list whose rows each keep a text and a background colour. The platform's item
// data of every row is taken as the row's key into the colour table; the caller's own item
// data lives in the table, behind the translating item-data operations below.
#pragma once

#include <unordered_map>

#include "framework/list_ctrl.h"

struct ItemColor {
    COLORREF text;
    COLORREF background;
    DWORD_PTR data;  // the caller's item data
};

class CColorListCtrl : public CListCtrl {
    DECLARE_DYNAMIC(CColorListCtrl)

public:
    // These hide the base class's operations of the same names on purpose: reached through
    // CListCtrl, item data is the key.
    int InsertItem(int index, LPCSTR text);
    BOOL DeleteItem(int index);
    DWORD_PTR GetItemData(int index) const;
    BOOL SetItemData(int index, DWORD_PTR data);
    BOOL GetItem(LVITEMA* item) const;
    BOOL SetItem(const LVITEMA* item);

    size_t ColorEntryCount() const { return m_colors.size(); }

protected:
    void OnCustomDraw(NMHDR* notify, LRESULT* result);
    DECLARE_MESSAGE_MAP()

private:
    // The row's key (its platform item data); false when the row does not exist.
    bool FindKey(int index, DWORD* key) const;

    std::unordered_map<DWORD, ItemColor> m_colors;
    int m_nNextKey = -1;
};
