#include "NetBuffer.h"

#include "NetExceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace net {

namespace {

[[noreturn]] void raiseFileError(const std::string& what, const std::string& path) {
    throw EFileError(what + " " + path + ": " + std::strerror(errno));
}

[[noreturn]] void raiseOpenError(const std::string& what, const std::string& path) {
    throw EFileError(what + " " + path);
}

} // namespace

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

TNetFileStream::TNetFileStream(const std::string& path, TFileMode mode) : m_path(path) {
    if (mode == TFileMode::CreateForWriting) {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            raiseOpenError("Cannot create file", path);
        }
    } else {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) {
            raiseOpenError("Cannot open file", path);
        }
    }
}

TNetFileStream::~TNetFileStream() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::int64_t TNetFileStream::Size() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        raiseFileError("Cannot read the size of file", m_path);
    }
    return info.st_size;
}

void TNetFileStream::SetSize(std::int64_t size) {
    if (::ftruncate(m_fd, size) != 0) {
        raiseFileError("Cannot set the size of file", m_path);
    }
}

std::size_t TNetFileStream::Read(char* data, std::size_t count) {
    for (;;) {
        const ssize_t n = ::pread(m_fd, data, count, m_position);
        if (n >= 0) {
            m_position += n;
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            raiseFileError("Cannot read file", m_path);
        }
    }
}

void TNetFileStream::Write(const char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::pwrite(m_fd, data, count, m_position);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            raiseFileError("Cannot write file", m_path);
        }
        m_position += n;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
}

} // namespace net
