// The two transfer operations, SendFil and HentFil, without any window: the steps, the log lines,
// ftpfeil and the local files. Whoever runs a transfer (the transfer window, solvemar-ftp) owns the
// FTP client and learns how the transfer goes through plain events.
#pragma once

#include "NetFTP.h"

#include <cstdint>
#include <string>

namespace ftpunit {

// What a view does once the network part of an operation is over.
enum class WindowAfter {
    Close,     // the usual end, successful or not
    StayShown, // the remote file was not found, or the upload failed (the exception follows)
};

// The events of one operation, in this order: started, connecting, then state changes and progress
// as the client reports them, then finished. An operation that stops early skips what it does not
// reach. Every event comes on the thread that runs the operation, from inside the call.
class TransferObserver {
public:
    virtual ~TransferObserver() = default;

    // The operation has begun on the local file of this name; the progress position is back at 0.
    virtual void transferStarted(const std::string& /*fileName*/) {}
    // The settings are loaded (after the settings dialog, if it was needed); the session opens next.
    virtual void connecting(const std::string& /*host*/, const std::string& /*user*/) {}
    // The size of the file to move, in bytes: the progress maximum.
    virtual void sizeKnown(std::int64_t /*size*/) {}
    // The connection's state in the window's words: "Tilkoblet", "Laster ned data", "Laster opp data",
    // "Frakoblet".
    virtual void stateChanged(const std::string& /*text*/) {}
    // Bytes moved so far by this transfer; maximum is the known size, or -1 when none is known.
    virtual void progressed(std::int64_t /*count*/, std::int64_t /*maximum*/) {}
    // The download's data connection broke after count bytes: it goes on from there in a new session,
    // retry number retry of at most retries. The counts that follow go on from count.
    virtual void retrying(int /*retry*/, int /*retries*/, std::int64_t /*count*/) {}
    // The network part is over; what follows (putting a download in place) needs no view.
    virtual void transferFinished(WindowAfter /*after*/) {}
};

// Why a session to host could not be protected with TLS, in the words of the log line after the error
// number (without "FTP: "): the server offers no TLS, its certificate does not verify, the handshake
// failed, the file of trusted certificates cannot be read, or the program has no TLS.
std::string TlsRefusalText(const net::ENetTlsError& error, const std::string& host);

// Runs the operations with one client and reports to one observer; both must outlive it. While it
// exists, the client's connection and work events are its own.
class Transfer {
public:
    Transfer(net::TNetFTP& client, TransferObserver& observer);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Uploads L into ftpmappe. A failure of the upload itself is not caught: it reaches the caller.
    void SendFil(const std::string& L);
    // Downloads the file of L's name from ftpmappe and puts it in place of L, keeping the previous
    // version beside it with the extension "old".
    void HentFil(const std::string& L);

    // The client's events.
    void NetFTP1Connected(net::TNetComponent& sender);
    void NetFTP1Disconnected(net::TNetComponent& sender);
    void NetFTP1WorkBegin(net::TNetComponent& sender, net::TWorkMode mode, std::int64_t countMax);
    void NetFTP1Work(net::TNetComponent& sender, net::TWorkMode mode, std::int64_t count);
    // A broken download goes on from byte from.
    void NetFTP1Retry(int retry, std::int64_t from, const std::string& cause);

private:
    void begin(const std::string& L);
    void prepareClient();
    void setSize(std::int64_t size);

    net::TNetFTP& m_client;
    TransferObserver& m_observer;
    std::int64_t m_size = -1;   // of the running operation, once known
    std::int64_t m_counted = 0; // bytes of earlier attempts of a download that broke: progress goes on from there
};

} // namespace ftpunit
