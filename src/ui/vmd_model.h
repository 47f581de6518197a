// Qt views over the MMS client's data: the server model tree (a thin adapter over the client's
// TMMSvar nodes that owns nothing and copies nothing), and the report and GOOSE lists.
#pragma once
#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <functional>
#include <unordered_map>
#include <vector>

#include "iec61850/mmsclient.h"

namespace t32::ui {

class TVMDModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum Column { kColName, kColType, kColMmsName, kColValue, kColumns };
  static constexpr int kFilterCount = 20;

  explicit TVMDModel(QObject* parent = nullptr);
  // Shows the client's tree (nullptr: nothing). The nodes must stay alive until the next call;
  // the window detaches before the client replaces its tree.
  void SetClient(TMMSobject* client);
  TMMSobject* Client() const { return client_; }
  // Ticked functional constraints, in the order of kFunctionalConstraints.
  void SetFilter(int index, bool shown);
  bool Filter(int index) const { return filter_[static_cast<std::size_t>(index)]; }
  // Selecting mode shows the pick marks instead of the level icons.
  void SetSelecting(bool on);
  bool Selecting() const { return selecting_; }
  // Re-reads every row's texts and icons (values arrived, marks changed).
  void RefreshAll();

  TMMSvar* NodeOf(const QModelIndex& index) const;
  // Icon number of a node by its place: 0 root, 1 logical device, 2 logical node, 3 functional
  // constraint, 4 below it; deeper 6 for an element of a signal or what lies under one, else 5.
  int LevelIcon(const TMMSvar& n) const;
  // Whether the filter lets the node show (its constraint is unknown, empty, or ticked).
  bool Shown(const TMMSvar& n) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 signals:
  void Repaint();

 private:
  // Only the children of a logical node carry a functional constraint of their own; everything
  // below inherits it, so filtering is needed at that one level.
  static bool Filtered(const TMMSvar& parent) { return parent.Parent && parent.Parent->Domain; }
  TMMSvar* NthShown(const TMMSvar& parent, int row) const;

  TMMSobject* client_ = nullptr;
  std::array<bool, kFilterCount> filter_{};
  bool selecting_ = false;
  // Row of every node handed out so far (parent() needs its parent's row in O(1)).
  mutable std::unordered_map<const TMMSvar*, int> rows_;
};

// Icons of the browser, drawn here: tree levels, pick marks, link and list states.
const QIcon& LevelIconImage(int level);
const QIcon& PickIconImage(bool ticked);
enum class TLamp { Gray, Red, Yellow, Green, Read };
const QIcon& LampIcon(TLamp lamp);

// A list whose every cell comes from a text function; a function that fails shows "ошибка".
template <class Row> struct TListColumn {
  QString caption;
  int width;
  std::function<QString(const Row&)> text;
};

// The client's enabled configured reports.
class TReportListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TReportListModel(QObject* parent = nullptr);
  void SetClient(TMMSobject* client);
  // Takes the list again and notes which reports arrived since the last refresh (they show the
  // read icon until the next one).
  void Refresh();
  TMMSReportParam* At(int row) const;
  TLamp Lamp(int row) const;
  const std::vector<TListColumn<TMMSReportParam>>& Columns() const { return cols_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 private:
  TMMSobject* client_ = nullptr;
  std::vector<TMMSReportParam*> rows_;
  std::vector<bool> fresh_;
  std::vector<TListColumn<TMMSReportParam>> cols_;
};

// The client's GOOSE control blocks.
class TGooseListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TGooseListModel(QObject* parent = nullptr);
  void SetClient(TMMSobject* client);
  void Refresh();
  const std::vector<TListColumn<TGCBObject>>& Columns() const { return cols_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 private:
  TMMSobject* client_ = nullptr;
  std::vector<TGCBObject*> rows_;
  std::vector<TListColumn<TGCBObject>> cols_;
};

}  // namespace t32::ui
