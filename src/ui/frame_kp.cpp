#include "ui/frame_kp.h"

#include <QContextMenuEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <set>

#include "model/document.h"
#include "model/params.h"
#include "ports/port_kp.h"
#include "ports/port_meters.h"
#include "ports/port_mkt3.h"
#include "ui/frame1.h"

namespace t32::ui {

namespace {
QLabel* BoldHeading(const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setObjectName("Heading");
  QFont f = l->font();
  f.setBold(true);
  l->setFont(f);
  return l;
}

QLabel* RedLabel(const QString& text, QWidget* parent, const char* name) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->setStyleSheet("color: red");
  l->setVisible(false);
  return l;
}

TNumberEdit* Number(QFormLayout* form, QWidget* parent, const QString& caption, long long min, long long max,
                    const char* name) {
  auto* e = new TNumberEdit(min, max, parent);
  e->setObjectName(name);
  e->setMaximumWidth(90);
  form->addRow(caption, e);
  return e;
}

// Count index (ТС, ТУ, ТИ, ТИИ, ТР, МТС) to signal type.
constexpr int kCountTypes[6] = {kSigTS, kSigTU, kSigTI, kSigTII, kSigTR, kSigMTS};
const char* const kCountRows[6] = {"  ТС", "  ТУ", "  ТИ", "  ТИИ", "  ТР", "  МТС"};
const char* const kGroupMenu[6] = {"Очистить", "ТИ_11 word", "ТИ_13 real", "ТИ_15 longint", "ТИИ_36 real", "ТИИ_37 longint"};
constexpr int kGridRows = 26;  // 25 rows of ten groups, and groups 250 to 255
}  // namespace

// =======================================================================================
TPollingPortFrame::TPollingPortFrame(TFrame1& owner, QWidget* parent, const QString& heading)
    : TOtherPortFrame(owner, parent, heading, false) {
  CountLabel = new QLabel(this);
  CountLabel->setObjectName("CountLabel");
  lay_->addWidget(CountLabel);
}

void TPollingPortFrame::Fill() {
  auto* p = dynamic_cast<TPollingPort*>(item_);
  if (!p) return;
  // Devices moved in or out since the last look: the link-status table follows.
  if (p->deviceCount != p->DeviceCountNow()) p->RecountChildren();
  CountLabel->setText(QString("Количество подключенных устройств = %1").arg(p->DeviceCountNow()));
}

void TPollingPortFrame::NumberChosen(int n) {
  if (auto* p = dynamic_cast<TPollingPort*>(item_)) p->SetPortNumber(n);
}

// =======================================================================================
TCountEdit::TCountEdit(QWidget* parent) : QLineEdit(parent) { setFrame(false); }

void TCountEdit::keyPressEvent(QKeyEvent* e) {
  const int k = e->key();
  if (k == Qt::Key_Backspace) {
    QLineEdit::keyPressEvent(e);
    emit Accepted();
    return;
  }
  if (k == Qt::Key_Return || k == Qt::Key_Enter) {
    emit Accepted();
    return;
  }
  const QString t = e->text();
  if (t.size() != 1 || !t[0].isDigit()) return;  // only digits, Backspace and Enter
  QString next = text();
  if (hasSelectedText())
    next.replace(selectionStart(), selectedText().size(), t);
  else
    next.insert(cursorPosition(), t);
  bool ok = false;
  const long long v = next.toLongLong(&ok);
  if (!ok || v > kMaxRows) return;  // refused as typed: the table holds no more
  QLineEdit::keyPressEvent(e);
  emit Accepted();
}

