#include "ui/frame_port.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <bitset>

#include "model/document.h"
#include "model/messages.h"
#include "ports/output_port.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"
#include "ui/frames_boards.h"
#include "ui/link_dialogs.h"

namespace t32::ui {

namespace {
struct TChoice {
  const char* text;
  int value;
};
QComboBox* Combo(QWidget* parent, const char* name, std::initializer_list<TChoice> items) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  for (const TChoice& i : items) c->addItem(QString::fromUtf8(i.text), i.value);
  return c;
}
QComboBox* TiCombo(QWidget* parent, const char* name) {
  return Combo(parent, name,
               {{"Откл", 0}, {"Авто (11,13,15)", 11}, {"Авто + время (35,36,37)", 35}, {"Float (13)", 13}, {"Float + время (36)", 36}});
}
void SetChoice(QComboBox* c, int value) {
  int i = c->findData(value);
  if (i < 0) {
    c->addItem(QString::number(value), value);
    i = c->count() - 1;
  }
  c->setCurrentIndex(i);
}
std::uint8_t Choice(const QComboBox* c) { return static_cast<std::uint8_t>(c->currentData().toInt()); }
}  // namespace

TFormatBox::TFormatBox(QWidget* parent) : QGroupBox("  Таблица задания форматов выдачи параметров  ", parent) {
  setObjectName("FormatBox");
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("ТС", this), 0, 1);
  grid->addWidget(new QLabel("ТИ", this), 0, 2);
  grid->addWidget(new QLabel("ТИИ", this), 0, 3);
  const char* rows[] = {"Параметров в посылке", "Спорадическая выдача", "Циклическая выдача", "Общий опрос (ASDU 100)",
                        "Опрос счетчиков (ASDU 101)"};
  for (int r = 0; r < 5; ++r) grid->addWidget(new QLabel(QString::fromUtf8(rows[r]), this), r + 1, 0);
  TsPerMsgBox = Combo(this, "TsPerMsgBox", {{"1", 1}, {"8", 8}, {"16", 16}});
  TsGiBox = Combo(this, "TsGiBox", {{"ТС (1,3)", 1}, {"ТС + время (30,31)", 30}});
  TiPerMsgBox = Combo(this, "TiPerMsgBox", {{"1", 1}, {"8", 8}, {"16", 16}, {"24", 24}});
  TiSporadicBox = TiCombo(this, "TiSporadicBox");
  TiCyclicBox = TiCombo(this, "TiCyclicBox");
  TiGiBox = TiCombo(this, "TiGiBox");
  TiiPerMsgBox = Combo(this, "TiiPerMsgBox", {{"1", 1}, {"4", 4}, {"8", 8}});
  TiiCounterBox = Combo(this, "TiiCounterBox", {{"Откл", 0}, {"Авто (36,37)", 36}});
  grid->addWidget(TsPerMsgBox, 1, 1);
  grid->addWidget(TsGiBox, 4, 1);
  grid->addWidget(TiPerMsgBox, 1, 2);
  grid->addWidget(TiSporadicBox, 2, 2);
  grid->addWidget(TiCyclicBox, 3, 2);
  grid->addWidget(TiGiBox, 4, 2);
  grid->addWidget(TiiPerMsgBox, 1, 3);
  grid->addWidget(TiiCounterBox, 5, 3);
}

void TFormatBox::Show(const TFormats& ts, const TFormats& ti, const TFormats& tii) {
  SetChoice(TsPerMsgBox, ts[0]);
  SetChoice(TsGiBox, ts[3]);
  SetChoice(TiPerMsgBox, ti[0]);
  SetChoice(TiSporadicBox, ti[1]);
  SetChoice(TiCyclicBox, ti[2]);
  SetChoice(TiGiBox, ti[3]);
  SetChoice(TiiPerMsgBox, tii[0]);
  SetChoice(TiiCounterBox, tii[3]);
}

void TFormatBox::Store(TFormats& ts, TFormats& ti, TFormats& tii) const {
  ts[0] = Choice(TsPerMsgBox);
  ts[3] = Choice(TsGiBox);
  ti[0] = Choice(TiPerMsgBox);
  ti[1] = Choice(TiSporadicBox);
  ti[2] = Choice(TiCyclicBox);
  ti[3] = Choice(TiGiBox);
  tii[0] = Choice(TiiPerMsgBox);
  tii[3] = Choice(TiiCounterBox);
}

QString& LastExportFile() {
  static QString last;
  return last;
}

