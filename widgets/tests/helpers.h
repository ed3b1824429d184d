#pragma once
// Small helpers shared by the widget tests.
#include <QColor>
#include <QCoreApplication>
#include <QImage>
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

inline void Pump() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace widgets::test
