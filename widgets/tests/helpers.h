#pragma once
// Small helpers shared by the widget tests.
#include <QAccessible>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <ostream>

#include "widgets/colors.h"

// QStrings in failure messages as their text.
#ifndef QUELTA_TEST_PRINT_QSTRING
#define QUELTA_TEST_PRINT_QSTRING
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
#endif

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

// A label's text as it is shown (and read out by a screen reader): markup
// of a rich-text label is gone from it.
inline QString Shown(QWidget* label) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
    return a ? a->text(QAccessible::Name) : QString();
}

inline void Pump() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace widgets::test
