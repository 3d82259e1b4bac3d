// Local files on POSIX systems, with the zero-copy receive of a download on Linux.
#ifndef _WIN32

#include "NetFileStream.h"

#include "NetExceptions.h"

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

bool LocalFileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
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

void TNetFileStream::TakeFrom(TNetReceiveSource& source) {
    if (!source.CanSplice() || !spliceFrom(source)) {
        TNetStream::TakeFrom(source);
    }
}

bool TNetFileStream::spliceFrom(TNetReceiveSource& source) {
#ifdef __linux__
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    const TNetDescriptor readEnd(ends[0]);
    const TNetDescriptor writeEnd(ends[1]);
    // Pieces move from the socket into the pipe one by one, and from the pipe into the file in batches.
    const int capacity = ::fcntl(writeEnd.Get(), F_SETPIPE_SZ, static_cast<int>(kWriteBatch));
    if (capacity < 0 || static_cast<std::size_t>(capacity) < 4 * source.PieceSize()) {
        return false;
    }
    const auto drainAt = static_cast<std::size_t>(capacity / 2);
    std::size_t inPipe = 0;
    const auto drain = [&] {
        loff_t offset = m_position;
        while (inPipe > 0) {
            const ssize_t written = ::splice(readEnd.Get(), nullptr, m_fd, &offset, inPipe, SPLICE_F_MOVE);
            if (written <= 0) {
                if (written < 0 && errno == EINTR) {
                    continue;
                }
                throw EFileError(std::string("Cannot write file: ") + std::strerror(errno));
            }
            inPipe -= static_cast<std::size_t>(written);
            m_position = offset;
        }
    };
    // With nothing arriving, emptying the pipe is time spent waiting anyway.
    const std::function<bool()> whileIdle = [&] {
        if (inPipe == 0) {
            return false;
        }
        drain();
        return true;
    };
    try {
        for (std::size_t piece = source.NextPiece(); piece > 0; piece = source.NextPiece()) {
            if (inPipe >= drainAt) {
                drain();
            }
            inPipe += source.SpliceInto(writeEnd.Get(), piece, whileIdle);
        }
    } catch (...) {
        drain();
        throw;
    }
    drain();
    return true;
#else
    (void)source;
    return false;
#endif
}

} // namespace net

#endif
