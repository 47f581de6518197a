#include "model/treerules.h"

#include <vector>

#include "model/document.h"
#include "model/item.h"
#include "model/params.h"

namespace t32 {

namespace {
bool IsFixed(const TDocument& doc, const TNode* n) {
  return n == doc.ControllerNode() || n == doc.ProcNode() || n == doc.PortIPNode();
}
bool HasSignalKind(const TNode* n) { return n && n->Item() && n->Item()->signalKind != 0; }
}  // namespace

bool CanDrag(const TDocument& doc, const TNode* node) {
  if (!node || IsFixed(doc, node) || !node->Item()) return false;
  // Channels and ports of a board stay where the board put them; only the universal
  // 24-channel ports may be reordered.
  if (node->Level() == 2 && node->Parent() && node->Parent()->Parent() == doc.ControllerNode() &&
      node->Parent() != doc.ProcNode() && node->caption.find("UNIO-24") == std::string::npos &&
      node->caption.find("UNIO24") == std::string::npos)
    return false;
  return !HasSignalKind(node);
}

bool CanDrop(const TDocument& doc, const TNode* dragged, const TNode* target) {
  if (!CanDrag(doc, dragged)) return false;
  if (!target) return dragged->Level() == 1;  // a board dropped on empty space goes last
  if (target == dragged || dragged->IsAncestorOf(target)) return false;
  int level = dragged->Level();
  if (target->Level() != level) return false;
  if (level <= 2 && (target == doc.ProcNode() || target == doc.PortIPNode())) return false;
  if (level >= 2) {
    const TNode* tp = target->Parent();
    const TNode* dp = dragged->Parent();
    if (!tp || !dp || !tp->Item() || !dp->Item() || tp->Item()->name != dp->Item()->name) return false;
    // A board's own ports (the UNIO24 ports) are only reordered on their board: on another
    // board the move would push out one of its ports and rename the moved port's signals.
    if (level == 2 && dp->Parent() == doc.ControllerNode() && dp != doc.ProcNode() && tp != dp) return false;
    if (HasSignalKind(target)) return false;
  }
  return true;
}

bool MoveNode(TDocument& doc, TNode* dragged, TNode* target) {
  if (!CanDrop(doc, dragged, target)) return false;
  TNode* oldParent = dragged->Parent();
  TNode* newParent = target ? target->Parent() : doc.ControllerNode();
  int index;
  if (target) {
    index = target->Index();
    // The index is taken after the node left its old place.
    if (oldParent == newParent && dragged->Index() < index) --index;
  } else {
    index = -1;
  }
  doc.Tree().Move(dragged, newParent, index);
  doc.AfterEdit();  // both parents recount their children; the storage follows the new order
  return true;
}

std::string DeleteQuestion(const TDocument& doc, const TNode* node) {
  if (!node || IsFixed(doc, node)) return {};
  switch (node->Level()) {
    case 1: return "Удалить плату " + node->caption + " ?";
    case 2: return "Удалить порт " + node->caption + " ?";
    case 3: return "Удалить блок " + node->caption + " ?";
    default: return {};
  }
}

TNode* DeleteNode(TDocument& doc, TNode* node) {
  if (DeleteQuestion(doc, node).empty()) return nullptr;
  TNode* parent = node->Parent();
  int level = node->Level();
  int row = node->Index();
  doc.Tree().Delete(node);
  doc.AfterEdit();
  if (level == 3) return parent;
  // The node that took the deleted one's place, else the one before it, else the parent.
  if (TNode* n = parent->Child(row)) return n;
  if (TNode* n = parent->Child(row - 1)) return n;
  return parent;
}

bool CanMoveRowsWithin(const TParams& table) { return table.IsOutput(); }

const TNode* ModeChangeScope(const TNode* node) {
  if (!node || !node->Item()) return node;
  if (std::string(node->Item()->ClassName()) == "TUnio24" && node->Parent() && node->Parent()->Item() &&
      std::string(node->Parent()->Item()->ClassName()) == "TUnio96")
    return node->Parent();
  return node;
}

std::string ModeChangeQuestion(const TNode* node) {
  const TNode* scope = ModeChangeScope(node);
  if (!scope) return {};
  bool named = false;
  std::vector<const TNode*> stack{scope};
  while (!stack.empty() && !named) {
    const TNode* n = stack.back();
    stack.pop_back();
    if (auto* t = dynamic_cast<const TParams*>(n->Item()); t && t->IsSource())
      for (int i = 0; i < t->Count() && !named; ++i) named = t->At(i) && t->At(i)->Renamed();
    for (int i = 0; i < n->ChildCount(); ++i) stack.push_back(n->Child(i));
  }
  return named ? kModeChangeQuestion : std::string();
}

}  // namespace t32
