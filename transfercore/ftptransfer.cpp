// One upload or download at a time, blocking the calling thread; every step is a log line.
#include "ftptransfer.h"

#include "Felles.h"
#include "ftplocal.h"
#include "ftpmodule.h"
#include "textfil.h"

namespace ftpunit {

using detail::state;

namespace {

void log(const std::string& message) {
    textfil::WriteLog(message);
}

// The server's own words when its reply ended the attempt; empty when the cause was something else
// (nothing listening, a time-out, a closed connection), where a reply read earlier would mislead.
// Only for use inside a catch block.
std::string refusingReply() {
    try {
        throw;
    } catch (const net::ENetProtocolReplyError& error) {
        return felles::CutText(felles::OneLine(error.what()));
    } catch (...) {
        return {};
    }
}

// Why the session could not be protected, when that was the failure; empty for any other. Only for use
// inside a catch block.
std::string tlsRefusal(const std::string& host) {
    try {
        throw;
    } catch (const net::ENetTlsError& error) {
        return felles::OneLine(TlsRefusalText(error, host));
    } catch (...) {
        return {};
    }
}

// After the failure line of a connect or login: what the server said, or why TLS failed.
void logWhy(const std::string& reply, const std::string& tlsRefusal) {
    if (!reply.empty()) {
        log("FTP: serveren svarte: " + reply);
    }
    if (!tlsRefusal.empty()) {
        log("FTP: " + tlsRefusal);
    }
}

std::string certificateProblem(const net::ENetCertificateRejected& error, const std::string& host) {
    switch (error.problem()) {
    case net::TNetCertificateProblem::Untrusted:
        return "utstederen er ikke klarert (" + error.reason() + ")";
    case net::TNetCertificateProblem::Expired:
        return "det er utløpt (" + error.reason() + ")";
    case net::TNetCertificateProblem::NotYetValid:
        return "det er ikke gyldig ennå (" + error.reason() + ")";
    case net::TNetCertificateProblem::NameMismatch:
        return "det er ikke utstedt for " + host + " (" + error.reason() + ")";
    case net::TNetCertificateProblem::Other:
        break;
    }
    return error.reason();
}

} // namespace

std::string TlsRefusalText(const net::ENetTlsError& error, const std::string& host) {
    if (const auto* refused = dynamic_cast<const net::ENetTlsNotOffered*>(&error)) {
        return host + " tilbyr ikke TLS (" + refused->reason() +
               "); uten \"SSL\" i FTP-oppsettet sendes passord og filer i klartekst";
    }
    if (const auto* rejected = dynamic_cast<const net::ENetCertificateRejected*>(&error)) {
        return "sertifikatet til " + host + " kunne ikke bekreftes: " + certificateProblem(*rejected, host);
    }
    if (const auto* failed = dynamic_cast<const net::ENetTlsHandshakeFailed*>(&error)) {
        switch (failed->problem()) {
        case net::TNetHandshakeProblem::ServerClosed:
            return "TLS-forhandlingen med " + host + " mislyktes: serveren brøt forbindelsen";
        case net::TNetHandshakeProblem::ServerReset:
            return "TLS-forhandlingen med " + host + " mislyktes: serveren avbrøt forbindelsen brått (nullstilt)";
        case net::TNetHandshakeProblem::ServerSilent:
            return "TLS-forhandlingen med " + host + " mislyktes: serveren svarte ikke";
        case net::TNetHandshakeProblem::ClearTextAfterAuth:
            return "TLS-forhandlingen med " + host +
                   " mislyktes: serveren sendte klartekst etter å ha godtatt AUTH TLS";
        case net::TNetHandshakeProblem::Other:
            break;
        }
        return "TLS-forhandlingen med " + host + " mislyktes: " + failed->reason();
    }
    if (const auto* unreadable = dynamic_cast<const net::ENetTlsTrustUnreadable*>(&error)) {
        return "sertifikatfilen " + unreadable->file() + " (sslca) kunne ikke leses: " + unreadable->reason();
    }
    if (dynamic_cast<const net::ENetTlsUnavailable*>(&error) != nullptr) {
        return "\"SSL\" er valgt, men denne utgaven av programmet har ikke TLS; ingenting er sendt";
    }
    return "TLS-forbindelsen med " + host + " brøt sammen: " + error.reason();
}

Transfer::Transfer(net::TNetFTP& client, TransferObserver& observer) : m_client(client), m_observer(observer) {
    m_client.OnConnected = [this](net::TNetComponent& sender) { NetFTP1Connected(sender); };
    m_client.OnDisconnected = [this](net::TNetComponent& sender) { NetFTP1Disconnected(sender); };
    m_client.OnWorkBegin = [this](net::TNetComponent& sender, net::TWorkMode mode, std::int64_t countMax) {
        NetFTP1WorkBegin(sender, mode, countMax);
    };
    m_client.OnWork = [this](net::TNetComponent& sender, net::TWorkMode mode, std::int64_t count) {
        NetFTP1Work(sender, mode, count);
    };
}

Transfer::~Transfer() {
    m_client.OnConnected = nullptr;
    m_client.OnDisconnected = nullptr;
    m_client.OnWorkBegin = nullptr;
    m_client.OnWork = nullptr;
}

void Transfer::NetFTP1Connected(net::TNetComponent&) {
    m_observer.stateChanged("Tilkoblet");
}

void Transfer::NetFTP1Disconnected(net::TNetComponent&) {
    m_observer.stateChanged("Frakoblet");
}

void Transfer::NetFTP1WorkBegin(net::TNetComponent&, net::TWorkMode mode, std::int64_t) {
    if (mode == net::TWorkMode::wkReceive) {
        m_observer.stateChanged("Laster ned data");
    } else if (mode == net::TWorkMode::wkSend) {
        m_observer.stateChanged("Laster opp data");
    }
}

void Transfer::NetFTP1Work(net::TNetComponent&, net::TWorkMode, std::int64_t count) {
    m_observer.progressed(count, m_size);
}

void Transfer::setSize(std::int64_t size) {
    m_size = size;
    m_observer.sizeKnown(size);
}

void Transfer::prepareClient() {
    const auto& s = state();
    m_client.Host = s.ftpserver;
    m_client.User = s.ftpbruker;
    m_client.Password = s.ftppassord;
    m_client.Port = ConnectPort();
    m_client.Passive = PassiveMode();
    m_client.UseTLS = ftpssl();
    m_client.TLSCAFile = TrustedCertificatesFile();
}

// The first steps of both operations: no error yet, the view shown with the file's name.
void Transfer::begin(const std::string& L) {
    auto& s = state();
    s.ftpfeil = 0;
    s.outcome = Outcome::None;
    s.serverReply.clear();
    s.tlsRefusal.clear();
    m_size = -1;
    m_observer.transferStarted(FileNameOf(L));
}

void Transfer::SendFil(const std::string& L) {
    auto& s = state();
    begin(L);
    log("FTP: Starter ny sesjon for opplasting av " + L);

    const std::int64_t size = LokalFilStorrelse(L);
    if (size < 0) {
        log("FTP: Kan ikke finne filstørrelse, avbryter.");
        s.outcome = Outcome::LocalSizeUnknown;
        m_observer.transferFinished(WindowAfter::Close);
        return;
    }
    setSize(size);

    SjekkFTPOppsett();
    prepareClient();
    log("FTP: Kobler til " + m_client.Host + " som bruker " + m_client.User);
    m_observer.connecting(m_client.Host, m_client.User);
    try {
        m_client.OpenSession(true);
    } catch (...) {
        s.serverReply = refusingReply();
        s.tlsRefusal = tlsRefusal(m_client.Host);
        log("FTP: Feil nr. 502, kunne ikke koble til");
        logWhy(s.serverReply, s.tlsRefusal);
        s.ftpfeil = 502;
        s.outcome = Outcome::ConnectFailed;
    }

    if (m_client.IsConnected()) {
        // An empty folder means the login folder: upload to the plain file name.
        if (!s.ftpmappe.empty() && s.ftpmappe.back() != '/') {
            s.ftpmappe += '/';
        }
        const std::string R = s.ftpmappe + FileNameOf(L);
        try {
            m_client.UploadFile(L, R, false);
        } catch (...) {
            // Not ours to handle: the caller learns of it, the view stays as it was.
            s.outcome = Outcome::UploadFailed;
            m_observer.transferFinished(WindowAfter::StayShown);
            throw;
        }
        m_client.CloseConnection();
        log("FTP: Kobler fra.");
        s.outcome = Outcome::Completed;
    }
    m_observer.transferFinished(WindowAfter::Close);
}

void Transfer::HentFil(const std::string& L) {
    auto& s = state();
    begin(L);
    log("FTP: Starter ny sesjon for nedlasting av " + FileNameOf(L) + " til " + FolderOf(L));

    const std::string R = s.ftpmappe + FileNameOf(L);
    const std::string T = CompanionFile(L, "tmp");
    const std::string O = CompanionFile(L, "old");

    SjekkFTPOppsett();
    prepareClient();
    log("FTP: Kobler til " + m_client.Host + " som bruker " + m_client.User);
    m_observer.connecting(m_client.Host, m_client.User);

    std::int64_t size = -1;
    try {
        m_client.OpenSession(true);
        size = m_client.QueryFileSize(R);
        if (size == -1) {
            log("FTP: finner ikke filen " + R + ", avbryter forbindelse");
            m_client.CloseConnection();
            log("FTP: " + m_client.Host + " frakoblet");
            s.outcome = Outcome::RemoteFileNotFound;
            m_observer.transferFinished(WindowAfter::StayShown);
            return;
        }
        if (size < 0) {
            throw net::ENetException("Invalid file size.");
        }
        setSize(size);
        log("FTP: filstørrelse " + std::to_string(size));
    } catch (...) {
        s.serverReply = refusingReply();
        s.tlsRefusal = tlsRefusal(m_client.Host);
        log("FTP: Feil nr. 501, kunne ikke koble til " + m_client.Host + " med brukernavn " + m_client.User);
        logWhy(s.serverReply, s.tlsRefusal);
        s.ftpfeil = 501;
        s.outcome = Outcome::ConnectFailed;
    }

    bool downloaded = false;
    if (m_client.IsConnected()) {
        log("FTP: Tilkoblet, henter filen " + R);
        const std::string failed =
            "FTP: Feil nr. 500, kan ikke laste ned filen " + L + ". Sjekk at filen ikke er i bruk.";
        // A T left behind is replaced, never written through: a link there (symbolic or hard) would
        // otherwise carry the download into a file elsewhere.
        DeleteLocalFile(T);
        try {
            m_client.DownloadFile(R, T, true);
            downloaded = true;
            // A server may close the data connection early and still report success: a short
            // file must never be put in place of a good one.
            if (s.ftpfeil == 0 && m_client.LastTransferBytes() != size) {
                log(failed);
                s.ftpfeil = 500;
                s.outcome = Outcome::DownloadFailed;
            }
        } catch (...) {
            log(failed);
            s.ftpfeil = 500;
            s.outcome = Outcome::DownloadFailed;
        }
        m_client.CloseConnection();
        log("FTP: Kobler fra.");
    }
    m_observer.transferFinished(WindowAfter::Close);

    if (s.ftpfeil != 0) {
        return;
    }
    // Only a T written by this download may replace L, never one left by an earlier run.
    if (!downloaded) {
        s.outcome = Outcome::DownloadFailed;
        return;
    }
    if (LokalFilStorrelse(T) <= 0) {
        s.outcome = Outcome::EmptyDownload;
        return;
    }
    if (DeleteLocalFile(O)) {
        log("FTP: slettet midlertidig fil: " + O);
    }
    if (RenameWithoutReplacing(L, O)) {
        log("FTP: endret navn på " + L + " til " + O);
    }
    if (RenameWithoutReplacing(T, L)) {
        log("FTP: endret navn på " + T + " til " + L);
        s.outcome = Outcome::Completed;
    } else {
        s.outcome = Outcome::NotPutInPlace;
    }
}

} // namespace ftpunit
