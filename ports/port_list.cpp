#include "ports/port_list.h"

#include <algorithm>
#include <cstring>

#include "framework/text_compare.h"
#include "ports/port_probe.h"

#ifdef _WIN32
#include "ports/registry_port_source.h"
using SystemPortSource = RegistryPortSource;
#else
#include "ports/sysfs_port_source.h"
using SystemPortSource = SysfsPortSource;
#endif

namespace {

// A list that draws every row appearing or going spends most of a refresh on it, while the
// refresh holds the thread and nothing can be seen anyway: such lists draw once at the end.
// Lists whose rows stay are left drawing, since turning drawing back on redraws them whole.
class RedrawPause {
public:
    explicit RedrawPause(CColorListCtrl& list) : m_list(list) {}
    ~RedrawPause() {
        if (m_bPaused) m_list.SetRedraw(TRUE);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

    // Before a row is inserted or deleted.
    void Begin() {
        if (!m_bPaused) m_list.SetRedraw(FALSE);
        m_bPaused = true;
    }

private:
    CColorListCtrl& m_list;
    bool m_bPaused = false;
};

void SetCellText(CColorListCtrl& list, int row, int column, const char* text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<LPSTR>(text);
    list.SetItem(&item);
}

}  // namespace

void UpdatePortList(CColorListCtrl& list) {
    SystemPortSource source;
    UpdatePortList(list, source);
}

void UpdatePortList(CColorListCtrl& list, PortSource& source) {
    if (!source.IsOpen()) return;
    char name[kPortValueCapacity];
    // One byte beyond what the source may fill stays zero, so data that fills its whole
    // capacity without a terminator still ends.
    BYTE data[kPortValueCapacity + 1];
    char cell[kPortValueCapacity];
    RedrawPause redraw(list);
    int row = 0;
    for (;; ++row) {
        std::memset(name, 0, sizeof name);
        std::memset(data, 0, sizeof data);
        DWORD nameLength = kPortValueCapacity;
        DWORD dataLength = kPortValueCapacity;
        if (!source.ReadValue(static_cast<DWORD>(row), name, &nameLength, data, &dataLength)) {
            break;
        }
        // Trust no length beyond the buffers; data of any type is text up to its first zero.
        name[std::min(nameLength, kPortValueCapacity - 1)] = '\0';
        data[std::min(dataLength, kPortValueCapacity)] = 0;
        const char* portName = reinterpret_cast<const char*>(data);

        std::memset(cell, 0, sizeof cell);
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = cell;
        item.cchTextMax = static_cast<int>(kPortValueCapacity);
        if (!list.GetItem(&item)) {
            redraw.Begin();
            list.InsertItem(row, name);
        } else if (CompareMultiByte(item.pszText ? item.pszText : "", name) != 0) {
            // The list may point the record at its own copy rather than fill ours.
            SetCellText(list, row, 0, name);
        }
        SetCellText(list, row, 1, portName);
        SetCellText(list, row, 2, StatusText(ProbePort(portName)));
    }
    if (list.GetItemCount() > row) {
        redraw.Begin();
        while (list.DeleteItem(row)) {
        }
    }
}
