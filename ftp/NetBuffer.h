// The receive queue of a connection: bytes received and not yet consumed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace net {

// Bytes received and not yet consumed: appended at the end, taken from the front.
class TNetBuffer {
public:
    std::size_t Size() const { return m_bytes.size() - m_head; }
    bool Empty() const { return Size() == 0; }
    std::string_view View() const { return std::string_view(m_bytes).substr(m_head); }
    void Append(const char* data, std::size_t count) { m_bytes.append(data, count); }
    // Room for count more bytes at the end; Commit keeps the used part of it.
    char* Reserve(std::size_t count);
    void Commit(std::size_t used);
    // Drops the first count bytes (at most Size()).
    void Remove(std::size_t count);
    void Clear();

private:
    std::string m_bytes;
    std::size_t m_head = 0;
    std::size_t m_reserved = 0;
};

} // namespace net
