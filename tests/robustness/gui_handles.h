// Owners for the GDI and USER objects the robustness tests make, beside those of the program
// (base/win32_handles.h, whose IconHandle owns their icons).
#pragma once

#include "base/win32_handles.h"

// Traits of a handle that is null when there is none and is let go by CloseFunction.
template <typename H, BOOL(WINAPI* CloseFunction)(H)>
struct NullableTraits {
    using Handle = H;
    static H Invalid() { return nullptr; }
    static void Close(H handle) { CloseFunction(handle); }
};

using GdiObject = UniqueHandle<NullableTraits<HGDIOBJ, ::DeleteObject>>;
using MemoryDc = UniqueHandle<NullableTraits<HDC, ::DeleteDC>>;
using Window = UniqueHandle<NullableTraits<HWND, ::DestroyWindow>>;
// A menu not attached to another one: destroying it destroys its submenus too.
using Menu = UniqueHandle<NullableTraits<HMENU, ::DestroyMenu>>;
