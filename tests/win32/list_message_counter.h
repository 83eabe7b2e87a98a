// Counts the writes a list view receives: rows inserted and deleted, cell texts written per
// column, and rows that came or went while the list was drawing.
#pragma once

#include <map>

#include "base/platform.h"

class ListMessageCounter {
public:
    struct Counts {
        int inserts = 0;
        int deletes = 0;
        int redrawOffs = 0;
        int changesWhileDrawing = 0;
        std::map<int, int> textWrites;  // per column
        int TextWrites(int column) const {
            const auto count = textWrites.find(column);
            return count == textWrites.end() ? 0 : count->second;
        }
    };

    explicit ListMessageCounter(HWND list);
    ~ListMessageCounter();
    ListMessageCounter(const ListMessageCounter&) = delete;
    ListMessageCounter& operator=(const ListMessageCounter&) = delete;

    const Counts& Get() const { return m_counts; }
    void Reset() { m_counts = Counts{}; }
    bool IsDrawing() const { return m_bDrawing; }

private:
    static LRESULT CALLBACK Count(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR self);
    HWND m_hList;
    Counts m_counts;
    bool m_bDrawing = true;
};
