// Pages of the IEC 61850 polling port and of its devices. While a device page is shown it owns
// one MMS client loaded with the device's model: the VMD browser picks data on it, the report,
// data-set and GOOSE lists show it, and storing the page keeps it as the device's model.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "ui/frame_other_ports.h"
#include "ui/frames.h"

namespace t32 {
class TMMSobject;
class TMMSvar;
class TPort61850;
class TRTU61850;
}  // namespace t32

namespace t32::ui {

class TPort61850Frame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPort61850Frame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;
  QCheckBox* Net1Box;              // "Сеть 1"
  TNumberEdit* TimeShiftEdit;      // "Смещение времени, час"
  TNumberEdit* LinkLossEdit;       // "Время фиксации обрыва связи, сек"
  QLabel* CountLabel;              // "Количество подключенных устройств = %d"
  TNumberEdit* IntgPdEdit;         // ms
  QPushButton* SetIntgPdButton;    // "Установить значение"

 protected:
  void Fill() override;
  void NumberChosen(int n) override;

 private:
  TPort61850* Port61850() const;
};

class TRTU61850Frame : public TEditorFrame {
  Q_OBJECT
 public:
  TRTU61850Frame(TFrame1& owner, QWidget* parent);
  ~TRTU61850Frame() override;
  void ShowItem(TItem* item) override;
  void StoreItem() override;

  QComboBox* TypeBox;  // "Тип"
  QPushButton* SaveTypeButton;    // "Сохранить"
  QPushButton* DeleteTypeButton;  // "Удалить"
  QLineEdit* PlaceEdit;
  TIpEdit* IpEdit;  // AddrEdit4..AddrEdit1 from left to right
  QCheckBox* GooseBox;  // "Принимать сообщения GOOSE"
  QPushButton* SelectParamButton;  // "Выбрать параметры"
  QPushButton* ViewParamButton;    // "Просмотр параметров"
  QTabWidget* ListTabs;
  QTreeWidget* ReportList;
  QTreeWidget* DataSetList;
  QTreeWidget* GooseList;
  QPushButton* ActivateButton;  // "Активировать"
  QPushButton* DisableButton;   // "Отключить"
  QLabel* SignalsLabel;
  QTabWidget* SignalTabs;  // "ТС", "ТУ", "ТИ", "ТР"
  QListWidget* SignalLists[4];

  // The client the page owns while it is shown.
  TMMSobject* Client() const { return client_.get(); }
  // The MMS port the client connects to; the controller always uses 102 (tests set another).
  static int clientPort;

  void SelectParams();
  void ViewParams();
  void SaveType();
  void DeleteType();
  void TypeChosen(int index);
  // Sets or clears the enabled flag of the selected reports.
  void EnableSelected(bool on);
  // A double click on a row of the report (0), data-set (1) or GOOSE (2) list: its dialog.
  void EditRow(int list, QTreeWidgetItem* it);

 protected:
  void hideEvent(QHideEvent* e) override;

 private:
  TRTU61850* Device() const;
  void FillTypes();
  void FillLists();
  void FillSignals();
  void ModelChanged();
  void OpenBrowser(bool selecting);

  std::unique_ptr<TMMSobject> client_;
  QTimer tick_;
  bool modelChanged_ = false;
  bool browserUsed_ = false;
};

void Register61850Frames();

}  // namespace t32::ui
