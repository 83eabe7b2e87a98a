// The least work any refresh that keeps its list must do, done in this process: the registry
// walk with one exclusive open per value, alone and with the cell reads and writes on a list
// view of our own.
#pragma once

#include "base/platform.h"
#include "base/unique_handle.h"

struct SurveyCount {
    int values = 0;
    int available = 0;
    int notFound = 0;
    int other = 0;
};

// Registry walk and probes; with a list, also per value one read of column 0 (written only
// when it differs) and writes of columns 1 and 2.
SurveyCount RawSurvey(HWND list = nullptr);

// Milliseconds spent in each kind of call during one walk with a list.
struct SurveyPhases {
    double openKey = 0;  // RegOpenKeyExA and RegCloseKey
    double enumValue = 0;
    double createFile = 0;
    double closeHandle = 0;
    double getItem = 0;
    double setItems = 0;
    double total = 0;
};

// A copy of RawSurvey(list) with every call timed.
SurveyPhases TimedSurvey(HWND list);

// While it lives, the list's messages pass through a subclass procedure of comctl32's
// SetWindowSubclass that does nothing but hand them on, as a subclassed control's do.
class PassThroughSubclass {
public:
    explicit PassThroughSubclass(HWND window);
    ~PassThroughSubclass();
    PassThroughSubclass(const PassThroughSubclass&) = delete;
    PassThroughSubclass& operator=(const PassThroughSubclass&) = delete;

private:
    HWND m_window;
    bool m_installed;
};

// Microseconds one GetPropA takes on a window of this process (median of `calls`).
double GetPropMicroseconds(HWND window, int calls);

struct WindowTraits {
    using Handle = HWND;
    static HWND Invalid() { return nullptr; }
    static void Close(HWND window) { ::DestroyWindow(window); }
};

struct FontTraits {
    using Handle = HFONT;
    static HFONT Invalid() { return nullptr; }
    static void Close(HFONT font) { ::DeleteObject(font); }
};

// A visible report list like Portlook's: its size, styles, font and column widths, holding
// the rows a survey writes.
class BaselineList {
public:
    BaselineList(int x, int y, const SIZE& size, const int (&columnWidths)[3]);
    BaselineList(const BaselineList&) = delete;
    BaselineList& operator=(const BaselineList&) = delete;

    bool IsValid() const { return m_list != nullptr; }
    HWND List() const { return m_list; }
    // A static icon control beside the list, as Portlook's lamp is.
    HWND Lamp() const { return m_lamp; }
    int RowCount() const;
    // Milliseconds one whole repaint of the list takes (header and visible rows), plain or
    // with every cell coloured through custom draw.
    double PaintMs(bool colored) const;
    // Hidden, as a dialog's list is while its initialisation fills it.
    void Show(bool visible) const;
    // Paints what the last survey invalidated, so that painting never falls into a timing.
    void Settle() const;

private:
    UniqueHandle<FontTraits> m_font;  // outlives the window that uses it
    UniqueHandle<WindowTraits> m_window;
    HWND m_list = nullptr;
    HWND m_lamp = nullptr;
};
