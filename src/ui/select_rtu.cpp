#include "ui/select_rtu.h"

#include <QComboBox>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>

#include <algorithm>

#include "ui/dialogs.h"

namespace t32::ui {

namespace {
constexpr int kCellW = 30, kCellH = 26;
constexpr int kGridX = 10, kGridY = 40;
// The grid is 16 × 16 with a gap after every fourth column and row.
QPoint CellPos(int address) {
  int col = (address - 1) % 16, row = (address - 1) / 16;
  return {kGridX + kCellW * col + 10 * (col / 4), kGridY + kCellH * row + 8 * (row / 4)};
}
}  // namespace

TRtuCell::TRtuCell(int a, QWidget* parent) : QPushButton(QString::number(a), parent), address(a) {
  setObjectName(QString("Cell%1").arg(a));
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
  ShowState();
}

void TRtuCell::ShowState() {
  if (used) {
    setFlat(true);
    setStyleSheet("QPushButton { border: none; color: black; }");
  } else if (picked) {
    setStyleSheet("QPushButton { background: white; color: blue; font-weight: bold;"
                  " border: 1px inset gray; }");
  } else {
    setStyleSheet("QPushButton { background: silver; color: blue; font-weight: bold;"
                  " border: 2px outset white; }");
  }
  setToolTip(picked ? type : QString());
}

void TRtuCell::enterEvent(QEnterEvent* e) {
  QPushButton::enterEvent(e);
  emit hovered(this);
}

void TRtuCell::mouseMoveEvent(QMouseEvent* e) {
  QPushButton::mouseMoveEvent(e);
  emit hovered(this);
}

TSelectRTU::TSelectRTU(const std::vector<TDevicePick>& used, const std::vector<std::string>& types,
                       QWidget* parent)
    : QDialog(parent) {
  setObjectName("TSelectRTU");
  setProperty("helpContext", 5407);
  setWindowTitle("Выбор сетевых адресов добавляемых устройств");
  auto* typeLabel = new QLabel("Тип устройства", this);
  typeLabel->setGeometry(10, 10, 100, 22);
  TypeBox = new QComboBox(this);
  TypeBox->setObjectName("TypeBox");
  TypeBox->setGeometry(115, 8, 250, 24);
  std::vector<std::string> sorted = types;
  std::sort(sorted.begin(), sorted.end());
  for (const auto& t : sorted) TypeBox->addItem(Q(t));
  if (TypeBox->count() > 0) TypeBox->setCurrentIndex(0);

  for (int a = 1; a <= 255; ++a) {
    auto* c = new TRtuCell(a, this);
    c->setGeometry(QRect(CellPos(a), QSize(kCellW, kCellH)));
    cells_.push_back(c);
    connect(c, &QPushButton::clicked, this, [this, c] { Toggle(c); });
    connect(c, &TRtuCell::hovered, this, &TSelectRTU::Hover);
  }
  for (const auto& u : used)
    if (u.address >= 1 && u.address <= 255) {
      TRtuCell* c = cells_[u.address - 1];
      c->used = true;
      c->type = Q(u.type);
      c->ShowState();
    }

  const int gridRight = CellPos(16).x() + kCellW;  // column 15's right edge
  const int gridBottom = CellPos(241).y() + kCellH;
  AddButton = new QPushButton("Добавить", this);
  CancelButton = new QPushButton("Отмена", this);
  AddButton->setGeometry(gridRight - 190, gridBottom + 10, 90, 26);
  CancelButton->setGeometry(gridRight - 90, gridBottom + 10, 90, 26);
  AddButton->setDefault(true);
  connect(AddButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  StatusPanel = new QLabel(this);
  StatusPanel->setObjectName("StatusPanel");
  StatusPanel->setFrameShape(QFrame::Panel);
  StatusPanel->setFrameShadow(QFrame::Sunken);
  StatusPanel->setGeometry(0, gridBottom + 44, gridRight + 10, 20);
  setFixedSize(gridRight + 10, gridBottom + 64);
}

void TSelectRTU::Toggle(TRtuCell* c) {
  if (c->used) {
    Hover(c);
    return;
  }
  c->picked = !c->picked;
  c->type = c->picked ? TypeBox->currentText() : QString();
  c->ShowState();
  Hover(c);
}

void TSelectRTU::Hover(TRtuCell* c) {
  StatusPanel->setText(c->used || c->picked ? QString("  %1 = %2").arg(c->address).arg(c->type) : QString());
}

std::vector<TDevicePick> TSelectRTU::Picked() const {
  std::vector<TDevicePick> r;
  for (TRtuCell* c : cells_)
    if (c->picked && !c->used) r.push_back({c->address, S(c->type)});
  return r;
}

}  // namespace t32::ui
