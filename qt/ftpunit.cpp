// The FTP transfer window: shows one upload or download of the transfer core at a time, on the GUI
// thread, as its model says.
#include "ftpunit.h"

#include "serveroppsett.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QStatusBar>

namespace ftpunit {

namespace {

QString fromText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

void place(QWidget& control, Place at) {
    control.setGeometry(at.left, at.top, at.width, at.height);
}

} // namespace

// ---- The window --------------------------------------------------------------------------------

TFTPform::TFTPform(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      NetFTP1(std::make_unique<net::TNetFTP>()), m_window(*this), m_transfer(*NetFTP1, m_window) {
    setObjectName("FTPform");
    setWindowTitle(kDesignCaption);
    setFont(QFont("MS Sans Serif", 8));
    setGeometry(kFormLeft, kFormTop, kClientWidth, kClientHeight);

    ftpfil = new QLabel(kDesignFileName, this);
    ftpfil->setObjectName("ftpfil");
    ftpfil->setAlignment(Qt::AlignCenter);
    place(*ftpfil, kFileNameLabel);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    place(*ProgressBar1, kProgressBar);
    ProgressBar1->setRange(0, model().barMaximum());
    ProgressBar1->setValue(model().barPosition());
    ProgressBar1->setTextVisible(false);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    place(*StatusBar1, kStatusBar);
    m_panel0 = new QLabel(kFirstCount, StatusBar1);
    m_panel0->setObjectName("StatusPanel0");
    m_panel0->setFixedWidth(kCountPanelWidth);
    m_panel0->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_panel1 = new QLabel(kFirstState, StatusBar1);
    m_panel1->setObjectName("StatusPanel1");
    m_panel1->setMinimumWidth(kStatePanelWidth);
    StatusBar1->addWidget(m_panel0);
    StatusBar1->addWidget(m_panel1, 1);

    // A host program that made no dialog of its own still gets one when the entry has no server.
    if (!settingsDialog()) {
        setSettingsDialog(serveroppsett::VisServerOppsett);
    }
}

TFTPform::~TFTPform() = default;

void TFTPform::SendFil(const std::string& L) {
    m_transfer.SendFil(L);
}

void TFTPform::HentFil(const std::string& L) {
    m_transfer.HentFil(L);
}

QString TFTPform::panelText(int panel) const {
    return panel == 0 ? m_panel0->text() : m_panel1->text();
}

void TFTPform::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
    }
    QWidget::showEvent(event);
}

void TFTPform::FormShow() {
    setWindowTitle(fromText(ftpserver()));
    ftpfil->clear();
    ftpfil->repaint();
}

void TFTPform::showWindow() {
    show();
}

void TFTPform::hideWindow() {
    hide();
}

void TFTPform::showFileName(const std::string& name) {
    ftpfil->setText(fromText(name));
    ftpfil->repaint();
}

void TFTPform::showProgress(int barMaximum, int barPosition, const std::string& countText) {
    ProgressBar1->setRange(0, barMaximum);
    ProgressBar1->setValue(barPosition);
    m_panel0->setText(fromText(countText));
    ProgressBar1->repaint();
    StatusBar1->repaint();
}

void TFTPform::showState(const std::string& text) {
    m_panel1->setText(fromText(text));
    StatusBar1->repaint();
}

void TFTPform::repaintWindow() {
    repaint();
}

void TFTPform::letPaintsThrough() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace ftpunit
