// Pages of the SNMP polling port and of one agent.
#pragma once
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/frame_other_ports.h"

namespace t32 {
class TPortSNMP;
class TSNMP;
}  // namespace t32

namespace t32::ui {

class TPortSNMPFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortSNMPFrame(TFrame1& owner, QWidget* parent);
  QLabel* CountLabel;  // "Количество подключенных устройств = %d"

 protected:
  void Fill() override;
  void NumberChosen(int n) override;
};

class TSNMPFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TSNMPFrame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  void StoreItem() override;
  // "Выбрать параметры": store, pick the tags, show again, rebuild.
  void ChooseTags();

  QLabel* Heading;
  QLineEdit* PlaceEdit;
  TIpEdit* IpEdit;
  QPushButton* ChooseButton;

 private:
  TSNMP* Agent() const;
};

}  // namespace t32::ui
