#include "ui/frame_iec103.h"

#include <QApplication>
#include <QFormLayout>
#include <QListWidget>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "ports/app_context.h"
#include "ports/iec103.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"

namespace t32::ui {

TPort103Frame::TPort103Frame(TFrame1& owner, QWidget* parent)
    : TPortFrame(owner, parent, "Порт опроса устройств по протоколу MЭК 870-5-103") {
  setObjectName("TPort103Frame");
  SpinEditWait = AddNumber(form_, "Время ожидания ответа, мс", 100, 2000, "SpinEditWait");
  SpinEditTimeSet = AddNumber(form_, "Период синхронизации времени, мин", 0, 60000, "SpinEditTimeSet");
  SpinEditTimeOBD = AddNumber(form_, "Период общего опроса, мин", 0, 60000, "SpinEditTimeOBD");
  CountLabel = new QLabel(this);
  CountLabel->setObjectName("CountLabel");
  lay_->addWidget(CountLabel);
  lay_->addStretch();
  for (TNumberEdit* e : {SpinEditWait, SpinEditTimeSet, SpinEditTimeOBD})
    connect(e, &QLineEdit::editingFinished, this, [this] {
      if (!filling_) StoreItem();
    });
}

void TPort103Frame::Fill() {
  auto* p = dynamic_cast<TPort103*>(item_);
  if (!p) return;
  // A new port number (from the picker) renames every device's signals.
  auto devs = p->Devices();
  if (!devs.empty() && devs[0]->portName != p->PortName()) p->SetPortNumber(p->number);
  if (p->deviceCount != p->DeviceCountNow()) p->RecountChildren();
  SpinEditWait->SetValue(p->replyWait);
  SpinEditTimeSet->SetValue(p->SyncMinutes());
  SpinEditTimeOBD->SetValue(p->PollMinutes());
  CountLabel->setText(QString("Количество подключенных устройств = %1").arg(p->DeviceCountNow()));
}

void TPort103Frame::StoreItem() {
  auto* p = dynamic_cast<TPort103*>(item_);
  if (!p) return;
  // Only what the user typed is stored: an untouched page changes no byte.
  if (SpinEditWait->isModified()) p->replyWait = static_cast<std::uint16_t>(SpinEditWait->Value());
  if (SpinEditTimeSet->isModified()) p->SetSyncMinutes(SpinEditTimeSet->Value());
  if (SpinEditTimeOBD->isModified()) p->SetPollMinutes(SpinEditTimeOBD->Value());
  for (TNumberEdit* e : {SpinEditWait, SpinEditTimeSet, SpinEditTimeOBD}) e->setModified(false);
}

// ---------------------------------------------------------------------------------------
TRTU103Frame::TRTU103Frame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TRTU103Frame");
  auto* lay = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* typeRow = new QHBoxLayout;
  TypeBox = new TChooser(this);
  TypeBox->setObjectName("TypeBox");
  TypeBox->setMinimumWidth(200);
  SaveButton = new QPushButton("Сохранить", this);
  SaveButton->setObjectName("SaveButton");
  DeleteButton = new QPushButton("Удалить", this);
  DeleteButton->setObjectName("DeleteButton");
  typeRow->addWidget(TypeBox);
  typeRow->addWidget(SaveButton);
  typeRow->addWidget(DeleteButton);
  typeRow->addStretch();
  form->addRow("Тип", typeRow);
  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  form->addRow("Место установки", PlaceEdit);
  AddrEdit = new TNumberEdit(1, 255, this);
  AddrEdit->setObjectName("AddrEdit");
  AddrEdit->setMaximumWidth(60);
  form->addRow("Адрес в сети", AddrEdit);
  RepeatEdit = new TNumberEdit(2, 99, this);
  RepeatEdit->setObjectName("RepeatEdit");
  RepeatEdit->setMaximumWidth(60);
  form->addRow("Число попыток обмена", RepeatEdit);
  lay->addLayout(form);

  Pages = new QTabWidget(this);
  Pages->setObjectName("Pages");
  const char* titles[3] = {"            ТС            ", "            ТИ            ", "            ТУ            "};
  const char* headings[3] = {"Таблица адресации принимаемых данных", "Таблица адресации принимаемых данных",
                             "Таблица адресации НОМЕРОВ ИНФОРМАЦИИ общих команд"};
  for (int t = 0; t < 3; ++t) {
    auto* page = new QWidget(Pages);
    auto* pl = new QVBoxLayout(page);
    auto* head = new QLabel(headings[t], page);
    head->setObjectName("PageHeading");
    pl->addWidget(head);
    Grids[t] = new TTableFrame(page);
    std::vector<TGridColumn> cols = {{"ТИП ФУНКЦИИ", 120, dkByte, 0, 255}, {"НОМЕР ИНФОРМАЦИИ", 170, dkByte, 0, 255}};
    if (t == kTab103TI) cols.push_back({"Номер слова", 120, dkByte, 1, 32});
    Grids[t]->SetColumns(cols);
    pl->addWidget(Grids[t], 1);
    ChooseButtons[t] = new QPushButton("Выбрать параметры", page);
    ChooseButtons[t]->setObjectName("ChooseButton");
    pl->addWidget(ChooseButtons[t], 0, Qt::AlignLeft);
    Pages->addTab(page, titles[t]);
  }
  lay->addWidget(Pages, 1);

