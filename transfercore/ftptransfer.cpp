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

// The password, and the scrambled form it is stored in, as "***": a server may echo the command it refuses
// ("530 Login incorrect: 'PASS hemmelig' rejected"), and nothing shown or logged may carry it on.
std::string withoutPassword(std::string text) {
    const std::string& password = state().ftppassord;
    if (password.empty()) {
        return text;
    }
    for (const std::string& secret : {password, felles::SkjulTekst(password)}) {
        for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3)) {
            text.replace(at, secret.size(), "***");
        }
    }
    return text;
}

enum class CauseKind { Reply, Tls, Other };

struct Cause {
    CauseKind kind;
    std::string text; // one line, without the password
};

// Causes other than a reply name paths and the system's words, which may run longer than a reply.
constexpr std::size_t kCauseMax = 1024;

// The log's words for a cause: a reply is the server's, a TLS refusal says itself what happened.
std::string causeLine(CauseKind kind, const std::string& cause) {
    switch (kind) {
    case CauseKind::Reply:
        return "serveren svarte: " + cause;
    case CauseKind::Tls:
        return cause;
    case CauseKind::Other:
        break;
    }
    return "årsak: " + cause;
}

// The cause of the failure being handled; only for use inside a catch block.
Cause currentCause(const std::string& host) {
    try {
        throw;
    } catch (const net::ENetProtocolReplyError& error) {
        return {CauseKind::Reply, felles::CutText(felles::OneLine(withoutPassword(error.what())))};
    } catch (const net::ENetTlsError& error) {
        return {CauseKind::Tls, felles::OneLine(withoutPassword(TlsRefusalText(error, host)))};
    } catch (const std::exception& error) {
        return {CauseKind::Other, felles::CutText(felles::OneLine(withoutPassword(error.what())), kCauseMax)};
    } catch (...) {
        return {CauseKind::Other, "ukjent feil"};
    }
}

// Records a failure: the error line (when there is one) and the line of its cause, the error number (when not
// 0), the outcome and the cause for FailureCause.
void fail(std::int32_t feil, const std::string& errorLine, Outcome outcome, const Cause& cause) {
    auto& s = state();
    if (!errorLine.empty()) {
        log(errorLine);
    }
    log("FTP: " + causeLine(cause.kind, cause.text));
    s.failureCause = cause.text;
    // These two keep their meaning: why the session itself could not be had.
    if (outcome == Outcome::ConnectFailed && cause.kind == CauseKind::Reply) {
        s.serverReply = cause.text;
    }
    if (outcome == Outcome::ConnectFailed && cause.kind == CauseKind::Tls) {
        s.tlsRefusal = cause.text;
    }
    if (feil != 0) {
        s.ftpfeil = feil;
    }
    s.outcome = outcome;
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
    m_client.OnRetry = [this](int retry, std::int64_t from, const std::string& cause) {
        NetFTP1Retry(retry, from, cause);
    };
}

Transfer::~Transfer() {
    m_client.OnConnected = nullptr;
    m_client.OnDisconnected = nullptr;
    m_client.OnWorkBegin = nullptr;
    m_client.OnWork = nullptr;
    m_client.OnRetry = nullptr;
}

void Transfer::NetFTP1Connected(net::TNetComponent&) {
    // Which of the server's addresses answered: a name may have several, of both families.
    if (textfil::VerboseLogging()) {
        const net::TNetSocketHandle& socket = m_client.Socket();
        log("FTP: " + m_client.Host + " svarte på " + net::EndpointText(socket.RemoteAddress, socket.RemotePort));
    }
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
    m_observer.progressed(m_counted + count, m_size);
}

void Transfer::NetFTP1Retry(int retry, std::int64_t from, const std::string& cause) {
    const int retries = m_client.DownloadRetries;
    log("FTP: forbindelsen brøt etter " + std::to_string(from) + " av " + std::to_string(m_size) + " byte (" +
        felles::CutText(felles::OneLine(withoutPassword(cause))) + "); fortsetter derfra, forsøk " +
        std::to_string(retry) + " av " + std::to_string(retries));
    m_counted = from;
    m_observer.retrying(retry, retries, from);
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
    s.failureCause.clear();
    m_size = -1;
    m_counted = 0;
    m_observer.transferStarted(FileNameOf(L));
}

