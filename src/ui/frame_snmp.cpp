#include "ui/frame_snmp.h"

#include <QFormLayout>
#include <cstring>
#include <QVBoxLayout>

#include "model/document.h"
#include "ports/port_snmp.h"
#include "ui/frame1.h"
#include "ui/mib_dialog.h"

namespace t32::ui {

TPortSNMPFrame::TPortSNMPFrame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт опроса по SNMP", true) {
  setObjectName("TPortSNMPFrame");
  CountLabel = new QLabel(this);
  CountLabel->setObjectName("CountLabel");
  lay_->addWidget(CountLabel);
  lay_->addStretch();
}

void TPortSNMPFrame::Fill() {
  auto* p = dynamic_cast<TPortSNMP*>(item_);
  if (!p) return;
  // The poll period and reply wait have no fields: they stay as the item holds them.
  // Agents moved in or out since the last look: the link-status table follows.
  if (p->deviceCount != p->DeviceCountNow()) p->RecountChildren();
  CountLabel->setText(QString("Количество подключенных устройств = %1").arg(p->DeviceCountNow()));
}

void TPortSNMPFrame::NumberChosen(int n) {
  if (auto* p = dynamic_cast<TPortSNMP*>(item_)) p->SetPortNumber(n);
}

// ---------------------------------------------------------------------------------------
TSNMPFrame::TSNMPFrame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TSNMPFrame");
  auto* lay = new QVBoxLayout(this);
  Heading = new QLabel("Устройство с протоколом SNMP", this);
  QFont f = Heading->font();
  f.setBold(true);
  Heading->setFont(f);
  lay->addWidget(Heading);
  auto* form = new QFormLayout;
  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  form->addRow("Место установки", PlaceEdit);
  IpEdit = new TIpEdit(this);
  IpEdit->setObjectName("IpEdit");
  form->addRow("IP адрес", IpEdit);
  lay->addLayout(form);
  ChooseButton = new QPushButton("Выбрать параметры", this);
  ChooseButton->setObjectName("ChooseButton");
  lay->addWidget(ChooseButton, 0, Qt::AlignLeft);
  lay->addStretch();
  connect(PlaceEdit, &QLineEdit::editingFinished, this, [this] { StoreItem(); });
  // The fourth field is the agent's number: the node's caption follows at once; the signal
  // names follow when the page is stored.
  connect(IpEdit->octet[3], &TNumberEdit::ValueEdited, this, [this](long long v) {
    TSNMP* a = Agent();
    if (!a || filling_) return;
    // Only the caption: the record changes (and the signals follow) when the page is stored.
    if (a->node) a->node->SetCaption(std::to_string(v) + "_" + a->name);
  });
  connect(IpEdit, &TIpEdit::Edited, this, [this] {
    if (!filling_) StoreItem();
  });
  connect(ChooseButton, &QPushButton::clicked, this, &TSNMPFrame::ChooseTags);
}

TSNMP* TSNMPFrame::Agent() const { return dynamic_cast<TSNMP*>(item_); }

void TSNMPFrame::ShowItem(TItem* item) {
  item_ = item;
  TSNMP* a = Agent();
  if (!a) return;
  filling_ = true;
  PlaceEdit->setText(QString::fromStdString(a->place));
  unsigned v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | a->dev.Address[i];
  IpEdit->SetAddress(v);
  filling_ = false;
}

void TSNMPFrame::StoreItem() {
  TSNMP* a = Agent();
  if (!a || filling_) return;
  std::string place = PlaceEdit->text().toStdString();
  unsigned v = IpEdit->Address();
  std::uint8_t ip[4] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                        static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
  bool changed = place != a->place || std::memcmp(ip, a->dev.Address, 4) != 0;
  a->SetPlace(place);
  a->SetAddress(ip);
  if (changed) {
    a->UpdateStatusTable();
    Doc().AfterEdit();
  }
}

void TSNMPFrame::ChooseTags() {
  TSNMP* a = Agent();
  if (!a) return;
  StoreItem();
  OpenMibDialog(*a);
  ShowItem(a);
  a->UpdateStatusTable();
  Doc().AfterEdit();
  owner_.RefreshViews();
}

void RegisterSNMPFrames() {
  RegisterFrame("TPortSNMP", [](TFrame1& o, QWidget* p) { return new TPortSNMPFrame(o, p); });
  RegisterFrame("TSNMP", [](TFrame1& o, QWidget* p) { return new TSNMPFrame(o, p); });
}

}  // namespace t32::ui
