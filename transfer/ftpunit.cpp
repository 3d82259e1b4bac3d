// The FTP transfer window: one upload or download at a time, on the GUI thread.
#include "ftpunit.h"

#include "Felles.h"
#include "ftpstate.h"
#include "textfil.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QStatusBar>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ftpunit {

using detail::state;

namespace {

TFTPform* g_form = nullptr;

// Painting (or even relabelling) for every 32 KiB piece would slow the transfer down; a few dozen
// frames a second look the same to the user.
constexpr std::int64_t kRepaintIntervalMs = 40;

void log(const std::string& message) {
    textfil::WriteLog(message);
}

QString fromText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
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

// After the failure line of a connect or login: what the server said, when it said anything.
void logServerReply(const std::string& reply) {
    if (!reply.empty()) {
        log("FTP: serveren svarte: " + reply);
    }
}

bool deleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

// Renames without replacing: the platform's rename would silently overwrite an existing target,
// and the download relies on "L still there" stopping T from being put over it.
bool renameFile(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) {
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

// ---- Paths -------------------------------------------------------------------------------------

std::string FileNameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1));
}

std::string CompanionFile(std::string_view path, std::string_view extension) {
    return FolderOf(path) + felles::ByttEndelse(FileNameOf(path), extension);
}

std::int64_t LokalFilStorrelse(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    // Read-only means no write bit at all, whoever runs the program (root included).
    if ((st.st_mode & 0222) == 0) {
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    std::int64_t size = -1;
    if (::fstat(fd, &st) == 0) {
        size = st.st_size;
    }
    ::close(fd);
    return size;
}

// ---- The window --------------------------------------------------------------------------------

TFTPform::TFTPform(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      NetFTP1(std::make_unique<net::TNetFTP>()) {
    setObjectName("FTPform");
    setWindowTitle("FTPform");
    setFont(QFont("MS Sans Serif", 8));
    // Outer 225 x 102 on the maker's platform: a client area of 217 x 75.
    setGeometry(408, 424, 217, 75);

    ftpfil = new QLabel("filnavn.ending", this);
    ftpfil->setObjectName("ftpfil");
    ftpfil->setAlignment(Qt::AlignCenter);
    ftpfil->setGeometry(8, 8, 201, 13);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(8, 32, 201, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, 56, 217, 19);
    m_panel0 = new QLabel("0", StatusBar1);
    m_panel0->setObjectName("StatusPanel0");
    m_panel0->setFixedWidth(60);
    m_panel0->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_panel1 = new QLabel("Klar", StatusBar1);
    m_panel1->setObjectName("StatusPanel1");
    m_panel1->setMinimumWidth(50);
    StatusBar1->addWidget(m_panel0);
    StatusBar1->addWidget(m_panel1, 1);

    NetFTP1->OnConnected = [this](net::TNetComponent& sender) { NetFTP1Connected(sender); };
    NetFTP1->OnDisconnected = [this](net::TNetComponent& sender) { NetFTP1Disconnected(sender); };
    NetFTP1->OnWorkBegin = [this](net::TNetComponent& sender, net::TWorkMode mode, std::int64_t countMax) {
        NetFTP1WorkBegin(sender, mode, countMax);
    };
    NetFTP1->OnWork = [this](net::TNetComponent& sender, net::TWorkMode mode, std::int64_t count) {
        NetFTP1Work(sender, mode, count);
    };

    g_form = this;
}

TFTPform::~TFTPform() {
    if (g_form == this) {
        g_form = nullptr;
    }
}

QString TFTPform::panelText(int panel) const {
    return panel == 0 ? m_panel0->text() : m_panel1->text();
}

void TFTPform::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
    }
    QWidget::showEvent(event);
}

void TFTPform::FormShow() {
    setWindowTitle(fromText(state().ftpserver));
    ftpfil->clear();
    ftpfil->repaint();
}

