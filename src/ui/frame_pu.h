// The control-station port's page: place, protocol with its own parameter page, retransmitter,
// the IEC 101 format table, the Лисна pages and the INI export.
#pragma once
#include "ui/frame_port.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;

namespace t32 {
class TPortPU;
}

namespace t32::ui {

class TPUFrame : public TPortFrame {
  Q_OBJECT
 public:
  TPUFrame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;
  int HelpContext() const override { return 10; }

  QLineEdit* PlaceEdit;
  QComboBox* ProtocolBox;
  QCheckBox* RetransBox;
  TNumberEdit* SourcePortEdit;
  QLabel* IncompatibleLabel;
  QCheckBox* CommandsBox;  // "Разрешить исполнение ТУ, ТР"
  QCheckBox* TimeSyncBox;  // "Разрешить синхронизацию времени"
  // Protocol pages.
  QGroupBox* Iec101Page;
  QGroupBox* LisnaMPage;
  QGroupBox* LisnaVPage;
  QGroupBox* LisnaChPage;
  // IEC 101.
  TNumberEdit* LinkAddrEdit;
  TNumberEdit* AsduEdit;
  TFormatBox* FormatBox;  // "Таблица задания форматов выдачи параметров"
  QLabel* TiPeriodLabel;
  // Лисна-М.
  TNumberEdit* LisnaMAddrEdit;
  TNumberEdit* RequestCodeEdit;
  TNumberEdit* TsBufferEdit;
  // Лисна-В.
  QCheckBox* KpBox[10];
  TNumberEdit* DelayEdit;
  // Лисна-Ч.
  TNumberEdit* LisnaChAddrEdit;
  QPushButton* ExportButton;

 protected:
  void Fill() override;
  void BindingChanged() override {}

 private:
  TPortPU* PU() const;
  void ShowPages();
};

}  // namespace t32::ui
