// A list view without a window: it answers the list-view and header messages the program
// relies on with the platform's results, and can paint, which here means sending the
// custom-draw notifications a real list sends and noting the colours each cell ends up with.
#pragma once

#include <string>
#include <vector>

#include "framework/platform.h"

class CWnd;

class ListModel {
public:
    // Width of one character in the model's font, so string widths are easy to predict.
    static constexpr int kCharWidth = 6;

    struct CellColors {
        COLORREF text;
        COLORREF background;
        bool custom;  // the control supplied the colours
    };
    struct DrawCall {
        DWORD stage;
        int item;
        int subItem;
        LRESULT result;
    };
    struct Counts {
        int inserts = 0;
        int deletes = 0;
        int paramWrites = 0;
        int redrawOffs = 0;
        int changesWhileDrawing = 0;  // rows inserted or deleted while the list was drawing
        std::vector<int> textWrites;  // per column
        int TextWrites(int column) const {
            return column < static_cast<int>(textWrites.size()) ? textWrites[column] : 0;
        }
    };

    explicit ListModel(DWORD style = LVS_REPORT | LVS_SINGLESEL) : m_style(style) {}

    // The control that receives the model's notifications.
    void Connect(CWnd* control) { m_pControl = control; }

    // One list-view or header message.
    LRESULT Answer(UINT message, WPARAM wParam, LPARAM lParam);

    DWORD Style() const { return m_style; }
    void SetStyle(DWORD style) { m_style = style; }
    RECT ClientRect() const { return m_client; }
    void SetClientSize(LONG width, LONG height) { m_client = RECT{0, 0, width, height}; }
    DWORD IconSpacing() const { return m_iconSpacing; }
    bool IsRedrawing() const { return m_bRedraw; }

    // A paint pass: custom-draw notifications in the platform's order of stages. Returns the
    // colours of every cell, row by row; the log of the calls is kept in DrawLog().
    std::vector<std::vector<CellColors>> Paint();
    const std::vector<DrawCall>& DrawLog() const { return m_drawLog; }
    void SetListColors(COLORREF text, COLORREF background) {
        m_textColor = text;
        m_backColor = background;
    }

    // The header reports a click on a column to the list. When the list's own map leaves the
    // click, the list tells its parent, as a list view does with LVN_COLUMNCLICK.
    void ClickHeader(int column, UINT code = HDN_ITEMCLICKA);
    int ColumnClicksToParent() const { return m_columnClicksToParent; }

    const Counts& GetCounts() const { return m_counts; }
    void ResetCounts() { m_counts = Counts{}; }

private:
    struct Row {
        std::vector<std::string> cells;
        LPARAM data = 0;
        const std::string& Cell(int column) const;
        std::string& Cell(int column);
    };
    struct Column {
        std::string heading;
        int format = LVCFMT_LEFT;
        int width = 0;
        LPARAM value = 0;
    };

    bool IsRow(int item) const { return item >= 0 && item < static_cast<int>(m_rows.size()); }
    bool IsColumn(int column) const {
        return column >= 0 && column < static_cast<int>(m_columns.size());
    }
    // Subitem 0 exists even before any column does.
    bool IsCell(int item, int subItem) const {
        return IsRow(item) && (subItem == 0 || IsColumn(subItem));
    }
    LRESULT InsertItem(const LVITEMA& record);
    BOOL SetItem(const LVITEMA& record);
    BOOL GetItem(LVITEMA& record) const;
    BOOL DeleteItem(int item);
    int FindItem(int start, const LVFINDINFOA& find) const;
    BOOL SortItems(PFNLVCOMPARE compare, LPARAM data);
    LRESULT InsertColumn(int column, const LVCOLUMNA& record);
    BOOL GetHeaderItem(int index, HDITEMA& item) const;
    BOOL SetHeaderItem(int index, const HDITEMA& item);
    LRESULT Notify(NMLVCUSTOMDRAW& draw);
    static int CopyText(const std::string& text, LPSTR buffer, int capacity);

    CWnd* m_pControl = nullptr;
    DWORD m_style;
    DWORD m_exStyle = 0;
    DWORD m_iconSpacing = 0;
    bool m_bRedraw = true;
    RECT m_client{0, 0, 400, 200};
    COLORREF m_textColor = GetSysColor(COLOR_WINDOWTEXT);
    COLORREF m_backColor = GetSysColor(COLOR_WINDOW);
    std::vector<Row> m_rows;
    std::vector<Column> m_columns;
    std::vector<DrawCall> m_drawLog;
    int m_columnClicksToParent = 0;
    Counts m_counts;
};
