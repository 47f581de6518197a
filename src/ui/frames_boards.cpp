#include "ui/frames_boards.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "model/boards.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "model/treerules.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"

namespace t32::ui {

// ---------------------------------------------------------------------------------------
TAddrEditForm::TAddrEditForm(int first, int last, int perRow, const std::bitset<256>& taken, int own, QWidget* parent)
    : QFrame(parent, Qt::Popup) {
  setObjectName("AddrEditForm");
  setFrameStyle(QFrame::Box | QFrame::Plain);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(2, 2, 2, 2);
  grid->setSpacing(1);
  for (int n = first; n <= last && n < 256; ++n) {
    auto* b = new QToolButton(this);
    b->setText(QString::number(n));
    b->setFixedSize(24, 24);
    b->setAutoRaise(taken.test(static_cast<std::size_t>(n)));
    QString style;
    if (n == own) style = "QToolButton { color: white; background: #1c3f7a; }";
    else if (taken.test(static_cast<std::size_t>(n))) style = "QToolButton { color: black; }";
    else style = "QToolButton { color: navy; font-weight: bold; }";
    b->setStyleSheet(style);
    connect(b, &QToolButton::clicked, this, [this, n] { Pick(n); });
    int i = n - first;
    grid->addWidget(b, i / perRow, i % perRow);
    cells << b;
  }
}

void TAddrEditForm::Pick(int n) {
  auto pick = onPick;
  close();
  if (pick) pick(n);
}

void TAddrField::mousePressEvent(QMouseEvent* e) {
  QLineEdit::mousePressEvent(e);
  if (e->button() == Qt::LeftButton && onClick) onClick();
}

void TAddrField::keyPressEvent(QKeyEvent* e) {
  bool open = e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter ||
              e->key() == Qt::Key_F4 || (e->key() == Qt::Key_Down && (e->modifiers() & Qt::AltModifier));
  if (open && onClick) {
    onClick();
    return;
  }
  QLineEdit::keyPressEvent(e);
}

// ---------------------------------------------------------------------------------------
TBoardFrame::TBoardFrame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  lay_ = new QVBoxLayout(this);
  Caption = new QLabel(this);
  Caption->setObjectName("Caption");
  QFont f = Caption->font();
  f.setBold(true);
  Caption->setFont(f);
  lay_->addWidget(Caption);
  form_ = new QFormLayout;
  form_->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form_->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  lay_->addLayout(form_);
}

TBoard* TBoardFrame::Board() const { return dynamic_cast<TBoard*>(item_); }

void TBoardFrame::ShowItem(TItem* item) {
  item_ = item;
  if (!Board()) return;
  filling_ = true;
  Caption->setText(QString::fromUtf8(Board()->FrameCaption()));
  if (AddrEdit) AddrEdit->setText(QString::number(Board()->number));
  Fill();
  filling_ = false;
}

TNumberEdit* TBoardFrame::AddNumber(const QString& caption, long long min, long long max, const char* name) {
  auto* e = new TNumberEdit(min, max, this);
  e->setObjectName(name);
  e->setMinimumWidth(e->maximumWidth());
  form_->addRow(caption, e);
  return e;
}

QComboBox* TBoardFrame::AddCombo(const QString& caption, const QStringList& items, const char* name) {
  auto* c = new TChooser(this);
  c->setObjectName(name);
  c->addItems(items);
  form_->addRow(caption, c);
  return c;
}

QLabel* TBoardFrame::AddLabel(const QString& caption, const char* name) {
  auto* l = new QLabel(this);
  l->setObjectName(name);
  form_->addRow(caption, l);
  return l;
}

void TBoardFrame::AddAddrField(const QString& caption) {
  AddrEdit = new TAddrField(this);
  AddrEdit->setObjectName("AddrEdit");
  AddrEdit->setFixedWidth(AddrEdit->fontMetrics().horizontalAdvance("0000") + 16);
  AddrEdit->setToolTip("Щелчок открывает таблицу свободных адресов");
  AddrEdit->onClick = [this] { OpenPicker(); };
  form_->addRow(caption, AddrEdit);
}

