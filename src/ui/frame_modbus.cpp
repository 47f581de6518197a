#include "ui/frame_modbus.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/device_library.h"
#include "ports/modbus.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"
#include "ui/select_param.h"

namespace t32::ui {

namespace {
// Bold text for headings and "Уже существует".
void Bold(QLabel* l) {
  QFont f = l->font();
  f.setBold(true);
  l->setFont(f);
}

class TGridDelegate : public QStyledItemDelegate {
 public:
  TGridDelegate(TBlockGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    auto* e = new TGridCellEdit(grid_->ColumnKind(index.column()), parent);
    e->setFrame(false);
    return e;
  }

 private:
  TBlockGrid* grid_;
};

// The password takes what a cp1251 byte can hold: the controller compares bytes.
class TPasswordValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& s, int&) const override {
    return FitsCp1251(s.toStdString()) ? Acceptable : Invalid;
  }
};
}  // namespace

// ---------------------------------------------------------------------------------------
TGridCellEdit::TGridCellEdit(TGridCol col, QWidget* parent) : QLineEdit(parent), col_(col) {
  // Pasted text obeys the column too (the keys are checked one by one below).
  setValidator(new QRegularExpressionValidator(
      QRegularExpression(col == TGridCol::Address ? "[0-9A-Fa-f]{0,4}" : "[0-9]{0,3}"), this));
}

void TGridCellEdit::keyPressEvent(QKeyEvent* e) {
  const QString t = e->text();
  // Editing and moving keys pass; a printable key goes through the column's rule.
  if (t.isEmpty() || !t.at(0).isPrint() || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    QLineEdit::keyPressEvent(e);
    return;
  }
  const std::string text = this->text().toStdString();
  int selStart = hasSelectedText() ? selectionStart() : cursorPosition();
  int selLen = hasSelectedText() ? static_cast<int>(selectedText().size()) : 0;
  auto out = GridKey(col_, text, selStart, selLen, t.at(0).unicode());
  if (!out) {
    QApplication::beep();
    e->accept();
    return;
  }
  setText(QString::fromStdString(*out));
  setCursorPosition(selStart + 1);
  e->accept();
}