void TFTPform::NetFTP1Connected(net::TNetComponent&) {
    m_panel1->setText("Tilkoblet");
    StatusBar1->repaint();
}

void TFTPform::NetFTP1Disconnected(net::TNetComponent&) {
    m_panel1->setText("Frakoblet");
    StatusBar1->repaint();
}

void TFTPform::NetFTP1WorkBegin(net::TNetComponent&, net::TWorkMode mode, std::int64_t) {
    if (mode == net::TWorkMode::wkReceive) {
        m_panel1->setText("Laster ned data");
    } else if (mode == net::TWorkMode::wkSend) {
        m_panel1->setText("Laster opp data");
    }
    StatusBar1->repaint();
}

void TFTPform::NetFTP1Work(net::TNetComponent&, net::TWorkMode, std::int64_t count) {
    // The count arrives every 32 KiB; the controls take it at the next repaint.
    m_progressPosition = std::clamp<std::int64_t>(count, 0, m_progressMaximum);
    m_workCount = count;
    repaintProgress(count >= m_progressMaximum);
}

bool TFTPform::setProgressMaximum(std::int64_t maximum) {
    if (maximum < 0) {
        return false;
    }
    // The bar counts in int; beyond that it counts in units of 2^shift bytes.
    int shift = 0;
    while ((maximum >> shift) > INT_MAX) {
        ++shift;
    }
    m_progressMaximum = maximum;
    m_progressShift = shift;
    ProgressBar1->setRange(0, int(maximum >> shift));
    setProgressPosition(m_progressPosition);
    return true;
}

void TFTPform::setProgressPosition(std::int64_t position) {
    // Out of range the bar would ignore the value; a server that sends more than it announced
    // leaves the bar full.
    m_progressPosition = std::clamp<std::int64_t>(position, 0, m_progressMaximum);
    ProgressBar1->setValue(int(m_progressPosition >> m_progressShift));
}

void TFTPform::repaintProgress(bool force) {
    if (!force && m_paintClock.isValid() && m_paintClock.elapsed() < kRepaintIntervalMs) {
        return;
    }
    m_paintClock.start();
    setProgressPosition(m_progressPosition);
    m_panel0->setText(QString::number(m_workCount));
    ProgressBar1->repaint();
    StatusBar1->repaint();
    // Expose events (another window moved away) are only handled by the event loop, which the
    // blocking transfer holds up; user input waits until the transfer is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TFTPform::prepareClient() {
    const auto& s = state();
    NetFTP1->Host = s.ftpserver;
    NetFTP1->User = s.ftpbruker;
    NetFTP1->Password = s.ftppassord;
    NetFTP1->Port = ConnectPort();
    NetFTP1->Passive = PassiveMode();
}

// The first steps of both operations: no error yet, the window shown with the file's name.
void TFTPform::beginOperation(const std::string& L) {
    auto& s = state();
    s.ftpfeil = 0;
    s.outcome = Outcome::None;
    s.serverReply.clear();
    show();
    ftpfil->setText(fromText(FileNameOf(L)));
    ftpfil->repaint();
}

void TFTPform::SendFil(const std::string& L) {
    auto& s = state();
    beginOperation(L);
    log("FTP: Starter ny sesjon for opplasting av " + L);
    setProgressPosition(0);

    const std::int64_t size = LokalFilStorrelse(L);
    if (size < 0 || !setProgressMaximum(size)) {
        log("FTP: Kan ikke finne filstørrelse, avbryter.");
        s.outcome = Outcome::LocalSizeUnknown;
        hide();
        return;
    }

    SjekkFTPOppsett();
    prepareClient();
    log("FTP: Kobler til " + NetFTP1->Host + " som bruker " + NetFTP1->User);
    try {
        NetFTP1->OpenSession(true);
    } catch (...) {
        s.serverReply = refusingReply();
        log("FTP: Feil nr. 502, kunne ikke koble til");
        logServerReply(s.serverReply);
        s.ftpfeil = 502;
        s.outcome = Outcome::ConnectFailed;
    }

    if (NetFTP1->IsConnected()) {
        // An empty folder means the login folder: upload to the plain file name.
        if (!s.ftpmappe.empty() && s.ftpmappe.back() != '/') {
            s.ftpmappe += '/';
        }
        const std::string R = s.ftpmappe + FileNameOf(L);
        try {
            NetFTP1->UploadFile(L, R, false);
        } catch (...) {
            // Not ours to handle: the caller learns of it, the window stays as it was.
            s.outcome = Outcome::UploadFailed;
            repaintProgress(true);
            throw;
        }
        repaintProgress(true);
        NetFTP1->CloseConnection();
        log("FTP: Kobler fra.");
        s.outcome = Outcome::Completed;
    }
    hide();
}

