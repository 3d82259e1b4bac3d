#include "input.h"

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

void place(QWidget& control, Place at) {
    control.setGeometry(at.left, at.top, at.width, at.height);
}

} // namespace

TInputForm::TInputForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(kCaption);
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(kClientWidth, kClientHeight);

    Label1 = new QLabel("Label", this);
    Label1->setObjectName("Label1");
    Label1->move(kLabel1.left, kLabel1.top);
    Label1->adjustSize();

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    place(*Edit1, kEdit1);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), kOkCaption, this);
    BitBtn1->setObjectName("BitBtn1");
    place(*BitBtn1, kBitBtn1);
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), kCancelCaption, this);
    BitBtn2->setObjectName("BitBtn2");
    place(*BitBtn2, kBitBtn2);
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

std::optional<std::string> ShowInputForm(const Prompt& prompt) {
    // Parented to the main window so it is modal over it and centred on it.
    auto* dialog = new TInputForm(mainForm());
    dialog->Edit1->setText(QString::fromLocal8Bit(prompt.proposed));
    dialog->Label1->setText(QString::fromLocal8Bit(prompt.prompt));
    dialog->Label1->adjustSize();
    if (prompt.masked) {
        dialog->Edit1->setEchoMode(QLineEdit::Password);
        // Asterisks rather than the style's own mask character.
        dialog->Edit1->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");
    }
    std::optional<std::string> answer;
    if (dialog->exec() == QDialog::Accepted)
        answer = dialog->Edit1->text().toLocal8Bit().toStdString();
    dialog->deleteLater();
    return answer;
}

} // namespace input
