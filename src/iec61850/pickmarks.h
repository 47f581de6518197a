// Which nodes of a server model an engineer can tick for polling, and how a tick spreads:
// a data object is ticked as a whole, its attributes (the elements) are never ticked.
#pragma once
#include <vector>

#include "iec61850/mmsmodel.h"

namespace t32 {

// A node that carries a signal: it has a leaf child, or it is a CO object with an "Oper" child.
bool IsSignalNode(const TMMSvar& n, const TStrDictionary& dict);
// A leaf, or a child of a signal node.
bool IsElementNode(const TMMSvar& n, const TStrDictionary& dict);
// Sets the node's mark and passes it to every descendant, elements getting 0 (and passing 0 on).
void SetPickMark(TMMSvar& n, std::uint8_t mark, const TStrDictionary& dict);
// Flips the node's mark (1 - mark) and spreads it as SetPickMark does.
void TogglePickMark(TMMSvar& n, const TStrDictionary& dict);
// Every node with mark 1, in tree order.
std::vector<TMMSvar*> PickedNodes(TMMSvar& root);
// Clears every mark of the tree.
void ClearPickMarks(TMMSvar& root);

}  // namespace t32
