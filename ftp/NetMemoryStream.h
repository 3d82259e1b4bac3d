// A transfer's stream held in memory.
#pragma once

#include "NetStream.h"

#include <cstdint>
#include <string>

namespace net {

class TNetMemoryStream : public TNetStream {
public:
    TNetMemoryStream() = default;
    explicit TNetMemoryStream(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(m_bytes.size()); }
    std::int64_t Position() const override { return m_position; }
    void SetPosition(std::int64_t position) override { m_position = position; }
    void SetSize(std::int64_t size) override { m_bytes.resize(static_cast<std::size_t>(size)); }
    std::size_t Read(char* data, std::size_t count) override;
    void Write(const char* data, std::size_t count) override;
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    std::int64_t m_position = 0;
};

} // namespace net
