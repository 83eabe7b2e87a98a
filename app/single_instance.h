// Keeps a second copy of the program from running beside the first: the first instance
// publishes its main window in a named 4-byte block; a later one finds the block and brings
// that window to the front.
#pragma once

#include <string>

#include "framework/mutex.h"
#include "base/win32_handles.h"
#include "framework/win_app.h"
#include "ui/instance_guard.h"

class CSingleInstance : public CWinApp, public CInstanceGuard {
    DECLARE_DYNAMIC(CSingleInstance)

public:
    CSingleInstance() = default;

    // "CSingleInstance_MMF_" followed by the application name.
    std::string GetMappingName() const;
    // Whether an earlier instance's block exists; keeps it open in m_hMap if so.
    bool IsPreviousInstance() override;
    // Publishes the main window unless an earlier block turns up; true when this instance is
    // the first.
    bool Create() override;
    // Brings the earlier instance's window (or its last active pop-up) to the front and
    // returns the handle read from its block, or null without a block.
    HWND RestorePrevious() override;

private:
    CMutex m_mutex;
    KernelHandle m_hMap;
};

// Owner of the block this instance created. Exactly one exists, made on the guard's first use,
// which comes after the application object is complete: statics end in reverse order of
// construction, so it closes the block before the application object is destroyed.
class CMappingHandle {
public:
    static CMappingHandle& Instance();
    virtual ~CMappingHandle();
    CMappingHandle(const CMappingHandle&) = delete;
    CMappingHandle& operator=(const CMappingHandle&) = delete;

    KernelHandle m_hMapping;

private:
    CMappingHandle() = default;
};
