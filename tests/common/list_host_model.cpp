#include "framework/list_model.h"
#include "tests/common/list_host.h"

namespace {

class ModelHost : public ListHost {
public:
    explicit ModelHost(DWORD style) : m_model(style) { m_list.AttachModel(&m_model); }
    CColorListCtrl& List() override { return m_list; }
    void ClickHeader(int column, UINT code) override { m_model.ClickHeader(column, code); }
    int ColumnClicksToParent() const override { return m_model.ColumnClicksToParent(); }
    void SetClientSize(int width, int height) override { m_model.SetClientSize(width, height); }
    ListModel* Model() override { return &m_model; }

private:
    ListModel m_model;
    CColorListCtrl m_list;
};

}  // namespace

std::unique_ptr<ListHost> MakeModelHost(DWORD style) { return std::make_unique<ModelHost>(style); }
