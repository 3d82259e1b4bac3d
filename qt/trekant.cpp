#include "trekant.h"

#include "WindowPlacement.h"
#include "input.h"

#include <QAction>
#include <QFont>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace trekant {

namespace {

Modifiers modifiersOf(Qt::KeyboardModifiers held) {
    return Modifiers{held.testFlag(Qt::ShiftModifier), held.testFlag(Qt::ControlModifier),
                     held.testFlag(Qt::AltModifier)};
}

QKeySequence keysOf(Shortcut shortcut) {
    const auto key = Qt::Key(shortcut.key);
    return shortcut.ctrl ? QKeySequence(Qt::CTRL | key) : QKeySequence(key);
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
    setWindowTitle(kCaption);
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
    buildMenus();

    m_errorDisplay = [this](const std::string& message) {
        QMessageBox::critical(this, kCaption, QString::fromLocal8Bit(message));
    };

    input::setMainForm(this);
    FormCreate();
}

TPytagorasForm::~TPytagorasForm() = default;

void TPytagorasForm::buildMenus() {
    QMenu* TPytagorasForm::*const menus[] = {&TPytagorasForm::Fil1, &TPytagorasForm::Vinkel1, &TPytagorasForm::Sider1};
    // The item and handler of each MenuAction, in the enumeration's order.
    const struct {
        QAction* TPytagorasForm::*item;
        void (TPytagorasForm::*handler)();
    } handlers[] = {
        {&TPytagorasForm::Lukk1, &TPytagorasForm::Lukk1Click},
        {&TPytagorasForm::vinkela1, &TPytagorasForm::vinkela1Click},
        {&TPytagorasForm::vinkelb1, &TPytagorasForm::vinkelb1Click},
        {&TPytagorasForm::Katet1, &TPytagorasForm::Katet1Click},
        {&TPytagorasForm::Katet2, &TPytagorasForm::Katet2Click},
        {&TPytagorasForm::HypotenusZ1, &TPytagorasForm::HypotenusZ1Click},
    };
    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    const auto table = MainMenu();
    for (std::size_t i = 0; i < table.size() && i < std::size(menus); ++i) {
        QMenu* menu = MainMenu1->addMenu(QString::fromUtf8(table[i].caption));
        menu->setObjectName(table[i].name);
        this->*menus[i] = menu;
        for (const MenuItem& item : table[i].items) {
            const auto& handler = handlers[static_cast<int>(item.action)];
            QAction* action =
                menu->addAction(QString::fromUtf8(item.caption), keysOf(item.shortcut), this, handler.handler);
            action->setObjectName(item.name);
            this->*handler.item = action;
        }
    }
}

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
        // Qt matches a letter's shortcut with Shift or Ctrl held too. Only the table's shortcuts are
        // shortcuts: any other key held with a modifier reaches the key handler as a key press. Alt
        // stays with the menu bar's mnemonics.
        auto* key = static_cast<QKeyEvent*>(event);
        const auto held =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const bool shortcut = !held.testFlag(Qt::MetaModifier) && ShortcutAction(key->key(), modifiersOf(held));
        if (held != Qt::NoModifier && !held.testFlag(Qt::AltModifier) && !shortcut) {
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

void TPytagorasForm::FormKeyDown(int key, Qt::KeyboardModifiers shift) {
    trekant::FormKeyDown(key, modifiersOf(shift), *this);
}

void TPytagorasForm::vinkela1Click() {
    RunMenuAction(MenuAction::AngleA, *this);
}

void TPytagorasForm::vinkelb1Click() {
    RunMenuAction(MenuAction::AngleB, *this);
}

void TPytagorasForm::Katet1Click() {
    RunMenuAction(MenuAction::LegX, *this);
}

void TPytagorasForm::Katet2Click() {
    RunMenuAction(MenuAction::LegY, *this);
}

void TPytagorasForm::HypotenusZ1Click() {
    RunMenuAction(MenuAction::HypotenuseZ, *this);
}

void TPytagorasForm::Lukk1Click() {
    RunMenuAction(MenuAction::Lukk, *this);
}

void TPytagorasForm::repaintNow() {
    PytagorasBox->repaint();
}

void TPytagorasForm::showError(const std::string& message) {
    if (m_errorDisplay)
        m_errorDisplay(message);
}

void TPytagorasForm::closeWindow() {
    close();
}

void TPytagorasForm::PytagorasBoxPaint(QPainter& canvas) {
    m_canvas = &canvas;
    QtTextMeasure measure(canvas.device());
    const Scene scene = BuildScene(m_geometry, measure);
    m_drawnTexts.clear();
    PaintScene(canvas, scene, m_drawnTexts);
    m_canvas = nullptr;
}

void TPytagorasForm::printrotated(int angle, int x, int y, const std::string& text) {
    if (!m_canvas)
        return;
    const Text rotated = RotatedText(angle, x, y, text);
    PytagorasBox->setFont(ToQFont(rotated.font, m_canvas->device()));
    PaintText(*m_canvas, rotated);
}

} // namespace trekant
