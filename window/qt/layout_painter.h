#pragma once
// Draws the design's labels, shapes and lines in their drawing order.

#include <QColor>
#include <QFont>

#include "panel/keyboard.h"
#include "panel/layout.h"

class QPainter;

namespace tovanik {

class Panel;

inline QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// The design's font with free look-alikes after it, sized in pixels so the look does
// not depend on the screen's reported resolution.
QFont qfontOf(FontId id);

// Paints every visible label, shape and line of the layout, bottom first, with the
// current state of `panel`. Coordinates are logical pixels, fractions antialiased.
void paintLayout(QPainter& painter, const Panel& panel);

// Fits the captions `panel` shows now, as paintLayout does, and keeps the fit for the
// paint that draws them. The first fit reads the machine's fonts, about a third of the
// time to the first frame: run just after the window is shown, it overlaps the window
// manager's mapping of the window instead of following it.
void fitCaptionsAhead(const Panel& panel);

// The keyboard's focus mark, over the layout.
void paintFocusMark(QPainter& painter, const FocusMark& mark);

}  // namespace tovanik
