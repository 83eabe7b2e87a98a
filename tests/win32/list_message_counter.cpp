#include "tests/win32/list_message_counter.h"

ListMessageCounter::ListMessageCounter(HWND list) : m_hList(list) {
    ::SetWindowSubclass(list, Count, 1, reinterpret_cast<DWORD_PTR>(this));
}

ListMessageCounter::~ListMessageCounter() { ::RemoveWindowSubclass(m_hList, Count, 1); }

LRESULT CALLBACK ListMessageCounter::Count(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR self) {
    auto& counter = *reinterpret_cast<ListMessageCounter*>(self);
    Counts& counts = counter.m_counts;
    switch (message) {
        case LVM_INSERTITEMA:
        case LVM_DELETEITEM:
            ++(message == LVM_INSERTITEMA ? counts.inserts : counts.deletes);
            if (counter.m_bDrawing) ++counts.changesWhileDrawing;
            break;
        case LVM_SETITEMA: {
            const auto* item = reinterpret_cast<const LVITEMA*>(lParam);
            if (item->mask & LVIF_TEXT) ++counts.textWrites[item->iSubItem];
            break;
        }
        case WM_SETREDRAW:
            counter.m_bDrawing = wParam != FALSE;
            if (!counter.m_bDrawing) ++counts.redrawOffs;
            break;
        default:
            break;
    }
    return ::DefSubclassProc(hWnd, message, wParam, lParam);
}
