#include "ui/frame_portip.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "model/port_ip.h"

namespace t32::ui {

TPortIPFrame::TPortIPFrame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TPortIPFrame");
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(new QLabel("<b>Порт IP процессорной платы</b>", this));
  for (int n = 0; n < 2; ++n) {
    auto* box = new QGroupBox(n == 0 ? " Сеть 1 " : " Сеть 2 ", this);
    auto* form = new QFormLayout(box);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Address[n] = new TIpEdit(box);
    Mask[n] = new TIpEdit(box);
    Gateway[n] = new TIpEdit(box);
    form->addRow("IP Адрес", Address[n]);
    form->addRow("Маска  подсети", Mask[n]);
    form->addRow("IP Адрес шлюза", Gateway[n]);
    lay->addWidget(box);
  }
  auto* note = new QLabel("Сеть 2 используется только с процессорной платой CPU-927.", this);
  note->setWordWrap(true);
  lay->addWidget(note);
  CountLabel = new QLabel(this);
  CountLabel->setObjectName("CountLabel");
  lay->addWidget(CountLabel);
  lay->addStretch();
}

void TPortIPFrame::ShowItem(TItem* item) {
  item_ = item;
  auto* p = dynamic_cast<TPortIP*>(item);
  if (!p) return;
  Address[0]->SetAddress(p->net1Address);
  Mask[0]->SetAddress(p->net1Mask);
  Gateway[0]->SetAddress(p->net1Gateway);
  Address[1]->SetAddress(p->net2Address);
  Mask[1]->SetAddress(p->net2Mask);
  Gateway[1]->SetAddress(p->net2Gateway);
  p->RecountChildren();
  CountLabel->setText(QString("Количество подключенных ПЭВМ = %1").arg(p->pcCount));
}

void TPortIPFrame::StoreItem() {
  auto* p = dynamic_cast<TPortIP*>(item_);
  if (!p) return;
  p->net1Address = Address[0]->Address();
  p->net1Mask = Mask[0]->Address();
  p->net1Gateway = Gateway[0]->Address();
  p->net2Address = Address[1]->Address();
  p->net2Mask = Mask[1]->Address();
  p->net2Gateway = Gateway[1]->Address();
}

}  // namespace t32::ui
