// The one-line input dialog of the Qt face. LesInput and its rules are the neutral core's (Prompt.h);
// a program wires ShowInputForm as the dialog it opens.
#pragma once

#include "Prompt.h"

#include <QDialog>
#include <QPointer>

#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace input {

class TInputForm : public QDialog {
    Q_OBJECT
public:
    explicit TInputForm(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void centreOnMainForm();
};

// The most recently created dialog.
extern QPointer<TInputForm> InputForm;

// The window the dialog is centred on and modal over (the triangle window).
void setMainForm(QWidget* form);
QWidget* mainForm();

// Asks in a new modal dialog over the main form: the field's text after OK, nothing after Cancel.
std::optional<std::string> ShowInputForm(const Prompt& prompt);

} // namespace input
