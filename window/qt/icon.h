#pragma once
#include <QIcon>

class QPainter;

namespace tovanik {
// The program's icon, drawn in the panel's colours: a dark tile with the blue accent
// bar and a light "T".
QIcon panelIcon();

// Paints that icon into the square (0, 0, size, size). The window's icon and the icon files
// installed with the program (SVG and PNGs, made at build time by app/icon_files.cpp) both
// come from here.
void paintPanelIcon(QPainter& p, double size);
}  // namespace tovanik