// =======================================================================================
TKPFrame::TKPFrame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TKPFrame");
  auto* lay = new QVBoxLayout(this);
  auto* top = new QFormLayout;
  top->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  PlaceEdit->setMinimumWidth(220);
  top->addRow("Место установки", PlaceEdit);
  auto* addrRow = new QHBoxLayout;
  AddrEdit = new TNumberEdit(1, 255, this);
  AddrEdit->setObjectName("AddrEdit");
  AddrEdit->setMaximumWidth(90);
  ExistsLabel = RedLabel("Уже существует", this, "ExistsLabel");
  addrRow->addWidget(AddrEdit);
  addrRow->addWidget(ExistsLabel);
  addrRow->addStretch();
  top->addRow("Адрес пункта", addrRow);
  ProtBox = new TChooser(this);
  ProtBox->setObjectName("ProtBox");
  ProtBox->addItems({"Сириус", "Виконт", "МЭК 870-5-101"});
  top->addRow("Протокол связи", ProtBox);
  RepeatEdit = Number(top, this, "Число попыток обмена с КП", 2, 99, "RepeatEdit");
  SpinEditWait = Number(top, this, "Время ожидания ответа, мс", 1, 65500, "SpinEditWait");
  SpinEditTimeOBD = Number(top, this, "Период контрольного опроса, мин", 0, TKP::kMaxMinutes, "SpinEditTimeOBD");
  lay->addLayout(top);

  lay->addWidget(new QLabel("Таблица количества считываемых сигналов", this));
  CountGrid = new QTableWidget(6, 2, this);
  CountGrid->setObjectName("CountGrid");
  CountGrid->setHorizontalHeaderLabels({" Тип сигнала", " Кол-во сигналов"});
  CountGrid->verticalHeader()->hide();
  CountGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int i = 0; i < 6; ++i) {
    auto* it = new QTableWidgetItem(kCountRows[i]);
    it->setFlags(Qt::ItemIsEnabled);
    CountGrid->setItem(i, 0, it);
    CountEdits[static_cast<std::size_t>(i)] = new TCountEdit(CountGrid);
    CountEdits[static_cast<std::size_t>(i)]->setObjectName(QString("Count%1").arg(i));
    CountGrid->setCellWidget(i, 1, CountEdits[static_cast<std::size_t>(i)]);
    connect(CountEdits[static_cast<std::size_t>(i)], &TCountEdit::Accepted, this, [this] {
      if (!filling_) StoreAndRebuild();
    });
  }
  CountGrid->setColumnWidth(0, 110);
  CountGrid->setColumnWidth(1, 140);
  CountGrid->setFixedSize(110 + 140 + 4, CountGrid->horizontalHeader()->height() + 6 * CountGrid->rowHeight(0) + 4);
  lay->addWidget(CountGrid);
  lay->addWidget(new QLabel("* - не править для протоколов Сириус и Виконт", this));

  SiriusPanel = new QGroupBox("Сириус или Виконт ", this);
  SiriusPanel->setObjectName("SiriusPanel");
  auto* sl = new QVBoxLayout(SiriusPanel);
  auto* sf = new QFormLayout;
  SpinEditWaitTU = Number(sf, SiriusPanel, "Время ожидания квитанции ТУ, ТР, мс", 1, 65500, "SpinEditWaitTU");
  // Starts at 0: a new station holds 0, which showing and storing must not turn into 1.
  SpinEditArrayN = Number(sf, SiriusPanel, "Адрес логического канала массивов", 0, 255, "SpinEditArrayN");
  sl->addLayout(sf);
  sl->addWidget(new QLabel("Таблица задания типов групп ТИ", SiriusPanel));
  GridTI = new QTableWidget(kGridRows, 10, SiriusPanel);
  GridTI->setObjectName("GridTI");
  GridTI->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QStringList cols, rows;
  for (int c = 0; c < 10; ++c) cols << QString::number(c);
  for (int r = 0; r < kGridRows; ++r) rows << QString("%1..").arg(r * 10);
  GridTI->setHorizontalHeaderLabels(cols);
  GridTI->setVerticalHeaderLabels(rows);
  for (int r = 0; r < kGridRows; ++r)
    for (int c = 0; c < 10; ++c) {
      auto* it = new QTableWidgetItem;
      if (r * 10 + c > 255) it->setFlags(Qt::NoItemFlags);
      GridTI->setItem(r, c, it);
    }
  GridTI->horizontalHeader()->setDefaultSectionSize(56);
  GridTI->viewport()->installEventFilter(this);
  sl->addWidget(GridTI);
  sl->addWidget(new QLabel("настройка в таблице задания типов групп ТИ", SiriusPanel));
  lay->addWidget(SiriusPanel);

  GroupMenu = new QMenu(this);
  GroupMenu->setObjectName("GroupMenu");
  for (int code = 0; code < 6; ++code) {
    QAction* a = GroupMenu->addAction(kGroupMenu[code]);
    connect(a, &QAction::triggered, this, [this, code] { ChooseGroupType(code); });
  }
  GroupMenu->addAction("Отмена");

  IecPanel = new QGroupBox("МЭК 870-5-101 ", this);
  IecPanel->setObjectName("IecPanel");
  auto* il = new QFormLayout(IecPanel);
  il->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  AsduAddr101Edit = Number(il, IecPanel, "Адрес ASDU", 1, 255, "AsduAddr101Edit");
  LenAddrEdit1 = Number(il, IecPanel, "Длина адреса канального уровня", 1, 2, "LenAddrEdit1");
  LenAddrEdit2 = Number(il, IecPanel, "Длина адреса ASDU", 1, 2, "LenAddrEdit2");
  il->addRow("Длина причины передачи", new QLabel("1", IecPanel));
  il->addRow("Длина адреса объекта информации", new QLabel("2", IecPanel));
  const char* baseCaptions[6] = {"Базовый адрес ТС", "Базовый адрес МТС", "Базовый адрес ТУ",
                                 "Базовый адрес ТИ", "Базовый адрес ТИИ", "Базовый адрес ТР"};
  const char* baseNames[6] = {"SpinEditTS", "SpinEditMTS", "SpinEditTU", "SpinEditTI", "SpinEditTII", "SpinEditTR"};
  for (int i = 0; i < 6; ++i) {
    auto* row = new QHBoxLayout;
    auto* e = new TNumberEdit(0, 65535, IecPanel);
    e->setObjectName(baseNames[i]);
    e->setMaximumWidth(90);
    auto* hex = new QLabel(IecPanel);
    hex->setObjectName(QString(baseNames[i]) + "Hex");
    row->addWidget(e);
    row->addWidget(new QLabel("Hex", IecPanel));
    row->addWidget(hex);
    row->addStretch();
    il->addRow(baseCaptions[i], row);
    BaseEdits[static_cast<std::size_t>(i)] = e;
    HexLabels[static_cast<std::size_t>(i)] = hex;
    connect(e, &QLineEdit::textChanged, hex, [e, hex] { hex->setText(QString("%1").arg(e->Value(), 4, 16, QChar('0')).toUpper()); });
  }
  SpinEditTimeSet = Number(il, IecPanel, "Период установки времени, мин", 0, TKP::kMaxTimeSetMinutes, "SpinEditTimeSet");
  for (int g = 0; g < 3; ++g) {
    const QString name = QString("SpinEditTimeGr%1").arg(g + 1);
    SpinEditTimeGr[static_cast<std::size_t>(g)] =
        Number(il, IecPanel, QString("Период опроса группы %1, мин").arg(g + 1), 0, TKP::kMaxMinutes, name.toLatin1().constData());
  }
  lay->addWidget(IecPanel);
  lay->addStretch();

  connect(PlaceEdit, &QLineEdit::editingFinished, this, [this] {
    if (!filling_) StoreAndRebuild();
  });
  connect(AddrEdit, &TNumberEdit::ValueEdited, this, [this](long long) {
    if (filling_) return;
    StoreAndRebuild();
  });
  connect(ProtBox, &QComboBox::activated, this, [this](int) {
    if (filling_) return;
    protocolChosen_ = true;
    StoreAndRebuild();
  });
}

