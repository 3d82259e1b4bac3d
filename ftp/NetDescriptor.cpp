#include "NetDescriptor.h"

#include <unistd.h>

namespace net {

void TNetDescriptor::Reset(TNetNativeHandle handle) {
    if (m_handle != kNoHandle) {
        ::close(m_handle);
    }
    m_handle = handle;
}

} // namespace net