TAddrEditForm* TBoardFrame::OpenPicker() {
  TBoard* b = Board();
  if (!b || !AddrEdit) return nullptr;
  int last = b->MaxNumber() > 15 ? 15 : b->MaxNumber();
  auto* picker = new TAddrEditForm(0, last, 4, AddressesOfOtherBoards(Doc(), b), b->number, this);
  picker->setAttribute(Qt::WA_DeleteOnClose);
  picker->onPick = [this](int n) {
    AddrEdit->setText(QString::number(n));
    Apply([this, n] { Board()->SetAddress(n); });
  };
  picker->move(AddrEdit->mapToGlobal(QPoint(0, AddrEdit->height())));
  picker->show();
  // The keyboard picks too: the own number has the focus, Tab and arrows move, Space picks.
  int own = b->number;
  if (own >= 0 && own < picker->cells.size()) picker->cells[own]->setFocus();
  else if (!picker->cells.isEmpty()) picker->cells[0]->setFocus();
  return picker;
}

void TBoardFrame::Apply(const std::function<void()>& change) {
  if (filling_ || !item_) return;
  StoreItem();
  change();
  ShowItem(item_);
  owner_.NotifyEdited();
}

void TBoardFrame::ApplyMode(bool unchanged, const std::function<void()>& change) {
  if (filling_ || !item_) return;
  if (unchanged) return;
  std::string question = ModeChangeQuestion(item_->node);
  if (!question.empty() && Doc().Messages().AskConfirm(question, false) != kYes) {
    ShowItem(item_);  // the chooser shows the mode the item kept
    return;
  }
  Apply(change);
}

// ---------------------------------------------------------------------------------------
TRS232Frame::TRS232Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TRS232Frame");
  NumberLabel = AddLabel("Номер COM порта", "NumberLabel");
  QStringList speeds;
  for (auto s : TRS232::kSpeeds) speeds << QString::number(s);
  SpeedBox = AddCombo("Скорость", speeds, "SpeedBox");
  ParityBox = AddCombo("Чётность", {"НЕТ", "НЕЧЕТ", "ЧЁТ", "МАРКЕР", "ПРОБЕЛ"}, "ParityBox");
  InterfaceBox = AddCombo("Интерфейс", {"RS-232", "RS-485"}, "InterfaceBox");
  StopBitsBox = AddCombo("Стоповых бит", {"1", "2"}, "StopBitsBox");
  GapTimeEdit = AddNumber("Выдержка приёма, мс", 2, 255, "GapTimeEdit");
  StartTimeEdit = AddNumber("Длительность разгона, мс", 0, 99, "StartTimeEdit");
  StopTimeEdit = AddNumber("Задержка выключения, мс", 0, 99, "StopTimeEdit");
  PortTcpEdit = AddNumber("Порт ТСР", 0, 65535, "PortTcpEdit");
  BoundLabel = AddLabel("Задействован", "BoundLabel");
  SetupButton = new QPushButton("Настроить", this);
  form_->addRow("", SetupButton);
  lay_->addStretch();
  connect(SpeedBox, &QComboBox::activated, this, [this](int i) {
    Apply([this, i] { dynamic_cast<TRS232*>(item_)->SetSpeed(TRS232::kSpeeds[static_cast<std::size_t>(i)]); });
  });
  connect(ParityBox, &QComboBox::activated, this,
          [this](int i) { Apply([this, i] { dynamic_cast<TRS232*>(item_)->SetParity(static_cast<std::uint8_t>(i)); }); });
  connect(StopBitsBox, &QComboBox::activated, this, [this](int i) {
    Apply([this, i] { dynamic_cast<TRS232*>(item_)->SetStopBits(static_cast<std::uint8_t>(i)); });
  });
  connect(InterfaceBox, &QComboBox::activated, this, [this](int i) {
    Apply([this, i] { dynamic_cast<TRS232*>(item_)->SetInterface(static_cast<std::uint8_t>(i)); });
  });
  connect(SetupButton, &QPushButton::clicked, this, [this] {
    if (item_) item_->ShowBound();
  });
}

