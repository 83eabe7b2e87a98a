// Owners for the GDI and USER objects the robustness tests make, beside those of the program
// (base/win32_handles.h, whose IconHandle owns their icons).
#pragma once

#include "base/win32_handles.h"

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ object) { ::DeleteObject(object); }
};
using GdiObject = UniqueHandle<GdiObjectTraits>;

struct MemoryDcTraits {
    using Handle = HDC;
    static HDC Invalid() { return nullptr; }
    static void Close(HDC dc) { ::DeleteDC(dc); }
};
using MemoryDc = UniqueHandle<MemoryDcTraits>;

struct WindowTraits {
    using Handle = HWND;
    static HWND Invalid() { return nullptr; }
    static void Close(HWND window) { ::DestroyWindow(window); }
};
using Window = UniqueHandle<WindowTraits>;

// A menu not attached to another one: destroying it destroys its submenus too.
struct MenuTraits {
    using Handle = HMENU;
    static HMENU Invalid() { return nullptr; }
    static void Close(HMENU menu) { ::DestroyMenu(menu); }
};
using Menu = UniqueHandle<MenuTraits>;
