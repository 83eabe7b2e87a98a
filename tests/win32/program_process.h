// Ways to look into the windows of another program run by a test in the same Wine session.
#pragma once

#include <string>
#include <vector>

#include "base/win32_handles.h"
#include "tests/support/child_process.h"

// A list view of another process, read through memory placed in that process.
class RemoteList {
public:
    explicit RemoteList(HWND list);
    ~RemoteList();
    RemoteList(const RemoteList&) = delete;
    RemoteList& operator=(const RemoteList&) = delete;

    int Count() const;
    std::string Text(int row, int column);
    std::vector<std::vector<std::string>> Rows(int columns);
    std::string Heading(int column);
    int HeadingCount() const;
    int ColumnWidth(int column) const;
    int StringWidth(const std::string& text);
    DWORD ExtendedStyle() const;
    // A row's bounds in screen coordinates.
    RECT ItemRect(int row);

private:
    static constexpr SIZE_T kBufferSize = 4096;
    HWND m_list;
    KernelHandle m_process;
    void* m_remote = nullptr;  // a record followed by a text buffer, in the other process
};

// Answers the messages waiting for this thread's windows.
inline void PumpMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

// Waits until `condition` holds, pumping this thread's messages meanwhile.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > milliseconds) return false;
        PumpMessages();
        ::Sleep(20);
    }
    return true;
}

std::string WindowText(HWND window);

// A program copied under another file name, removed again when the object ends.
class CopiedProgram {
public:
    CopiedProgram(const std::string& source, const std::string& fileName) {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        m_directory = std::string(temp) + "portlook copy";
        ::CreateDirectoryA(m_directory.c_str(), nullptr);
        m_path = m_directory + "\\" + fileName;
        m_bCopied = ::CopyFileA(source.c_str(), m_path.c_str(), FALSE) != FALSE;
    }
    ~CopiedProgram() {
        ::DeleteFileA(m_path.c_str());
        ::RemoveDirectoryA(m_directory.c_str());
    }
    CopiedProgram(const CopiedProgram&) = delete;
    CopiedProgram& operator=(const CopiedProgram&) = delete;

    bool Copied() const { return m_bCopied; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_directory;
    std::string m_path;
    bool m_bCopied = false;
};
// A visible top-level window of the process with the class and (unless null) caption, or null.
HWND FindVisibleWindow(DWORD processId, const char* className, const char* caption);
// The same, waited for; null when it did not appear within `milliseconds`.
HWND WaitForWindow(const ChildProcess& program, const char* className, const char* caption,
                   DWORD milliseconds);
// Makes Wine give programs started from now on this many dots per inch (its LogPixels).
bool SetScreenDpi(int dpi);
// Makes this thread see every window in screen pixels, whatever DPI its program runs at.
bool SeeScreenPixels();
// The pixels of a window as they are on the screen, row by row, 0x00RRGGBB.
std::vector<DWORD> ScreenPixels(HWND window);
// A text drawn in black into `layout` with the font and DrawText format, on the dialog's
// background of `width` by `height`: what overflows the layout shows.
std::vector<DWORD> TextPixels(const std::string& text, HFONT font, RECT layout, int width,
                              int height, UINT format);
// An icon drawn as the lamp's static control draws it, at its own size centred, on the
// dialog's background.
std::vector<DWORD> IconPixels(HICON icon, int width, int height);