void TRS232Frame::Fill() {
  auto* c = dynamic_cast<TRS232*>(item_);
  if (!c) return;
  NumberLabel->setText(QString("%1.%2").arg((c->number - 32) / 16).arg(c->number % 16));
  int si = 4;
  for (std::size_t i = 0; i < TRS232::kSpeeds.size(); ++i)
    if (TRS232::kSpeeds[i] == c->speed) si = static_cast<int>(i);
  SpeedBox->setCurrentIndex(si);
  ParityBox->setCurrentIndex(std::min<int>(c->parity, 4));
  InterfaceBox->setCurrentIndex(c->iface ? 1 : 0);
  InterfaceBox->setEnabled(c->InterfaceChoosable());
  StopBitsBox->setCurrentIndex(c->stopBits & 1);
  GapTimeEdit->SetValue(c->gap);
  StartTimeEdit->SetValue(c->rampUp);
  StopTimeEdit->SetValue(c->offDelay);
  PortTcpEdit->SetValue(c->tcpPort);
  bool rs485 = c->Rs485FieldsEnabled();
  for (QWidget* w : {static_cast<QWidget*>(StartTimeEdit), static_cast<QWidget*>(StopTimeEdit),
                     static_cast<QWidget*>(PortTcpEdit)}) {
    w->setEnabled(rs485);
    if (QWidget* l = form_->labelForField(w)) l->setEnabled(rs485);
  }
  BoundLabel->setText(Q(c->BoundText()));
  SetupButton->setEnabled(c->boundPort != nullptr);
}

void TRS232Frame::StoreItem() {
  auto* c = dynamic_cast<TRS232*>(item_);
  if (!c) return;
  if (GapTimeEdit->isModified()) c->gap = static_cast<std::uint8_t>(GapTimeEdit->Value());
  if (StartTimeEdit->isModified()) c->rampUp = static_cast<std::uint8_t>(StartTimeEdit->Value());
  if (StopTimeEdit->isModified()) c->offDelay = static_cast<std::uint8_t>(StopTimeEdit->Value());
  if (PortTcpEdit->isModified()) c->tcpPort = static_cast<std::uint16_t>(PortTcpEdit->Value());
}

// ---------------------------------------------------------------------------------------
namespace {
// Marks the chooser entries that another board already uses.
void GreyEntries(QComboBox* box, const std::function<bool(int)>& used) {
  auto* m = qobject_cast<QStandardItemModel*>(box->model());
  if (!m) return;
  for (int i = 0; i < box->count(); ++i) {
    QStandardItem* it = m->item(i);
    it->setForeground(used(i) ? QBrush(Qt::gray) : QBrush());
  }
}
}  // namespace

TMPI4Frame::TMPI4Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TMPI4Frame");
  QStringList addrs;
  for (int a = 0; a <= 12; a += 2) addrs << QString::number(a);
  AddrBox = AddCombo("Базовый адрес", addrs, "AddrEdit");
  OccupiedLabel = AddLabel("Занимаемые адреса", "OccupiedLabel");
  form_->addRow("", new QLabel("Плата занимает адресное пространство двух плат", this));
  InterruptBox = AddCombo("Прерывание", {"IRQ-3", "IRQ-4", "IRQ-5", "IRQ-6", "IRQ-7"}, "InterruptBox");
  IrqNote = new QLabel("Недоступно для процессора СРС108", this);
  IrqNote->setStyleSheet("color: #a01010;");
  form_->addRow("", IrqNote);
  lay_->addStretch();
  connect(AddrBox, &QComboBox::activated, this, [this](int i) { Apply([this, i] { Board()->SetAddress(i * 2); }); });
  connect(InterruptBox, &QComboBox::activated, this, [this](int i) {
    Apply([this, i] {
      Board()->irq = static_cast<std::uint8_t>(i + 3);
    });
  });
}

void TMPI4Frame::Fill() {
  auto* b = dynamic_cast<TMPI4*>(item_);
  if (!b) return;
  AddrBox->setCurrentIndex(std::min(b->number / 2, 6));
  OccupiedLabel->setText(Q(b->OccupiedText()));
  InterruptBox->setCurrentIndex(std::clamp<int>(b->irq, 3, 7) - 3);
  IrqNote->setVisible(b->irq == 5);
  auto taken = AddressesOfOtherBoards(Doc(), b);
  GreyEntries(AddrBox, [&](int i) { return taken.test(static_cast<std::size_t>(i * 2)) || taken.test(static_cast<std::size_t>(i * 2 + 1)); });
  auto irqs = IrqsOfOtherBoards(Doc(), b);
  GreyEntries(InterruptBox, [&](int i) { return irqs.test(static_cast<std::size_t>(i + 3)); });
}

