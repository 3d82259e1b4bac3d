#include "WindowPlacement.h"

#include <QTimer>
#include <QWidget>

namespace placement {

QMargins frameOf(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

void moveFrameTo(QWidget& window, QPoint target, QMargins expected) {
    const QMargins frame = frameOf(window);
    const QPoint frameCorner = frame.isNull() ? window.geometry().topLeft() - QPoint(expected.left(), expected.top())
                                              : window.frameGeometry().topLeft();
    // Moves by the distance still to go: a window manager may read a requested position as the frame's
    // or as the client's, and a second request for the same position would repeat the same error.
    if (frameCorner != target)
        window.move(window.pos() + (target - frameCorner));
}

void placeNowAndWhenFramed(QWidget& window, const std::function<void()>& place) {
    place();
    // The frame, and where the window manager really put it, arrive with its later notices: check
    // again a few times within the first moments; a window already in place is left alone.
    for (const int ms : {0, 100, 300, 600})
        QTimer::singleShot(ms, &window, place);
}

} // namespace placement
