// A local file as a transfer's stream, on the support library's platform layer; only the Linux zero-copy
// receive reaches past it, to the file's native handle.
#pragma once

#include "NetStream.h"
#include "platform.h"

#include <cstdint>
#include <string>

namespace net {

enum class TFileMode { CreateForWriting, OpenForReading };

// True when something exists at path.
bool LocalFileExists(const std::string& path);

// Creating replaces an existing file ("Cannot create file %s"); opening for reading lets other programs read
// and write meanwhile ("Cannot open file %s").
class TNetFileStream : public TNetStream {
public:
    TNetFileStream(const std::string& path, TFileMode mode);
    // A file the caller has opened (for writing, to download into); the stream owns it from now on.
    TNetFileStream(std::string path, platform::FileHandle file) : m_path(std::move(path)), m_file(std::move(file)) {}
    TNetFileStream(const TNetFileStream&) = delete;
    TNetFileStream& operator=(const TNetFileStream&) = delete;

    // The open file, for what the stream does not do itself (its mode, its close).
    platform::FileHandle& File() { return m_file; }

    std::int64_t Size() const override;
    std::int64_t Position() const override { return m_position; }
    void SetPosition(std::int64_t position) override { m_position = position; }
    void SetSize(std::int64_t size) override;
    std::size_t Read(char* data, std::size_t count) override;
    void Write(const char* data, std::size_t count) override;
    // Where the platform can, moves the bytes of a clear-text socket into the file without copying them
    // through user memory; otherwise receives and writes as every stream does.
    void TakeFrom(TNetReceiveSource& source) override;

private:
    // The zero-copy path; false when it cannot be set up (before any byte has moved).
    bool spliceFrom(TNetReceiveSource& source);

    std::string m_path;
    platform::FileHandle m_file;
    std::int64_t m_position = 0;
};

} // namespace net
