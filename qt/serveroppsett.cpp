#include "serveroppsett.h"

#include "Felles.h"

#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QShowEvent>

namespace serveroppsett {

namespace {

// Masks with "*" whatever the platform's usual password character is.
class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return '*';
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

std::string toText(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString fromText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

QString fromUtf8(std::u8string_view text) {
    return QString::fromUtf8(reinterpret_cast<const char*>(text.data()), qsizetype(text.size()));
}

} // namespace

TServerOppsettForm::TServerOppsettForm(QWidget* parent) : QDialog(parent) {
    setObjectName("ServerOppsettForm");
    setWindowTitle(fromUtf8(kDesignCaption));
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(kClientWidth, kClientHeight);
    addControls();

    auto* style = new StarPasswordStyle;
    style->setParent(passord);
    passord->setStyle(style);
    passord->setEchoMode(QLineEdit::Password);
    passord->setToolTip(fromUtf8(kPassordTip));
    SSLL->setToolTip(fromUtf8(kSslTip));
    passord->installEventFilter(this);
}

TServerOppsettForm::~TServerOppsettForm() = default;

void TServerOppsettForm::addControls() {
    QWidget* previous = nullptr;
    for (const ControlPlace& place : Controls()) {
        if (place.kind == ControlKind::Label) {
            auto* label = new QLabel(fromUtf8(place.caption), this);
            label->move(place.left, place.top);
            label->adjustSize();
            continue;
        }
        QWidget* control = nullptr;
        if (place.kind == ControlKind::CheckBox) {
            control = new QCheckBox(fromUtf8(place.caption), this);
        } else {
            control = new QLineEdit(this);
        }
        control->setObjectName(place.name);
        control->setGeometry(place.left, place.top, place.width, place.height);
        // The table lists the fields in tab order.
        if (previous != nullptr) {
            setTabOrder(previous, control);
        }
        previous = control;
    }
    navn = findChild<QLineEdit*>("navn");
    server = findChild<QLineEdit*>("server");
    mappe = findChild<QLineEdit*>("mappe");
    brukernavn = findChild<QLineEdit*>("brukernavn");
    passord = findChild<QLineEdit*>("passord");
    port = findChild<QLineEdit*>("port");
    SSLL = findChild<QCheckBox*>("SSLL");
    Passiv = findChild<QCheckBox*>("Passiv");
}

void TServerOppsettForm::VisServerOppsett(const std::string& caption, const std::string& kind) {
    setWindowTitle(fromText(felles::CutText(caption)));
    m_model.setServertype(kind);
    if (parentWidget() != nullptr) {
        // Centred on the owner.
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
    exec();
}

void TServerOppsettForm::FormShow() {
    const ServerEntryFields fields = m_model.FormShow();
    navn->setText(fromText(fields.navn));
    server->setText(fromText(fields.server));
    mappe->setText(fromText(fields.mappe));
    brukernavn->setText(fromText(fields.brukernavn));
    passord->setText(fromText(fields.passord));
    port->setText(fromText(fields.port));
    SSLL->setChecked(fields.SSLL);
    Passiv->setChecked(fields.Passiv);
    navn->setFocus();
}

void TServerOppsettForm::FormClose() {
    ServerEntryFields fields{toText(navn->text()),       toText(server->text()),  toText(mappe->text()),
                             toText(brukernavn->text()), toText(passord->text()), toText(port->text()),
                             SSLL->isChecked(),          Passiv->isChecked()};
    const std::string typedPort = fields.port;
    // An empty port is saved as the kind's default, and the field shows it.
    if (m_model.FormClose(fields) && fields.port != typedPort) {
        port->setText(fromText(fields.port));
    }
}

void TServerOppsettForm::passordDblClick() {
    passord->setEchoMode(passord->echoMode() == QLineEdit::Password ? QLineEdit::Normal : QLineEdit::Password);
}

void TServerOppsettForm::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
    }
    QDialog::showEvent(event);
}

void TServerOppsettForm::hideEvent(QHideEvent* event) {
    if (!event->spontaneous() && m_model.unsaved()) {
        FormClose();
    }
    QDialog::hideEvent(event);
}

void TServerOppsettForm::done(int result) {
    // Close button, Esc and accept all end here; save before the dialog goes.
    if (m_model.unsaved()) {
        FormClose();
    }
    QDialog::done(result);
}

bool TServerOppsettForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == passord && event->type() == QEvent::MouseButtonDblClick) {
        passordDblClick();
    }
    return QDialog::eventFilter(watched, event);
}

void VisServerOppsett(const std::string& caption, const std::string& kind) {
    TServerOppsettForm form;
    form.VisServerOppsett(caption, kind);
}

} // namespace serveroppsett
