#include "app/single_instance.h"

IMPLEMENT_DYNAMIC(CSingleInstance, CWinApp)

namespace {

constexpr DWORD kBlockSize = 4;

struct MappedViewTraits {
    using Handle = void*;
    static void* Invalid() { return nullptr; }
    static void Close(void* view) { ::UnmapViewOfFile(view); }
};
using MappedView = UniqueHandle<MappedViewTraits>;

MappedView MapBlock(HANDLE mapping) {
    return MappedView(::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kBlockSize));
}

// The block's layout is fixed at 4 bytes, so a 32-bit and a 64-bit instance read each other's
// handle. Nothing is lost: window handles are shared across widths and fit in 32 bits.
void WriteWindow(void* view, HWND window) {
    *static_cast<volatile LONG*>(view) = static_cast<LONG>(reinterpret_cast<LONG_PTR>(window));
}

HWND ReadWindow(const void* view) {
    const LONG value = *static_cast<const volatile LONG*>(view);
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
}

}  // namespace

CMappingHandle& CMappingHandle::Instance() {
    static CMappingHandle owner;
    return owner;
}

CMappingHandle::~CMappingHandle() { m_hMapping.Reset(); }

std::string CSingleInstance::GetMappingName() const {
    return std::string("CSingleInstance_MMF_") + m_pszAppName;
}

bool CSingleInstance::IsPreviousInstance() {
    // The owner of our own block must be constructed here, after the application object,
    // so that it is destroyed before it; see CMappingHandle.
    CMappingHandle::Instance();
    m_hMap.Reset(::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, GetMappingName().c_str()));
    return m_hMap.IsValid();
}

bool CSingleInstance::Create() {
    IsPreviousInstance();
    if (!m_hMap.IsValid()) {
        KernelHandle& mapping = CMappingHandle::Instance().m_hMapping;
        mapping.Reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           kBlockSize, GetMappingName().c_str()));
        MappedView view = mapping.IsValid() ? MapBlock(mapping.Get()) : MappedView();
        if (view.IsValid()) {
            // The mutex orders only our own threads; if it could not be made, write anyway.
            const bool locked = m_mutex.Lock();
            WriteWindow(view.Get(), m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr);
            view.Reset();
            if (locked) m_mutex.Unlock();
        }
    }
    return !m_hMap.IsValid();
}

HWND CSingleInstance::RestorePrevious() {
    if (!m_hMap.IsValid()) return nullptr;
    MappedView view = MapBlock(m_hMap.Get());
    if (!view.IsValid()) {
        m_hMap.Reset();
        return nullptr;
    }
    const bool locked = m_mutex.Lock();
    const HWND previous = ReadWindow(view.Get());
    // A handle left by an instance that has gone names nothing to bring forward.
    if (previous && ::IsWindow(previous)) {
        HWND popup = ::GetLastActivePopup(previous);
        if (!popup) popup = previous;
        if (::IsIconic(previous)) ::ShowWindow(previous, SW_RESTORE);
        ::SetForegroundWindow(popup);
    }
    view.Reset();
    m_hMap.Reset();
    if (locked) m_mutex.Unlock();
    return previous;
}
