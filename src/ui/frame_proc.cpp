#include "ui/frame_proc.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "model/controller.h"
#include "ui/dialogs.h"

namespace t32::ui {

QString GroupNumberText(float v) {
  if (!(v > 0)) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", static_cast<double>(v));
  return QString::fromLatin1(buf).replace('.', ',');
}

float GroupNumberValue(const QString& text) {
  double v = 0;
  return ParseUserNumber(text, &v) ? static_cast<float>(v) : 0.0f;
}

QWidget* TGroupDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& o, const QModelIndex& i) const {
  QWidget* w = QStyledItemDelegate::createEditor(parent, o, i);
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    if (i.column() == 0) {
      e->setMaxLength(64);
    } else {
      e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*[,.]?[0-9]*"), e));
    }
  }
  return w;
}

TProcFrame::TProcFrame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TProcFrame");
  auto* lay = new QVBoxLayout(this);
  auto* head = new QLabel("<b>Плата процессора</b>", this);
  lay->addWidget(head);

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  AddrEdit = new TNumberEdit(0, 255, this);
  AddrEdit->setObjectName("AddrEdit");
  AddrEdit->setMaxLength(3);
  LogTimeEdit = new TNumberEdit(0, 65535, this);
  LogTimeEdit->setObjectName("LogTimeEdit");
  LogTimeEdit->setEnabled(false);
  form->addRow("Адрес КП", AddrEdit);
  form->addRow("Место установки", PlaceEdit);
  form->addRow("Время хранения журналов, суток", LogTimeEdit);
  lay->addLayout(form);
  SaveTSBox = new QCheckBox("Сохранять ТС в журнале событий", this);
  SaveTSBox->setObjectName("SaveTSBox");
  lay->addWidget(SaveTSBox);

  auto* pw = new QGroupBox("Требовать пароль для", this);
  auto* pwl = new QVBoxLayout(pw);
  const char* pwText[4] = {"чтения файлов Конфигуратором", "записи файлов Конфигуратором",
                           "чтения данных Диагностикой", "записи данных Диагностикой"};
  for (int i = 0; i < 4; ++i) {
    PasswordBox[i] = new QCheckBox(pwText[i], pw);
    pwl->addWidget(PasswordBox[i]);
  }
  lay->addWidget(pw);

  auto* gb = new QGroupBox("Таблица настройки спорадических Групп ТИ", this);
  auto* gl = new QVBoxLayout(gb);
  GroupGrid = new QTableWidget(8, 5, gb);
  GroupGrid->setObjectName("GroupGrid");
  // Two-line heads keep the number columns narrow: the whole grid fits a narrow editor panel.
  GroupGrid->setHorizontalHeaderLabels({"Наименование\nГруппы", "Абсолютная\nапертура", "Относительная\nапертура, %",
                                        "Нижний\nпорог", "Верхний\nпорог"});
  GroupGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  GroupGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  GroupGrid->horizontalHeader()->setMinimumSectionSize(40);
  // The page never gets narrower than the grid's columns: the editor panel scrolls instead.
  int columns = 0;
  for (int c = 0; c < GroupGrid->columnCount(); ++c) columns += GroupGrid->horizontalHeader()->sectionSizeHint(c);
  GroupGrid->setMinimumWidth(columns + GroupGrid->verticalHeader()->sizeHint().width() +
                             GroupGrid->verticalScrollBar()->sizeHint().width() + 2 * GroupGrid->frameWidth() + 8);
  GroupGrid->setItemDelegate(new TGroupDelegate(GroupGrid));
  GroupGrid->setMinimumHeight(160);
  gl->addWidget(GroupGrid);
  lay->addWidget(gb, 1);
  connect(GroupGrid, &QTableWidget::itemChanged, this, [this] {
    if (!filling_) gridEdited_ = true;
  });
}

void TProcFrame::ShowItem(TItem* item) {
  item_ = item;
  auto* p = dynamic_cast<TProc*>(item);
  if (!p) return;
  filling_ = true;
  gridEdited_ = false;
  PlaceEdit->setText(Q(p->place));
  AddrEdit->SetValue(p->stationAddress);
  LogTimeEdit->SetValue(p->logRetention);
  SaveTSBox->setChecked(p->saveTSInLog != 0);
  for (int i = 0; i < 4; ++i) PasswordBox[i]->setChecked(p->passwordFlags[i] != 0);
  int count = static_cast<int>(std::min<std::uint32_t>(p->groupCount, TProc::kMaxGroups));
  GroupGrid->clearContents();
  GroupGrid->setRowCount(std::max(8, count));
  for (int r = 0; r < count; ++r) {
    const TTIGroup& g = p->groups[r];
    GroupGrid->setItem(r, 0, new QTableWidgetItem(Q(g.name)));
    GroupGrid->setItem(r, 1, new QTableWidgetItem(GroupNumberText(g.absAperture)));
    GroupGrid->setItem(r, 2, new QTableWidgetItem(GroupNumberText(g.relAperture)));
    GroupGrid->setItem(r, 3, new QTableWidgetItem(GroupNumberText(g.lower)));
    GroupGrid->setItem(r, 4, new QTableWidgetItem(GroupNumberText(g.upper)));
  }
  filling_ = false;
}

void TProcFrame::StoreItem() {
  auto* p = dynamic_cast<TProc*>(item_);
  if (!p) return;
  // A cell still being typed in belongs to the grid before it is read.
  if (QWidget* ed = GroupGrid->indexWidget(GroupGrid->currentIndex())) {
    emit GroupGrid->itemDelegate()->commitData(ed);
    emit GroupGrid->itemDelegate()->closeEditor(ed, QAbstractItemDelegate::NoHint);
  }
  // Only what the user changed is stored, so an untouched processor keeps every byte.
  if (PlaceEdit->isModified()) p->place = S(PlaceEdit->text());
  if (AddrEdit->isModified()) p->stationAddress = static_cast<std::uint16_t>(AddrEdit->Value());
  if (SaveTSBox->isChecked() != (p->saveTSInLog != 0)) p->saveTSInLog = SaveTSBox->isChecked() ? 1 : 0;
  for (int i = 0; i < 4; ++i)
    if (PasswordBox[i]->isChecked() != (p->passwordFlags[i] != 0)) p->passwordFlags[i] = PasswordBox[i]->isChecked() ? 1 : 0;
  PlaceEdit->setModified(false);
  AddrEdit->setModified(false);
  if (!gridEdited_) return;
  gridEdited_ = false;
  auto cell = [&](int r, int c) {
    QTableWidgetItem* it = GroupGrid->item(r, c);
    return it ? it->text() : QString();
  };
  std::vector<TTIGroup> rows;
  for (int r = 0; r < GroupGrid->rowCount(); ++r) {
    TTIGroup g;
    g.name = S(cell(r, 0));
    g.absAperture = GroupNumberValue(cell(r, 1));
    g.relAperture = GroupNumberValue(cell(r, 2));
    g.lower = GroupNumberValue(cell(r, 3));
    g.upper = GroupNumberValue(cell(r, 4));
    rows.push_back(g);
  }
  p->SetGroups(rows);
}

}  // namespace t32::ui
