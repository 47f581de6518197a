// The page of the IEC 104 output port over a serial line: place, number, channel, ASDU
// choices, ТИ interval with the update period, the link timers and the INI export.
#pragma once
#include "ui/frame_port.h"

class QCheckBox;
class QLineEdit;

namespace t32 {
class TPortMEK104;
}

namespace t32::ui {

class TMEK104Frame : public TPortFrame {
  Q_OBJECT
 public:
  TMEK104Frame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;

  QLineEdit* PlaceEdit;
  QComboBox* ComboBoxTS;
  QComboBox* ComboBoxTI;
  QComboBox* ComboBoxTII;
  TNumberEdit* EditTimeTI;
  QLabel* PeriodLabel;  // "всех ТИ   %d с": red while no ТИ row is resolved
  TNumberEdit *Time1Edit, *Time2Edit, *Time3Edit, *MaxKEdit, *MaxWEdit;
  QCheckBox* CheckCRC;
  QCheckBox* FileEnableBox;
  QPushButton* ExportButton;

  // Refreshes the update period and its colour.
  void ShowPeriod();

 protected:
  void Fill() override;

 private:
  TPortMEK104* Port104() const;
};

}  // namespace t32::ui
