#include "tests/win32/program_process.h"

#include <cstring>

namespace {

// A message to another program's window that fails rather than waits when the program hangs.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result)
               ? static_cast<LRESULT>(result)
               : 0;
}

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char className[64] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && ::IsWindowVisible(window) &&
        std::strcmp(className, search->className) == 0 &&
        (!search->caption || WindowText(window) == search->caption)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindVisibleWindow(DWORD processId, const char* className, const char* caption) {
    WindowSearch search{processId, className, caption, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const ChildProcess& program, const char* className, const char* caption,
                   DWORD milliseconds) {
    HWND found = nullptr;
    WaitUntil(
        [&] { return (found = FindVisibleWindow(program.Id(), className, caption)) != nullptr; },
        milliseconds);
    return found;
}

RemoteList::RemoteList(HWND list) : m_list(list) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(list, &processId);
    m_process.Reset(
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (m_process.IsValid()) {
        m_remote = ::VirtualAllocEx(m_process.Get(), nullptr, kBufferSize, MEM_COMMIT | MEM_RESERVE,
                                    PAGE_READWRITE);
    }
}

RemoteList::~RemoteList() {
    if (m_remote) ::VirtualFreeEx(m_process.Get(), m_remote, 0, MEM_RELEASE);
}

int RemoteList::Count() const { return static_cast<int>(Ask(m_list, LVM_GETITEMCOUNT, 0, 0)); }

std::string RemoteList::Text(int row, int column) {
    char* remoteText = static_cast<char*>(m_remote) + sizeof(LVITEMA);
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = remoteText;
    item.cchTextMax = static_cast<int>(kBufferSize - sizeof item);
    ::WriteProcessMemory(m_process.Get(), m_remote, &item, sizeof item, nullptr);
    const auto length = static_cast<SIZE_T>(Ask(m_list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                                                reinterpret_cast<LPARAM>(m_remote)));
    std::string text(length, '\0');
    ::ReadProcessMemory(m_process.Get(), remoteText, &text[0], length, nullptr);
    return text;
}

std::vector<std::vector<std::string>> RemoteList::Rows(int columns) {
    std::vector<std::vector<std::string>> rows;
    for (int row = 0; row < Count(); ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < columns; ++column) cells.push_back(Text(row, column));
        rows.push_back(cells);
    }
    return rows;
}

std::string RemoteList::Heading(int column) {
    HWND header = reinterpret_cast<HWND>(Ask(m_list, LVM_GETHEADER, 0, 0));
    char* remoteText = static_cast<char*>(m_remote) + sizeof(HDITEMA);
    HDITEMA item{};
    item.mask = HDI_TEXT;
    item.pszText = remoteText;
    item.cchTextMax = 256;
    ::WriteProcessMemory(m_process.Get(), m_remote, &item, sizeof item, nullptr);
    if (!Ask(header, HDM_GETITEMA, static_cast<WPARAM>(column),
             reinterpret_cast<LPARAM>(m_remote))) {
        return "(none)";
    }
    char text[257] = {};
    ::ReadProcessMemory(m_process.Get(), remoteText, text, 256, nullptr);
    return text;
}

RECT RemoteList::ItemRect(int row) {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    ::WriteProcessMemory(m_process.Get(), m_remote, &rect, sizeof rect, nullptr);
    Ask(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_remote));
    ::ReadProcessMemory(m_process.Get(), m_remote, &rect, sizeof rect, nullptr);
    ::MapWindowPoints(m_list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int RemoteList::HeadingCount() const {
    HWND header = reinterpret_cast<HWND>(Ask(m_list, LVM_GETHEADER, 0, 0));
    return static_cast<int>(Ask(header, HDM_GETITEMCOUNT, 0, 0));
}

int RemoteList::ColumnWidth(int column) const {
    return static_cast<int>(Ask(m_list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

int RemoteList::StringWidth(const std::string& text) {
    ::WriteProcessMemory(m_process.Get(), m_remote, text.c_str(), text.size() + 1, nullptr);
    return static_cast<int>(
        Ask(m_list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(m_remote)));
}

DWORD RemoteList::ExtendedStyle() const {
    return static_cast<DWORD>(Ask(m_list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

std::string WindowText(HWND window) {
    char text[2048] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

namespace {

std::vector<DWORD> ReadBitmap(HDC dc, HBITMAP bitmap, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    ::GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    for (DWORD& pixel : pixels) pixel &= 0xFFFFFF;
    return pixels;
}

// Runs `draw` on a memory bitmap of the size and returns what it drew.
template <typename Draw>
std::vector<DWORD> Render(int width, int height, Draw draw) {
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    draw(memory, screen);
    ::SelectObject(memory, old);
    std::vector<DWORD> pixels = ReadBitmap(memory, bitmap, width, height);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

}  // namespace

std::vector<DWORD> ScreenPixels(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    return Render(width, height, [&](HDC memory, HDC screen) {
        ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    });
}

std::vector<DWORD> TextPixels(const std::string& text, HFONT font, RECT layout, int width,
                              int height, UINT format) {
    return Render(width, height, [&](HDC memory, HDC) {
        const RECT all{0, 0, width, height};
        ::FillRect(memory, &all, ::GetSysColorBrush(COLOR_BTNFACE));
        const HGDIOBJ old = ::SelectObject(memory, font);
        ::SetBkMode(memory, TRANSPARENT);
        ::SetTextColor(memory, RGB(0, 0, 0));
        ::DrawTextA(memory, text.c_str(), -1, &layout, format);
        ::SelectObject(memory, old);
    });
}

std::vector<DWORD> IconPixels(HICON icon, int width, int height) {
    return Render(width, height, [&](HDC memory, HDC) {
        const RECT all{0, 0, width, height};
        ::FillRect(memory, &all, ::GetSysColorBrush(COLOR_BTNFACE));
        // Centred as a static control with SS_CENTERIMAGE centres it.
        ICONINFO info{};
        BITMAP mask{};
        ::GetIconInfo(icon, &info);
        ::GetObjectA(info.hbmMask, sizeof mask, &mask);
        const int iconHeight = info.hbmColor ? mask.bmHeight : mask.bmHeight / 2;
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DrawIconEx(memory, width / 2 - mask.bmWidth / 2, height / 2 - iconHeight / 2, icon, 0, 0,
                     0, nullptr, DI_NORMAL);
    });
}

bool SetScreenDpi(int dpi) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const RegKey desktop(key);
    const DWORD value = static_cast<DWORD>(dpi);
    return ::RegSetValueExA(desktop.Get(), "LogPixels", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool SeeScreenPixels() {
    // Per-monitor aware: Wine then maps no window's coordinates to this thread's DPI, which it
    // fixed when the process started. Looked up, as the call is newer than the systems the
    // build targets.
    using SetAwareness = HANDLE(WINAPI*)(HANDLE);
    const auto set = reinterpret_cast<SetAwareness>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext")));
    const HANDLE perMonitorAware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
    return set != nullptr && set(perMonitorAware) != nullptr;
}
