#include "ui/treemodel.h"

#include "ui/icons.h"

namespace t32::ui {

TTreeModel::TTreeModel(TTree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree) {
  tree_.AddObserver(this);
}

TTreeModel::~TTreeModel() { tree_.RemoveObserver(this); }

TNode* TTreeModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<TNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TTreeModel::IndexOf(const TNode* node) const {
  if (!node) return {};
  return createIndex(node->Parent() ? node->Index() : 0, 0, const_cast<TNode*>(node));
}

QModelIndex TTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid()) {
    TNode* root = tree_.Root();
    return (row == 0 && root) ? createIndex(0, 0, root) : QModelIndex();
  }
  TNode* p = NodeOf(parent);
  TNode* c = p ? p->Child(row) : nullptr;
  return c ? createIndex(row, 0, c) : QModelIndex();
}

QModelIndex TTreeModel::parent(const QModelIndex& child) const {
  TNode* n = NodeOf(child);
  if (!n || !n->Parent()) return {};
  return IndexOf(n->Parent());
}

int TTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return tree_.Root() ? 1 : 0;
  if (parent.column() != 0) return 0;
  TNode* n = NodeOf(parent);
  return n ? n->ChildCount() : 0;
}

int TTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant TTreeModel::data(const QModelIndex& index, int role) const {
  TNode* n = NodeOf(index);
  if (!n) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return QString::fromStdString(n->caption);
    case Qt::DecorationRole:
      return n->image >= 0 ? NodeIcon(n->image) : QVariant();
    default:
      return {};
  }
}

Qt::ItemFlags TTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

void TTreeModel::BeforeInsert(TNode* parent, int row) { beginInsertRows(IndexOf(parent), row, row); }
void TTreeModel::AfterInsert(TNode*, int) { endInsertRows(); }
void TTreeModel::BeforeRemove(TNode* parent, int row) { beginRemoveRows(IndexOf(parent), row, row); }
void TTreeModel::AfterRemove(TNode*, int) { endRemoveRows(); }
void TTreeModel::NodeChanged(TNode* node) {
  QModelIndex i = IndexOf(node);
  emit dataChanged(i, i);
}
void TTreeModel::BeforeReset() { beginResetModel(); }
void TTreeModel::AfterReset() { endResetModel(); }

}  // namespace t32::ui
