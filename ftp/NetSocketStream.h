// The byte stream of a connected socket.
#pragma once

#include "NetByteStream.h"
#include "NetSocket.h"

namespace net {

class TNetSocketStream final : public TNetByteStream {
public:
    explicit TNetSocketStream(TNetSocketHandle& socket) : m_socket(socket) {}

    bool IsOpen() const override { return m_socket.IsOpen(); }
    void Close() override { m_socket.Close(); }
    TNetIoResult Receive(char* data, std::size_t count, const TNetDeadline& deadline) override;
    TNetIoResult Send(const char* data, std::size_t count, const TNetDeadline& deadline) override;
    TNetNativeHandle WaitHandle() const override { return m_socket.Handle(); }
    void SetReceivePiece(std::size_t size) override;
    void SetSendPiece(std::size_t size) override;
    bool CanSplice() const override;
    TNetIoResult SpliceInto(TNetNativeHandle pipe, std::size_t count, const TNetDeadline& deadline,
                            const std::function<bool()>& whileIdle) override;

private:
    // Waits for input until the deadline; false when none came.
    bool awaitInput(const TNetDeadline& deadline);

    TNetSocketHandle& m_socket;
};

} // namespace net
