// The one-line input dialog and LesInput, the way the triangle window asks for a value.
#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>
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

// Asks in a new modal dialog; the confirmed text cut to 255 bytes, or empty after Cancel.
std::string LesInput(const std::string& prompt, const std::string& proposed);

// Tests answer prompts without a modal dialog; an empty function restores the dialog.
using PromptFunction = std::function<std::string(const std::string& prompt, const std::string& proposed)>;
void setLesInputOverride(PromptFunction prompt);

} // namespace input
