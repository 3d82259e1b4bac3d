#include "NetBuffer.h"

#include <algorithm>

namespace net {

char* TNetBuffer::Reserve(std::size_t count) {
    m_reserved = m_bytes.size();
    m_bytes.resize(m_reserved + count);
    return m_bytes.data() + m_reserved;
}

void TNetBuffer::Commit(std::size_t used) {
    m_bytes.resize(m_reserved + used);
}

void TNetBuffer::Remove(std::size_t count) {
    m_head += std::min(count, Size());
    if (m_head == m_bytes.size()) {
        Clear();
    } else if (m_head > 65536 && m_head * 2 > m_bytes.size()) {
        // Moving the rest to the front now and then keeps the cost per byte constant.
        m_bytes.erase(0, m_head);
        m_head = 0;
    }
}

void TNetBuffer::Clear() {
    m_bytes.clear();
    m_head = 0;
}

} // namespace net
