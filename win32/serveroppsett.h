// The server settings dialog: one entry "SERVER-SETTING-" + kind of SOLVEMAR.INI, edited in a modal
// Win32 dialog that writes the entry back whenever and however it is closed.
#pragma once

#include "ServerEntry.h"
#include "WinUi.h"

#include <windows.h>

#include <string>

namespace serveroppsett {

class TServerOppsettForm {
public:
    // owner: the window the dialog is modal over and centred on; none centres it on the screen.
    explicit TServerOppsettForm(HWND owner = nullptr);
    ~TServerOppsettForm();
    TServerOppsettForm(const TServerOppsettForm&) = delete;
    TServerOppsettForm& operator=(const TServerOppsettForm&) = delete;

    // Sets the caption and kind and shows the dialog modally; returns when it has closed.
    void VisServerOppsett(const std::string& caption, const std::string& kind);

    const std::string& servertype() const { return m_model.servertype(); }

    // The dialog's events, on the controls while it is shown.
    void FormShow();
    void FormClose();
    void passordDblClick();

    // The dialog and its controls while it is shown; null otherwise.
    HWND Handle = nullptr;
    HWND navn = nullptr;
    HWND server = nullptr;
    HWND mappe = nullptr;
    HWND brukernavn = nullptr;
    HWND passord = nullptr;
    HWND port = nullptr;
    HWND SSLL = nullptr;
    HWND Passiv = nullptr;

private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    HWND* controlSlot(const char* name);
    ServerEntryFields readControls() const;
    void writeControls(const ServerEntryFields& fields);
    void closeAndSave();

    HWND m_owner;
    ServerOppsettModel m_model;
    bool m_masked = true; // survives closing and reopening, as the double click left it
    winui::UniqueFont m_font;
    HWND m_tips = nullptr;
};

// Opens a dialog made for this one opening, for a program that keeps none of its own.
void VisServerOppsett(const std::string& caption, const std::string& kind);

} // namespace serveroppsett
