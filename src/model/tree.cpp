#include "model/tree.h"

#include <algorithm>

#include "model/item.h"

namespace t32 {

TNode::~TNode() = default;

int TNode::Index() const {
  if (!parent_) return 0;
  const auto& c = parent_->children_;
  for (std::size_t i = 0; i < c.size(); ++i)
    if (c[i].get() == this) return static_cast<int>(i);
  return -1;
}

int TNode::Level() const {
  int l = 0;
  for (const TNode* p = parent_; p; p = p->parent_) ++l;
  return l;
}

TNode* TNode::NextSibling() const { return parent_ ? parent_->Child(Index() + 1) : nullptr; }
TNode* TNode::PrevSibling() const { return parent_ ? parent_->Child(Index() - 1) : nullptr; }

bool TNode::IsAncestorOf(const TNode* n) const {
  for (; n; n = n->parent_)
    if (n == this) return true;
  return false;
}

void TNode::SetCaption(const std::string& text) {
  if (caption == text) return;
  caption = text;
  Changed();
}

void TNode::SetImages(int img) {
  if (image == img && selectedImage == img) return;
  image = selectedImage = img;
  Changed();
}

void TNode::Changed() {
  if (tree_) tree_->NotifyChanged(this);
}

TTree::~TTree() {
  if (root_) DestroySubtree(root_);
}

TNode* TTree::SetRoot(std::unique_ptr<TItem> item) {
  BeginReset();
  if (root_) DestroySubtree(root_);
  root_ = std::make_unique<TNode>();
  root_->tree_ = this;
  root_->item_ = std::move(item);
  TNode* n = root_.get();
  EndReset();
  n->item_->Create(n);
  return n;
}

TNode* TTree::Add(TNode* parent, std::unique_ptr<TItem> item, int index) {
  auto node = std::make_unique<TNode>();
  node->tree_ = this;
  node->parent_ = parent;
  node->item_ = std::move(item);
  TNode* n = node.get();
  int row = (index < 0 || index > parent->ChildCount()) ? parent->ChildCount() : index;
  if (!resetDepth_)
    for (auto* o : observers_) o->BeforeInsert(parent, row);
  parent->children_.insert(parent->children_.begin() + row, std::move(node));
  if (!resetDepth_)
    for (auto* o : observers_) o->AfterInsert(parent, row);
  n->item_->Create(n);
  return n;
}

void TTree::DestroySubtree(std::unique_ptr<TNode>& node) {
  // Children go first so that an item's destructor still finds its own node intact.
  while (!node->children_.empty()) {
    DestroySubtree(node->children_.back());
    node->children_.pop_back();
  }
  node->item_.reset();
}

void TTree::Delete(TNode* node) {
  if (!node) return;
  TNode* parent = node->parent_;
  if (!parent) {
    BeginReset();
    DestroySubtree(root_);
    root_.reset();
    EndReset();
    return;
  }
  int row = node->Index();
  if (!resetDepth_)
    for (auto* o : observers_) o->BeforeRemove(parent, row);
  std::unique_ptr<TNode> owned = std::move(parent->children_[row]);
  parent->children_.erase(parent->children_.begin() + row);
  DestroySubtree(owned);
  owned.reset();
  if (!resetDepth_)
    for (auto* o : observers_) o->AfterRemove(parent, row);
}

void TTree::Move(TNode* node, TNode* newParent, int index) {
  if (!node || !node->parent_ || !newParent || node->IsAncestorOf(newParent)) return;
  TNode* oldParent = node->parent_;
  int row = node->Index();
  if (!resetDepth_)
    for (auto* o : observers_) o->BeforeRemove(oldParent, row);
  std::unique_ptr<TNode> owned = std::move(oldParent->children_[row]);
  oldParent->children_.erase(oldParent->children_.begin() + row);
  if (!resetDepth_)
    for (auto* o : observers_) o->AfterRemove(oldParent, row);
  int to = (index < 0 || index > newParent->ChildCount()) ? newParent->ChildCount() : index;
  if (!resetDepth_)
    for (auto* o : observers_) o->BeforeInsert(newParent, to);
  owned->parent_ = newParent;
  newParent->children_.insert(newParent->children_.begin() + to, std::move(owned));
  if (!resetDepth_)
    for (auto* o : observers_) o->AfterInsert(newParent, to);
}

void TTree::ForEach(const std::function<void(TNode*)>& fn) const {
  if (!root_) return;
  std::vector<TNode*> stack{root_.get()};
  while (!stack.empty()) {
    TNode* n = stack.back();
    stack.pop_back();
    fn(n);
    for (int i = n->ChildCount() - 1; i >= 0; --i) stack.push_back(n->Child(i));
  }
}

std::vector<TNode*> TTree::DisplayOrder() const {
  std::vector<TNode*> out;
  ForEach([&](TNode* n) { out.push_back(n); });
  return out;
}

int TTree::AbsoluteIndex(const TNode* node) const {
  int i = 0, found = -1;
  ForEach([&](TNode* n) {
    if (n == node && found < 0) found = i;
    ++i;
  });
  return found;
}

TNode* TTree::NodeAt(int absoluteIndex) const {
  auto order = DisplayOrder();
  return absoluteIndex >= 0 && absoluteIndex < static_cast<int>(order.size()) ? order[absoluteIndex] : nullptr;
}

int TTree::Count() const {
  int n = 0;
  ForEach([&](TNode*) { ++n; });
  return n;
}

void TTree::RemoveObserver(TTreeObserver* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

void TTree::NotifyChanged(TNode* n) {
  if (resetDepth_) return;
  for (auto* o : observers_) o->NodeChanged(n);
}

void TTree::BeginReset() {
  if (resetDepth_++ == 0)
    for (auto* o : observers_) o->BeforeReset();
}

void TTree::EndReset() {
  if (--resetDepth_ == 0)
    for (auto* o : observers_) o->AfterReset();
}

}  // namespace t32
