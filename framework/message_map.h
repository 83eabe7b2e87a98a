// Message maps: each map is one generated function of if-chains that calls the handlers
// directly, so a handler of the wrong signature fails to compile, and that ends by offering
// the message to the base class's map. "Handled" is kept apart from the result, because many
// results (CDRF_DODEFAULT among them) are 0.
#pragma once

#include "framework/cmd_target.h"

#define DECLARE_MESSAGE_MAP()                                                     \
protected:                                                                        \
    bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, \
                              LRESULT& lResult) override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                              \
    bool theClass::ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, \
                                        LRESULT& lResult) {                                 \
        using TheBaseClass = baseClass;

#define END_MESSAGE_MAP()                                                           \
    return TheBaseClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult); \
    }

// One entry: the result starts at 0, the handler runs, and unless it cleared the handled flag
// the map stops here.
#define PL_MESSAGE_ENTRY(condition, call) \
    if (condition) {                      \
        lResult = 0;                      \
        SetMsgHandled(true);              \
        call;                             \
        if (IsMsgHandled()) return true;  \
    }

#define PL_NMHDR() reinterpret_cast<NMHDR*>(lParam)

#define ON_NOTIFY(notifyCode, ctrlId, memberFxn)                                               \
    PL_MESSAGE_ENTRY(uMsg == WM_NOTIFY && PL_NMHDR()->code == static_cast<UINT>(notifyCode) && \
                         PL_NMHDR()->idFrom == static_cast<UINT_PTR>(ctrlId),                  \
                     memberFxn(PL_NMHDR(), &lResult))

#define ON_NOTIFY_REFLECT(notifyCode, memberFxn)                                              \
    PL_MESSAGE_ENTRY(uMsg == OCM_NOTIFY && PL_NMHDR()->code == static_cast<UINT>(notifyCode), \
                     memberFxn(PL_NMHDR(), &lResult))

// A command from a menu, an accelerator or a button click.
#define ON_COMMAND(id, memberFxn)                                                     \
    PL_MESSAGE_ENTRY(uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id) && \
                         (HIWORD(wParam) == BN_CLICKED || lParam == 0),               \
                     memberFxn())

#define ON_BN_CLICKED(id, memberFxn)                                                  \
    PL_MESSAGE_ENTRY(uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id) && \
                         HIWORD(wParam) == BN_CLICKED,                                \
                     memberFxn())

// A message of the program's own, with nothing to pass.
#define ON_MESSAGE_VOID(message, memberFxn) PL_MESSAGE_ENTRY(uMsg == (message), memberFxn())

#define ON_WM_DEVICECHANGE()     \
    PL_MESSAGE_ENTRY(            \
        uMsg == WM_DEVICECHANGE, \
        lResult = OnDeviceChange(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam)))

#define ON_WM_DESTROY() PL_MESSAGE_ENTRY(uMsg == WM_DESTROY, OnDestroy())

#define ON_WM_PAINT() PL_MESSAGE_ENTRY(uMsg == WM_PAINT, OnPaint())

#define ON_WM_TIMER() PL_MESSAGE_ENTRY(uMsg == WM_TIMER, OnTimer(static_cast<UINT_PTR>(wParam)))

#define ON_WM_QUERYDRAGICON()                  \
    PL_MESSAGE_ENTRY(uMsg == WM_QUERYDRAGICON, \
                     lResult = reinterpret_cast<LRESULT>(OnQueryDragIcon()))

#define ON_WM_CREATE()                  \
    PL_MESSAGE_ENTRY(uMsg == WM_CREATE, \
                     lResult = OnCreate(reinterpret_cast<LPCREATESTRUCTA>(lParam)))

#define ON_WM_SIZE()                  \
    PL_MESSAGE_ENTRY(uMsg == WM_SIZE, \
                     OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)))

#define ON_WM_ERASEBKGND() \
    PL_MESSAGE_ENTRY(uMsg == WM_ERASEBKGND, lResult = OnEraseBkgnd(reinterpret_cast<HDC>(wParam)))

#define ON_WM_STYLECHANGED()     \
    PL_MESSAGE_ENTRY(            \
        uMsg == WM_STYLECHANGED, \
        OnStyleChanged(static_cast<int>(wParam), reinterpret_cast<LPSTYLESTRUCT>(lParam)))