TKP* TKPFrame::Station() const { return dynamic_cast<TKP*>(item_); }

void TKPFrame::ShowItem(TItem* item) {
  item_ = item;
  TKP* k = Station();
  if (!k) return;
  filling_ = true;
  protocolChosen_ = false;
  PlaceEdit->setText(QString::fromStdString(k->place));
  AddrEdit->SetValue(k->number);
  ProtBox->setCurrentIndex(k->protocol <= 2 ? k->protocol : -1);
  RepeatEdit->SetValue(k->retries);
  SpinEditWait->SetValue(k->replyWait);
  SpinEditTimeOBD->SetValue(TKP::Minutes(k->controlPeriod));
  SpinEditWaitTU->SetValue(k->commandWait);
  SpinEditArrayN->SetValue(k->arrayChannel);
  AsduAddr101Edit->SetValue(k->asdu);
  LenAddrEdit1->SetValue(k->linkAddrLength);
  LenAddrEdit2->SetValue(k->asduAddrLength);
  const std::uint16_t bases[6] = {k->baseTS, k->baseMTS, k->baseTU, k->baseTI, k->baseTII, k->baseTR};
  for (int i = 0; i < 6; ++i) BaseEdits[static_cast<std::size_t>(i)]->SetValue(bases[i]);
  SpinEditTimeSet->SetValue(TKP::Minutes(k->timeSetPeriod));
  for (int g = 0; g < 3; ++g) SpinEditTimeGr[static_cast<std::size_t>(g)]->SetValue(TKP::Minutes(k->groupPeriod[static_cast<std::size_t>(g)]));
  // Shown values are not changes: only fields the user types in are stored.
  for (QLineEdit* e : findChildren<QLineEdit*>()) e->setModified(false);
  FillCounts();
  FillGroups();
  ShowPanels();
  CheckAddress();
  filling_ = false;
}