// ---------------------------------------------------------------------------------------
TMVS4Frame::TMVS4Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TMVS4Frame");
  AddAddrField("Базовый адрес");
  ModBox = AddCombo(" Вид модуляции сигнала ", {"частотная", "фазовая"}, "ModBox");
  Freq0Edit = AddNumber("Частота 0, Гц", 0, 8000, "Freq0Edit");
  Freq1Edit = AddNumber("Частота 1, Гц", 0, 8000, "Freq1Edit");
  SpeedEdit = AddNumber("Скорость, бод", 1, 60000, "SpeedEdit");
  StartEdit = AddNumber("Стартовый сигнал, мс", 10, 990, "StartEdit");
  EndEdit = AddNumber("Задержка выкл ПРД, мс", 0, 255, "EndEdit");
  KLSEdit = AddNumber("Уровень отсечки шума, мв", 1, 254, "KLSEdit");
  Len1Edit = AddNumber("Импульс ТС, мс", 1, 1000, "Len1Edit");
  Len2Edit = AddNumber("Импульс ТУ, мс", 1, 1000, "Len2Edit");
  BoundLabel = AddLabel("Задействован", "BoundLabel");
  SetupButton = new QPushButton("Настроить", this);
  form_->addRow("", SetupButton);
  lay_->addStretch();
  connect(ModBox, &QComboBox::activated, this,
          [this](int i) { Apply([this, i] { dynamic_cast<TMVS4*>(item_)->modulation = static_cast<std::uint8_t>(i); }); });
  connect(SetupButton, &QPushButton::clicked, this, [this] {
    if (item_) item_->ShowBound();
  });
}

void TMVS4Frame::Fill() {
  auto* m = dynamic_cast<TMVS4*>(item_);
  if (!m) return;
  TMVS4::Layout l = m->FrameLayout();
  ModBox->setCurrentIndex(l.modulationForced ? 0 : m->modulation ? 1 : 0);
  ModBox->setEnabled(!l.modulationForced);
  Freq0Edit->SetValue(m->freq0);
  Freq1Edit->SetValue(m->freq1);
  SpeedEdit->SetValue(m->speed);
  StartEdit->SetValue(m->startSignal);
  EndEdit->SetValue(m->offDelay);
  KLSEdit->SetValue(m->noiseCut);
  Len1Edit->SetValue(m->pulse1);
  Len2Edit->SetValue(m->pulse2);
  auto caption = [&](QWidget* w, const std::string& text) {
    if (auto* lab = qobject_cast<QLabel*>(form_->labelForField(w)); lab && !text.empty()) lab->setText(Q(text));
  };
  auto show = [&](QWidget* w, bool on) { form_->setRowVisible(w, on); };
  caption(Freq0Edit, l.freq0Caption);
  caption(Freq1Edit, l.freq1Caption);
  caption(SpeedEdit, l.speedCaption);
  caption(Len1Edit, l.pulse1Caption);
  caption(Len2Edit, l.pulse2Caption);
  Freq1Edit->setEnabled(l.freq1Enabled);
  show(SpeedEdit, l.speedVisible);
  show(StartEdit, l.startVisible);
  show(EndEdit, l.delayVisible);
  show(Len1Edit, l.pulse1Visible);
  show(Len2Edit, l.pulse2Visible);
  BoundLabel->setText(m->boundPort ? Q(m->boundPort->Caption()) : QString("Нет"));
  SetupButton->setEnabled(m->boundPort != nullptr);
}

void TMVS4Frame::StoreItem() {
  auto* m = dynamic_cast<TMVS4*>(item_);
  if (!m) return;
  // Only fields the user typed in are stored: a board read from a file keeps its values
  // (a pulse of 0, a frequency off the 10 Hz step) until the user changes them.
  auto step = [](long long v, int s) { return v / s * s; };
  if (Freq0Edit->isModified()) m->freq0 = static_cast<std::uint16_t>(step(Freq0Edit->Value(), 10));
  if (Freq1Edit->isModified()) m->freq1 = static_cast<std::uint16_t>(step(Freq1Edit->Value(), 10));
  if (SpeedEdit->isModified()) m->speed = static_cast<std::uint16_t>(SpeedEdit->Value());
  if (StartEdit->isModified())
    m->startSignal = static_cast<std::uint16_t>(std::max<long long>(10, step(StartEdit->Value(), 10)));
  if (EndEdit->isModified()) m->offDelay = static_cast<std::uint8_t>(EndEdit->Value());
  if (KLSEdit->isModified()) m->noiseCut = static_cast<std::uint8_t>(KLSEdit->Value());
  // Pulses are edited up to 1000 ms but the controller keeps one byte.
  if (Len1Edit->isModified()) m->pulse1 = static_cast<std::uint8_t>(std::min<long long>(255, Len1Edit->Value()));
  if (Len2Edit->isModified()) m->pulse2 = static_cast<std::uint8_t>(std::min<long long>(255, Len2Edit->Value()));
}

