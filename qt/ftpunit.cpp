// The FTP transfer window: shows one upload or download of the transfer core at a time, on the GUI
// thread.
#include "ftpunit.h"

#include "serveroppsett.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QStatusBar>

#include <algorithm>
#include <climits>

namespace ftpunit {

namespace {

// Painting (or even relabelling) for every 32 KiB piece would slow the transfer down; a few dozen
// frames a second look the same to the user.
constexpr std::int64_t kRepaintIntervalMs = 40;

QString fromText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

} // namespace

// ---- The window --------------------------------------------------------------------------------

TFTPform::TFTPform(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      NetFTP1(std::make_unique<net::TNetFTP>()), m_transfer(*NetFTP1, *this) {
    setObjectName("FTPform");
    setWindowTitle("FTPform");
    setFont(QFont("MS Sans Serif", 8));
    // Outer 225 x 102 on the maker's platform: a client area of 217 x 75.
    setGeometry(408, 424, 217, 75);

    ftpfil = new QLabel("filnavn.ending", this);
    ftpfil->setObjectName("ftpfil");
    ftpfil->setAlignment(Qt::AlignCenter);
    ftpfil->setGeometry(8, 8, 201, 13);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(8, 32, 201, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, 56, 217, 19);
    m_panel0 = new QLabel("0", StatusBar1);
    m_panel0->setObjectName("StatusPanel0");
    m_panel0->setFixedWidth(60);
    m_panel0->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_panel1 = new QLabel("Klar", StatusBar1);
    m_panel1->setObjectName("StatusPanel1");
    m_panel1->setMinimumWidth(50);
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

void TFTPform::transferStarted(const std::string& fileName) {
    show();
    ftpfil->setText(fromText(fileName));
    ftpfil->repaint();
    setProgressPosition(0);
}

void TFTPform::connecting(const std::string&, const std::string&) {
    // The settings dialog may have covered the window a moment ago, and no event loop runs to
    // repaint it while the session opens.
    repaint();
}

void TFTPform::sizeKnown(std::int64_t size) {
    setProgressMaximum(size);
}

void TFTPform::stateChanged(const std::string& text) {
    m_panel1->setText(fromText(text));
    StatusBar1->repaint();
}

void TFTPform::progressed(std::int64_t count, std::int64_t) {
    // The count arrives every 32 KiB; the controls take it at the next repaint.
    m_progressPosition = std::clamp<std::int64_t>(count, 0, m_progressMaximum);
    m_workCount = count;
    repaintProgress(count >= m_progressMaximum);
}

void TFTPform::transferFinished(WindowAfter after) {
    // The last count of a transfer that stopped short of the size.
    repaintProgress(true);
    if (after == WindowAfter::Close) {
        hide();
    }
}

bool TFTPform::setProgressMaximum(std::int64_t maximum) {
    if (maximum < 0) {
        return false;
    }
    // The bar counts in int; beyond that it counts in units of 2^shift bytes.
    int shift = 0;
    while ((maximum >> shift) > INT_MAX) {
        ++shift;
    }
    m_progressMaximum = maximum;
    m_progressShift = shift;
    ProgressBar1->setRange(0, int(maximum >> shift));
    setProgressPosition(m_progressPosition);
    return true;
}

void TFTPform::setProgressPosition(std::int64_t position) {
    // Out of range the bar would ignore the value; a server that sends more than it announced
    // leaves the bar full.
    m_progressPosition = std::clamp<std::int64_t>(position, 0, m_progressMaximum);
    ProgressBar1->setValue(int(m_progressPosition >> m_progressShift));
}

void TFTPform::repaintProgress(bool force) {
    if (!force && m_paintClock.isValid() && m_paintClock.elapsed() < kRepaintIntervalMs) {
        return;
    }
    m_paintClock.start();
    setProgressPosition(m_progressPosition);
    m_panel0->setText(QString::number(m_workCount));
    ProgressBar1->repaint();
    StatusBar1->repaint();
    // Expose events (another window moved away) are only handled by the event loop, which the
    // blocking transfer holds up; user input waits until the transfer is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace ftpunit
