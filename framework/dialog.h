// A dialog box from a template, run modally through the platform's dialog loop.
#pragma once

#include "framework/wnd.h"

class CDialog;

// What DoDataExchange is given: the dialog, and whether values go to the controls or back.
struct CDataExchange {
    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
};

// Binds a dialog item to a control object, once; false when the item cannot be bound.
bool DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)

public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Runs the dialog until EndDialog; returns its result, or -1 when it could not be made.
    INT_PTR DoModal();
    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }
    bool UpdateData(bool saveAndValidate = true);

    virtual BOOL OnInitDialog();
    // Sees each message of the dialog's loop, for any of its windows, before it is
    // dispatched; true keeps it from being dispatched.
    virtual bool PreTranslateMessage(const MSG&) { return false; }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    // The dialog manager does the default processing once our procedure declines a message.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ModalMessageFilter(int code, WPARAM wParam, LPARAM lParam);
    // Where the framework opens a dialog that comes at the screen's origin: centred in the
    // primary monitor's work area, and kept inside it.
    void CenterInWorkArea();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
};