void TKPFrame::FillCounts() {
  TKP* k = Station();
  const bool groups = k->protocol == TKP::kSirius || k->protocol == TKP::kVikont;
  for (int i = 0; i < 6; ++i) {
    TCountEdit* e = CountEdits[static_cast<std::size_t>(i)];
    const bool wasFilling = filling_;
    filling_ = true;
    const QString v = QString::number(k->CountOf(kCountTypes[i]));
    if (e->text() != v) e->setText(v);
    e->setModified(false);
    filling_ = wasFilling;
    // ТИ and ТИИ of "Сириус" and "Виконт" come from the group types.
    e->setReadOnly(groups && (i == 2 || i == 3));
  }
}

void TKPFrame::FillGroups() {
  TKP* k = Station();
  for (int g = 0; g < 256; ++g) {
    const std::uint8_t code = k->groupTypes[static_cast<std::size_t>(g)];
    GridTI->item(g / 10, g % 10)->setText(code < 6 ? TKP::kGroupCells[code] : QString::number(code));
  }
}

void TKPFrame::ShowPanels() {
  const int p = ProtBox->currentIndex();
  SiriusPanel->setVisible(p == TKP::kSirius || p == TKP::kVikont);
  IecPanel->setVisible(p == TKP::kIec101);
}

void TKPFrame::CheckAddress() {
  TKP* k = Station();
  ExistsLabel->setVisible(k && k->AddressTaken());
}

void TKPFrame::StoreItem() {
  TKP* k = Station();
  if (!k || filling_) return;
  if (PlaceEdit->isModified()) k->place = PlaceEdit->text().toStdString();
  auto u8 = [](TNumberEdit* e, std::uint8_t& v) {
    if (e->isModified()) v = static_cast<std::uint8_t>(e->Value());
  };
  auto u16 = [](TNumberEdit* e, std::uint16_t& v) {
    if (e->isModified()) v = static_cast<std::uint16_t>(e->Value());
  };
  auto minutes = [](TNumberEdit* e, std::uint32_t& v, std::uint32_t cap) {
    if (e->isModified()) v = TKP::MinutesToMs(e->Value(), cap);
  };
  u8(AddrEdit, k->number);
  if (protocolChosen_ && ProtBox->currentIndex() >= 0) k->protocol = static_cast<std::uint8_t>(ProtBox->currentIndex());
  u8(RepeatEdit, k->retries);
  u16(SpinEditWait, k->replyWait);
  minutes(SpinEditTimeOBD, k->controlPeriod, TKP::kMaxMinutes);
  u16(SpinEditWaitTU, k->commandWait);
  u8(SpinEditArrayN, k->arrayChannel);
  if (AsduAddr101Edit->isModified()) k->SetAsdu(AsduAddr101Edit->Value());
  u8(LenAddrEdit1, k->linkAddrLength);
  u8(LenAddrEdit2, k->asduAddrLength);
  std::uint16_t* bases[6] = {&k->baseTS, &k->baseMTS, &k->baseTU, &k->baseTI, &k->baseTII, &k->baseTR};
  for (int i = 0; i < 6; ++i) u16(BaseEdits[static_cast<std::size_t>(i)], *bases[i]);
  minutes(SpinEditTimeSet, k->timeSetPeriod, TKP::kMaxTimeSetMinutes);
  for (int g = 0; g < 3; ++g) minutes(SpinEditTimeGr[static_cast<std::size_t>(g)], k->groupPeriod[static_cast<std::size_t>(g)], TKP::kMaxMinutes);
  for (int i = 0; i < 6; ++i) {
    TCountEdit* e = CountEdits[static_cast<std::size_t>(i)];
    if (e->isModified() && !e->isReadOnly()) k->SetCount(kCountTypes[i], e->text().toLongLong());
  }
}

