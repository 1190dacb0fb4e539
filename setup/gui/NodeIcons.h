// The six images of the device tree, drawn once at start-up (index = the node's image).
#pragma once

#include <QIcon>

namespace zanth::setup::gui {

// 0 root and printer class, 1 printer, 2 cash-drawer class, 3 cash drawer, 4 printer logical
// name, 5 cash-drawer logical name. Any other index gives an empty icon.
QIcon NodeIcon(int image);

}  // namespace zanth::setup::gui
