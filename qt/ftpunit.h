// The FTP transfer window of the Qt face, and the FTP entry it works from.
//
// A host program sets the server folder (setFtpmappe) and calls SendFil or HentFil on the window
// the program created; the outcome is in ftpfeil(), the log and the local files. The connection
// settings come from the entry "SERVER-SETTING-FTP" of SOLVEMAR.INI, loaded before each transfer.
// The steps themselves are the transfer core's (ftptransfer.h), and what the window shows of them
// is its model's (TransferWindow.h); the window draws it.
#pragma once

#include "NetFTP.h"
#include "TransferWindow.h"
#include "ftpentry.h"
#include "ftplocal.h"
#include "ftpstate.h"
#include "ftptransfer.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QStatusBar;

namespace ftpunit {

class TFTPform : public QWidget, public TransferWindowView {
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

    // What the window shows, in bytes and texts.
    const TransferWindowModel& model() const { return m_window.model(); }
    QString panelText(int panel) const;

    // The transfer window's controls, told what to show.
    void showWindow() override;
    void hideWindow() override;
    void showFileName(const std::string& name) override;
    void showProgress(int barMaximum, int barPosition, const std::string& countText) override;
    void showState(const std::string& text) override;
    void repaintWindow() override;
    void letPaintsThrough() override;

    QLabel* ftpfil;
    QProgressBar* ProgressBar1;
    QStatusBar* StatusBar1;
    std::unique_ptr<net::TNetFTP> NetFTP1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_panel0;
    QLabel* m_panel1;
    TransferWindow m_window;
    // After NetFTP1 and the window, so that it lets go of the client's events before either goes.
    Transfer m_transfer;
};

} // namespace ftpunit