// ---------------------------------------------------------------------------------------
TDI32Frame::TDI32Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TDI32Frame");
  AddAddrField("Адрес платы");
  QStringList items;
  for (const char* t : TDI32::kDebounce) items << QString::fromUtf8(t).trimmed();
  TimeBox = AddCombo("Время антидребезга", items, "TimeBox");
  lay_->addStretch();
}

void TDI32Frame::Fill() {
  if (auto* b = dynamic_cast<TDI32*>(item_)) TimeBox->setCurrentIndex(std::min<int>(b->debounce, 3));
}

void TDI32Frame::StoreItem() {
  auto* b = dynamic_cast<TDI32*>(item_);
  if (b && TimeBox->currentIndex() != std::min<int>(b->debounce, 3))
    b->SetDebounce(static_cast<std::uint8_t>(TimeBox->currentIndex()));
}

// ---------------------------------------------------------------------------------------
TAI16Frame::TAI16Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TAI16Frame");
  AddAddrField("Адрес платы");
  TimeEdit = AddNumber("Время фильтрации ТИ, мс", 0, 240, "TimeEdit");
  lay_->addStretch();
}

void TAI16Frame::Fill() {
  if (auto* b = dynamic_cast<TAI16*>(item_)) TimeEdit->SetValue(b->filterTime);
}

void TAI16Frame::StoreItem() {
  if (auto* b = dynamic_cast<TAI16*>(item_); b && TimeEdit->isModified())
    b->filterTime = static_cast<std::uint8_t>(TimeEdit->Value() / 20 * 20);
}

// ---------------------------------------------------------------------------------------
TAI8Frame::TAI8Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TAI8Frame");
  TypeTI1 = AddCombo(" Тип подключения ", {"Не использовать", "Однопроводное", "Дифференциальное"}, "TypeTI1");
  CountMUX1 = AddNumber("Количество AIMUX-32C", 0, 8, "CountMUX1");
  ZeroEdit1 = AddNumber("Смещение уровня нуля", -32768, 32767, "ZeroEdit1");
  CountLabel = AddLabel("Количество каналов ТИ", "CountLabel");
  GridTI = new QTableWidget(this);
  GridTI->setObjectName("GridTI");
  GridTI->setColumnCount(8);
  QStringList heads;
  for (int c = 1; c <= 8; ++c) heads << QString("Канал %1").arg(c);
  GridTI->setHorizontalHeaderLabels(heads);
  GridTI->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GridTI->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  GridTI->setContextMenuPolicy(Qt::CustomContextMenu);
  lay_->addWidget(new QLabel("Диапазон измерений (правая кнопка мыши — выбор для выделенных ячеек)", this));
  lay_->addWidget(GridTI, 1);
  connect(TypeTI1, &QComboBox::activated, this, [this](int i) {
    auto* a = dynamic_cast<TAI8*>(item_);
    ApplyMode(!a || a->connection == i, [this, i] { dynamic_cast<TAI8*>(item_)->SetConnection(static_cast<std::uint8_t>(i)); });
  });
  connect(CountMUX1, &TNumberEdit::ValueEdited, this, [this](long long v) {
    auto* a = dynamic_cast<TAI8*>(item_);
    ApplyMode(!a || a->multiplexers == v, [this, v] { dynamic_cast<TAI8*>(item_)->SetMultiplexers(static_cast<std::uint8_t>(v)); });
  });
  connect(GridTI, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    QMenu menu(this);
    for (int r = 0; r < 4; ++r)
      connect(menu.addAction(QString::fromUtf8(TAI8::kRanges[static_cast<std::size_t>(r)])), &QAction::triggered, this,
              [this, r] { SetRangeOfSelected(r); });
    menu.addSeparator();
    menu.addAction("Отмена");
    menu.exec(GridTI->viewport()->mapToGlobal(pos));
  });
}

void TAI8Frame::SetRangeOfSelected(int range) {
  auto* a = dynamic_cast<TAI8*>(item_);
  if (!a || range < 0 || range > 3) return;
  for (QTableWidgetItem* it : GridTI->selectedItems()) {
    int ch = it->row() * 8 + it->column();
    if (ch >= 0 && ch < 256) a->ranges[static_cast<std::size_t>(ch)] = static_cast<std::uint8_t>(range);
  }
  filling_ = true;
  Fill();
  filling_ = false;
}

