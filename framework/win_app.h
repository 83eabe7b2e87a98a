// The application object: the one object the program's start-up finds and runs, which names
// the application and knows its main window.
#pragma once

#include <string>

#include "framework/wnd.h"

// The framework's application title string; a program that has one is named by it.
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;
// The framework's message for a help engine that cannot be started (a string resource).
#ifndef AFX_IDP_FAILED_TO_LAUNCH_HELP
#define AFX_IDP_FAILED_TO_LAUNCH_HELP 0xF107
#endif
// The standard Help command, and where the help topics of resources begin.
constexpr UINT ID_HELP = 0xE146;
constexpr DWORD HID_BASE_RESOURCE = 0x20000;

class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)

public:
    // Registers the object for AfxGetApp (the first one made, as there is only one) and names
    // the application: the program's title string if it has one, else its file name without
    // directory and extension.
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs once at start-up; false ends the program without a message loop.
    virtual BOOL InitInstance();

    // The standard Help command: the help engine's topic for the main window's template, in
    // the help file named after the program; the framework's message when the engine cannot
    // be started.
    void OnHelp();
    // Three-dimensional drawing of dialog controls: every supported system draws them so
    // itself, so there is nothing to switch on.
    bool Enable3dControlsStatic() { return false; }

    HINSTANCE m_hInstance;
    LPCSTR m_pszAppName;
    LPCSTR m_pszHelpFilePath;
    CWnd* m_pMainWnd = nullptr;

private:
    std::string m_strAppName;
    std::string m_strHelpFilePath;
};

// A string resource of a module; empty when it has none of that id.
std::string LoadResourceString(HINSTANCE instance, UINT id);
// A string resource of the program.
std::string AfxLoadString(UINT id);

// The application object, or null before it is constructed and after it is destroyed.
CWinApp* AfxGetApp();

// A message box captioned with the application name and owned by the main window when there
// is one. Without an icon in the type, OK boxes get the exclamation mark and yes/no boxes
// the question mark.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK);
// The same with the text of one of the program's string resources.
int AfxMessageBox(UINT textId, UINT type = MB_OK);
