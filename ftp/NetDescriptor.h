// An owning platform descriptor: a socket or (on Linux) a pipe end, closed exactly once by its owner.
#pragma once

#include <cstdint>

namespace net {

#ifdef _WIN32
// A SOCKET, held as a number so that this header needs no system header; kNoHandle is INVALID_SOCKET.
using TNetNativeHandle = std::uintptr_t;
constexpr TNetNativeHandle kNoHandle = ~TNetNativeHandle{0};
#else
// A socket or pipe descriptor.
using TNetNativeHandle = int;
constexpr TNetNativeHandle kNoHandle = -1;
#endif

class TNetDescriptor {
public:
    TNetDescriptor() = default;
    explicit TNetDescriptor(TNetNativeHandle handle) : m_handle(handle) {}
    ~TNetDescriptor() { Reset(); }
    TNetDescriptor(TNetDescriptor&& other) noexcept : m_handle(other.Release()) {}
    TNetDescriptor& operator=(TNetDescriptor&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    TNetDescriptor(const TNetDescriptor&) = delete;
    TNetDescriptor& operator=(const TNetDescriptor&) = delete;

    TNetNativeHandle Get() const { return m_handle; }
    bool Valid() const { return m_handle != kNoHandle; }
    // Gives the handle up without closing it.
    TNetNativeHandle Release() {
        const TNetNativeHandle handle = m_handle;
        m_handle = kNoHandle;
        return handle;
    }
    // Closes the handle held (if any) and holds handle instead.
    void Reset(TNetNativeHandle handle = kNoHandle);

private:
    TNetNativeHandle m_handle = kNoHandle;
};

} // namespace net
