#include "ui/select_param.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "model/params.h"
#include "ui/dialogs.h"
#include "ui/frame_modbus.h"

namespace t32::ui {

TSelectParam::TSelectParam(const QString& section, int kind, const TGrid& grid, const std::vector<std::string>& lines,
                           const std::string& prefix, QWidget* parent)
    : QDialog(parent), kind_(kind), prefix_(prefix) {
  setObjectName("TSelectParam");
  setProperty("helpContext", 5405);
  setWindowTitle(section);
  auto* lay = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  const bool ti = kind == kSigTI;
  GridView = new TBlockGrid(ti, kind == kSigTI ? " Кол-во, слов" : kind == kSigTR ? " Кол-во, парметров" : " Кол-во, бит", this);
  GridView->setObjectName("GridView");
  // One delete button per row, in a column of its own.
  GridView->setColumnCount(GridView->columnCount() + 1);
  GridView->setHorizontalHeaderItem(GridView->columnCount() - 1, new QTableWidgetItem(""));
  for (int r = 0; r < kGridRows; ++r) {
    auto* b = new QPushButton("X", GridView);
    b->setObjectName(QString("DeleteRow%1").arg(r + 1));
    b->setFixedWidth(26);
    GridView->setCellWidget(r, GridView->columnCount() - 1, b);
    connect(b, &QPushButton::clicked, this, [this, r] { DeleteRow(r); });
  }
  GridView->SetGrid(grid);
  left->addWidget(GridView);
  auto* hint = new QLabel(
      "Удерживая клавишу Shift выделите нужный диапазон адресов параметров в списке и нажмите кнопку Добавить "
      "параметры в таблицу",
      this);
  hint->setWordWrap(true);
  hint->setMaximumWidth(GridView->minimumWidth() + 40);
  left->addWidget(hint);
  AddButton = new QPushButton("Добавить параметры в таблицу", this);
  AddButton->setObjectName("AddButton");
  left->addWidget(AddButton);
  left->addStretch();
  auto* buttons = new QHBoxLayout;
  OkButton = new QPushButton("Принять", this);
  CancelButton = new QPushButton("Отмена", this);
  buttons->addWidget(OkButton);
  buttons->addWidget(CancelButton);
  left->addLayout(buttons);
  lay->addLayout(left);

  List = new QListWidget(this);
  List->setObjectName("List");
  List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  List->setUniformItemSizes(true);  // thousands of lines open at once
  List->setStyleSheet("QListWidget::item:selected { background: navy; color: white; }");
  List->setMinimumWidth(320);
  for (const std::string& l : lines) List->addItem(Q(l));
  List->viewport()->installEventFilter(this);
  lay->addWidget(List, 1);
  Recolour();
  resize(760, 420);

  connect(AddButton, &QPushButton::clicked, this, &TSelectParam::AddSelected);
  connect(GridView, &QTableWidget::itemChanged, this, [this] { Recolour(); });
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TGrid TSelectParam::Grid() const { return GridView->Grid(); }

void TSelectParam::Recolour() {
  const TGrid g = GridView->Grid();
  for (int i = 0; i < List->count(); ++i) {
    QListWidgetItem* it = List->item(i);
    const std::string line = S(it->text());
    auto a = ListKeyAddress(ListLineKey(line));
    QColor c = Qt::black;
    if (LineTooLong(prefix_, line)) c = Qt::red;
    else if (a && AddressInGrid(*a, g, kind_)) c = Qt::gray;
    it->setForeground(c);
  }
}

void TSelectParam::DeleteRow(int row) {
  TGrid g = GridView->Grid();
  for (int r = row; r + 1 < kGridRows; ++r) g[static_cast<std::size_t>(r)] = g[static_cast<std::size_t>(r + 1)];
  g[kGridRows - 1] = TGridRow{};
  GridView->SetGrid(g);
  Recolour();
}

void TSelectParam::AddSelected() {
  // The first run of selected lines.
  std::vector<std::string> run;
  for (int i = 0; i < List->count(); ++i) {
    if (List->item(i)->isSelected()) run.push_back(S(List->item(i)->text()));
    else if (!run.empty()) break;
  }
  unsigned first = 0, last = 0;
  if (!RunRange(run, first, last)) return;
  TGrid g = GridView->Grid();
  if (AddRangeToGrid(g, kind_, first, last) == 0) return;
  GridView->SetGrid(g);
  Recolour();
}

bool TSelectParam::eventFilter(QObject* o, QEvent* e) {
  // A line ticked with Ctrl stays selected only beside a selected line: the selection is one run.
  if (o == List->viewport() && e->type() == QEvent::MouseButtonRelease) {
    auto* me = static_cast<QMouseEvent*>(e);
    if (me->modifiers() & Qt::ControlModifier) {
      QListWidgetItem* it = List->itemAt(me->position().toPoint());
      if (it && it->isSelected()) {
        const int row = List->row(it);
        const bool before = row > 0 && List->item(row - 1)->isSelected();
        const bool after = row + 1 < List->count() && List->item(row + 1)->isSelected();
        const bool others = !List->selectedItems().isEmpty() && List->selectedItems().size() > 1;
        if (others && !before && !after) {
          const bool r = QDialog::eventFilter(o, e);
          it->setSelected(false);
          return r;
        }
      }
    }
  }
  return QDialog::eventFilter(o, e);
}

// ---------------------------------------------------------------------------------------
TSelectLogParam::TSelectLogParam(const std::vector<TLogLine>& lines, QWidget* parent)
    : QDialog(parent), lines_(lines) {
  setObjectName("TSelectLogParam");
  setProperty("helpContext", 5406);
  setWindowTitle("Выбор событий журнала");
  auto* lay = new QVBoxLayout(this);
  List = new QListWidget(this);
  List->setObjectName("List");
  List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const TLogLine& l : lines_) {
    auto* it = new QListWidgetItem(Q(l.text), List);
    it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
    it->setCheckState(l.ticked ? Qt::Checked : Qt::Unchecked);
  }
  lay->addWidget(List, 1);
  auto* row = new QHBoxLayout;
  SelectButton = new QPushButton("Выбрать", this);
  ClearButton = new QPushButton("Стереть", this);
  OkButton = new QPushButton("Принять", this);
  CancelButton = new QPushButton("Отмена", this);
  for (QPushButton* b : {SelectButton, ClearButton, OkButton, CancelButton}) row->addWidget(b);
  lay->addLayout(row);
  resize(420, 480);
  connect(SelectButton, &QPushButton::clicked, this, [this] { TickSelected(true); });
  connect(ClearButton, &QPushButton::clicked, this, [this] { TickSelected(false); });
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TSelectLogParam::TickSelected(bool on) {
  for (QListWidgetItem* it : List->selectedItems()) it->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  List->clearSelection();
}

std::vector<TLogLine> TSelectLogParam::Lines() const {
  std::vector<TLogLine> out = lines_;
  for (int i = 0; i < List->count() && i < static_cast<int>(out.size()); ++i)
    out[static_cast<std::size_t>(i)].ticked = List->item(i)->checkState() == Qt::Checked;
  return out;
}

}  // namespace t32::ui