TBlockGrid::TBlockGrid(bool isTi, const QString& countCaption, QWidget* parent)
    : QTableWidget(kGridRows, isTi ? 4 : 3, parent), ti(isTi) {
  QStringList cols;
  if (ti) cols << " Тип ТИ";
  cols << " Функция" << "  Адрес, hex" << countCaption;
  setHorizontalHeaderLabels(cols);
  QStringList rows;
  for (int i = 1; i <= kGridRows; ++i) rows << QString("   %1").arg(i);
  setVerticalHeaderLabels(rows);
  setItemDelegate(new TGridDelegate(this));
  setEditTriggers(QAbstractItemView::AllEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  for (int r = 0; r < kGridRows; ++r)
    for (int c = 0; c < columnCount(); ++c) setItem(r, c, new QTableWidgetItem);
  horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  verticalHeader()->setDefaultSectionSize(22);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  int h = horizontalHeader()->sizeHint().height() + 2;
  for (int r = 0; r < kGridRows; ++r) h += rowHeight(r);
  setFixedHeight(h);
  setMinimumWidth(ti ? 380 : 300);
}

TGridCol TBlockGrid::ColumnKind(int column) const {
  static const TGridCol plain[] = {TGridCol::Function, TGridCol::Address, TGridCol::Count};
  static const TGridCol wide[] = {TGridCol::Type, TGridCol::Function, TGridCol::Address, TGridCol::Count};
  column = std::clamp(column, 0, DataColumns() - 1);
  return ti ? wide[column] : plain[column];
}

void TBlockGrid::SetGrid(const TGrid& g) {
  for (int r = 0; r < kGridRows; ++r)
    for (int c = 0; c < DataColumns(); ++c) item(r, c)->setText(Q(g[static_cast<std::size_t>(r)].Cell(ColumnKind(c))));
}

TGrid TBlockGrid::Grid() const {
  TGrid g;
  for (int r = 0; r < kGridRows; ++r)
    for (int c = 0; c < DataColumns(); ++c)
      g[static_cast<std::size_t>(r)].Cell(ColumnKind(c)) = S(item(r, c)->text().trimmed());
  // A cell still being typed counts as typed: leaving the page must not lose it.
  const QModelIndex at = currentIndex();
  if (auto* e = at.isValid() && at.column() < DataColumns() ? qobject_cast<TGridCellEdit*>(indexWidget(at)) : nullptr)
    g[static_cast<std::size_t>(at.row())].Cell(ColumnKind(at.column())) = S(e->text().trimmed());
  return g;
}

THexEdit::THexEdit(QWidget* parent) : QLineEdit(parent) {
  setMaxLength(4);
  setMaximumWidth(fontMetrics().horizontalAdvance("FFFFFF") + 16);
  connect(this, &QLineEdit::textChanged, this, [this](const QString& t) {
    const QString clean = Q(HexOnly(S(t)));
    if (clean != t) {
      const int pos = std::min<int>(cursorPosition(), static_cast<int>(clean.size()));
      setText(clean);
      setCursorPosition(pos);
    }
  });
}

void THexEdit::SetValue(std::uint16_t v) {
  setText(Q(Hex4(v)));
  setModified(false);
}

// ---------------------------------------------------------------------------------------
TRTUFrame::TRTUFrame(TFrame1& owner, QWidget* parent, bool tcp) : TEditorFrame(owner, parent), tcp_(tcp) {
  setObjectName(tcp ? "TRTUTCPFrame" : "TRTUFrame");
  auto* lay = new QVBoxLayout(this);
  Heading = new QLabel(tcp ? "Устройство MODBUS-TCP" : "Устройство MODBUS-RTU", this);
  Heading->setObjectName("Heading");
  Bold(Heading);
  lay->addWidget(Heading);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  lay->addLayout(form);

  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  PlaceEdit->setMinimumWidth(240);
  form->addRow("Место установки", PlaceEdit);

  ErrorLabel = new QLabel("Уже существует", this);
  ErrorLabel->setObjectName("ErrorLabel");
  ErrorLabel->setStyleSheet("color: red");
  Bold(ErrorLabel);
  if (tcp) {
    auto* ipRow = new QWidget(this);
    auto* ipLay = new QHBoxLayout(ipRow);
    ipLay->setContentsMargins(0, 0, 0, 0);
    IpEdit = new TIpEdit(ipRow);
    IpEdit->setObjectName("IpEdit");
    const char* names[4] = {"AddrEdit4", "AddrEdit3", "AddrEdit2", "AddrEdit1"};
    for (int i = 0; i < 4; ++i) IpEdit->octet[i]->setObjectName(names[i]);
    ipLay->addWidget(IpEdit);
    ipLay->addWidget(ErrorLabel);
    form->addRow("IP адрес ", ipRow);
  }
  AddrEdit = new TNumberEdit(1, 255, this);
  AddrEdit->setObjectName("AddrEdit");
  if (tcp) {
    form->addRow("Адрес RTU", AddrEdit);
  } else {
    auto* row = new QHBoxLayout;
    row->addWidget(AddrEdit);
    row->addWidget(ErrorLabel);
    row->addStretch();
    form->addRow("Адрес в сети", row);
  }
  RepeatEdit = new TNumberEdit(2, 99, this);
  RepeatEdit->setObjectName("RepeatEdit");
  form->addRow("Число попыток обмена", RepeatEdit);

  auto* typeRow = new QHBoxLayout;
  TypeBox = new TChooser(this);
  TypeBox->setObjectName("TypeBox");
  TypeBox->setMinimumWidth(220);
  SaveButton = new QPushButton("Сохранить", this);
  SaveButton->setObjectName("SaveButton");
  DeleteButton = new QPushButton("Удалить", this);
  DeleteButton->setObjectName("DeleteButton");
  typeRow->addWidget(TypeBox);
  typeRow->addWidget(SaveButton);
  typeRow->addWidget(DeleteButton);
  typeRow->addStretch();
  form->addRow("Тип устройства", typeRow);
  auto* defRow = new QHBoxLayout;
  AddDefButton = new QPushButton("В шаблон", this);
  AddDefButton->setObjectName("AddDefButton");
  SetDefButton = new QPushButton("Настроить по шаблону", this);
  SetDefButton->setObjectName("SetDefButton");
  defRow->addWidget(AddDefButton);
  defRow->addWidget(SetDefButton);
  defRow->addStretch();
  lay->addLayout(defRow);

  Tabs = new QTabWidget(this);
  Tabs->setObjectName("Tabs");
  lay->addWidget(Tabs, 1);
  auto gridTab = [&](const QString& title, TBlockGrid*& grid, bool ti, const QString& countCaption,
                     const QStringList& labels, int kind, const QStringList& below = {}) {
    auto* page = new QWidget(Tabs);
    auto* v = new QVBoxLayout(page);
    auto* h = new QHBoxLayout;
    grid = new TBlockGrid(ti, countCaption, page);
    grid->setObjectName(QString("Grid%1").arg(kind));
    h->addWidget(grid, 0, Qt::AlignTop);
    auto* notes = new QVBoxLayout;
    for (const QString& l : labels) notes->addWidget(new QLabel(l, page));
    auto* choose = new QPushButton("Выбрать параметры", page);
    choose->setObjectName(QString("ChooseButton%1").arg(kind));
    notes->addWidget(choose);
    notes->addStretch();
    h->addLayout(notes);
    h->addStretch();
    v->addLayout(h);
    for (const QString& l : below) v->addWidget(new QLabel(l, page));
    connect(choose, &QPushButton::clicked, this, [this, kind] { ChooseSignals(kind); });
    Tabs->addTab(page, title);
    return v;
  };
  gridTab("ТС", TSGrid, false, " Кол-во, бит", {"1, 2 - чтение бит", "3, 4 - чтение слов, количество бит кратно 16"},
          kSigTS)->addStretch();
  QVBoxLayout* tu = gridTab("ТУ", TUGrid, false, " Кол-во, бит",
                            {"5 - запись 1 бита", "6 - запись 1 слова", "16 - запись слов, количество слов =  1"}, kSigTU);
  {
    auto* f = new QFormLayout;
    AutoOffEdit = new TNumberEdit(0, 60000, this);
    AutoOffEdit->setObjectName("AutoOffEdit");
    f->addRow("Автоотключение канала, мс", AutoOffEdit);
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName("PasswordEdit");
    PasswordEdit->setMaxLength(4);
    PasswordEdit->setValidator(new TPasswordValidator(PasswordEdit));
    PasswordEdit->setMaximumWidth(80);
    f->addRow("Пароль ТУ", PasswordEdit);
    PassAddrEdit = new THexEdit(this);
    PassAddrEdit->setObjectName("PassAddrEdit");
    auto* row = new QHBoxLayout;
    row->addWidget(PassAddrEdit);
    row->addWidget(new QLabel("функция 16 - запись слов, количество слов =  2", this));
    f->addRow("Адрес, hex", row);
    tu->addLayout(f);
    tu->addStretch();
  }
  static const char* const kTiLabels[8] = {"0 - Знаковое целое, 2 байта.",
                                           "1 - Знаковое целое, 4 байта. Младшее слово первым",
                                           "2 - Дробное, 4 байта. Младшее слово первым",
                                           "3 - Дробное, 4 байта. Старшее слово первым",
                                           "4 - Знаковое целое, 4 байта. Старшее слово первым",
                                           "5 - Беззнаковое целое, 2 байта.",
                                           "6 - Беззнаковое целое, 4 байта. Младшее слово первым",
                                           "7 - Беззнаковое целое, 4 байта. Старшее слово первым"};
  QStringList types;
  for (const char* l : kTiLabels) types << l;
  // The eight type labels are long: they stand under the grid.
  gridTab("ТИ", TIGrid, true, " Кол-во, слов", {"3, 4 - чтение слов"}, kSigTI, types)->addStretch();
  gridTab("ТР", TRGrid, false, " Кол-во, парметров", {"6 - запись 1 слова", "16 - запись слов, количество слов =  1"},
          kSigTR)->addStretch();
  {
    auto* page = new QWidget(Tabs);
    auto* f = new QFormLayout(page);
    ClockAddrEdit = new THexEdit(page);
    ClockAddrEdit->setObjectName("ClockAddrEdit");
    auto* row = new QHBoxLayout;
    row->addWidget(ClockAddrEdit);
    row->addWidget(new QLabel("16 - запись слов", page));
    row->addStretch();
    f->addRow("Адрес, hex", row);
    ClockTextEdit = new QLineEdit(page);
    ClockTextEdit->setObjectName("ClockTextEdit");
    ClockTextEdit->setMaxLength(64);
    ClockTextEdit->setMinimumWidth(300);
    f->addRow("Строка параметров", ClockTextEdit);
    Tabs->addTab(page, "Время");
  }
  if (!tcp) {
    auto* page = new QWidget(Tabs);
    auto* v = new QVBoxLayout(page);
    auto logBox = [&](TLogFields& L, const QString& title, bool alarm) {
      L.box = new QGroupBox(title, page);
      auto* f = new QFormLayout(L.box);
      f->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
      const QString tag = alarm ? "Alarm" : "Sys";
      L.start = new THexEdit(L.box);
      L.start->setObjectName(tag + "StartEdit");
      f->addRow("Адрес начала журнала, hex", L.start);
      L.select = new THexEdit(L.box);
      L.select->setObjectName(tag + "SelectEdit");
      f->addRow("Адрес выбора записи, hex", L.select);
      L.interval = new TNumberEdit(0, 255, L.box);
      L.interval->setObjectName(tag + "IntervalEdit");
      f->addRow("Интервал записей, слов", L.interval);
      L.records = new TNumberEdit(0, 65535, L.box);
      L.records->setObjectName(tag + "RecordsEdit");
      f->addRow("Количество записей", L.records);
      L.text = new QLineEdit(L.box);
      L.text->setObjectName(tag + "TextEdit");
      L.text->setMaxLength(64);
      L.text->setMinimumWidth(300);
      f->addRow("Строка записи", L.text);
      auto* row = new QHBoxLayout;
      L.count = new QLabel(L.box);
      L.count->setObjectName(tag + "CountLabel");
      L.choose = new QPushButton("Выбрать параметры", L.box);
      L.choose->setObjectName(tag + "ChooseButton");
      row->addWidget(L.count);
      row->addWidget(L.choose);
      row->addStretch();
      f->addRow("Выбрано параметров", row);
      v->addWidget(L.box);
      connect(L.choose, &QPushButton::clicked, this, [this, alarm] { ChooseEvents(alarm); });
    };
    logBox(SysLog, "Журнал Системы", false);
    logBox(AlarmLog, "Журнал Аварий", true);
    MultiTSBox = new QCheckBox("Использовать мульти ТС", page);
    MultiTSBox->setObjectName("MultiTSBox");
    v->addWidget(MultiTSBox);
    v->addStretch();
    Tabs->addTab(page, "Журналы");
    connect(MultiTSBox, &QCheckBox::toggled, this, [this] {
      if (!filling_ && Device()) Store();
    });
  }

  connect(Tabs, &QTabWidget::currentChanged, this, [this](int i) {
    if (filling_) return;
    if (TAppContext* ctx = ContextOf(&Doc())) ctx->lastEditorTab = i;
  });
  connect(PlaceEdit, &QLineEdit::editingFinished, this, [this] {
    if (!filling_ && Device()) Store();
  });
  connect(AddrEdit, &TNumberEdit::ValueEdited, this, [this] {
    if (filling_ || !Device()) return;
    Store();
    ShowExists();
  });
  if (IpEdit)
    connect(IpEdit, &TIpEdit::Edited, this, [this] {
      if (filling_ || !Device()) return;
      Store();
      ShowExists();
    });
  connect(TypeBox, &QComboBox::activated, this, &TRTUFrame::PickType);
  connect(SaveButton, &QPushButton::clicked, this, &TRTUFrame::SaveType);
  connect(DeleteButton, &QPushButton::clicked, this, &TRTUFrame::DeleteType);
  connect(AddDefButton, &QPushButton::clicked, this, &TRTUFrame::ToTemplate);
  connect(SetDefButton, &QPushButton::clicked, this, &TRTUFrame::FromTemplate);
}

TRTU* TRTUFrame::Device() const { return dynamic_cast<TRTU*>(item_); }

void TRTUFrame::FillTypes() {
  TRTU* d = Device();
  const bool was = filling_;
  filling_ = true;
  TypeBox->clear();
  TAppContext* ctx = ContextOf(&Doc());
  if (ctx)
    for (const std::string& t : ctx->library.Types()) TypeBox->addItem(Q(t));
  int at = -1;
  if (d)
    for (int i = 0; i < TypeBox->count(); ++i)
      if (Utf8Upper(S(TypeBox->itemText(i))) == Utf8Upper(d->name)) at = i;
  TypeBox->setCurrentIndex(at);
  // A type the library lacks still shows its name.
  TypeBox->setPlaceholderText(d ? Q(d->name) : QString());
  filling_ = was;
}

void TRTUFrame::ShowExists() {
  TRTU* d = Device();
  TPollingPort* port = d ? d->Port() : nullptr;
  bool taken = false;
  if (port && tcp_) {
    const std::uint32_t ip = IpEdit->Address();
    const auto unit = static_cast<std::uint8_t>(AddrEdit->Value());
    // Several units behind one address are an ordinary gateway: only both together clash.
    taken = port->Exists(d, [&](const TPolledDevice& o) {
      auto* r = dynamic_cast<const TRTU*>(&o);
      return r && r->ip == ip && r->unit == unit;
    });
  } else if (port) {
    const auto n = static_cast<std::uint8_t>(AddrEdit->Value());
    taken = port->Exists(d, [&](const TPolledDevice& o) { return o.number == n; });
  }
  ErrorLabel->setVisible(taken);
}

void TRTUFrame::ShowItem(TItem* item) {
  item_ = item;
  TRTU* d = Device();
  if (!d) return;
  filling_ = true;
  const TRTUSettings& s = d->s;
  PlaceEdit->setText(Q(d->place));
  PlaceEdit->setModified(false);
  if (tcp_) {
    IpEdit->SetAddress(d->ip);
    AddrEdit->SetValue(d->unit);
  } else {
    AddrEdit->SetValue(d->number);
  }
  RepeatEdit->SetValue(s.attempts);
  FillTypes();
  TSGrid->SetGrid(GridOf(s.ts, false));
  TUGrid->SetGrid(GridOf(s.tu, false));
  TIGrid->SetGrid(GridOf(s.ti, true));
  TRGrid->SetGrid(GridOf(s.tr, false));
  AutoOffEdit->SetValue(s.autoRelease);
  PasswordEdit->setText(Q(s.password));
  PassAddrEdit->SetValue(s.passwordAddress);
  ClockAddrEdit->SetValue(s.clockAddress);
  ClockTextEdit->setText(Q(s.clockText));
  if (!tcp_) {
    auto log = [](TLogFields& L, const TRTULog& l) {
      L.start->SetValue(l.start);
      L.select->SetValue(l.select);
      L.interval->SetValue(l.interval);
      L.records->SetValue(l.records);
      L.text->setText(Q(l.text));
      L.count->setText(QString::number(l.codes.size()));
    };
    log(SysLog, s.sysLog);
    log(AlarmLog, s.alarmLog);
    MultiTSBox->setChecked(s.eventsAsMts != 0);
  }
  for (QLineEdit* e : findChildren<QLineEdit*>()) e->setModified(false);
  TAppContext* ctx = ContextOf(&Doc());
  SetDefButton->setEnabled(ctx && ctx->deviceTemplate.has_value());
  if (ctx) Tabs->setCurrentIndex(std::clamp(ctx->lastEditorTab, 0, Tabs->count() - 1));
  ShowExists();
  filling_ = false;
}

bool TRTUFrame::Store() {
  TRTU* d = Device();
  if (!d || filling_) return false;
  const TRTUSettings before = d->s;
  const std::string place = d->place;
  const std::uint8_t number = d->number, unit = d->unit;
  const std::uint32_t ip = d->ip;
  TRTUSettings& s = d->s;
  if (PlaceEdit->isModified()) d->place = Utf8Left(S(PlaceEdit->text()), 64);
  if (AddrEdit->isModified()) (tcp_ ? d->unit : d->number) = static_cast<std::uint8_t>(AddrEdit->Value());
  if (RepeatEdit->isModified()) s.attempts = static_cast<std::uint8_t>(RepeatEdit->Value());
  ReadGrid(TSGrid->Grid(), s.ts, false);
  ReadGrid(TUGrid->Grid(), s.tu, false);
  ReadGrid(TIGrid->Grid(), s.ti, true);
  ReadGrid(TRGrid->Grid(), s.tr, false);
  if (AutoOffEdit->isModified()) s.autoRelease = static_cast<std::uint16_t>(AutoOffEdit->Value());
  if (PasswordEdit->isModified()) s.password = Utf8Left(S(PasswordEdit->text()), 4);
  if (PassAddrEdit->isModified()) s.passwordAddress = PassAddrEdit->Value();
  if (ClockAddrEdit->isModified()) s.clockAddress = ClockAddrEdit->Value();
  if (ClockTextEdit->isModified()) s.clockText = Utf8Left(S(ClockTextEdit->text()), 64);
  if (!tcp_) {
    auto log = [](const TLogFields& L, TRTULog& l) {
      if (L.start->isModified()) l.start = L.start->Value();
      if (L.select->isModified()) l.select = L.select->Value();
      if (L.interval->isModified()) l.interval = static_cast<std::uint16_t>(L.interval->Value());
      if (L.records->isModified()) l.records = static_cast<std::uint16_t>(L.records->Value());
      if (L.text->isModified()) l.text = Utf8Left(S(L.text->text()), 64);
    };
    log(SysLog, s.sysLog);
    log(AlarmLog, s.alarmLog);
    const std::uint8_t mts = MultiTSBox->isChecked() ? 1 : 0;
    // A value read from an image that is neither 0 nor 1 stays until the box is turned.
    if ((s.eventsAsMts != 0) != (mts != 0)) s.eventsAsMts = mts;
  }
  if (tcp_ && IpEdit->Address() != d->ip) {
    // The device address follows the last octet.
    if (auto* t = dynamic_cast<TRTUTCP*>(d)) t->SetIp(IpEdit->Address());
    else d->ip = IpEdit->Address();
  }
  const bool changed = !(s == before) || d->place != place || d->number != number || d->unit != unit || d->ip != ip;
  // An unchanged device keeps its tables: no rebuild, no storage refresh.
  if (changed) {
    d->UpdateStatusTable();
    Doc().AfterEdit();
  }
  d->newDevice = false;
  return changed;
}

void TRTUFrame::StoreItem() { Store(); }

void TRTUFrame::PickType(int index) {
  TRTU* d = Device();
  if (filling_ || !d || index < 0) return;
  const std::string type = S(TypeBox->itemText(index));
  if (type == d->name) return;
  d->typeChanged = true;
  d->name = Utf8Left(type, 64);
  d->UpdateNode();
  Store();
  // A description that cannot be applied leaves the settings; the names still follow the
  // new type's lists.
  std::string error;
  if (const TLibraryFile* f = d->LibraryFile(); f && !d->ApplyType(*f, &error)) {
    Doc().Messages().ShowError(error);
    d->UpdateStatusTable();
  }
  d->typeChanged = false;
  Doc().AfterEdit();
  ShowItem(d);
}

void TRTUFrame::SaveType() {
  TRTU* d = Device();
  TAppContext* ctx = ContextOf(&Doc());
  if (!d || !ctx) return;
  TMessages& msgs = Doc().Messages();
  auto name = msgs.AskText(std::string(kProgramTitle) + " - Ввод", "Сохранить настройку блока как :",
                           S(TypeBox->currentIndex() >= 0 ? TypeBox->currentText() : TypeBox->placeholderText()));
  if (!name || name->empty()) return;
  Store();
  if (SaveDeviceType(*d, ctx->library, *name, msgs)) Doc().AfterEdit();
  ShowItem(d);
}

void TRTUFrame::DeleteType() {
  TRTU* d = Device();
  TAppContext* ctx = ContextOf(&Doc());
  if (!d || !ctx || TypeBox->currentIndex() < 0) return;
  Store();
  DeleteDeviceType(ctx->library, S(TypeBox->currentText()), Doc().Messages());
  ShowItem(d);
}

void TRTUFrame::ToTemplate() {
  TRTU* d = Device();
  if (!d) return;
  Store();
  d->ToTemplate();
  SetDefButton->setEnabled(true);
}

void TRTUFrame::FromTemplate() {
  TRTU* d = Device();
  if (!d) return;
  if (d->FromTemplate()) Doc().AfterEdit();
  ShowItem(d);
}

void TRTUFrame::ChooseSignals(int kind) {
  TRTU* d = Device();
  const TLibraryFile* f = d ? d->LibraryFile() : nullptr;
  if (!f) return;  // only a library type has a list to pick from
  Store();
  const char* section = kind == kSigTS ? "Список ТС" : kind == kSigTU ? "Список ТУ" : kind == kSigTI ? "Список ТИ" : "Список ТР";
  TBlockGrid* grid = kind == kSigTS ? TSGrid : kind == kSigTU ? TUGrid : kind == kSigTI ? TIGrid : TRGrid;
  std::vector<std::string> lines;
  if (const auto* sec = f->ini.FindSection(section))
    for (const auto& e : sec->entries) lines.push_back(e.key + "=" + e.value);
  const std::string prefix = d->portName + "." + std::to_string(d->number) + "_" + d->name + ".";
  TSelectParam dlg(section, kind, grid->Grid(), lines, prefix, this);
  if (RunModal(dlg) == QDialog::Accepted) grid->SetGrid(dlg.Grid());
  Store();
  ShowItem(d);
}

void TRTUFrame::ChooseEvents(bool alarm) {
  TRTU* d = Device();
  const TLibraryFile* f = d ? d->LibraryFile() : nullptr;
  if (!f) return;
  Store();
  TRTULog& log = alarm ? d->s.alarmLog : d->s.sysLog;
  TSelectLogParam dlg(LogLines(*f, alarm, log.codes), this);
  if (RunModal(dlg) == QDialog::Accepted) {
    bool cut = false;
    std::vector<std::uint16_t> codes = TickedCodes(dlg.Lines(), &cut);
    if (cut) Doc().Messages().ShowError(kTooManyLogCodes);
    if (codes != log.codes) {
      log.codes = std::move(codes);
      d->UpdateStatusTable();
      Doc().AfterEdit();
    }
  }
  ShowItem(d);
}

// ---------------------------------------------------------------------------------------
TStepSpin::TStepSpin(QWidget* parent) : QSpinBox(parent) {
  setRange(100, 2000);
  setSingleStep(100);
  connect(this, &QSpinBox::valueChanged, this, [this] { touched = true; });
}

void TStepSpin::Show(int v) {
  const QSignalBlocker block(this);
  setValue(v);
  touched = false;
}

TPortRTUFrame::TPortRTUFrame(TFrame1& owner, QWidget* parent, bool tcp)
    : TOtherPortFrame(owner, parent,
                      tcp ? "Порт опроса устройств по протоколу MODBUS-TCP" : "Порт опроса устройств по протоколу MODBUS-RTU",
                      tcp),
      tcp_(tcp) {
  setObjectName(tcp ? "TPortRTUTCPFrame" : "TPortRTUFrame");
  if (tcp) {
    Net1Box = new QCheckBox("Сеть 1", this);
    Net1Box->setObjectName("Net1Box");
    Net1Box->setChecked(true);
    Net1Box->setEnabled(false);  // one network interface serves the port
    form_->addRow("Порт связи", Net1Box);
    PollEdit = AddNumber(form_, "Период опроса RTU, мс", 10, 1000, "PollEdit");
  }
  SyncEdit = AddNumber(form_, "Период синхронизации времени, мин", 0, TPortMODBUS::kMaxSyncMinutes, "SyncEdit");
  ReplyEdit = new TStepSpin(this);
  ReplyEdit->setObjectName("ReplyEdit");
  form_->addRow("Время ожидания ответа, мс", ReplyEdit);
  if (tcp) {
    ConnectEdit = AddNumber(form_, "Время ожидания установки соединения, с", 0, 65, "ConnectEdit");
    ReconnectEdit = AddNumber(form_, "Интервал установки соединения, с", 0, 65, "ReconnectEdit");
  }
  CountLabel = new QLabel(this);
  CountLabel->setObjectName("CountLabel");
  lay_->addWidget(CountLabel);
  lay_->addStretch();
}

void TPortRTUFrame::Fill() {
  auto* p = dynamic_cast<TPollingPort*>(item_);
  if (!p) return;
  const int before = p->deviceCount;
  p->RecountChildren();
  if (p->deviceCount != before) p->UpdateStatusTable();
  CountLabel->setText(QString("Количество подключенных устройств = %1").arg(p->deviceCount));
  if (auto* r = dynamic_cast<TPortMODBUS*>(p)) {
    SyncEdit->SetValue(r->SyncMinutes());
    ReplyEdit->Show(r->replyWait);
  } else if (auto* t = dynamic_cast<TPortRTUTCP*>(p)) {
    SyncEdit->SetValue(static_cast<std::uint32_t>(t->syncPeriod) / 60000u);
    ReplyEdit->Show(t->replyWait);
    PollEdit->SetValue(t->pollPeriod);
    ConnectEdit->SetValue(t->connectWait / 1000);
    ReconnectEdit->SetValue(t->reconnectWait / 1000);
  }
  for (QLineEdit* e : findChildren<QLineEdit*>()) e->setModified(false);
}

void TPortRTUFrame::StoreItem() {
  if (filling_) return;
  bool changed = false;
  // Only what the user touched is stored: an untouched page changes no byte.
  auto take = [&](bool touched, const std::function<void()>& set) {
    if (!touched) return;
    set();
    changed = true;
  };
  if (auto* r = dynamic_cast<TPortMODBUS*>(item_)) {
    take(SyncEdit->isModified(), [&] { r->SetSyncMinutes(SyncEdit->Value()); });
    take(ReplyEdit->touched, [&] { r->replyWait = static_cast<std::uint16_t>(ReplyEdit->value()); });
  } else if (auto* t = dynamic_cast<TPortRTUTCP*>(item_)) {
    take(SyncEdit->isModified(), [&] { t->SetSyncMinutes(SyncEdit->Value()); });
    take(ReplyEdit->touched, [&] { t->replyWait = static_cast<std::uint16_t>(ReplyEdit->value()); });
    take(PollEdit->isModified(), [&] { t->pollPeriod = static_cast<std::uint16_t>(PollEdit->Value()); });
    take(ConnectEdit->isModified(), [&] { t->SetConnectSeconds(ConnectEdit->Value()); });
    take(ReconnectEdit->isModified(), [&] { t->SetReconnectSeconds(ReconnectEdit->Value()); });
  }
  if (changed) Doc().AfterEdit();
}

void TPortRTUFrame::NumberChosen(int n) {
  if (auto* p = dynamic_cast<TPollingPort*>(item_)) p->SetPortNumber(n);
}

void RegisterModbusFrames() {
  RegisterFrame("TPortMODBUS", [](TFrame1& o, QWidget* p) { return new TPortRTUFrame(o, p); });
  RegisterFrame("TPortRTUTCP", [](TFrame1& o, QWidget* p) { return new TPortRTUTCPFrame(o, p); });
  RegisterFrame("TRTU", [](TFrame1& o, QWidget* p) { return new TRTUFrame(o, p); });
  RegisterFrame("TRTUTCP", [](TFrame1& o, QWidget* p) { return new TRTUTCPFrame(o, p); });
}

}  // namespace t32::ui
