// What the dialog asks of the guard that keeps a second copy of the program from running; the
// application object's guard answers.
#pragma once

#include "base/platform.h"

class CInstanceGuard {
public:
    virtual ~CInstanceGuard() = default;
    // Whether an earlier instance runs.
    virtual bool IsPreviousInstance() = 0;
    // Publishes the main window as the running instance's; true when this instance is the first.
    virtual bool Create() = 0;
    // Brings the earlier instance's window to the front; its handle, or null.
    virtual HWND RestorePrevious() = 0;
};
