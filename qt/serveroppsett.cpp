#include "serveroppsett.h"

#include "Felles.h"
#include "hs_reg.h"

#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QShowEvent>

#include <array>
#include <utility>

namespace serveroppsett {

namespace {

// The step from the check box "SSL" down to "Passiv", by which the dialog is taller too.
constexpr int kPassivRowHeight = 24;

constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kDefaultPorts{{
    {"FTP", "21"},
    {"HTTP", "80"},
    {"LOG", "80"},
    {"CFG", "21"},
    {"SMB", "445"},
    {"MAIL", "80"},
    {"RDP", "3389"},
}};

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
    return felles::CutText(text.toLocal8Bit().toStdString());
}

QString fromText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

QLineEdit* addEdit(QWidget* parent, const char* name, int left, int top, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(left, top, width, 21);
    return edit;
}

} // namespace

std::string SectionName(std::string_view kind) {
    return "SERVER-SETTING-" + std::string(kind);
}

std::string DefaultPort(std::string_view kind) {
    for (const auto& [type, defaultPort] : kDefaultPorts) {
        if (kind == type) {
            return std::string(defaultPort);
        }
    }
    return {};
}

TServerOppsettForm::TServerOppsettForm(QWidget* parent) : QDialog(parent) {
    setObjectName("ServerOppsettForm");
    setWindowTitle(QString::fromUtf8("Oppsett på server"));
    setFont(QFont("MS Sans Serif", 8));
    // One row taller than the original design, for "Passiv" under "SSL".
    setFixedSize(449, 283 + kPassivRowHeight);

    addLabel("Navn:", 56, 32);
    navn = addEdit(this, "navn", 56, 48, 329);
    addLabel("Server:", 56, 88);
    server = addEdit(this, "server", 56, 104, 329);
    addLabel("Mappe:", 56, 144);
    mappe = addEdit(this, "mappe", 56, 160, 329);
    addLabel("Brukernavn:", 56, 200);
    brukernavn = addEdit(this, "brukernavn", 56, 216, 97);
    addLabel("Passord:", 160, 200);
    passord = addEdit(this, "passord", 160, 216, 97);
    addLabel("Port:", 264, 200);
    port = addEdit(this, "port", 264, 216, 57);
    SSLL = new QCheckBox("SSL", this);
    SSLL->setObjectName("SSLL");
    SSLL->setGeometry(336, 218, 49, 17);
    Passiv = new QCheckBox("Passiv", this);
    Passiv->setObjectName("Passiv");
    Passiv->setGeometry(336, 218 + kPassivRowHeight, 65, 17);

    auto* style = new StarPasswordStyle;
    style->setParent(passord);
    passord->setStyle(style);
    passord->setEchoMode(QLineEdit::Password);
    passord->setToolTip(QString::fromUtf8("Dobbelklikk for å skjule/vise passord i klartekst"));
    SSLL->setToolTip(QString::fromUtf8("Krypterer innlogging og overføring med TLS (FTPS). Serverens sertifikat må "
                                       "kunne bekreftes mot systemets sertifikater eller filen i nøkkelen sslca."));
    passord->installEventFilter(this);

    setTabOrder(navn, server);
    setTabOrder(server, mappe);
    setTabOrder(mappe, brukernavn);
    setTabOrder(brukernavn, passord);
    setTabOrder(passord, port);
    setTabOrder(port, SSLL);
    setTabOrder(SSLL, Passiv);
}

TServerOppsettForm::~TServerOppsettForm() = default;

QLabel* TServerOppsettForm::addLabel(const char* text, int left, int top) {
    auto* label = new QLabel(QString::fromUtf8(text), this);
    label->move(left, top);
    label->adjustSize();
    return label;
}

void TServerOppsettForm::VisServerOppsett(const std::string& caption, const std::string& kind) {
    setWindowTitle(fromText(felles::CutText(caption)));
    m_servertype = felles::CutText(kind);
    if (parentWidget() != nullptr) {
        // Centred on the owner.
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
    exec();
}

void TServerOppsettForm::FormShow() {
    hs_reg::setsection(SectionName(m_servertype));
    navn->setText(fromText(hs_reg::readstr("name")));
    server->setText(fromText(hs_reg::readstr("server")));
    mappe->setText(fromText(hs_reg::readstr("folder")));
    brukernavn->setText(fromText(hs_reg::readstr("username")));
    passord->setText(fromText(felles::AvdekkTekst(hs_reg::readstr("password"))));
    port->setText(fromText(hs_reg::readstr("port")));
    SSLL->setChecked(hs_reg::readbool("SSL"));
    Passiv->setChecked(hs_reg::readbool("passive"));
    hs_reg::resetsection();
    navn->setFocus();
    m_unsaved = true;
}

void TServerOppsettForm::FormClose() {
    m_unsaved = false;
    hs_reg::setsection(SectionName(m_servertype));
    hs_reg::writestr("name", toText(navn->text()));
    hs_reg::writestr("server", toText(server->text()));
    hs_reg::writestr("folder", toText(mappe->text()));
    hs_reg::writestr("username", toText(brukernavn->text()));
    hs_reg::writestr("password", felles::SkjulTekst(toText(passord->text())));
    if (port->text().isEmpty()) {
        port->setText(fromText(DefaultPort(m_servertype)));
    }
    hs_reg::writestr("port", toText(port->text()));
    hs_reg::writebool("SSL", SSLL->isChecked());
    hs_reg::writebool("passive", Passiv->isChecked());
    hs_reg::resetsection();
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
    if (!event->spontaneous() && m_unsaved) {
        FormClose();
    }
    QDialog::hideEvent(event);
}

void TServerOppsettForm::done(int result) {
    // Close button, Esc and accept all end here; save before the dialog goes.
    if (m_unsaved) {
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
