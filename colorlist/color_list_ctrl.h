// A report list whose rows each keep a text and a background colour. The platform's item
// data of every row is taken as the row's key into the colour table; the caller's own item
// data lives in the table, behind the translating item-data operations below.
#pragma once

#include "colorlist/color_table.h"
#include "framework/list_ctrl.h"

class CColorListCtrl : public CListCtrl {
    DECLARE_DYNAMIC(CColorListCtrl)

public:
    // These hide the base class's operations of the same names on purpose: reached through
    // CListCtrl, item data is the key.
    int InsertItem(int index, LPCSTR text);
    bool DeleteItem(int index);
    DWORD_PTR GetItemData(int index) const;
    bool SetItemData(int index, DWORD_PTR data);
    bool GetItem(LVITEMA* item) const;
    bool SetItem(const LVITEMA* item);

    size_t ColorEntryCount() const { return m_colors.Size(); }

    // Sorts the rows by a column's texts. The sort state lives only in the two low bits of
    // each header item's application value (1 ascending, 2 descending); the other bits are
    // the caller's and are carried along.
    bool SortColumn(int column);
    // Every column to its contents; the last one takes the width that is left.
    bool AutoSizeColumns();
    // The width worked out (a last column left with none gets width 0 but reports the zero or
    // negative rest), or -1 for a column that does not exist or a list without width.
    int AutoSizeColumn(int column);

protected:
    struct SortContext {
        CColorListCtrl* list;
        int column;
        bool ascending;
    };
    // The list hands over the rows' platform item data, that is, their keys.
    static int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM context);

    void OnCustomDraw(NMHDR* notify, LRESULT* result);
    void OnHeaderItemClick(NMHDR* notify, LRESULT* result);
    DECLARE_MESSAGE_MAP()

private:
    // The row's key (its platform item data); false when the row does not exist.
    bool FindKey(int index, ColorTable::Key* key) const;

    ColorTable m_colors;
};