void TKPFrame::StoreAndRebuild() {
  TKP* k = Station();
  if (!k) return;
  StoreItem();
  k->UpdateStatusTable();
  Doc().AfterEdit();
  owner_.RefreshViews();
  filling_ = true;
  FillCounts();
  ShowPanels();
  CheckAddress();
  filling_ = false;
}

void TKPFrame::ChooseGroupType(int code) {
  TKP* k = Station();
  if (!k) return;
  StoreItem();
  std::vector<int> groups;
  for (QTableWidgetItem* it : GridTI->selectedItems()) groups.push_back(it->row() * 10 + it->column());
  k->SetGroupType(groups, code);
  k->UpdateStatusTable();
  Doc().AfterEdit();
  owner_.RefreshViews();
  filling_ = true;
  FillGroups();
  FillCounts();
  filling_ = false;
}

bool TKPFrame::eventFilter(QObject* o, QEvent* e) {
  if (o == GridTI->viewport() && e->type() == QEvent::ContextMenu) {
    auto* ce = static_cast<QContextMenuEvent*>(e);
    GroupMenu->popup(ce->globalPos());
    return true;
  }
  return TEditorFrame::eventFilter(o, e);
}

// =======================================================================================
TMeterPortFrame::TMeterPortFrame(TFrame1& owner, QWidget* parent, const QString& heading)
    : TPollingPortFrame(owner, parent, heading) {
  PeriodEdit = AddNumber(form_, "Период опроса энергии, мин", 1, 60, "PeriodEdit");
  lay_->addStretch();
}

void TMeterPortFrame::Fill() {
  TPollingPortFrame::Fill();
  if (auto* p = dynamic_cast<TMeterPort*>(item_)) {
    PeriodEdit->SetValue(p->pollPeriod);
    PeriodEdit->setModified(false);
  }
}

void TMeterPortFrame::StoreItem() {
  auto* p = dynamic_cast<TMeterPort*>(item_);
  if (!p || filling_) return;
  if (PeriodEdit->isModified()) p->pollPeriod = static_cast<std::uint8_t>(PeriodEdit->Value());
}

// =======================================================================================
TMeterFrame::TMeterFrame(TFrame1& owner, QWidget* parent, bool cc301) : TEditorFrame(owner, parent) {
  setObjectName("TMeterFrame");
  auto* lay = new QVBoxLayout(this);
  Heading = BoldHeading({}, this);
  lay->addWidget(Heading);
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  PlaceEdit->setMinimumWidth(220);
  form->addRow("Место установки", PlaceEdit);
  auto* addrRow = new QHBoxLayout;
  AddrEdit = new TNumberEdit(1, 255, this);
  AddrEdit->setObjectName("AddrEdit");
  AddrEdit->setMaximumWidth(110);
  ExistsLabel = RedLabel("Уже существует", this, "ExistsLabel");
  addrRow->addWidget(AddrEdit);
  addrRow->addWidget(ExistsLabel);
  addrRow->addStretch();
  form->addRow("Адрес в сети", addrRow);
  // Starts at 0: a new meter holds 0, which showing and storing must not turn into 2.
  RepeatEdit = Number(form, this, "Число попыток обмена", 0, 99, "RepeatEdit");
  lay->addLayout(form);
  lay->addWidget(new QLabel("Читаемые параметры", this));
  CheckListBox1 = new QListWidget(this);
  CheckListBox1->setObjectName("CheckListBox1");
  lay->addWidget(CheckListBox1);
  if (cc301) {
    TypeEGroup = new QGroupBox(" Сохранять энергию как: ", this);
    TypeEGroup->setObjectName("TypeEGroup");
    auto* tl = new QHBoxLayout(TypeEGroup);
    AsTII = new QRadioButton("ТИИ", TypeEGroup);
    AsTII->setObjectName("AsTII");
    AsTI = new QRadioButton("ТИ", TypeEGroup);
    AsTI->setObjectName("AsTI");
    tl->addWidget(AsTII);
    tl->addWidget(AsTI);
    lay->addWidget(TypeEGroup);
    auto* ff = new QFormLayout;
    FuncBox = new TChooser(this);
    FuncBox->setObjectName("FuncBox");
    FuncBox->addItems({"Не учитывать", "Учитывать"});
    ff->addRow("Коэфф. трансформации ", FuncBox);
    lay->addLayout(ff);
    for (QRadioButton* b : {AsTII, AsTI})
      connect(b, &QRadioButton::toggled, this, [this](bool on) {
        if (!on || filling_) return;
        energyChosen_ = true;
        Rebuild();
      });
    connect(FuncBox, &QComboBox::activated, this, [this](int) {
      if (filling_) return;
      ratioChosen_ = true;
      StoreItem();
    });
  }
  connect(CheckListBox1, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
    if (filling_) return;
    ticked_ = true;
    Rebuild();
  });
  connect(AddrEdit, &TNumberEdit::ValueEdited, this, [this](long long) {
    if (!filling_) Rebuild();
  });
  connect(PlaceEdit, &QLineEdit::editingFinished, this, [this] {
    if (!filling_) Rebuild();
  });
}

