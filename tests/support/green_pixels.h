// How a tray test tells the active tray picture on the screen: its disc is the only clearly
// green thing the screen shows (the idle picture is grey, the dialog and the tray hosts too).
#pragma once

#include <QColor>
#include <QImage>

inline int GreenPixels(const QImage& image)
{
    int green = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            green += c.green() > c.red() + 60 && c.green() > c.blue() + 60;
        }
    return green;
}