void TAI8Frame::Fill() {
  auto* a = dynamic_cast<TAI8*>(item_);
  if (!a) return;
  TypeTI1->setCurrentIndex(std::min<int>(a->connection, 2));
  CountMUX1->SetValue(a->multiplexers);
  ZeroEdit1->SetValue(a->zeroOffset);
  int count = a->ChannelCount();
  CountLabel->setText(QString::number(count));
  GridTI->setVisible(a->connection != 0);
  int rows = (count + 7) / 8;
  GridTI->setRowCount(rows);
  QStringList vheads;
  for (int r = 0; r < rows; ++r) {
    vheads << Q(a->RangeRowHeader(r));
    for (int c = 0; c < 8; ++c) {
      int ch = r * 8 + c;
      auto* it = new QTableWidgetItem(QString::fromUtf8(TAI8::kRanges[std::min<std::size_t>(a->ranges[static_cast<std::size_t>(ch)], 3)]));
      GridTI->setItem(r, c, it);
    }
  }
  GridTI->setVerticalHeaderLabels(vheads);
}

void TAI8Frame::StoreItem() {
  if (auto* a = dynamic_cast<TAI8*>(item_); a && ZeroEdit1->isModified())
    a->zeroOffset = static_cast<std::int16_t>(ZeroEdit1->Value());
}

// ---------------------------------------------------------------------------------------
TAO2Frame::TAO2Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TAO2Frame");
  TypeTR1 = AddCombo(" Режим работы ", {"Не использовать", "Использовать"}, "TypeTR1");
  TimeTR1 = AddNumber("Канал 1: время нарастания, мс", 0, 60000, "TimeTR1");
  TimeTR2 = AddNumber("Канал 2: время нарастания, мс", 0, 60000, "TimeTR2");
  lay_->addStretch();
  connect(TypeTR1, &QComboBox::activated, this, [this](int i) {
    auto* a = dynamic_cast<TAO2*>(item_);
    ApplyMode(!a || a->mode == i, [this, i] { dynamic_cast<TAO2*>(item_)->SetMode(static_cast<std::uint8_t>(i)); });
  });
}

void TAO2Frame::Fill() {
  auto* a = dynamic_cast<TAO2*>(item_);
  if (!a) return;
  TypeTR1->setCurrentIndex(a->mode ? 1 : 0);
  TimeTR1->SetValue(a->riseTime[0]);
  TimeTR2->SetValue(a->riseTime[1]);
}

void TAO2Frame::StoreItem() {
  auto* a = dynamic_cast<TAO2*>(item_);
  if (!a) return;
  if (TimeTR1->isModified()) a->riseTime[0] = static_cast<std::uint16_t>(TimeTR1->Value());
  if (TimeTR2->isModified()) a->riseTime[1] = static_cast<std::uint16_t>(TimeTR2->Value());
}

// ---------------------------------------------------------------------------------------
TUnio96Frame::TUnio96Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TUnio96Frame");
  AddAddrField("Адрес платы");
  QStringList items;
  for (const char* t : TUnio96::kDebounce) items << QString::fromUtf8(t).trimmed();
  TimeBox = AddCombo(" Время антидребезга ТС", items, "TimeBox");
  lay_->addStretch();
}

void TUnio96Frame::Fill() {
  if (auto* b = dynamic_cast<TUnio96*>(item_)) TimeBox->setCurrentIndex(std::min<int>(b->debounce, 3));
}

void TUnio96Frame::StoreItem() {
  auto* b = dynamic_cast<TUnio96*>(item_);
  if (b && TimeBox->currentIndex() != std::min<int>(b->debounce, 3))
    b->debounce = static_cast<std::uint8_t>(TimeBox->currentIndex());
}

