#include "app/portlook_app.h"

#include "ui/port_list_dlg.h"

// The one application object: the framework's entry finds it and runs InitInstance.
CPortListApp theApp;

BEGIN_MESSAGE_MAP(CPortListApp, CSingleInstance)
ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

BOOL CPortListApp::InitInstance() {
    Enable3dControlsStatic();
    CPortListDlg dialog(nullptr, this);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;  // the dialog ends with this frame
    return FALSE;
}
