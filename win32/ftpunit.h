// The FTP transfer window and the FTP entry it works from.
//
// A host program sets the server folder (setFtpmappe) and calls SendFil or HentFil on the window
// the program created; the outcome is in ftpfeil(), the log and the local files. The connection
// settings come from the entry "SERVER-SETTING-FTP" of SOLVEMAR.INI, loaded before each transfer.
// The steps are the transfer core's (ftptransfer.h), what the controls show is the window model's
// (TransferWindow.h); this window only draws them, in Win32 controls.
#pragma once

#include "NetFTP.h"
#include "TransferWindow.h"
#include "WinUi.h"
#include "ftpentry.h"
#include "ftplocal.h"
#include "ftpstate.h"
#include "ftptransfer.h"

#include <windows.h>

#include <memory>
#include <string>

namespace ftpunit {

class TFTPform : public TransferWindowView {
public:
    // Made hidden. Wires a settings dialog made on demand when the program has wired none.
    TFTPform();
    ~TFTPform() override;
    TFTPform(const TFTPform&) = delete;
    TFTPform& operator=(const TFTPform&) = delete;

    // Uploads L into ftpmappe. A failure of the upload itself is not caught: it reaches the caller
    // with the window still shown.
    void SendFil(const std::string& L);
    // Downloads the file of L's name from ftpmappe and puts it in place of L, keeping the previous
    // version beside it with the extension "old".
    void HentFil(const std::string& L);

    // Caption ftpserver(), the file-name label emptied: when the window goes from hidden to shown.
    void FormShow();

    const TransferWindowModel& model() const { return m_window.model(); }
    // A status bar panel's text: 0 the count, 1 the connection state.
    std::string panelText(int panel) const;

    HWND Handle = nullptr;
    HWND ftpfil = nullptr;
    HWND ProgressBar1 = nullptr;
    HWND StatusBar1 = nullptr;
    std::unique_ptr<net::TNetFTP> NetFTP1;

    // TransferWindowView
    void showWindow() override;
    void hideWindow() override;
    void showFileName(const std::string& name) override;
    void showProgress(int barMaximum, int barPosition, const std::string& countText) override;
    void showState(const std::string& text) override;
    void repaintWindow() override;
    void letPaintsThrough() override;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void placeStatusBar();

    winui::UniqueFont m_font;
    TransferWindow m_window{*this};
    // After NetFTP1 and the window, so that it lets go of the client's events before they go.
    Transfer m_transfer;
};

} // namespace ftpunit
