// Pages of the IEC 104 polling port and of its devices. The device page edits the device's
// station; "Выбрать параметры" opens the station editor on it.
#pragma once
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ports/app_context.h"
#include "ui/frame_other_ports.h"
#include "ui/frames.h"

namespace t32 {
class TRTU104;
class TPortRTU104;
}  // namespace t32

namespace t32::ui {

class TPortRTU104Frame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortRTU104Frame(TFrame1& owner, QWidget* parent);
  QCheckBox* Net1Box;   // "Сеть 1"
  QLabel* CountLabel;   // "Количество подключенных устройств = %d"

 protected:
  void Fill() override;
  void NumberChosen(int n) override;
};

class TRTU104Frame : public TEditorFrame {
  Q_OBJECT
 public:
  TRTU104Frame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  void StoreItem() override;

  QLineEdit* PlaceEdit;
  TIpEdit* IpEdit;  // AddrEdit4..AddrEdit1 from left to right
  QLabel* ExistsLabel;  // "Уже существует"
  TNumberEdit *ConnectEdit, *ReconnectEdit, *Time1Edit, *Time2Edit, *Time3Edit, *MaxKEdit, *MaxWEdit, *ASDUEdit,
      *BreakTimeOutEdit, *AskIntervalEdit, *SyncIntervalEdit;
  QPushButton* SelectParamButton;

  // "Выбрать параметры": stores the page, opens the station editor modally, shows the device
  // again and rebuilds its signals.
  void SelectParams();

 private:
  TRTU104* Device() const;
  void LastOctetEdited();
  void ShowExists();
  // The station editor's state for a document without an application context (a test's).
  TStationEditorState ownEditorState_;
};

void RegisterRtu104Frames();

}  // namespace t32::ui