  connect(TypeBox, &QComboBox::activated, this, [this](int i) { TypeChosen(TypeBox->itemText(i)); });
  connect(SaveButton, &QPushButton::clicked, this, [this] {
    TRTU103* d = Device();
    if (!d || !TryStoreItem()) return;
    d->SaveType(TypeBox->currentText().toStdString());
    ShowItem(d);
  });
  connect(DeleteButton, &QPushButton::clicked, this, [this] {
    TRTU103* d = Device();
    if (!d || !TryStoreItem()) return;
    d->DeleteType();
    ShowItem(d);
  });
  connect(PlaceEdit, &QLineEdit::editingFinished, this, [this] {
    if (!filling_) TryStoreItem();
  });
  for (int t = 0; t < 3; ++t) connect(ChooseButtons[t], &QPushButton::clicked, this, [this, t] { ChooseParameters(t); });
}

void TRTU103Frame::ChooseParameters(int tab) {
  TRTU103* d = Device();
  if (!d || !d->LibraryFile()) return;  // only a type of the library lists its parameters
  TParams103Dialog dlg(tab, Grids[tab]->grid, d->ParameterList(tab), this);
  if (RunModal(dlg) != QDialog::Accepted) return;
  Grids[tab]->grid = dlg.Table->grid;
  Grids[tab]->Touch();
  Grids[tab]->Refresh();
  TryStoreItem();
}

// ---------------------------------------------------------------------------------------
TParams103Dialog::TParams103Dialog(int tab, const TGridTable& table,
                                   const std::vector<std::pair<std::string, std::string>>& lines, QWidget* parent)
    : QDialog(parent), tab_(tab), lines_(lines) {
  setObjectName("TParams103Dialog");
  setWindowTitle(tab == kTab103TS ? "Список ТС" : tab == kTab103TI ? "Список ТИ" : "Список ТУ");
  auto* lay = new QVBoxLayout(this);
  auto* hint = new QLabel("Выделите нужные параметры в списке и нажмите кнопку Добавить параметры в таблицу", this);
  hint->setWordWrap(true);
  lay->addWidget(hint);
  auto* row = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel("Таблица читаемых параметров", this));
  Table = new TTableFrame(this);
  Table->grid = table;
  Table->Refresh();
  left->addWidget(Table, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel("Список доступных параметров", this));
  List = new QListWidget(this);
  List->setObjectName("List");
  List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const auto& [key, name] : lines_) List->addItem(Q(key + "=" + name));
  right->addWidget(List, 1);
  row->addLayout(left, 1);
  row->addLayout(right, 1);
  lay->addLayout(row, 1);
  auto* buttons = new QHBoxLayout;
  AddButton = new QPushButton("Добавить параметры в таблицу", this);
  AcceptButton = new QPushButton("Принять", this);
  CancelButton = new QPushButton("Отмена", this);
  buttons->addWidget(AddButton);
  buttons->addStretch();
  buttons->addWidget(AcceptButton);
  buttons->addWidget(CancelButton);
  lay->addLayout(buttons);
  connect(AddButton, &QPushButton::clicked, this, &TParams103Dialog::AddSelected);
  connect(AcceptButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  Shade();
  resize(720, 480);
}

void TParams103Dialog::Shade() {
  // A line whose key equals a row's cells joined by spaces is already in the table.
  std::vector<std::string> have;
  for (int r = 1; r <= Table->grid.RowCount(); ++r) {
    std::string k;
    for (int c = 1; c <= Table->grid.ColumnCount(); ++c) k += (c > 1 ? " " : "") + Table->grid.Cell(r, c);
    have.push_back(k);
  }
  for (int i = 0; i < List->count(); ++i) {
    const bool in = std::find(have.begin(), have.end(), lines_[static_cast<std::size_t>(i)].first) != have.end();
    List->item(i)->setForeground(in ? QColor(Qt::gray) : palette().color(QPalette::Text));
  }
}

