// A thin Qt model over the configuration tree: it owns nothing and follows the tree through
// TTreeObserver, so the tree stays the model's and the view only shows it.
#pragma once
#include <QAbstractItemModel>

#include "model/tree.h"

namespace t32::ui {

class TTreeModel : public QAbstractItemModel, public TTreeObserver {
  Q_OBJECT
 public:
  explicit TTreeModel(TTree& tree, QObject* parent = nullptr);
  ~TTreeModel() override;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  TNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(const TNode* node) const;

  // TTreeObserver
  void BeforeInsert(TNode* parent, int row) override;
  void AfterInsert(TNode* parent, int row) override;
  void BeforeRemove(TNode* parent, int row) override;
  void AfterRemove(TNode* parent, int row) override;
  void NodeChanged(TNode* node) override;
  void BeforeReset() override;
  void AfterReset() override;

 private:
  TTree& tree_;
};

}  // namespace t32::ui
