#include "NetMemoryStream.h"

#include <algorithm>
#include <cstring>

namespace net {

std::size_t TNetMemoryStream::Read(char* data, std::size_t count) {
    const auto size = static_cast<std::int64_t>(m_bytes.size());
    if (m_position >= size) {
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(size - m_position));
    std::memcpy(data, m_bytes.data() + m_position, n);
    m_position += static_cast<std::int64_t>(n);
    return n;
}

void TNetMemoryStream::Write(const char* data, std::size_t count) {
    const auto end = static_cast<std::size_t>(m_position) + count;
    if (end > m_bytes.size()) {
        m_bytes.resize(end);
    }
    std::memcpy(m_bytes.data() + m_position, data, count);
    m_position = static_cast<std::int64_t>(end);
}

} // namespace net
