// A mutex that owns its kernel object. An unnamed one orders the threads of this process only.
#pragma once

#include "base/win32_handles.h"

class CMutex {
public:
    // If the object cannot be created (a name taken by another kind of object, say), the
    // mutex stays empty and Lock and Unlock report failure; nothing is thrown.
    explicit CMutex(bool bInitiallyOwn = false, LPCSTR lpszName = nullptr);
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    // True once the calling thread owns the mutex, also when a dead owner abandoned it.
    bool Lock(DWORD dwTimeout = INFINITE);
    bool Unlock();

private:
    KernelHandle m_hObject;
};
