#include "framework/mutex.h"

CMutex::CMutex(BOOL bInitiallyOwn, LPCSTR lpszName)
    : m_hObject(::CreateMutexA(nullptr, bInitiallyOwn, lpszName)) {}

BOOL CMutex::Lock(DWORD dwTimeout) {
    if (!m_hObject.IsValid()) return FALSE;
    const DWORD result = ::WaitForSingleObject(m_hObject.Get(), dwTimeout);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

BOOL CMutex::Unlock() { return m_hObject.IsValid() && ::ReleaseMutex(m_hObject.Get()); }
