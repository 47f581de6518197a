#include "ui/vmd_model.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QPainter>
#include <QPixmap>
#include <stdexcept>

#include "iec61850/pickmarks.h"

namespace t32::ui {

namespace {

int Depth(const TMMSvar& n) {
  int d = 0;
  for (const TMMSvar* p = n.Parent; p; p = p->Parent) ++d;
  return d;
}

QString Text(const std::string& s) { return QString::fromStdString(s); }

QIcon Drawn(const std::function<void(QPainter&)>& draw) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p);
  p.end();
  return QIcon(pm);
}

}  // namespace

const QIcon& LevelIconImage(int level) {
  static const std::vector<QIcon> icons = [] {
    std::vector<QIcon> v;
    // 0 server, 1 logical device, 2 logical node, 3 constraint, 4 data object, 5 structure, 6 element
    const QColor colors[7] = {QColor(40, 70, 140), QColor(30, 110, 180), QColor(40, 150, 90), QColor(200, 140, 30),
                              QColor(120, 90, 170), QColor(110, 110, 110), QColor(60, 140, 200)};
    for (int i = 0; i < 7; ++i)
      v.push_back(Drawn([&, i](QPainter& p) {
        p.setPen(colors[i].darker(140));
        p.setBrush(colors[i]);
        switch (i) {
          case 0: p.drawRect(2, 2, 12, 12); p.setBrush(Qt::white); p.drawRect(4, 4, 8, 3); break;
          case 1: p.drawRoundedRect(2, 3, 12, 10, 2, 2); break;
          case 2: p.drawEllipse(2, 2, 12, 12); break;
          case 3: { QPolygon t; t << QPoint(8, 2) << QPoint(14, 14) << QPoint(2, 14); p.drawPolygon(t); break; }
          case 4: p.drawRect(3, 3, 10, 10); break;
          case 5: p.drawRect(4, 4, 8, 8); break;
          default: p.drawEllipse(5, 5, 6, 6); break;
        }
      }));
    return v;
  }();
  return icons[static_cast<std::size_t>(level < 0 || level > 6 ? 6 : level)];
}

const QIcon& PickIconImage(bool ticked) {
  static const QIcon on = Drawn([](QPainter& p) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(2, 2, 12, 12);
    p.setPen(QPen(QColor(0, 130, 0), 2));
    p.drawLine(4, 8, 7, 11);
    p.drawLine(7, 11, 12, 4);
  });
  static const QIcon off = Drawn([](QPainter& p) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(2, 2, 12, 12);
  });
  return ticked ? on : off;
}

const QIcon& LampIcon(TLamp lamp) {
  static const std::vector<QIcon> icons = [] {
    std::vector<QIcon> v;
    const QColor c[4] = {QColor(150, 150, 150), QColor(210, 30, 30), QColor(230, 200, 0), QColor(20, 170, 40)};
    for (const QColor& col : c)
      v.push_back(Drawn([col](QPainter& p) {
        p.setPen(col.darker(150));
        p.setBrush(col);
        p.drawEllipse(2, 2, 12, 12);
      }));
    v.push_back(Drawn([](QPainter& p) {  // a report or message just read
      p.setPen(QColor(0, 90, 180));
      p.setBrush(QColor(90, 170, 255));
      p.drawEllipse(2, 2, 12, 12);
      p.setPen(QPen(Qt::white, 2));
      p.drawLine(5, 8, 11, 8);
      p.drawLine(8, 5, 11, 8);
      p.drawLine(8, 11, 11, 8);
    }));
    return v;
  }();
  return icons[static_cast<std::size_t>(lamp)];
}

// ---------------------------------------------------------------------------------------
TVMDModel::TVMDModel(QObject* parent) : QAbstractItemModel(parent) {
  for (int i = 0; i < 4; ++i) filter_[static_cast<std::size_t>(i)] = true;  // ST, MX, CO, SP
}

void TVMDModel::SetClient(TMMSobject* client) {
  beginResetModel();
  client_ = client;
  rows_.clear();
  endResetModel();
}

void TVMDModel::SetFilter(int index, bool shown) {
  if (index < 0 || index >= kFilterCount) return;
  beginResetModel();
  filter_[static_cast<std::size_t>(index)] = shown;
  rows_.clear();
  endResetModel();
}

void TVMDModel::SetSelecting(bool on) {
  selecting_ = on;
  RefreshAll();
}

void TVMDModel::RefreshAll() {
  // The rows did not change, only what they show: the view repaints.
  emit Repaint();
}

bool TVMDModel::Shown(const TMMSvar& n) const {
  std::string_view fc = n.FunctionalConstraint();
  if (fc.empty()) return true;
  for (int i = 0; i < kFilterCount; ++i)
    if (fc == kFunctionalConstraints[i]) return filter_[static_cast<std::size_t>(i)];
  return true;
}

