// The triangle window of the Qt face: the menus of the command table, keys handed to the key rule,
// and the paint box painting the scene. What the window shows and does is the neutral core's.
#pragma once

#include "Scene.h"
#include "ScenePainter.h"
#include "TriangleWindow.h"

#include <QMainWindow>

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

class TPytagorasForm : public QMainWindow, public CommandWindow {
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

    void FormCreate();
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void vinkela1Click();
    void vinkelb1Click();
    void Katet1Click();
    void Katet2Click();
    void HypotenusZ1Click();
    void Lukk1Click();

    void PytagorasBoxPaint(QPainter& canvas);
    // Writes text rotated counter-clockwise by angle degrees at (x, y), in 20-pixel Tahoma with a
    // clear background. It draws on the canvas in use, which exists while the box paints.
    void printrotated(int angle, int x, int y, const std::string& text);

    // The drawing geometry, kept for the whole run: the fixed corners and what the last paint measured.
    const Geometry& drawingGeometry() const { return m_geometry; }
    // The canvas printrotated writes on; the paint box sets it for the length of a paint.
    void useCanvas(QPainter* canvas) { m_canvas = canvas; }
    // Texts written by the last paint, in order.
    const std::vector<DrawnText>& drawnTexts() const { return m_drawnTexts; }

    // How an arithmetic error of a command is shown; a message box unless replaced (tests).
    using ErrorDisplay = std::function<void(const std::string& message)>;
    void setErrorDisplay(ErrorDisplay display) { m_errorDisplay = std::move(display); }

    // What a command asks of the window.
    void repaintNow() override;
    void showError(const std::string& message) override;
    void closeWindow() override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void fitOuterSize();

    Geometry m_geometry;
    QPainter* m_canvas = nullptr;
    std::vector<DrawnText> m_drawnTexts;
    ErrorDisplay m_errorDisplay;
    bool m_fitted = false;
};

// Maps the fonts the window asks for by name onto installed look-alikes where they are missing.
void installFontSubstitutes();

} // namespace trekant
