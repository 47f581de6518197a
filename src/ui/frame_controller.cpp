#include "ui/frame_controller.h"

#include <QApplication>
#include <QDrag>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include "model/controller.h"
#include "model/document.h"
#include "model/storage.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"

namespace t32::ui {

namespace {
const char* kBoardMime = "application/x-tavrik32-board";
const int kTextMargin = 4;  // left padding of the cell text
}  // namespace

TOverviewGrid::TOverviewGrid(TControllerFrame& owner, bool boards, QWidget* parent)
    : QTableWidget(parent), owner_(owner), boards_(boards) {
  setColumnCount(2);
  verticalHeader()->hide();
  setEditTriggers(NoEditTriggers);
  setSelectionMode(SingleSelection);
  setWordWrap(false);
  setAcceptDrops(boards);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

TItem* TOverviewGrid::ItemAt(int row, int x) const {
  if (row < 0 || row >= static_cast<int>(rowItems.size())) return nullptr;
  QTableWidgetItem* cell = item(row, 1);
  if (!cell) return nullptr;
  QString text = cell->text();
  int rel = x - columnViewportPosition(1) - kTextMargin;
  if (rel < 0) return nullptr;
  QFontMetrics fm(font());
  // The character under the point, then the index of the name it belongs to.
  int ch = -1;
  for (int i = 0; i < text.size(); ++i)
    if (fm.horizontalAdvance(text.left(i + 1)) > rel) {
      ch = i;
      break;
    }
  if (ch < 0 || text[ch] == ' ') return nullptr;
  int word = 0;
  for (int i = 1; i <= ch; ++i)
    if (text[i] != ' ' && text[i - 1] == ' ') ++word;
  const auto& items = rowItems[row];
  return word < static_cast<int>(items.size()) ? items[word] : nullptr;
}

void TOverviewGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  QPoint p = e->position().toPoint();
  int row = rowAt(p.y());
  if (boards_) {
    if (columnAt(p.x()) == 1) owner_.SelectItem(ItemAt(row, p.x()));
    return;
  }
  int col = columnAt(p.x());
  if (row < 0 || col < 0 || row >= static_cast<int>(rowItems.size())) return;
  const auto& items = rowItems[row];
  if (col < static_cast<int>(items.size())) owner_.SelectItem(items[col]);
}

void TOverviewGrid::mousePressEvent(QMouseEvent* e) {
  QTableWidget::mousePressEvent(e);
  pressed_ = nullptr;
  if (!boards_ || e->button() != Qt::LeftButton) return;
  QPoint p = e->position().toPoint();
  if (columnAt(p.x()) == 1) pressed_ = ItemAt(rowAt(p.y()), p.x());
  pressPos_ = p;
}

void TOverviewGrid::mouseMoveEvent(QMouseEvent* e) {
  if (!pressed_ || !(e->buttons() & Qt::LeftButton) ||
      (e->position().toPoint() - pressPos_).manhattanLength() < QApplication::startDragDistance()) {
    QTableWidget::mouseMoveEvent(e);
    return;
  }
  auto* mime = new QMimeData;
  mime->setData(kBoardMime, QByteArray::number(reinterpret_cast<quintptr>(pressed_)) + " " +
                                QByteArray::number(reinterpret_cast<quintptr>(this)));
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  pressed_ = nullptr;
  drag->exec(Qt::MoveAction);
}

bool TOverviewGrid::Accepts(const QPoint& pos, const QMimeData* mime) const {
  if (!mime->hasFormat(kBoardMime)) return false;
  QList<QByteArray> parts = mime->data(kBoardMime).split(' ');
  if (parts.size() != 2 || parts[1].toULongLong() != reinterpret_cast<quintptr>(this)) return false;
  int row = rowAt(pos.y());
  if (row < 0 || columnAt(pos.x()) != 1) return false;
  QTableWidgetItem* cell = item(row, 1);
  return !cell || cell->text().trimmed().isEmpty();
}

void TOverviewGrid::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasFormat(kBoardMime) && e->source() == this) e->acceptProposedAction();
  else e->ignore();
}

void TOverviewGrid::dragMoveEvent(QDragMoveEvent* e) {
  if (Accepts(e->position().toPoint(), e->mimeData())) e->acceptProposedAction();
  else e->ignore();
}

void TOverviewGrid::dropEvent(QDropEvent* e) {
  QPoint p = e->position().toPoint();
  if (!Accepts(p, e->mimeData())) {
    e->ignore();
    return;
  }
  auto* board = reinterpret_cast<TItem*>(e->mimeData()->data(kBoardMime).split(' ')[0].toULongLong());
  bool addrGrid = this == owner_.StringGridAddr;
  // The board pointer comes from this very grid's row lists; check it still is one.
  for (const auto& items : rowItems)
    for (TItem* it : items)
      if (it == board) {
        owner_.DropBoard(addrGrid ? 0 : 1, dynamic_cast<TBlock*>(board), rowAt(p.y()));
        e->acceptProposedAction();
        return;
      }
  e->ignore();
}