void Transfer::SendFil(const std::string& L) {
    auto& s = state();
    begin(L);
    log("FTP: Starter ny sesjon for opplasting av " + L);

    std::string why;
    const std::int64_t size = LokalFilStorrelse(L, &why);
    if (size < 0) {
        fail(0, "FTP: Kan ikke finne filstørrelse, avbryter.", Outcome::LocalSizeUnknown, {CauseKind::Other, why});
        m_observer.transferFinished(WindowAfter::Close);
        return;
    }
    setSize(size);

    SjekkFTPOppsett();
    prepareClient();
    const std::string connectFailed = "FTP: Feil nr. 502, kunne ikke koble til";
    if (!EntryProblem().empty()) {
        fail(502, connectFailed, Outcome::ConnectFailed, {CauseKind::Other, EntryProblem()});
        m_observer.transferFinished(WindowAfter::Close);
        return;
    }
    log("FTP: Kobler til " + m_client.Host + " som bruker " + m_client.User);
    m_observer.connecting(m_client.Host, m_client.User);
    try {
        m_client.OpenSession(true);
    } catch (...) {
        fail(502, connectFailed, Outcome::ConnectFailed, currentCause(m_client.Host));
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
            // Not ours to handle: the caller learns of it, the view stays as it was. The log says why, and
            // that an upload is not continued: a part the server got stays there as the server keeps it.
            const Cause cause = currentCause(m_client.Host);
            const std::string partial =
                "; opplastingen fortsettes ikke, og det serveren eventuelt fikk av filen, blir liggende der";
            log("FTP: opplastingen av " + L + " feilet: " + causeLine(cause.kind, cause.text) + partial);
            s.failureCause = cause.text + partial;
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
    const std::string connectFailed =
        "FTP: Feil nr. 501, kunne ikke koble til " + m_client.Host + " med brukernavn " + m_client.User;
    const std::string downloadFailed =
        "FTP: Feil nr. 500, kan ikke laste ned filen " + L + ". Sjekk at filen ikke er i bruk.";
    if (!EntryProblem().empty()) {
        fail(501, connectFailed, Outcome::ConnectFailed, {CauseKind::Other, EntryProblem()});
        m_observer.transferFinished(WindowAfter::Close);
        return;
    }
    // T is made before the server is asked anything: where it cannot be made, nothing at all happens.
    platform::FileHandle madeT;
    if (const int error = CreateTemporaryFile(T, L, madeT)) {
        fail(500, downloadFailed, Outcome::DownloadFailed,
             {CauseKind::Other, "kan ikke lage den midlertidige filen " + T + ": " + platform::errorText(error)});
        m_observer.transferFinished(WindowAfter::Close);
        return;
    }
    net::TNetFileStream temporary(T, std::move(madeT));
    // When nothing is put in place, what came stays in T for a look; a T that holds nothing goes again.
    const auto removeEmptyT = [&] {
        std::int64_t written = 0;
        if (platform::fileSize(temporary.File(), written) == 0 && written == 0) {
            temporary.File().close();
            DeleteLocalFile(T);
        }
    };

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
            removeEmptyT();
            m_observer.transferFinished(WindowAfter::StayShown);
            return;
        }
        setSize(size);
        log("FTP: filstørrelse " + std::to_string(size));
    } catch (...) {
        fail(501, connectFailed, Outcome::ConnectFailed, currentCause(m_client.Host));
    }

    if (m_client.IsConnected()) {
        log("FTP: Tilkoblet, henter filen " + R);
        try {
            // A broken data connection is continued in T, in new sessions, while the file is unchanged.
            m_client.DownloadContinuing(R, temporary, size);
            // A server may close the data connection early and still report success: a short
            // file must never be put in place of a good one.
            const std::int64_t got = temporary.Position();
            if (s.ftpfeil == 0 && got != size) {
                fail(500, downloadFailed, Outcome::DownloadFailed,
                     {CauseKind::Other,
                      "serveren sendte " + std::to_string(got) + " av " + std::to_string(size) + " byte"});
            }
        } catch (...) {
            fail(500, downloadFailed, Outcome::DownloadFailed, currentCause(m_client.Host));
        }
        m_client.CloseConnection();
        log("FTP: Kobler fra.");
    } else if (s.ftpfeil == 0) {
        fail(500, downloadFailed, Outcome::DownloadFailed,
             {CauseKind::Other, "serveren brøt forbindelsen før nedlastingen begynte"});
    }
    m_observer.transferFinished(WindowAfter::Close);
    if (s.ftpfeil != 0) {
        removeEmptyT();
        return;
    }

    std::int64_t written = 0;
    if (platform::fileSize(temporary.File(), written) != 0 || written <= 0) {
        s.outcome = Outcome::EmptyDownload;
        return;
    }
    if (const int error = FinishTemporaryFile(temporary.File(), L)) {
        fail(500, downloadFailed, Outcome::DownloadFailed,
             {CauseKind::Other, "kan ikke skrive ferdig " + T + ": " + platform::errorText(error)});
        return;
    }
    // O goes only when L is there to take its place: without L, O is the last copy there is.
    const bool hadL = platform::fileExists(L);
    if (hadL && DeleteLocalFile(O)) {
        log("FTP: slettet midlertidig fil: " + O);
    }
    const int toO = RenameWithoutReplacing(L, O);
    if (toO == 0) {
        log("FTP: endret navn på " + L + " til " + O);
    }
    const int toL = RenameWithoutReplacing(T, L);
    if (toL == 0) {
        log("FTP: endret navn på " + T + " til " + L);
        s.outcome = Outcome::Completed;
        return;
    }
    // When L could not make way, that is the cause; T then only found L still there.
    const std::string cause = hadL && toO != 0
                                  ? "kan ikke endre navn på " + L + " til " + O + ": " + platform::errorText(toO)
                                  : "kan ikke endre navn på " + T + " til " + L + ": " + platform::errorText(toL);
    fail(0, {}, Outcome::NotPutInPlace, {CauseKind::Other, cause});
}

} // namespace ftpunit
