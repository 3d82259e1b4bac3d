#include "NetSimpleServer.h"

#include "NetExceptions.h"

namespace net {

void TNetSimpleServer::StartListening() {
    ResetForOpen();
    m_abortWait = false;
    m_listening = false;
    if (!m_listener.IsOpen()) {
        m_listener.Allocate(FamilyOf(BoundIP));
        try {
            m_listener.Bind(BoundIP, BoundPort);
            m_listener.Listen(1);
        } catch (...) {
            m_listener.Reset(Forget::PeerAndLocal);
            throw;
        }
    }
    m_listening = true;
}

void TNetSimpleServer::stopListening() {
    m_listener.Reset(Forget::Peer);
    m_listening = false;
}

void TNetSimpleServer::WaitForPeer(TNetTCPConnection* control, const std::string& acceptFrom) {
    if (!m_listening) {
        StartListening();
    }
    const TNetDeadline deadline = TNetDeadline::After(Clock(), IdleTimeout);
    // Ends the wait when control holds a failure reply, or more than any reply could be.
    const auto checkControl = [control] {
        if (control->FailureReplyPending()) {
            control->AwaitReply({});
            throw ENetProtocolReplyError(control->LastReplyLine(), control->ReplyCode);
        }
        if (control->PendingInput.Size() > kMaxReplyLineLength) {
            control->CloseConnection();
            throw ENetReplyTooLong("Reply longer than " + std::to_string(kMaxReplyLineLength) +
                                   " bytes while waiting for the data connection.");
        }
    };
    try {
        if (control != nullptr) {
            checkControl(); // a refusal may have come together with the preliminary reply
        }
        while (!m_abortWait) {
            if (deadline.Passed()) {
                throw ENetSocketError(wsa::TimedOut);
            }
            const bool watchControl = control != nullptr && control->Stream().IsOpen();
            // Bytes the control stream holds itself would not wake a wait on its handle.
            TReadySide ready = TReadySide::Other;
            if (!watchControl || !control->Stream().InputBuffered()) {
                ready = WaitForListenerOrInput(m_listener, watchControl ? control->Stream().WaitHandle() : kNoHandle,
                                               deadline);
            }
            if (ready == TReadySide::Listener) {
                std::string peer;
                TNetDescriptor accepted = m_listener.AcceptOne(peer);
                // Only the server we talk to may deliver the data; anyone else is closed at once.
                if (!accepted.Valid() || (!acceptFrom.empty() && acceptFrom != peer)) {
                    continue;
                }
                m_socket.Adopt(std::move(accepted));
                ClosedByPeer = false;
                break;
            }
            if (ready == TReadySide::Other) {
                control->ReceiveFromSocket(IfClosed::Return, nullptr, 0, Into::PendingInput);
                checkControl();
                if (!control->IsConnected()) {
                    throw ENetConnClosedGracefully();
                }
            }
        }
    } catch (...) {
        stopListening();
        throw;
    }
    stopListening();
}

} // namespace net
