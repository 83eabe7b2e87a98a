#include "framework/win_app.h"

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

namespace {

// The registration of the application object. Constant-initialised, so it is null before any
// constructor runs, whichever file the object is defined in.
CWinApp* s_pApp = nullptr;

}  // namespace

std::string LoadResourceString(HINSTANCE instance, UINT id) {
    std::string text(256, '\0');
    for (;;) {
        const int length = ::LoadStringA(instance, id, &text[0], static_cast<int>(text.size()));
        if (length <= 0) return {};
        // A full buffer may mean the text was cut short.
        if (static_cast<size_t>(length) + 1 < text.size()) return text.substr(0, length);
        text.resize(text.size() * 2);
    }
}

namespace {

std::string ModuleFileName(HINSTANCE instance) {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameA(instance, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

size_t FileNameStart(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? 0 : slash + 1;
}

// "C:\dir\Portlook.exe" -> "Portlook": only the last extension goes.
std::string FileTitle(const std::string& path) {
    std::string name = path.substr(FileNameStart(path));
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

// "C:\dir\Portlook.exe" -> "C:\dir\Portlook.HLP".
std::string HelpFilePath(const std::string& path) {
    const size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= FileNameStart(path);
    return (hasExtension ? path.substr(0, dot) : path) + ".HLP";
}

}  // namespace

CWinApp::CWinApp() : m_hInstance(::GetModuleHandleA(nullptr)) {
    if (!s_pApp) s_pApp = this;
    const std::string path = ModuleFileName(m_hInstance);
    m_strAppName = LoadResourceString(m_hInstance, AFX_IDS_APP_TITLE);
    if (m_strAppName.empty()) m_strAppName = FileTitle(path);
    m_pszAppName = m_strAppName.c_str();
    m_strHelpFilePath = HelpFilePath(path);
    m_pszHelpFilePath = m_strHelpFilePath.c_str();
}

CWinApp::~CWinApp() {
    if (s_pApp == this) s_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

CWinApp* AfxGetApp() { return s_pApp; }

void CWinApp::OnHelp() {
    const CWnd* main = m_pMainWnd;
    const HWND owner = main ? main->GetSafeHwnd() : nullptr;
    const DWORD topic = HID_BASE_RESOURCE + (main ? main->m_nIDHelp : 0);
    if (!::WinHelpA(owner, m_pszHelpFilePath, HELP_CONTEXT, topic)) {
        AfxMessageBox(AFX_IDP_FAILED_TO_LAUNCH_HELP, MB_ICONEXCLAMATION);
    }
}

int AfxMessageBox(LPCSTR text, UINT type) {
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
            case MB_OK:
            case MB_OKCANCEL:
                type |= MB_ICONEXCLAMATION;
                break;
            case MB_YESNO:
            case MB_YESNOCANCEL:
                type |= MB_ICONQUESTION;
                break;
            default:
                break;
        }
    }
    const CWinApp* app = AfxGetApp();
    const HWND owner = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
    return ::MessageBoxA(owner, text, app ? app->m_pszAppName : nullptr, type);
}

int AfxMessageBox(UINT textId, UINT type) {
    return AfxMessageBox(AfxLoadString(textId).c_str(), type);
}

std::string AfxLoadString(UINT id) { return LoadResourceString(::GetModuleHandleA(nullptr), id); }
