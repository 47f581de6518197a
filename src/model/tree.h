// The configuration tree: nodes with caption, icon, expanded state and children, each
// carrying one item. Views watch it through TTreeObserver and own nothing of it.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace t32 {

class TItem;
class TTree;
class TDocument;

class TNode {
 public:
  TNode() = default;
  ~TNode();
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;
  std::string caption;
  int image = -1;
  int selectedImage = -1;
  int stateIndex = -1;
  bool expanded = false;

  TNode* Parent() const { return parent_; }
  TItem* Item() const { return item_.get(); }
  TTree* Tree() const { return tree_; }
  int ChildCount() const { return static_cast<int>(children_.size()); }
  TNode* Child(int i) const { return i >= 0 && i < ChildCount() ? children_[i].get() : nullptr; }
  int Index() const;  // position among the parent's children (0 for the root)
  int Level() const;  // root 0, its children 1, ...
  TNode* NextSibling() const;
  TNode* PrevSibling() const;
  bool IsAncestorOf(const TNode* n) const;
  // Sets caption and images and tells the views.
  void SetCaption(const std::string& text);
  void SetImages(int img);  // image and selected image
  void Changed();

 private:
  friend class TTree;
  TNode* parent_ = nullptr;
  TTree* tree_ = nullptr;
  std::unique_ptr<TItem> item_;
  std::vector<std::unique_ptr<TNode>> children_;
};

class TTreeObserver {
 public:
  virtual ~TTreeObserver() = default;
  virtual void BeforeInsert(TNode* parent, int row) = 0;
  virtual void AfterInsert(TNode* parent, int row) = 0;
  virtual void BeforeRemove(TNode* parent, int row) = 0;
  virtual void AfterRemove(TNode* parent, int row) = 0;
  virtual void NodeChanged(TNode* node) = 0;
  virtual void BeforeReset() = 0;
  virtual void AfterReset() = 0;
};

class TTree {
 public:
  explicit TTree(TDocument* doc) : doc_(doc) {}
  ~TTree();
  TTree(const TTree&) = delete;
  TTree& operator=(const TTree&) = delete;

  TDocument* Doc() const { return doc_; }
  TNode* Root() const { return root_.get(); }
  // Makes the root node for the item (replacing any tree) and calls the item's Create.
  TNode* SetRoot(std::unique_ptr<TItem> item);
  // Adds a node for the item under parent at index (-1: last) and calls the item's Create.
  TNode* Add(TNode* parent, std::unique_ptr<TItem> item, int index = -1);
  // Deletes a node with its subtree; the items release their bindings as they go.
  void Delete(TNode* node);
  // Moves a node (with its subtree) to newParent at index (index counted before removal is
  // not used: it is the index in newParent's children after the node was taken out).
  void Move(TNode* node, TNode* newParent, int index);
  // All nodes in display order (pre-order).
  std::vector<TNode*> DisplayOrder() const;
  int AbsoluteIndex(const TNode* node) const;  // position in display order, -1 if absent
  TNode* NodeAt(int absoluteIndex) const;
  int Count() const;
  void ForEach(const std::function<void(TNode*)>& fn) const;

  void AddObserver(TTreeObserver* o) { observers_.push_back(o); }
  void RemoveObserver(TTreeObserver* o);
  void NotifyChanged(TNode* n);
  // Bulk rebuilds (open, read from controller) tell views once instead of per node.
  void BeginReset();
  void EndReset();

 private:
  void DestroySubtree(std::unique_ptr<TNode>& node);
  TDocument* doc_;
  std::unique_ptr<TNode> root_;
  std::vector<TTreeObserver*> observers_;
  int resetDepth_ = 0;
};

}  // namespace t32
