#pragma once
// Small helpers shared by the widget tests.
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>

#include "widgets/colors.h"

namespace widgets::test {

// The widget as painted, one device pixel per logical pixel.
inline QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QColor Pixel(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

inline QColor Q(TColor color) {
    return ToQColor(color);
}

// Counts pixels of a colour in a rectangle.
inline int Count(const QImage& image, QRect area, QColor color) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixelColor(x, y) == color;
    return n;
}

// A press, release or move sent straight to the widget; the button is held
// from the press until the release.
inline void Mouse(QWidget& w, QEvent::Type type, QPoint at,
                  Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), w.mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

inline void Pump() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace widgets::test