void TFTPform::HentFil(const std::string& L) {
    auto& s = state();
    beginOperation(L);
    log("FTP: Starter ny sesjon for nedlasting av " + FileNameOf(L) + " til " + FolderOf(L));
    setProgressPosition(0);

    const std::string R = s.ftpmappe + FileNameOf(L);
    const std::string T = CompanionFile(L, "tmp");
    const std::string O = CompanionFile(L, "old");

    SjekkFTPOppsett();
    prepareClient();
    log("FTP: Kobler til " + NetFTP1->Host + " som bruker " + NetFTP1->User);
    repaint();

    std::int64_t size = -1;
    try {
        NetFTP1->OpenSession(true);
        size = NetFTP1->QueryFileSize(R);
        if (size == -1) {
            log("FTP: finner ikke filen " + R + ", avbryter forbindelse");
            NetFTP1->CloseConnection();
            log("FTP: " + NetFTP1->Host + " frakoblet");
            s.outcome = Outcome::RemoteFileNotFound;
            return;
        }
        if (!setProgressMaximum(size)) {
            throw net::ENetException("Invalid file size.");
        }
        log("FTP: filstørrelse " + std::to_string(size));
    } catch (...) {
        s.serverReply = refusingReply();
        log("FTP: Feil nr. 501, kunne ikke koble til " + NetFTP1->Host + " med brukernavn " + NetFTP1->User);
        logServerReply(s.serverReply);
        s.ftpfeil = 501;
        s.outcome = Outcome::ConnectFailed;
    }

    bool downloaded = false;
    if (NetFTP1->IsConnected()) {
        log("FTP: Tilkoblet, henter filen " + R);
        const std::string failed =
            "FTP: Feil nr. 500, kan ikke laste ned filen " + L + ". Sjekk at filen ikke er i bruk.";
        // A T left behind is replaced, never written through: a link there (symbolic or hard) would
        // otherwise carry the download into a file elsewhere.
        deleteFile(T);
        try {
            NetFTP1->DownloadFile(R, T, true);
            downloaded = true;
            // A server may close the data connection early and still report success: a short
            // file must never be put in place of a good one.
            if (s.ftpfeil == 0 && NetFTP1->LastTransferBytes() != size) {
                log(failed);
                s.ftpfeil = 500;
                s.outcome = Outcome::DownloadFailed;
            }
        } catch (...) {
            log(failed);
            s.ftpfeil = 500;
            s.outcome = Outcome::DownloadFailed;
        }
        // The last count of a transfer that stopped short of the size.
        repaintProgress(true);
        NetFTP1->CloseConnection();
        log("FTP: Kobler fra.");
    }
    hide();

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
    if (deleteFile(O)) {
        log("FTP: slettet midlertidig fil: " + O);
    }
    if (renameFile(L, O)) {
        log("FTP: endret navn på " + L + " til " + O);
    }
    if (renameFile(T, L)) {
        log("FTP: endret navn på " + T + " til " + L);
        s.outcome = Outcome::Completed;
    } else {
        s.outcome = Outcome::NotPutInPlace;
    }
}

TFTPform* FTPform() {
    return g_form;
}

} // namespace ftpunit
