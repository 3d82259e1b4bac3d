// Placing a window by its outer frame, which is what the user sees, whatever the platform places.
#pragma once

#include <QMargins>
#include <QPoint>

#include <functional>

class QWidget;

namespace placement {

// What the window manager has added around the window's client area; nothing before it is framed.
QMargins frameOf(const QWidget& window);

// Moves the window so that its frame's top-left corner is at target. Platforms differ in whether
// move() places the frame or the client area; the frame's corner as last reported decides. A window
// not framed yet is placed as if it had the frame `expected`.
void moveFrameTo(QWidget& window, QPoint target, QMargins expected = {});

// Runs place now and again once a window manager has framed the window: the frame is known only
// after the window is shown, and a placement made before then is off by the frame's size.
void placeNowAndWhenFramed(QWidget& window, const std::function<void()>& place);

} // namespace placement
