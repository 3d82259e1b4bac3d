#include "input.h"

#include "Felles.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace input {

QPointer<TInputForm> InputForm;

namespace {

QPointer<QWidget> g_mainForm;
PromptFunction g_override;

} // namespace

TInputForm::TInputForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Input:");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(396, 113);

    Label1 = new QLabel("Label", this);
    Label1->setObjectName("Label1");
    Label1->move(32, 24);
    Label1->adjustSize();

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(32, 40, 337, 21);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "O&k", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(88, 80, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "&Avbryt", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(216, 80, 75, 25);
    BitBtn2->setAutoDefault(false);
    // Esc closes a QDialog with reject(), which is the Cancel result.
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, Edit1);

    InputForm = this;
}

void TInputForm::FormShow() {
    Edit1->setFocus(Qt::OtherFocusReason);
    // The proposed text is selected so that typing replaces it.
    Edit1->selectAll();
}

void TInputForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    placement::placeNowAndWhenFramed(*this, [this] { centreOnMainForm(); });
    FormShow();
}

void TInputForm::centreOnMainForm() {
    const QWidget* form = mainForm();
    if (!form || !form->isVisible())
        return;
    // Qt's own placement of a dialog differs between platforms; centre the frames explicitly. Until a
    // window manager has framed the dialog, expect the frame it gave the main window.
    const QMargins frame = placement::frameOf(*this).isNull() ? placement::frameOf(*form) : placement::frameOf(*this);
    const QSize outer = size().grownBy(frame);
    placement::moveFrameTo(*this, form->frameGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2),
                           frame);
}

void setMainForm(QWidget* form) {
    g_mainForm = form;
}

QWidget* mainForm() {
    return g_mainForm.data();
}

std::string LesInput(const std::string& prompt, const std::string& proposed) {
    if (g_override)
        return felles::CutText(g_override(felles::CutText(prompt), felles::CutText(proposed)));

    // Parented to the main window so it is modal over it and centred on it.
    auto* dialog = new TInputForm(mainForm());
    dialog->Edit1->setText(QString::fromLocal8Bit(felles::CutText(proposed)));
    dialog->Label1->setText(QString::fromLocal8Bit(felles::CutText(prompt)));
    dialog->Label1->adjustSize();
    if (prompt == "Passord") {
        dialog->Edit1->setEchoMode(QLineEdit::Password);
        // Asterisks rather than the style's own mask character.
        dialog->Edit1->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");
    }
    std::string answer;
    if (dialog->exec() == QDialog::Accepted)
        answer = felles::CutText(dialog->Edit1->text().toLocal8Bit().toStdString());
    dialog->deleteLater();
    return answer;
}

void setLesInputOverride(PromptFunction prompt) {
    g_override = std::move(prompt);
}

} // namespace input