TMeter* TMeterFrame::Meter() const { return dynamic_cast<TMeter*>(item_); }

void TMeterFrame::ShowItem(TItem* item) {
  item_ = item;
  TMeter* m = Meter();
  if (!m) return;
  filling_ = true;
  ticked_ = energyChosen_ = ratioChosen_ = false;
  Heading->setText(m->Heading());
  PlaceEdit->setText(QString::fromStdString(m->place));
  if (dynamic_cast<TCE318*>(m))
    AddrEdit->SetRange(0, 4294967295ll);
  else
    AddrEdit->SetRange(1, 255);
  AddrEdit->SetValue(m->Address());
  RepeatEdit->SetValue(m->retries);
  CheckListBox1->clear();
  const auto& q = m->Quantities();
  for (std::size_t i = 0; i < q.size(); ++i) {
    auto* it = new QListWidgetItem(QString::fromUtf8(q[i].item), CheckListBox1);
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    it->setCheckState(m->quantities.test(i) ? Qt::Checked : Qt::Unchecked);
  }
  if (auto* cc = dynamic_cast<TCC301*>(m)) {
    if (AsTII) (cc->energyAs == 1 ? AsTI : AsTII)->setChecked(true);
    if (FuncBox) FuncBox->setCurrentIndex(cc->ratio <= 1 ? cc->ratio : -1);
  }
  for (QLineEdit* e : findChildren<QLineEdit*>()) e->setModified(false);
  ExistsLabel->setVisible(m->AddressTaken());
  filling_ = false;
}

void TMeterFrame::StoreItem() {
  TMeter* m = Meter();
  if (!m || filling_) return;
  if (PlaceEdit->isModified()) m->place = PlaceEdit->text().toStdString();
  if (AddrEdit->isModified()) m->SetAddress(AddrEdit->Value());
  if (RepeatEdit->isModified()) m->retries = static_cast<std::uint8_t>(RepeatEdit->Value());
  if (ticked_)
    for (int i = 0; i < CheckListBox1->count(); ++i) m->SetQuantity(i, CheckListBox1->item(i)->checkState() == Qt::Checked);
  if (auto* cc = dynamic_cast<TCC301*>(m)) {
    if (energyChosen_ && AsTI) cc->energyAs = AsTI->isChecked() ? 1 : 0;
    if (ratioChosen_ && FuncBox && FuncBox->currentIndex() >= 0) cc->ratio = static_cast<std::uint8_t>(FuncBox->currentIndex());
  }
}

void TMeterFrame::Rebuild() {
  TMeter* m = Meter();
  if (!m) return;
  StoreItem();
  m->UpdateStatusTable();
  Doc().AfterEdit();
  owner_.RefreshViews();
  ExistsLabel->setVisible(m->AddressTaken());
}

// =======================================================================================
namespace {
// The converter table takes digits and "." only: at most 5 in an instrument address and 2 in a
// parameter number (typing over selected text replaces it, so a full cell can be retyped).
class TCP8500CellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      const int digits = index.column() == 1 ? 5 : 2;
      e->setValidator(new QRegularExpressionValidator(QRegularExpression(QString("[0-9.]{0,%1}").arg(digits)), e));
    }
    return w;
  }
};
}  // namespace

