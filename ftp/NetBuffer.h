// Byte containers of the client: the receive queue of a connection, and the streams a transfer reads
// from or writes to.
#pragma once

#include <cstddef>
#include <cstdint>
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

// A seekable byte stream. A transfer reads an upload from one and writes a download into one.
class TNetStream {
public:
    virtual ~TNetStream() = default;
    virtual std::int64_t Size() const = 0;
    virtual std::int64_t Position() const = 0;
    virtual void SetPosition(std::int64_t position) = 0;
    // Grows or cuts the stream; the position stays.
    virtual void SetSize(std::int64_t size) = 0;
    // Reads up to count bytes at the position; 0 only at the end.
    virtual std::size_t Read(char* data, std::size_t count) = 0;
    // Writes all count bytes at the position.
    virtual void Write(const char* data, std::size_t count) = 0;
    // The platform file behind the stream, for zero-copy transfers; -1 when there is none.
    virtual int NativeHandle() const { return -1; }
};

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

enum class TFileMode { CreateForWriting, OpenForReading };

// A local file. Creating replaces an existing file ("Cannot create file %s"); opening for reading
// lets other programs read and write meanwhile ("Cannot open file %s").
class TNetFileStream : public TNetStream {
public:
    TNetFileStream(const std::string& path, TFileMode mode);
    ~TNetFileStream() override;
    TNetFileStream(const TNetFileStream&) = delete;
    TNetFileStream& operator=(const TNetFileStream&) = delete;

    std::int64_t Size() const override;
    std::int64_t Position() const override { return m_position; }
    void SetPosition(std::int64_t position) override { m_position = position; }
    void SetSize(std::int64_t size) override;
    std::size_t Read(char* data, std::size_t count) override;
    void Write(const char* data, std::size_t count) override;
    int NativeHandle() const override { return m_fd; }

private:
    std::string m_path;
    int m_fd = -1;
    std::int64_t m_position = 0;
};

} // namespace net