TPortFrame::TPortFrame(TFrame1& owner, QWidget* parent, const QString& heading) : TEditorFrame(owner, parent) {
  lay_ = new QVBoxLayout(this);
  Heading = new QLabel(heading, this);
  Heading->setObjectName("Heading");
  QFont f = Heading->font();
  f.setBold(true);
  Heading->setFont(f);
  lay_->addWidget(Heading);
  form_ = new QFormLayout;
  form_->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form_->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  lay_->addLayout(form_);

  AddrEdit = new TAddrField(this);
  AddrEdit->setObjectName("AddrEdit");
  AddrEdit->setMaximumWidth(60);
  AddrEdit->onClick = [this] { OpenPicker(); };
  form_->addRow("Адрес порта", AddrEdit);

  auto* row = new QHBoxLayout;
  ChannelBox = new QComboBox(this);
  ChannelBox->setObjectName("ChannelBox");
  ChannelBox->setMinimumWidth(160);
  SetupButton = new QPushButton("Настроить", this);
  SetupButton->setObjectName("SetupButton");
  row->addWidget(ChannelBox);
  row->addWidget(SetupButton);
  row->addStretch();
  form_->addRow("Плата", row);
  connect(ChannelBox, &QComboBox::activated, this, [this](int index) {
    TPort* p = Port();
    if (filling_ || !p) return;
    StoreItem();
    p->SelectInterface(interfaces_, index);
    BindingChanged();
    ShowItem(item_);
  });
  connect(SetupButton, &QPushButton::clicked, this, [this] {
    if (TPort* p = Port()) {
      StoreItem();
      p->ShowBound();
    }
  });
}

void TPortFrame::ShowItem(TItem* item) {
  item_ = item;
  TPort* p = Port();
  if (!p) return;
  filling_ = true;
  AddrEdit->setText(QString::number(p->number));
  interfaces_ = p->Interfaces();
  ChannelBox->clear();
  int current = 0;
  for (std::size_t i = 0; i < interfaces_.size(); ++i) {
    ChannelBox->addItem(Q(interfaces_[i].text));
    if (interfaces_[i].block && interfaces_[i].block == p->boundChannel) current = static_cast<int>(i);
  }
  ChannelBox->setCurrentIndex(current);
  SetupButton->setEnabled(p->boundChannel != nullptr);
  Fill();
  filling_ = false;
}

TAddrEditForm* TPortFrame::OpenPicker() {
  TPort* p = Port();
  if (!p) return nullptr;
  std::bitset<256> taken;
  if (TNode* proc = Doc().ProcNode())
    for (int i = 0; i < proc->ChildCount(); ++i)
      if (TItem* it = proc->Child(i)->Item(); it && it != p) taken.set(it->number);
  auto* picker = new TAddrEditForm(1, 40, 5, taken, p->number, this);
  picker->setAttribute(Qt::WA_DeleteOnClose);
  picker->onPick = [this](int n) {
    AddrEdit->setText(QString::number(n));
    Apply([this, n] {
      Port()->number = static_cast<std::uint8_t>(n);
      Port()->UpdateNode();
    });
  };
  picker->move(AddrEdit->mapToGlobal(QPoint(0, AddrEdit->height())));
  picker->show();
  return picker;
}

void TPortFrame::Apply(const std::function<void()>& change) {
  if (filling_ || !item_) return;
  StoreItem();
  change();
  ShowItem(item_);
}

TNumberEdit* TPortFrame::AddNumber(QFormLayout* form, const QString& caption, long long min, long long max,
                                   const char* name) {
  auto* e = new TNumberEdit(min, max, this);
  e->setObjectName(name);
  form->addRow(caption, e);
  return e;
}

void TPortFrame::ExportIni(TOutputPort* port) {
  if (!port) return;
  StoreItem();
  QString start = LastExportFile().isEmpty() ? QCoreApplication::applicationDirPath() + "/" : LastExportFile();
  QString path = ChooseFile(this, "Экспортировать список параметров в INI",
                            "Список параметров|*.ini|Все файлы  (*.*)|*.*", start, true);
  if (path.isEmpty()) return;
  LastExportFile() = path;
  std::string error;
  int skipped = 0;
  if (!port->ExportIni(S(path), &error, &skipped)) {
    Doc().Messages().ShowError(error);
    return;
  }
  if (skipped) Doc().Messages().ShowError(TOutputPort::SkippedText(skipped));
}

}  // namespace t32::ui