TPortCP8500Frame::TPortCP8500Frame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт преобразователя ЦП8500 / ЭП8500", false) {
  setObjectName("TPortCP8500Frame");
  auto* box = new QGroupBox("Таблица адресов", this);
  auto* bl = new QVBoxLayout(box);
  AddrGrid = new QTableWidget(0, 3, box);
  AddrGrid->setObjectName("AddrGrid");
  AddrGrid->setHorizontalHeaderLabels({" №", "  Адрес прибора", "  Номер параметра"});
  AddrGrid->verticalHeader()->hide();
  AddrGrid->setItemDelegate(new TCP8500CellDelegate(AddrGrid));
  bl->addWidget(AddrGrid);
  lay_->addWidget(box);
  connect(AddrGrid, &QTableWidget::cellChanged, this, [this](int, int) {
    if (filling_) return;
    edited_ = true;
    EnsureEmptyLastRow();
  });
}

void TPortCP8500Frame::EnsureEmptyLastRow() {
  const bool was = filling_;
  filling_ = true;
  const int n = AddrGrid->rowCount();
  const bool lastFilled = n == 0 || (AddrGrid->item(n - 1, 1) && !AddrGrid->item(n - 1, 1)->text().isEmpty());
  if (lastFilled && n < TPortCP8500::kMaxEntries) {
    AddrGrid->insertRow(n);
    auto* no = new QTableWidgetItem(QString::number(n + 1));
    no->setFlags(Qt::ItemIsEnabled);
    AddrGrid->setItem(n, 0, no);
    AddrGrid->setItem(n, 1, new QTableWidgetItem);
    AddrGrid->setItem(n, 2, new QTableWidgetItem);
  }
  filling_ = was;
}

void TPortCP8500Frame::Fill() {
  auto* p = dynamic_cast<TPortCP8500*>(item_);
  if (!p) return;
  edited_ = false;
  AddrGrid->setRowCount(0);
  for (const TCP8500Entry& e : p->entries) {
    const int r = AddrGrid->rowCount();
    AddrGrid->insertRow(r);
    auto* no = new QTableWidgetItem(QString::number(r + 1));
    no->setFlags(Qt::ItemIsEnabled);
    AddrGrid->setItem(r, 0, no);
    AddrGrid->setItem(r, 1, new QTableWidgetItem(QString::number(e.address)));
    AddrGrid->setItem(r, 2, new QTableWidgetItem(QString::number(e.parameter)));
  }
  EnsureEmptyLastRow();
}

void TPortCP8500Frame::StoreItem() {
  auto* p = dynamic_cast<TPortCP8500*>(item_);
  if (!p || filling_ || !edited_) return;
  std::vector<std::pair<std::string, std::string>> rows;
  for (int r = 0; r < AddrGrid->rowCount(); ++r) {
    auto text = [&](int c) { return AddrGrid->item(r, c) ? AddrGrid->item(r, c)->text().trimmed().toStdString() : std::string(); };
    rows.push_back({text(1), text(2)});
  }
  std::vector<TCP8500Entry> before = p->entries;
  if (!p->StoreRows(rows)) return;  // the message is shown; the grid keeps what was typed
  edited_ = false;
  if (p->entries != before) Doc().AfterEdit();
}

// =======================================================================================
TPortMKT3Frame::TPortMKT3Frame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт выдачи данных в протоколе МКТ-3", false) {
  setObjectName("TPortMKT3Frame");
  lay_->addWidget(new QLabel("Скорость задаётся как длина бита в мкс.", this));
  auto* form = new QFormLayout;
  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  form->addRow("Место установки ПУ", PlaceEdit);
  TSGroupsLabel = new QLabel(this);
  TSGroupsLabel->setObjectName("TSGroupsLabel");
  TIGroupsLabel = new QLabel(this);
  TIGroupsLabel->setObjectName("TIGroupsLabel");
  form->addRow("Групп ТС", TSGroupsLabel);
  form->addRow("Групп ТИ", TIGroupsLabel);
  lay_->addLayout(form);
  auto* box = new QGroupBox("Настройка ТИ", this);
  auto* bl = new QVBoxLayout(box);
  GridTI = new QTableWidget(8, 8, box);
  GridTI->setObjectName("GridTI");
  GridTI->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QStringList cols, rows;
  for (int c = 0; c < 8; ++c) cols << QString("Канал %1").arg(c + 1);
  for (int r = 0; r < 8; ++r) rows << "Группа";
  GridTI->setHorizontalHeaderLabels(cols);
  GridTI->setVerticalHeaderLabels(rows);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) GridTI->setItem(r, c, new QTableWidgetItem);
  GridTI->viewport()->installEventFilter(this);
  bl->addWidget(GridTI);
  lay_->addWidget(box);
  TypeMenu = new QMenu(this);
  TypeMenu->setObjectName("TypeMenu");
  for (const TMkt3ChannelType& t : TPortMKT3::ChannelTypes()) {
    const std::uint8_t code = t.code;
    connect(TypeMenu->addAction(QString::fromUtf8(t.menu)), &QAction::triggered, this, [this, code] { ChooseChannelType(code); });
  }
  TypeMenu->addAction("Отмена");
  connect(PlaceEdit, &QLineEdit::editingFinished, this, [this] { StoreItem(); });
}