TMMSvar* TVMDModel::NthShown(const TMMSvar& parent, int row) const {
  if (row < 0) return nullptr;
  if (!Filtered(parent))
    return row < static_cast<int>(parent.Children.size()) ? parent.Children[static_cast<std::size_t>(row)].get()
                                                           : nullptr;
  for (const auto& c : parent.Children)
    if (Shown(*c) && row-- == 0) return c.get();
  return nullptr;
}

TMMSvar* TVMDModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<TMMSvar*>(index.internalPointer()) : nullptr;
}

int TVMDModel::LevelIcon(const TMMSvar& n) const {
  int d = Depth(n);
  if (d <= 4) return d;
  const TStrDictionary& dict = client_->Dictionary();
  for (const TMMSvar* p = &n; p && d >= 4; p = p->Parent, --d)
    if (IsElementNode(*p, dict)) return 6;
  return 5;
}

QModelIndex TVMDModel::index(int row, int column, const QModelIndex& parent) const {
  if (!client_ || column < 0 || column >= kColumns) return {};
  TMMSvar* child = nullptr;
  if (!parent.isValid())
    child = row == 0 ? &client_->Root() : nullptr;
  else
    child = NthShown(*NodeOf(parent), row);
  if (!child) return {};
  rows_[child] = row;
  return createIndex(row, column, child);
}

QModelIndex TVMDModel::parent(const QModelIndex& child) const {
  TMMSvar* n = NodeOf(child);
  if (!n || !n->Parent) return {};
  TMMSvar* p = n->Parent;
  auto it = rows_.find(p);
  int row = 0;
  if (it != rows_.end()) {
    row = it->second;
  } else if (p->Parent) {  // not handed out through index() (should not happen): count
    for (const auto& c : p->Parent->Children) {
      if (c.get() == p) break;
      if (!Filtered(*p->Parent) || Shown(*c)) ++row;
    }
  }
  return createIndex(row, 0, p);
}

int TVMDModel::rowCount(const QModelIndex& parent) const {
  if (!client_) return 0;
  if (!parent.isValid()) return 1;
  if (parent.column() != 0) return 0;
  const TMMSvar* n = NodeOf(parent);
  if (!Filtered(*n)) return static_cast<int>(n->Children.size());
  int count = 0;
  for (const auto& c : n->Children)
    if (Shown(*c)) ++count;
  return count;
}

int TVMDModel::columnCount(const QModelIndex&) const { return kColumns; }

QVariant TVMDModel::data(const QModelIndex& index, int role) const {
  const TMMSvar* n = NodeOf(index);
  if (!n || !client_) return {};
  const TStrDictionary& dict = client_->Dictionary();
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    switch (index.column()) {
      case kColName: return Text(dict[n->Name]);
      case kColType: return Text(TypeText(*n));
      case kColMmsName: return n->Parent && !n->Domain ? Text(n->FullName(dict)) : QString();
      case kColValue: {
        // A value that could not be read says why instead of looking merely absent.
        std::string err = ReadErrorText(*n);
        return Text(err.empty() ? NodeValueText(*n, dict) : err);
      }
      default: return {};
    }
  }
  if (role == Qt::ForegroundRole && index.column() == kColValue && n->ReadErrorClass >= 0)
    return QBrush(QColor(190, 0, 0));
  if (role == Qt::DecorationRole && index.column() == kColName)
    return selecting_ ? PickIconImage(n->PickMark != 0) : LevelIconImage(LevelIcon(*n));
  return {};
}

QVariant TVMDModel::headerData(int section, Qt::Orientation o, int role) const {
  static const char* const kCaptions[kColumns] = {"MMS объект", "тип данных", "MMS-имя переменной ", "данные"};
  if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
    return QString::fromUtf8(kCaptions[section]);
  return {};
}

// ---------------------------------------------------------------------------------------
namespace {

QString WallTime(TTime t) {
  // Reception times are kept on the monotonic clock; show them as the wall-clock time they had.
  auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - t).count();
  return QDateTime::currentDateTime().addMSecs(-ago).time().toString("hh:mm:ss.z");
}

template <class Row>
QVariant CellText(const std::vector<TListColumn<Row>>& cols, const Row& r, int column) {
  if (column < 0 || column >= static_cast<int>(cols.size()) || !cols[static_cast<std::size_t>(column)].text)
    return {};
  try {
    return cols[static_cast<std::size_t>(column)].text(r);
  } catch (...) {
    return QString("ошибка");
  }
}

template <class Row> QVariant Header(const std::vector<TListColumn<Row>>& cols, int section, Qt::Orientation o, int role) {
  if (o != Qt::Horizontal || section < 0 || section >= static_cast<int>(cols.size())) return {};
  if (role == Qt::DisplayRole) return cols[static_cast<std::size_t>(section)].caption;
  return {};
}

}  // namespace

