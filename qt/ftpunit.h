// The FTP transfer window and the FTP entry it works from.
//
// A host program sets the server folder (setFtpmappe) and calls SendFil or HentFil on the window
// the program created; the outcome is in ftpfeil(), the log and the local files. The connection
// settings come from the entry "SERVER-SETTING-FTP" of SOLVEMAR.INI, loaded before each transfer.
// The steps themselves are the transfer core's (ftptransfer.h); the window shows how they go.
#pragma once

#include "NetFTP.h"
#include "ftpentry.h"
#include "ftplocal.h"
#include "ftpstate.h"
#include "ftptransfer.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QStatusBar;

namespace ftpunit {

class TFTPform : public QWidget, public TransferObserver {
    Q_OBJECT

public:
    // Wires a settings dialog made on demand when the program has wired none.
    explicit TFTPform(QWidget* parent = nullptr);
    ~TFTPform() override;

    // Uploads L into ftpmappe. A failure of the upload itself is not caught: it reaches the caller
    // with the window still shown.
    void SendFil(const std::string& L);
    // Downloads the file of L's name from ftpmappe and puts it in place of L, keeping the previous
    // version beside it with the extension "old".
    void HentFil(const std::string& L);

    void FormShow();

    // The transfer's events, shown in the controls.
    void transferStarted(const std::string& fileName) override;
    void connecting(const std::string& host, const std::string& user) override;
    void sizeKnown(std::int64_t size) override;
    void stateChanged(const std::string& text) override;
    void progressed(std::int64_t count, std::int64_t maximum) override;
    void transferFinished(WindowAfter after) override;

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
    // After NetFTP1, so that it lets go of the client's events before the client goes.
    Transfer m_transfer;
};

} // namespace ftpunit
