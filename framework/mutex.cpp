#include "framework/mutex.h"

CMutex::CMutex(bool bInitiallyOwn, LPCSTR lpszName)
    : m_hObject(::CreateMutexA(nullptr, bInitiallyOwn ? TRUE : FALSE, lpszName)) {}

bool CMutex::Lock(DWORD dwTimeout) {
    if (!m_hObject.IsValid()) return false;
    const DWORD result = ::WaitForSingleObject(m_hObject.Get(), dwTimeout);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool CMutex::Unlock() { return m_hObject.IsValid() && ::ReleaseMutex(m_hObject.Get()) != FALSE; }
