#pragma once

#include <QRect>
#include <QWidget>
#include <QtMath>

namespace qx417 {

// The screen is designed in twips: 15 twips are one pixel at 96 DPI. Qt's logical pixels
// already follow the screen's scale, so a twip position becomes twips / 15 logical pixels.
inline int px(int twips) { return qRound(twips / 15.0); }
inline int twips(int pixels) { return pixels * 15; }

inline void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(px(left), px(top), px(width), px(height));
}

} // namespace qx417