// ---------------------------------------------------------------------------------------
TControllerFrame::TControllerFrame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TControllerFrame");
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  auto* split = new QSplitter(Qt::Horizontal, this);
  auto* left = new QWidget(split);
  auto* leftLay = new QVBoxLayout(left);
  leftLay->setContentsMargins(0, 0, 0, 0);

  auto makeGroup = [&](QWidget* host, const char* title, TOverviewGrid*& grid, bool boards, const char* h0,
                       const char* h1, const char* name) {
    auto* box = new QGroupBox(title, host);
    auto* bl = new QVBoxLayout(box);
    grid = new TOverviewGrid(*this, boards, box);
    grid->setObjectName(name);
    grid->setHorizontalHeaderLabels({h0, h1});
    bl->addWidget(grid);
    return box;
  };
  QGroupBox* addr = makeGroup(left, "Базовые адреса плат", StringGridAddr, true, " Адрес", " Плата", "StringGridAddr");
  StringGridAddr->setRowCount(16);
  for (int a = 0; a < 16; ++a) StringGridAddr->setItem(a, 0, new QTableWidgetItem("  " + QString::number(a)));
  StringGridAddr->setColumnWidth(0, 60);
  QGroupBox* irq = makeGroup(left, "Номера линий запроса прерывания", StringGridIRQ, true, " IRQ", " Адрес_Плата",
                             "StringGridIRQ");
  StringGridIRQ->setRowCount(5);
  for (int i = 0; i < 5; ++i) StringGridIRQ->setItem(i, 0, new QTableWidgetItem("  " + QString::number(i + 3)));
  StringGridIRQ->setColumnWidth(0, 60);
  int rowH = StringGridIRQ->verticalHeader()->defaultSectionSize();
  StringGridIRQ->setFixedHeight(rowH * 5 + StringGridIRQ->horizontalHeader()->sizeHint().height() + 4);
  StringGridAddr->setMinimumHeight(rowH * 6);
  leftLay->addWidget(addr, 1);
  leftLay->addWidget(irq, 0);

  QGroupBox* ports = makeGroup(split, "Таблица программных и аппаратных портов", StringGridPorts, false,
                               " Программный порт", " Аппаратный порт", "StringGridPorts");
  StringGridPorts->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  split->addWidget(left);
  split->addWidget(ports);
  split->setChildrenCollapsible(false);
  split->setSizes({260, 300});
  lay->addWidget(split);
}

void TControllerFrame::ShowItem(TItem* item) {
  item_ = item;
  Fill();
}

void TControllerFrame::Fill() {
  auto* c = dynamic_cast<TController*>(item_);
  if (!c) return;
  auto addr = c->AddressRows();
  StringGridAddr->rowItems.assign(16, {});
  for (int a = 0; a < 16; ++a) {
    StringGridAddr->setItem(a, 1, new QTableWidgetItem(Q(addr[a].text)));
    StringGridAddr->rowItems[a] = addr[a].items;
  }
  auto irq = c->IrqRows();
  StringGridIRQ->rowItems.assign(5, {});
  for (int i = 0; i < 5; ++i) {
    StringGridIRQ->setItem(i, 1, new QTableWidgetItem(Q(irq[i].text)));
    StringGridIRQ->rowItems[i] = irq[i].items;
  }
  auto ports = c->PortRows();
  int rows = std::max<int>(2, static_cast<int>(ports.size()));
  StringGridPorts->clearContents();
  StringGridPorts->setRowCount(rows);
  StringGridPorts->rowItems.assign(rows, {});
  for (int i = 0; i < static_cast<int>(ports.size()); ++i) {
    StringGridPorts->setItem(i, 0, new QTableWidgetItem(Q(ports[i].port)));
    StringGridPorts->setItem(i, 1, new QTableWidgetItem(Q(ports[i].channel)));
    StringGridPorts->rowItems[i] = {ports[i].portItem};
    if (ports[i].channelItem) StringGridPorts->rowItems[i].push_back(ports[i].channelItem);
  }
}

void TControllerFrame::SelectItem(TItem* item) {
  if (item && item->node) Doc().Messages().SelectNode(item->node);
}

bool TControllerFrame::DropBoard(int grid, TBlock* board, int row) {
  if (!board) return false;
  if (grid == 0) {
    if (row < 0 || row > 15) return false;
    board->SetAddress(row);
  } else {
    if (row < 0 || row > 4) return false;
    board->irq = static_cast<std::uint8_t>(row + 3);
    board->UpdateNode();
  }
  Fill();
  return true;
}

}  // namespace t32::ui
