// The FTP transfer window and the FTP entry it works from.
//
// A host program sets the server folder (setFtpmappe) and calls SendFil or HentFil on the window
// the program created; the outcome is in ftpfeil(), the log and the local files. The connection
// settings come from the entry "SERVER-SETTING-FTP" of SOLVEMAR.INI, loaded before each transfer.
#pragma once

#include "NetFTP.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QLabel;
class QProgressBar;
class QStatusBar;

namespace ftpunit {

// ---- The FTP entry and the connection settings ------------------------------------------------
inline constexpr std::string_view kFtpSection = "SERVER-SETTING-FTP";
// The maker's download server and the guest login of public FTP servers.
inline constexpr std::string_view kDefaultServer = "ftp.solvemar.no";
inline constexpr std::string_view kGuestUser = "anonymous";
inline constexpr std::string_view kGuestPassword = "besokende";
inline constexpr std::int32_t kDefaultPort = 21;

// Loads server, username, password (unscrambled), port and the flag passive of the FTP entry; a
// missing key empties its variable (the port reads 0, the flag clear).
void LesFTPOppsett();
// Writes the default FTP entry; the password scrambled.
void SkrivFTPStandard();
// Loads the entry; with no server, writes the defaults and lets the user check them in the settings
// dialog first. An empty user name or password falls back to the guest login (not written back).
void SjekkFTPOppsett();

const std::string& ftpserver();
const std::string& ftpbruker();
const std::string& ftppassord();
std::int32_t ftpport();
// The port the client connects to: ftpport when above 0, else 21.
std::int32_t ConnectPort();
// Passive mode for every transfer, whatever the entry says (a host program's option); false leaves
// the choice to the entry.
void setForcePassive(bool force);
// True when transfers open their data connection in passive mode (PASV): the entry's flag passive
// is set, or a host program forced it. Otherwise active mode (PORT).
bool PassiveMode();

// ---- Transfer state ----------------------------------------------------------------------------
// The folder on the server, set by the caller before a transfer. SendFil appends a missing "/".
const std::string& ftpmappe();
void setFtpmappe(std::string folder);
// 0, or the error number of the last transfer: 502 (upload: connect or login), 501 (download:
// connect, login or size), 500 (download itself, or fewer bytes than the server announced).
std::int32_t ftpfeil();

// What became of the last operation, finer than ftpfeil (which stays 0 on the early aborts).
enum class Outcome {
    None,               // no operation yet
    Completed,          // uploaded, or downloaded and put in place of L
    LocalSizeUnknown,   // SendFil: L could not be opened for reading and writing
    RemoteFileNotFound, // HentFil: the server gave no size for R
    ConnectFailed,      // ftpfeil 502 or 501
    DownloadFailed,     // ftpfeil 500
    EmptyDownload,      // HentFil: T empty or unreadable; nothing moved
    NotPutInPlace,      // HentFil: T could not be renamed to L; the new version stays in T
    UploadFailed,       // SendFil: the upload raised; the exception went to the caller
};
Outcome LastOutcome();
// When the last operation could not connect or log in because the server refused it: the server's
// reply ("530 Login incorrect."), one line of at most 255 bytes, as logged. Otherwise empty (nothing
// listening, a time-out, or no such failure).
const std::string& ServerReply();

// The program's stop of this unit: empties ftpmappe.
void Stop();
// Back to the start values of every variable of this unit, for tests.
void ResetFtpState();

// ---- Paths -------------------------------------------------------------------------------------
// The text after the last "/" of a path, and the text up to and including it.
std::string FileNameOf(std::string_view path);
std::string FolderOf(std::string_view path);
// The companion file of a download (extension "tmp" or "old"): the extension of L's file name
// replaced, in L's own folder, so a dot in a folder name cannot move it elsewhere.
std::string CompanionFile(std::string_view path, std::string_view extension);

// Size of a local file that can be opened for reading and writing; -1 when it cannot (missing,
// no write permission bit, not a regular file). 64-bit: files above 2 GiB give their true size.
std::int64_t LokalFilStorrelse(const std::string& path);

// ---- The window --------------------------------------------------------------------------------
class TFTPform : public QWidget {
    Q_OBJECT

public:
    explicit TFTPform(QWidget* parent = nullptr);
    ~TFTPform() override;

    // Uploads L into ftpmappe. A failure of the upload itself is not caught: it reaches the caller
    // with the window still shown.
    void SendFil(const std::string& L);
    // Downloads the file of L's name from ftpmappe and puts it in place of L, keeping the previous
    // version beside it with the extension "old".
    void HentFil(const std::string& L);

    void FormShow();
    void NetFTP1Connected(net::TNetComponent& sender);
    void NetFTP1Disconnected(net::TNetComponent& sender);
    void NetFTP1WorkBegin(net::TNetComponent& sender, net::TWorkMode mode, std::int64_t countMax);
    void NetFTP1Work(net::TNetComponent& sender, net::TWorkMode mode, std::int64_t count);

    // The progress in bytes; the bar itself counts in larger units when the size passes its int
    // range. A negative maximum is refused.
    bool setProgressMaximum(std::int64_t maximum);
    void setProgressPosition(std::int64_t position);
    std::int64_t progressPosition() const { return m_progressPosition; }
    std::int64_t progressMaximum() const { return m_progressMaximum; }
    QString panelText(int panel) const;

    QLabel* ftpfil;
    QProgressBar* ProgressBar1;
    QStatusBar* StatusBar1;
    std::unique_ptr<net::TNetFTP> NetFTP1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void beginOperation(const std::string& L);
    void prepareClient();
    // Puts the latest count into the progress controls and repaints them, at most every few
    // milliseconds unless forced, and lets paint events through so the window stays drawn while
    // the transfer blocks the thread.
    void repaintProgress(bool force);

    QLabel* m_panel0;
    QLabel* m_panel1;
    std::int64_t m_progressMaximum = 100;
    std::int64_t m_progressPosition = 0;
    int m_progressShift = 0;
    std::int64_t m_workCount = 0;
    QElapsedTimer m_paintClock;
};

// The window the program created (the last one constructed and still alive), or null.
TFTPform* FTPform();

} // namespace ftpunit
