// The triangle window: menus and keys run the commands of the model; the paint box draws the
// formula panel and the fixed figure.
#pragma once

#include "TriangleModel.h"

#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QPainter;

namespace trekant {

// A plain drawing surface the size of the client area; its owner does the painting.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* parent = nullptr);

    std::function<void(QPainter&)> OnPaint;
    int paintCount() const { return m_paintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_paintCount = 0;
};

// One text written by the last paint: top-left corner, text, and the box it covers.
struct DrawnText {
    QPoint pos;
    QString text;
    QRect bounds;
};

class TPytagorasForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TPytagorasForm(QWidget* parent = nullptr);
    ~TPytagorasForm() override;

    TPaintBox* PytagorasBox;
    QMenuBar* MainMenu1;
    QMenu* Fil1;
    QAction* Lukk1;
    QMenu* Vinkel1;
    QAction* vinkela1;
    QAction* vinkelb1;
    QMenu* Sider1;
    QAction* Katet1;
    QAction* Katet2;
    QAction* HypotenusZ1;

    // Drawing geometry, kept for the whole run.
    QPoint hjorneA{250, 420};
    QPoint hjorneB{450, 220};
    QPoint hjorneC{450, 420};
    int linjehoyde = 20;
    int tegnbredde = 15;
    int formelVenstre = 700;
    int formelTopp = 100;
    int tykkRamme = 1;
    QPoint rotpunkt{1, 1};

    void FormCreate();
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void vinkela1Click();
    void vinkelb1Click();
    void Katet1Click();
    void Katet2Click();
    void HypotenusZ1Click();
    void Lukk1Click();

    void PytagorasBoxPaint(QPainter& canvas);
    void TegnFormler();
    void TegnRottegn();
    void TegnFigur();
    // Writes text rotated counter-clockwise by angle degrees at (x, y), in 20-pixel Tahoma with a
    // clear background. It draws on the canvas in use, which exists while the box paints.
    void printrotated(int angle, int x, int y, const std::string& text);

    // The canvas the drawing operations write on; the paint box sets it for the length of a paint.
    void useCanvas(QPainter* canvas) { m_canvas = canvas; }
    // Texts written by the last paint, in order.
    const std::vector<DrawnText>& drawnTexts() const { return m_drawnTexts; }

    // How an arithmetic error of a command is shown; a message box unless replaced (tests).
    using ErrorDisplay = std::function<void(const std::string& message)>;
    void setErrorDisplay(ErrorDisplay display) { m_errorDisplay = std::move(display); }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum class RepaintRule { AsCommand, Never };
    bool runCommand(Command command, RepaintRule rule);
    void fitOuterSize();
    void writeText(int x, int y, const std::string& text);

    QPainter* m_canvas = nullptr;
    std::vector<DrawnText> m_drawnTexts;
    ErrorDisplay m_errorDisplay;
    bool m_fitted = false;
};

// Maps the fonts the window asks for by name onto installed look-alikes where they are missing.
void installFontSubstitutes();

} // namespace trekant