void TParams103Dialog::AddSelected() {
  for (int i = 0; i < List->count(); ++i) {
    if (!List->item(i)->isSelected()) continue;
    std::vector<std::string> words;
    std::string key = lines_[static_cast<std::size_t>(i)].first;
    std::size_t p = 0;
    while (p < key.size()) {
      while (p < key.size() && key[p] == ' ') ++p;
      std::size_t e = key.find(' ', p);
      if (e == std::string::npos) e = key.size();
      if (e > p) words.push_back(key.substr(p, e - p));
      p = e;
    }
    if (!Table->grid.AppendAfterLast(words)) {
      QApplication::beep();
      break;
    }
  }
  Table->Touch();
  Table->Refresh();
  Shade();
}

TRTU103* TRTU103Frame::Device() const { return dynamic_cast<TRTU103*>(item_); }

void TRTU103Frame::ShowItem(TItem* item) {
  item_ = item;
  TRTU103* d = Device();
  if (!d) return;
  filling_ = true;
  TAppContext* ctx = d->Context();
  TypeBox->clear();
  if (ctx)
    for (const std::string& t : ctx->library103.Types()) TypeBox->addItem(Q(t));
  if (TypeBox->findText(Q(d->name)) < 0) TypeBox->addItem(Q(d->name));
  TypeBox->setCurrentIndex(TypeBox->findText(Q(d->name)));
  PlaceEdit->setText(Q(d->place));
  PlaceEdit->setModified(false);
  AddrEdit->SetValue(d->number);
  RepeatEdit->SetValue(d->attempts);
  const bool inLibrary = d->LibraryFile() != nullptr;
  for (int t = 0; t < 3; ++t) {
    Grids[t]->SetContext(ctx);
    std::vector<std::vector<std::uint8_t>> rows;
    for (const TEntry103& e : d->tables[t]) {
      rows.push_back({e.f, e.i});
      if (t == kTab103TI) rows.back().push_back(e.n);
    }
    Grids[t]->ShowEntries(rows);
    ChooseButtons[t]->setEnabled(inLibrary);
  }
  DeleteButton->setEnabled(inLibrary);
  filling_ = false;
}

bool TRTU103Frame::TryStoreItem() {
  TRTU103* d = Device();
  if (!d) return true;
  TMessages& msgs = d->Messages();
  // Every cell is read before anything is stored: Cancel leaves the device as it was.
  std::vector<TEntry103> tables[3] = {d->tables[0], d->tables[1], d->tables[2]};
  for (int t = 0; t < 3; ++t) {
    // An untouched grid keeps the device's entries as they are (even values the editor's
    // ranges would not take, such as word number 0 from an older file).
    if (!Grids[t]->Touched()) continue;
    std::vector<std::vector<std::uint8_t>> rows;
    if (!Grids[t]->ReadEntries(rows, msgs)) {
      Pages->setCurrentIndex(t);
      Grids[t]->view->setFocus();
      return false;
    }
    tables[t].clear();
    for (const auto& r : rows) tables[t].push_back({r[0], r[1], t == kTab103TI ? r[2] : std::uint8_t{0}});
  }
  if (AddrEdit->isModified()) {
    const long long n = AddrEdit->Value();
    TPollingPort* port = d->Port();
    if (port && port->Exists(d, [n](const TPolledDevice& o) { return o.number == n; })) {
      msgs.ShowError("Уже существует");
      AddrEdit->SetValue(d->number);
    } else {
      d->number = static_cast<std::uint8_t>(n);
    }
  }
  if (RepeatEdit->isModified()) d->attempts = static_cast<std::uint8_t>(RepeatEdit->Value());
  if (PlaceEdit->isModified()) d->place = Utf8Left(PlaceEdit->text().toStdString(), 64);
  bool changed = AddrEdit->isModified() || RepeatEdit->isModified() || PlaceEdit->isModified();
  for (int t = 0; t < 3; ++t) changed = changed || Grids[t]->Touched();
  if (!changed) return true;
  if (!d->SetTables(tables[0], tables[1], tables[2])) return false;
  AddrEdit->setModified(false);
  RepeatEdit->setModified(false);
  PlaceEdit->setModified(false);
  d->UpdateStatusTable();
  return true;
}

void TRTU103Frame::TypeChosen(const QString& text) {
  TRTU103* d = Device();
  // A choice made while the previous one is still being applied is ignored.
  if (!d || filling_ || choosing_) return;
  choosing_ = true;
  if (TryStoreItem()) d->ChooseType(text.toStdString());
  ShowItem(d);
  choosing_ = false;
}

void RegisterIec103Frames() {
  RegisterFrame("TPort103", [](TFrame1& o, QWidget* p) { return new TPort103Frame(o, p); });
  RegisterFrame("TRTU103", [](TFrame1& o, QWidget* p) { return new TRTU103Frame(o, p); });
}

}  // namespace t32::ui