void TPortMKT3Frame::Fill() {
  auto* p = dynamic_cast<TPortMKT3*>(item_);
  if (!p) return;
  PlaceEdit->setText(QString::fromStdString(p->place));
  PlaceEdit->setModified(false);
  bool tsLimited = false, tiLimited = false;
  p->CountGroups(&tsLimited, &tiLimited);
  TSGroupsLabel->setText(QString::number(p->tsGroups));
  TIGroupsLabel->setText(QString::number(p->tiGroups));
  TSGroupsLabel->setStyleSheet(tsLimited ? "color: red" : "");
  TIGroupsLabel->setStyleSheet(tiLimited ? "color: red" : "");
  for (int i = 0; i < 64; ++i) {
    QTableWidgetItem* it = GridTI->item(i / 8, i % 8);
    const std::uint8_t code = p->channelTypes[static_cast<std::size_t>(i)];
    const TMkt3ChannelType* t = TPortMKT3::ChannelType(code);
    it->setText(t ? QString::fromUtf8(t->cell) : QString("0x%1").arg(code, 2, 16, QChar('0')));
    QFont f = it->font();
    f.setBold(t && t->bipolar);
    it->setFont(f);
  }
}

void TPortMKT3Frame::StoreItem() {
  auto* p = dynamic_cast<TPortMKT3*>(item_);
  if (!p || filling_) return;
  if (PlaceEdit->isModified()) p->place = PlaceEdit->text().toStdString();
}

void TPortMKT3Frame::ChooseChannelType(std::uint8_t code) {
  auto* p = dynamic_cast<TPortMKT3*>(item_);
  if (!p) return;
  std::vector<int> cells;
  for (QTableWidgetItem* it : GridTI->selectedItems()) cells.push_back(it->row() * 8 + it->column());
  p->SetChannelType(cells, code);
  ShowItem(item_);
}

bool TPortMKT3Frame::eventFilter(QObject* o, QEvent* e) {
  if (o == GridTI->viewport() && e->type() == QEvent::ContextMenu) {
    TypeMenu->popup(static_cast<QContextMenuEvent*>(e)->globalPos());
    return true;
  }
  return TOtherPortFrame::eventFilter(o, e);
}

// =======================================================================================
void RegisterKPFrames() {
  RegisterFrame("TPortKP", [](TFrame1& o, QWidget* p) { return new TPollingPortFrame(o, p, "Порт опроса КП"); });
  RegisterFrame("TKP", [](TFrame1& o, QWidget* p) { return new TKPFrame(o, p); });
  RegisterFrame("TPortCC301", [](TFrame1& o, QWidget* p) { return new TMeterPortFrame(o, p, "Порт счётчиков CC-301"); });
  RegisterFrame("TPortCE303", [](TFrame1& o, QWidget* p) { return new TMeterPortFrame(o, p, "Порт счётчиков CE-303"); });
  RegisterFrame("TPortCE318", [](TFrame1& o, QWidget* p) { return new TMeterPortFrame(o, p, "Порт счётчиков CE-318"); });
  RegisterFrame("TCC301", [](TFrame1& o, QWidget* p) { return new TMeterFrame(o, p, true); });
  RegisterFrame("TCE303", [](TFrame1& o, QWidget* p) { return new TMeterFrame(o, p, false); });
  RegisterFrame("TCE318", [](TFrame1& o, QWidget* p) { return new TMeterFrame(o, p, false); });
  RegisterFrame("TPortCP8500", [](TFrame1& o, QWidget* p) { return new TPortCP8500Frame(o, p); });
  RegisterFrame("TPortMKT3", [](TFrame1& o, QWidget* p) { return new TPortMKT3Frame(o, p); });
}

}  // namespace t32::ui