// ---------------------------------------------------------------------------------------
TUnio24Frame::TUnio24Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TUnio24Frame");
  QStringList modes;
  for (const char* t : TUnio24::kModes) modes << QString::fromUtf8(t).trimmed();
  TypeOfPort = AddCombo(" Режим работы порта ", modes, "TypeOfPort");
  LinkedPortEdit = AddNumber("Контролируемый порт", 1, 4, "LinkedPortEdit");
  TimeTUEdit = AddNumber("Время выдачи ТУ, мс", 100, 60000, "TimeTUEdit");
  lay_->addStretch();
  connect(TypeOfPort, &QComboBox::activated, this, [this](int i) {
    auto* u = dynamic_cast<TUnio24*>(item_);
    ApplyMode(!u || u->mode == i, [this, i] { dynamic_cast<TUnio24*>(item_)->SetMode(static_cast<std::uint8_t>(i)); });
  });
  connect(LinkedPortEdit, &TNumberEdit::ValueEdited, this, [this](long long v) {
    auto* u = dynamic_cast<TUnio24*>(item_);
    ApplyMode(!u || u->linkedPort == v,
              [this, v] { dynamic_cast<TUnio24*>(item_)->SetLinkedPort(static_cast<std::uint8_t>(v)); });
  });
}

void TUnio24Frame::Fill() {
  auto* u = dynamic_cast<TUnio24*>(item_);
  if (!u) return;
  TypeOfPort->setCurrentIndex(std::min<int>(u->mode, 9));
  LinkedPortEdit->SetValue(u->linkedPort);
  TimeTUEdit->SetValue(u->tuTime);
  TimeTUEdit->setEnabled(u->TuTimeEnabled());
  form_->setRowVisible(LinkedPortEdit, u->mode == 6);
}

void TUnio24Frame::StoreItem() {
  if (auto* u = dynamic_cast<TUnio24*>(item_); u && TimeTUEdit->isModified())
    u->tuTime = static_cast<std::uint16_t>(TimeTUEdit->Value() / 100 * 100);
}

// ---------------------------------------------------------------------------------------
TDO32Frame::TDO32Frame(TFrame1& o, QWidget* p) : TBoardFrame(o, p) {
  setObjectName("TDO32Frame");
  AddLabel("Базовый адрес DO32", "DO32Addr")->setText("0x150");
  AddLabel("Базовый адрес DI32", "DI32Addr")->setText("0x110");
  TimeTUEdit = AddNumber("Время выдачи ТУ, мс", 100, 60000, "TimeTUEdit");
  QStringList modes;
  for (const char* t : TDO32::kModes) modes << QString::fromUtf8(t);
  TypeOfPort = AddCombo(" Режим работы модуля ", modes, "TypeOfPort");
  lay_->addStretch();
  connect(TypeOfPort, &QComboBox::activated, this, [this](int i) {
    auto* d = dynamic_cast<TDO32*>(item_);
    ApplyMode(!d || d->mode == i, [this, i] { dynamic_cast<TDO32*>(item_)->SetMode(static_cast<std::uint8_t>(i)); });
  });
}

void TDO32Frame::Fill() {
  auto* d = dynamic_cast<TDO32*>(item_);
  if (!d) return;
  TimeTUEdit->SetValue(d->tuTime);
  TypeOfPort->setCurrentIndex(std::min<int>(d->mode, 4));
}

void TDO32Frame::StoreItem() {
  if (auto* d = dynamic_cast<TDO32*>(item_); d && TimeTUEdit->isModified())
    d->tuTime = static_cast<std::uint16_t>(TimeTUEdit->Value() / 100 * 100);
}

// ---------------------------------------------------------------------------------------
void RegisterBoardFrames() {
  RegisterFrame("TRS232", [](TFrame1& o, QWidget* p) { return new TRS232Frame(o, p); });
  RegisterFrame("TMPI4", [](TFrame1& o, QWidget* p) { return new TMPI4Frame(o, p); });
  RegisterFrame("TMVS4", [](TFrame1& o, QWidget* p) { return new TMVS4Frame(o, p); });
  RegisterFrame("TDI32", [](TFrame1& o, QWidget* p) { return new TDI32Frame(o, p); });
  RegisterFrame("TAI16", [](TFrame1& o, QWidget* p) { return new TAI16Frame(o, p); });
  RegisterFrame("TAI8", [](TFrame1& o, QWidget* p) { return new TAI8Frame(o, p); });
  RegisterFrame("TAO2", [](TFrame1& o, QWidget* p) { return new TAO2Frame(o, p); });
  RegisterFrame("TUnio96", [](TFrame1& o, QWidget* p) { return new TUnio96Frame(o, p); });
  RegisterFrame("TUnio24", [](TFrame1& o, QWidget* p) { return new TUnio24Frame(o, p); });
  RegisterFrame("TDO32", [](TFrame1& o, QWidget* p) { return new TDO32Frame(o, p); });
}

}  // namespace t32::ui