TReportListModel::TReportListModel(QObject* parent) : QAbstractTableModel(parent) {
  using R = TMMSReportParam;
  cols_ = {
      {"", 25, nullptr},
      {"идентификатор", 120, [](const R& r) { return Text(r.RptID); }},
      {"Report control block", 170,
       [](const R& r) {
         if (!r.Block) return QString();
         if (!r.Client) throw std::runtime_error("no client");
         return Text(r.Client->Reference(r.Block));
       }},
      {"время получения", 120, [](const R& r) { return r.LastReport == TTime{} ? QString() : WallTime(r.LastReport); }},
      {"№ посл.", 60, [](const R& r) { return r.SqNum < 0 ? QString() : QString::number(r.SqNum); }},
      {"B/O", 40, [](const R& r) { return r.BufOvfl ? QString("да") : QString(); }},
      {"EntryID", 2000,
       [](const R& r) {
         QString s;
         if (r.Buffered)
           for (std::uint8_t b : r.EntryID) s += QString("%1").arg(b, 2, 16, QChar('0')).toUpper();
         return s;
       }},
  };
}

void TReportListModel::SetClient(TMMSobject* client) {
  beginResetModel();
  client_ = client;
  rows_.clear();
  fresh_.clear();
  endResetModel();
  Refresh();
}

void TReportListModel::Refresh() {
  std::vector<TMMSReportParam*> rows;
  if (client_)
    for (const auto& r : client_->Reports().Items)
      if (r->Enabled) rows.push_back(r.get());
  if (rows != rows_) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
  }
  fresh_.assign(rows_.size(), false);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    fresh_[i] = rows_[i]->Seen;
    rows_[i]->Seen = false;
  }
  if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

TMMSReportParam* TReportListModel::At(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<std::size_t>(row)] : nullptr;
}

TLamp TReportListModel::Lamp(int row) const {
  const TMMSReportParam* r = At(row);
  if (!r || !client_ || client_->MMSState() != TMMSobject::kMmsAssociated) return TLamp::Gray;
  if (fresh_[static_cast<std::size_t>(row)]) return TLamp::Read;
  if (!r->Active) return TLamp::Red;
  return r->LastReport == TTime{} ? TLamp::Yellow : TLamp::Green;
}

int TReportListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}
int TReportListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(cols_.size());
}

QVariant TReportListModel::data(const QModelIndex& index, int role) const {
  const TMMSReportParam* r = At(index.row());
  if (!r) return {};
  if (role == Qt::DecorationRole && index.column() == 0) return LampIcon(Lamp(index.row()));
  if (role == Qt::DisplayRole) return CellText(cols_, *r, index.column());
  return {};
}

QVariant TReportListModel::headerData(int section, Qt::Orientation o, int role) const {
  return Header(cols_, section, o, role);
}

// ---------------------------------------------------------------------------------------
TGooseListModel::TGooseListModel(QObject* parent) : QAbstractTableModel(parent) {
  using G = TGCBObject;
  // Nothing in this program receives GOOSE messages yet: the message columns stay empty until
  // something records a message time.
  auto none = [](const G&) { return QString(); };
  cols_ = {{"", 25, nullptr},
           {"GOOSE control block", 170, [](const G& g) { return Text(g.Name); }},
           {"ID", 60, [](const G& g) { return Text(g.GoID); }},
           {"время сообщ.", 90, none},
           {"ST", 50, none},
           {"SQ", 50, none},
           {"life time", 50, none},
           {"тест", 50, none},
           {"к-во объектов", 3000, none}};
}

void TGooseListModel::SetClient(TMMSobject* client) {
  client_ = client;
  Refresh();
}

void TGooseListModel::Refresh() {
  std::vector<TGCBObject*> rows;
  if (client_)
    for (const auto& g : client_->GooseBlocks().Items) rows.push_back(g.get());
  if (rows != rows_) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
  } else if (!rows_.empty()) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  }
}

int TGooseListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}
int TGooseListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(cols_.size());
}

QVariant TGooseListModel::data(const QModelIndex& index, int role) const {
  if (index.row() < 0 || index.row() >= static_cast<int>(rows_.size())) return {};
  const TGCBObject& g = *rows_[static_cast<std::size_t>(index.row())];
  // No message state is known (none is received), which the list shows as red.
  if (role == Qt::DecorationRole && index.column() == 0) return LampIcon(TLamp::Red);
  if (role == Qt::DisplayRole) return CellText(cols_, g, index.column());
  return {};
}

QVariant TGooseListModel::headerData(int section, Qt::Orientation o, int role) const {
  return Header(cols_, section, o, role);
}

}  // namespace t32::ui
