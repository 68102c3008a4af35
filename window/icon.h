#pragma once
#include <QIcon>

namespace tovanik {
// The program's icon, drawn in the panel's colours: a dark tile with the blue accent
// bar and a light "T".
QIcon panelIcon();
}  // namespace tovanik
