// Node images drawn in code: one small clear symbol per image index of the tree.
#pragma once
#include <QIcon>

namespace t32::ui {
// 0 free item, 1 processor, 2 bound item, 3 controller, 14 IP port; other indexes get a
// neutral symbol with the index's colour.
QIcon NodeIcon(int index);
}  // namespace t32::ui
