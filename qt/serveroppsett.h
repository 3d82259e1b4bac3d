// The server settings dialog: one entry "SERVER-SETTING-" + kind of SOLVEMAR.INI, edited in a modal
// dialog that writes the entry back whenever and however it is closed.
#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <string_view>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace serveroppsett {

// The INI section of a server kind, "SERVER-SETTING-" + kind.
std::string SectionName(std::string_view kind);
// The port written when the port field is saved empty; empty for a kind outside the table.
// The kind is compared exactly, case included ("smb" has no default).
std::string DefaultPort(std::string_view kind);

class TServerOppsettForm : public QDialog {
    Q_OBJECT

public:
    explicit TServerOppsettForm(QWidget* parent = nullptr);
    ~TServerOppsettForm() override;

    // Sets the caption and kind and shows the dialog modally; returns when it has closed.
    void VisServerOppsett(const std::string& caption, const std::string& kind);

    const std::string& servertype() const { return m_servertype; }

    void FormShow();
    void FormClose();
    void passordDblClick();

    QLineEdit* navn;
    QLineEdit* server;
    QLineEdit* mappe;
    QLineEdit* brukernavn;
    QLineEdit* passord;
    QLineEdit* port;
    QCheckBox* SSLL;
    QCheckBox* Passiv;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void done(int result) override;

private:
    QLabel* addLabel(const char* text, int left, int top);

    std::string m_servertype;
    // Set by FormShow, cleared by FormClose: each showing is saved exactly once, whichever way
    // the dialog goes away (close button, Esc, hide()).
    bool m_unsaved = false;
};

// Opens a dialog made for this one opening, for a program that keeps none of its own.
void VisServerOppsett(const std::string& caption, const std::string& kind);

} // namespace serveroppsett
