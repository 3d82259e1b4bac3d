// The server settings dialog of the Qt face: one entry "SERVER-SETTING-" + kind of SOLVEMAR.INI, edited
// in a modal dialog that writes the entry back whenever and however it is closed. The entry's load and
// save and the controls' places are the neutral core's (ServerEntry.h).
#pragma once

#include "ServerEntry.h"

#include <QDialog>
#include <QString>

#include <string>

class QCheckBox;
class QLineEdit;

namespace serveroppsett {

class TServerOppsettForm : public QDialog {
    Q_OBJECT

public:
    explicit TServerOppsettForm(QWidget* parent = nullptr);
    ~TServerOppsettForm() override;

    // Sets the caption and kind and shows the dialog modally; returns when it has closed.
    void VisServerOppsett(const std::string& caption, const std::string& kind);

    const std::string& servertype() const { return m_model.servertype(); }

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
    void addControls();

    ServerOppsettModel m_model;
};

// Opens a dialog made for this one opening, for a program that keeps none of its own.
void VisServerOppsett(const std::string& caption, const std::string& kind);

} // namespace serveroppsett
