// The dialogs of the IEC 61850 device page: a report's parameters, a data set's reading, and a
// GOOSE control block's addressing. Each edits one record of the page's client and changes it
// only on "Установить".
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "ui/frames.h"

namespace t32 {
class TMMSobject;
struct TMMSReportParam;
struct TDataSet;
struct TGCBObject;
}  // namespace t32

namespace t32::ui {

class TReportDlg : public QDialog {
  Q_OBJECT
 public:
  TReportDlg(TMMSobject& client, TMMSReportParam& report, QWidget* parent = nullptr);
  QLineEdit* RptIdEdit;        // "Наименование отчета:" (not editable here)
  QComboBox* DataSetBox;       // "объект DataSet"
  QCheckBox* TrgBoxes[5];      // 0x40, 0x20, 0x10, 0x08, 0x04
  TNumberEdit* IntgPdEdit;     // "Интервал периодической выдачи, мс:"
  TNumberEdit* BufTmEdit;      // "Интервал буферизации, мс:"
  QCheckBox* BufferedBox;      // "буферизация "
  QCheckBox* EnabledBox;       // "использовать отчет"
  QPushButton* SetButton;      // "Установить"
  QPushButton* CancelButton;   // "Отмена"
  static constexpr std::uint8_t kTrgBits[5] = {0x40, 0x20, 0x10, 0x08, 0x04};

 private:
  void Store();
  TMMSobject& client_;
  TMMSReportParam& report_;
};

class TDSetDlg : public QDialog {
  Q_OBJECT
 public:
  TDSetDlg(const std::string& rptId, TDataSet& ds, QWidget* parent = nullptr);
  QLineEdit* RptIdEdit;     // "Наименование отчета:" (read-only)
  QLineEdit* NameEdit;      // "Объект DataSet" (read-only)
  QCheckBox* UseBox;        // "Включить использование данных"
  TNumberEdit* IntervalEdit;  // "Интервал периодического чтения, мс:"
  QPushButton* SetButton;
  QPushButton* CancelButton;

 private:
  TDataSet& ds_;
};

class TGCBdlg : public QDialog {
  Q_OBJECT
 public:
  TGCBdlg(TGCBObject& gcb, QWidget* parent = nullptr);
  QLineEdit* NameEdit;     // "Имя блока:"
  QLineEdit* DataSetEdit;  // "DataSet:"
  QLineEdit* MacEdit;      // "МАС-адрес:"
  TNumberEdit* PriorityEdit;  // "PRIORITY:" 0..7
  TNumberEdit* VlanEdit;      // "VLAN ID:" 0..65535
  TNumberEdit* AppIdEdit;     // "APP ID:" 0..65535
  QPushButton* SetButton;     // "Установить"
  QPushButton* CancelButton;  // "Отменить"
  // Six hexadecimal pairs (any separators) -> the address; false when the text has not six.
  static bool ParseMac(const QString& text, std::uint8_t out[6]);
  static QString MacText(const std::uint8_t mac[6]);

 private:
  TGCBObject& gcb_;
};

}  // namespace t32::ui
