#include "ui/frame_port.h"

#include <QCoreApplication>
#include <QFormLayout>
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
