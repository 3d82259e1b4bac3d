#include "NetDescriptor.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace net {

void TNetDescriptor::Reset(TNetNativeHandle handle) {
    if (m_handle != kNoHandle) {
#ifdef _WIN32
        ::closesocket(m_handle);
#else
        ::close(m_handle);
#endif
    }
    m_handle = handle;
}

} // namespace net
