#include "iec61850/pickmarks.h"

namespace t32 {

bool IsSignalNode(const TMMSvar& n, const TStrDictionary& dict) {
  for (const auto& c : n.Children)
    if (c->Children.empty()) return true;
  if (n.FunctionalConstraint() == "CO")
    for (const auto& c : n.Children)
      if (dict[c->Name] == "Oper") return true;
  return false;
}

bool IsElementNode(const TMMSvar& n, const TStrDictionary& dict) {
  return n.Children.empty() || (n.Parent && IsSignalNode(*n.Parent, dict));
}

namespace {
void PassDown(TMMSvar& n, std::uint8_t mark, const TStrDictionary& dict) {
  // Whether the children are elements depends only on this node; ask once, not per child.
  const bool signal = IsSignalNode(n, dict);
  for (auto& c : n.Children) {
    std::uint8_t m = (signal || c->Children.empty()) ? 0 : mark;
    c->PickMark = m;
    PassDown(*c, m, dict);
  }
}
void Collect(TMMSvar& n, std::vector<TMMSvar*>& out) {
  if (n.PickMark) out.push_back(&n);
  for (auto& c : n.Children) Collect(*c, out);
}
void Clear(TMMSvar& n) {
  n.PickMark = 0;
  for (auto& c : n.Children) Clear(*c);
}
}  // namespace

void SetPickMark(TMMSvar& n, std::uint8_t mark, const TStrDictionary& dict) {
  n.PickMark = mark ? 1 : 0;
  PassDown(n, n.PickMark, dict);
}

void TogglePickMark(TMMSvar& n, const TStrDictionary& dict) { SetPickMark(n, n.PickMark ? 0 : 1, dict); }

std::vector<TMMSvar*> PickedNodes(TMMSvar& root) {
  std::vector<TMMSvar*> out;
  Collect(root, out);
  return out;
}

void ClearPickMarks(TMMSvar& root) { Clear(root); }

}  // namespace t32
