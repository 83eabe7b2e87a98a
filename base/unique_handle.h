// Ownership of one operating-system handle: closed exactly once, when the owner ends.
#pragma once

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    bool IsValid() const { return m_handle != Traits::Invalid(); }
    Handle Get() const { return m_handle; }
    Handle Release() { return std::exchange(m_handle, Traits::Invalid()); }
    void Reset(Handle handle = Traits::Invalid()) {
        if (IsValid()) Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

#ifndef _WIN32
#include <unistd.h>

struct FdTraits {
    using Handle = int;
    static int Invalid() { return -1; }
    static void Close(int fd) { ::close(fd); }
};
using UniqueFd = UniqueHandle<FdTraits>;
#endif
