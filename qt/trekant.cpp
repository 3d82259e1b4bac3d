#include "trekant.h"

#include "Felles.h"
#include "Matte.h"
#include "WindowPlacement.h"
#include "input.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace trekant {

namespace {

constexpr int kOuterWidth = 950;
constexpr int kOuterHeight = 700;

const QColor kNavy(0, 0, 128);
const QColor kGray(128, 128, 128);

// Number text of the panel and labels. Values no number text can hold are shown as a pupil
// reads them: an infinity as the sign for infinity, anything undefined as "udefinert".
std::string t(double v) {
    if (std::isnan(v))
        return "udefinert";
    if (std::isinf(v))
        return v < 0 ? "-∞" : "∞";
    return felles::TallTilTekst(0, 0, v);
}

} // namespace

void installFontSubstitutes() {
    // Only used when the named font is missing; fontconfig picks the installed face.
    QFont::insertSubstitutions("Verdana", {"DejaVu Sans", "Liberation Sans"});
    QFont::insertSubstitutions("Tahoma", {"DejaVu Sans", "Liberation Sans"});
    QFont::insertSubstitutions("MS Sans Serif", {"DejaVu Sans", "Liberation Sans"});
    QFont::insertSubstitutions("Courier New", {"Liberation Mono", "DejaVu Sans Mono"});
}

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void TPaintBox::paintEvent(QPaintEvent*) {
    ++m_paintCount;
    QPainter canvas(this);
    if (OnPaint)
        OnPaint(canvas);
}

TPytagorasForm::TPytagorasForm(QWidget* parent) : QMainWindow(parent) {
    installFontSubstitutes();
    setWindowTitle("Pytagoras");
    setFont(QFont("MS Sans Serif", 8));
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);
    // The form itself takes the keys: nothing inside it can hold the focus.
    setFocusPolicy(Qt::StrongFocus);

    PytagorasBox = new TPaintBox(this);
    PytagorasBox->setObjectName("PytagorasBox");
    PytagorasBox->OnPaint = [this](QPainter& canvas) { PytagorasBoxPaint(canvas); };
    setCentralWidget(PytagorasBox);

    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    Fil1 = MainMenu1->addMenu("&Fil");
    Lukk1 = Fil1->addAction("Lukk", QKeySequence(Qt::CTRL | Qt::Key_Q), this, &TPytagorasForm::Lukk1Click);
    Vinkel1 = MainMenu1->addMenu("&Vinkel");
    vinkela1 = Vinkel1->addAction("Vinkel", QKeySequence(Qt::Key_A), this, &TPytagorasForm::vinkela1Click);
    vinkelb1 = Vinkel1->addAction("Vinkel", QKeySequence(Qt::Key_B), this, &TPytagorasForm::vinkelb1Click);
    Sider1 = MainMenu1->addMenu("Sider");
    Katet1 = Sider1->addAction("Katet", QKeySequence(Qt::Key_X), this, &TPytagorasForm::Katet1Click);
    Katet2 = Sider1->addAction("Katet", QKeySequence(Qt::Key_Y), this, &TPytagorasForm::Katet2Click);
    HypotenusZ1 = Sider1->addAction("Hypotenus", QKeySequence(Qt::Key_Z), this, &TPytagorasForm::HypotenusZ1Click);
    Lukk1->setObjectName("Lukk1");
    vinkela1->setObjectName("vinkela1");
    vinkelb1->setObjectName("vinkelb1");
    Katet1->setObjectName("Katet1");
    Katet2->setObjectName("Katet2");
    HypotenusZ1->setObjectName("HypotenusZ1");

    m_errorDisplay = [this](const std::string& message) {
        QMessageBox::critical(this, "Pytagoras", QString::fromLocal8Bit(message));
    };

    input::setMainForm(this);
    FormCreate();
}

TPytagorasForm::~TPytagorasForm() = default;

void TPytagorasForm::FormCreate() {
    // The outer size including a window manager's frame; the frame is known once shown, so the
    // client size is corrected then (fitOuterSize).
    resize(kOuterWidth, kOuterHeight);
}

void TPytagorasForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_fitted)
        return;
    m_fitted = true;
    placement::placeNowAndWhenFramed(*this, [this] { fitOuterSize(); });
}

void TPytagorasForm::fitOuterSize() {
    QMargins frame;
    if (QWindow* window = windowHandle())
        frame = window->frameMargins();
    const QSize client(kOuterWidth - frame.left() - frame.right(), kOuterHeight - frame.top() - frame.bottom());
    if (size() != client)
        resize(client);
    if (QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        placement::moveFrameTo(
            *this, QPoint(area.x() + (area.width() - kOuterWidth) / 2, area.y() + (area.height() - kOuterHeight) / 2));
    }
}

