#include "NetFileStream.h"

#include "NetExceptions.h"

#ifdef __linux__
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace net {

namespace {

[[noreturn]] void raiseFileError(const std::string& what, const std::string& path, int error) {
    throw EFileError(what + " " + path + ": " + platform::errorText(error));
}

} // namespace

bool LocalFileExists(const std::string& path) {
    return platform::fileExists(path) || platform::folderExists(path);
}

TNetFileStream::TNetFileStream(const std::string& path, TFileMode mode) : m_path(path) {
    if (mode == TFileMode::CreateForWriting) {
        if (platform::openFile(path, platform::Access::ReadWrite, platform::Create::Replacing, m_file) != 0) {
            throw EFileError("Cannot create file " + path);
        }
    } else if (platform::openFile(path, platform::Access::Read, platform::Create::Never, m_file) != 0) {
        throw EFileError("Cannot open file " + path);
    }
}

std::int64_t TNetFileStream::Size() const {
    std::int64_t size = 0;
    if (const int error = platform::fileSize(m_file, size)) {
        raiseFileError("Cannot read the size of file", m_path, error);
    }
    return size;
}

void TNetFileStream::SetSize(std::int64_t size) {
    if (const int error = platform::setFileSize(m_file, size)) {
        raiseFileError("Cannot set the size of file", m_path, error);
    }
}

std::size_t TNetFileStream::Read(char* data, std::size_t count) {
    std::size_t done = 0;
    if (const int error = platform::readAt(m_file, m_position, data, count, done)) {
        raiseFileError("Cannot read file", m_path, error);
    }
    m_position += static_cast<std::int64_t>(done);
    return done;
}

void TNetFileStream::Write(const char* data, std::size_t count) {
    if (const int error = platform::writeAllAt(m_file, m_position, std::string_view(data, count))) {
        raiseFileError("Cannot write file", m_path, error);
    }
    m_position += static_cast<std::int64_t>(count);
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
            const ssize_t written = ::splice(readEnd.Get(), nullptr, m_file.native(), &offset, inPipe, SPLICE_F_MOVE);
            if (written <= 0) {
                if (written < 0 && errno == EINTR) {
                    continue;
                }
                raiseFileError("Cannot write file", m_path, platform::lastError());
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
