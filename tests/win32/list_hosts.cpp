#include "tests/win32/host_window.h"
#include "tests/win32/list_host.h"

namespace {

class WindowHost : public ListHost {
public:
    explicit WindowHost(DWORD style) : m_parent(style) {}
    CColorListCtrl& List() override { return m_parent.List(); }
    void ClickHeader(int column, UINT code) override { m_parent.SendHeaderClick(column, code); }
    int ColumnClicksToParent() const override { return m_parent.ColumnClicks(); }
    void SetClientSize(int width, int height) override {
        m_parent.SetListClientSize(width, height);
    }

private:
    HostWindow m_parent;
};

}  // namespace

std::unique_ptr<ListHost> MakeListHost(ListHostKind, DWORD style) {
    return std::make_unique<WindowHost>(style);
}

std::vector<ListHostKind> ListHostKinds() { return {ListHostKind::Window}; }