bool TPytagorasForm::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // A with a modifier is no menu shortcut: it must reach the key handler as a key press.
        auto* key = static_cast<QKeyEvent*>(event);
        const auto modifiers =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (key->key() == Qt::Key_A && modifiers != Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QMainWindow::event(event);
}

void TPytagorasForm::keyPressEvent(QKeyEvent* event) {
    FormKeyDown(event->key(), event->modifiers());
    event->accept();
}

void TPytagorasForm::FormKeyDown(int key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_A) {
        // The command's own repaint is left out; the one below follows every key. An arithmetic
        // error ends the handler before it, as it ends the command.
        if (!runCommand(Command::AngleA, RepaintRule::Never))
            return;
    }
    PytagorasBox->repaint();
}

void TPytagorasForm::vinkela1Click() {
    runCommand(Command::AngleA, RepaintRule::AsCommand);
}

void TPytagorasForm::vinkelb1Click() {
    runCommand(Command::AngleB, RepaintRule::AsCommand);
}

void TPytagorasForm::Katet1Click() {
    runCommand(Command::LegX, RepaintRule::AsCommand);
}

void TPytagorasForm::Katet2Click() {
    runCommand(Command::LegY, RepaintRule::AsCommand);
}

void TPytagorasForm::HypotenusZ1Click() {
    runCommand(Command::HypotenuseZ, RepaintRule::AsCommand);
}

void TPytagorasForm::Lukk1Click() {
    close();
}

bool TPytagorasForm::runCommand(Command command, RepaintRule rule) {
    // Nothing may escape into the event loop: every failure ends here, in the error display.
    try {
        const std::string proposed = felles::TallTilTekst(0, 0, currentValue(command));
        const std::string answer = input::LesInput(promptFor(command), proposed);
        const Repaint repaint = applyAnswer(command, answer);
        if (repaint == Repaint::Yes && rule == RepaintRule::AsCommand)
            PytagorasBox->repaint();
        return true;
    } catch (const std::exception& e) {
        if (m_errorDisplay)
            m_errorDisplay(e.what());
    } catch (...) {
        if (m_errorDisplay)
            m_errorDisplay("Unknown error");
    }
    return false;
}

void TPytagorasForm::PytagorasBoxPaint(QPainter& canvas) {
    m_canvas = &canvas;
    m_drawnTexts.clear();
    TegnFormler();
    TegnFigur();
    m_canvas = nullptr;
}

void TPytagorasForm::writeText(int x, int y, const std::string& text) {
    const QString qtext = QString::fromLocal8Bit(text);
    const QFontMetrics metrics(m_canvas->font(), m_canvas->device());
    // Top-left at (x, y), on the window's own background, as the labels have always been written.
    m_canvas->setBackgroundMode(Qt::OpaqueMode);
    m_canvas->setBackground(Qt::white);
    m_canvas->setPen(Qt::black);
    m_canvas->drawText(x, y + metrics.ascent(), qtext);
    const QRect bounds(x, y, metrics.horizontalAdvance(qtext), metrics.height());
    m_drawnTexts.push_back({QPoint(x, y), qtext, bounds});
}

void TPytagorasForm::TegnFormler() {
    UtledVerdier();
    const Quantities& q = quantities();

    QFont font("Verdana");
    font.setPointSize(12);
    font.setUnderline(true);
    m_canvas->setFont(font);
    const QFontMetrics metrics(font, m_canvas->device());
    const int w = metrics.horizontalAdvance(QLatin1Char('W'));
    const int h = metrics.height();
    tegnbredde = w;
    linjehoyde = h;

    const int L = formelVenstre;
    const int T = formelTopp;
    auto plain = [&] {
        font.setUnderline(false);
        m_canvas->setFont(font);
    };
    auto underline = [&] {
        font.setUnderline(true);
        m_canvas->setFont(font);
    };

    underline();
    writeText(L, T, "Pytagoras:");
    plain();
    writeText(L, T + h, "Z²=X²+Y²");
    writeText(L, T + 2 * h, "Z²=" + t(q.X) + "²" + "+" + t(q.Y) + "²");
    writeText(L, T + 3 * h, "Z=   " + t(q.X * q.X) + "+" + t(q.Y * q.Y));
    writeText(L, T + 4 * h, "Z=" + t(q.Z));
    underline();
    writeText(L, T + 6 * h, "Vinkler:");
    plain();
    writeText(L, T + 7 * h, "a=Sin(Y/Z)*Y");
    writeText(L, T + 8 * h, "a=Sin(" + t(q.Y) + "/" + t(q.Z) + ")*" + t(q.Y));
    // Y / Z has no value when Z is 0 (both legs 0): say so instead of a number.
    const std::string ratio = q.Z == 0 ? std::string("udefinert") : t(q.Y / q.Z);
    writeText(L, T + 9 * h, "a=Sin(" + ratio + ")*" + t(q.Y));
    writeText(L, T + 10 * h, "a=" + t(q.a) + "°");
    writeText(L, T + 12 * h, "b=c-a");

    TegnRottegn();
}

