// The workstation's page: its address, IEC 104 link parameters, format table, permissions and
// the two exports; the page "Адреса сигналов" holds the six base addresses with their
// hexadecimal form.
#pragma once
#include <QLabel>
#include <functional>

#include "ui/frames.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QTabWidget;

namespace t32 {
class TPC;
}

namespace t32::ui {

class TFormatBox;

// A label that answers a click (the hexadecimal display beside a base address).
class TClickLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> onClick;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
};

class TPCFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TPCFrame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  void StoreItem() override;

  QTabWidget* Pages;
  QLineEdit* PlaceEdit;
  TIpEdit* AddressEdit;   // "IP адрес ПЭВМ"
  TIpEdit* GatewayEdit;   // "IP Адрес шлюза"
  TNumberEdit* AsduEdit;
  TNumberEdit* CycleEdit;  // "Интервал циклической выдачи ТИ, мс"
  TFormatBox* FormatBox;  // "Таблица задания форматов выдачи параметров"
  QLabel* TiPeriodLabel;
  TNumberEdit *T1Edit, *T2Edit, *T3Edit, *KEdit, *WEdit;
  QCheckBox* FilesBox;     // "Разрешить запись файлов"
  QCheckBox* CommandsBox;  // "Разрешить исполнение ТУ, ТР"
  QCheckBox* TimeSyncBox;  // "Разрешить синхронизацию времени"
  QPushButton* ExportIniButton;
  QPushButton* ExportXmlButton;
  // "Адреса сигналов", in the order ТС, ТИ, ТУ, ТР, ТИИ, МТС.
  TNumberEdit* BaseEdit[6];
  TClickLabel* HexLabel[6];

  // Refreshes the six hexadecimal displays from the base address fields.
  void RefreshHex();
  // Save dialogs and the exports.
  void ExportIni();
  void ExportXml();

 private:
  TPC* PC() const;
};

}  // namespace t32::ui