void TPytagorasForm::TegnRottegn() {
    const int w = tegnbredde;
    const int h = linjehoyde;
    m_canvas->setPen(QPen(Qt::black, 1));
    const int x0 = formelVenstre + w + w / 2;
    const int y0 = formelTopp + 3 * h + w / 2;
    rotpunkt = QPoint(x0, y0);
    const QPoint points[] = {
        {x0, y0},
        {x0 + w / 2, y0 + h / 2},
        {x0 + w - w / 4, y0 - h / 2 + h / 10},
        {x0 + 8 * w, y0 - h / 2 + h / 10},
    };
    m_canvas->drawPolyline(points, 4);
}

void TPytagorasForm::TegnFigur() {
    const Quantities& q = quantities();
    const int w = tegnbredde;
    const int h = linjehoyde;
    const int x1 = hjorneA.x(), y1 = hjorneA.y();
    const int x2 = hjorneB.x(), y2 = hjorneB.y();
    const int x3 = hjorneC.x(), y3 = hjorneC.y();

    QPen pen(kNavy, tykkRamme == 1 ? 2 : 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    m_canvas->setPen(pen);
    const QPoint outline[] = {hjorneA, hjorneB, hjorneC, hjorneA};
    m_canvas->drawPolyline(outline, 4);

    pen.setWidth(1);
    m_canvas->setPen(pen);
    const QPoint mark[] = {{x3 - h, y3}, {x3 - h, y3 - h}, {x3, y3 - h}};
    m_canvas->drawPolyline(mark, 3);

    pen.setColor(kGray);
    m_canvas->setPen(pen);
    const QPoint squares[] = {
        hjorneA,  {x1, y1 + (x3 - x1)}, {x3, y1 + (x3 - x1)}, {x3, y3}, {x3 + (y3 - y2), y3}, {x3 + (y3 - y2), y2},
        {x2, y2}, {x1, y2 - (y1 - y2)}, {x1 - (x2 - x1), y2}, {x1, y1},
    };
    m_canvas->drawPolyline(squares, 10);

    QFont font("Courier New");
    font.setPointSize(10);
    font.setBold(true);
    m_canvas->setFont(font);
    writeText(x1 - 6 * w, y1 + h, "a = " + t(q.a) + "°");
    writeText(x2, y2 - 3 * h, "b = " + t(q.b) + "°");
    writeText(x3 + 2 * w, y3 + h / 2, "c = 90°");
    writeText((x1 + x3) / 2 - 2 * w, y3 + h / 2, "X = " + t(q.X));
    writeText(x3 + 2 * w, (y2 + y3) / 2, "Y = " + t(q.Y));
    const std::string z = std::isfinite(q.Z) ? felles::TallTilTekst(0, 1, q.Z) : t(q.Z);
    writeText((x1 + x3) / 2 - 3 * w, (y2 + y3) / 2 - 3 * h, "Z = " + z);
}

void TPytagorasForm::printrotated(int angle, int x, int y, const std::string& text) {
    if (!m_canvas)
        return;
    m_canvas->setBrush(Qt::NoBrush);
    m_canvas->setBackgroundMode(Qt::TransparentMode);

    // Height 20 is the character cell (ascent plus descent) in pixels, not the em size.
    QFont font("Tahoma");
    font.setPixelSize(20);
    const int cell = QFontMetrics(font, m_canvas->device()).height();
    if (cell > 0 && cell != 20)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(20.0 * 20.0 / cell))));
    PytagorasBox->setFont(font);

    m_canvas->save();
    m_canvas->setFont(font);
    m_canvas->setPen(Qt::black);
    m_canvas->translate(x, y);
    // Escapement runs counter-clockwise; Qt's rotation with y downwards runs clockwise.
    m_canvas->rotate(-angle);
    m_canvas->drawText(0, QFontMetrics(font, m_canvas->device()).ascent(),
                       QString::fromLocal8Bit(felles::CutText(text)));
    m_canvas->restore();
}

} // namespace trekant
