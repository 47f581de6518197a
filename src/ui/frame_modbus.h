// Pages of the Modbus polling ports (RTU on a board channel, TCP on the network interface)
// and of their devices: the device page with its polling-block grids, command, clock and log
// settings, the device types of the library and the template buffer.
#pragma once
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>

#include "ports/modbus_editor.h"
#include "ui/frame_other_ports.h"
#include "ui/frames.h"

namespace t32 {
class TRTU;
class TPortMODBUS;
class TPortRTUTCP;
}  // namespace t32

namespace t32::ui {

// The editor of one grid cell: keys pass only as the column allows.
class TGridCellEdit : public QLineEdit {
  Q_OBJECT
 public:
  TGridCellEdit(TGridCol col, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  TGridCol col_;
};

// A polling-block grid: 8 rows "   1".."   8", the columns of its tab.
class TBlockGrid : public QTableWidget {
  Q_OBJECT
 public:
  TBlockGrid(bool ti, const QString& countCaption, QWidget* parent);
  void SetGrid(const TGrid& g);
  TGrid Grid() const;
  TGridCol ColumnKind(int column) const;
  // The columns holding block fields (a picker's copy adds a column of buttons).
  int DataColumns() const { return ti ? 4 : 3; }
  bool ti;
};

// A field of four hex digits: other characters are dropped as they come.
class THexEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit THexEdit(QWidget* parent);
  std::uint16_t Value() const { return HexValue(text().toStdString()); }
  void SetValue(std::uint16_t v);
};

// One log's fields on the "Журналы" tab.
struct TLogFields {
  QGroupBox* box = nullptr;
  THexEdit *start = nullptr, *select = nullptr;
  TNumberEdit *interval = nullptr, *records = nullptr;
  QLineEdit* text = nullptr;
  QLabel* count = nullptr;  // "Выбрано параметров"
  QPushButton* choose = nullptr;
};

class TRTUFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TRTUFrame(TFrame1& owner, QWidget* parent, bool tcp = false);
  void ShowItem(TItem* item) override;
  void StoreItem() override;
  int HelpContext() const override { return tcp_ ? 5402 : 5401; }

  // Buttons' work (also reached by tests).
  void PickType(int index);
  void SaveType();
  void DeleteType();
  void ToTemplate();
  void FromTemplate();
  // "Выбрать параметры" of a grid tab (kind kSigTS..kSigTR) and of a log.
  void ChooseSignals(int kind);
  void ChooseEvents(bool alarm);

  QLabel* Heading;
  QLineEdit* PlaceEdit;
  TNumberEdit* AddrEdit;  // RTU: "Адрес в сети"; TCP: "Адрес RTU"
  TIpEdit* IpEdit = nullptr;
  QLabel* ErrorLabel;  // "Уже существует"
  TNumberEdit* RepeatEdit;
  TChooser* TypeBox;
  QPushButton *SaveButton, *DeleteButton, *AddDefButton, *SetDefButton;
  QTabWidget* Tabs;
  TBlockGrid *TSGrid, *TUGrid, *TIGrid, *TRGrid;
  TNumberEdit* AutoOffEdit;
  QLineEdit* PasswordEdit;
  THexEdit* PassAddrEdit;
  THexEdit* ClockAddrEdit;
  QLineEdit* ClockTextEdit;
  TLogFields SysLog, AlarmLog;
  QCheckBox* MultiTSBox = nullptr;

 protected:
  TRTU* Device() const;
  void FillTypes();
  void ShowExists();
  // Stores the page and rebuilds the signals when anything changed.
  bool Store();
  bool tcp_;
};

class TRTUTCPFrame : public TRTUFrame {
  Q_OBJECT
 public:
  TRTUTCPFrame(TFrame1& owner, QWidget* parent) : TRTUFrame(owner, parent, true) { setObjectName("TRTUTCPFrame"); }
};

// "Время ожидания ответа, мс": 100..2000 in steps of 100; stored only when the user turned it.
class TStepSpin : public QSpinBox {
  Q_OBJECT
 public:
  explicit TStepSpin(QWidget* parent);
  void Show(int v);
  bool touched = false;
};

class TPortRTUFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortRTUFrame(TFrame1& owner, QWidget* parent, bool tcp = false);
  void StoreItem() override;
  int HelpContext() const override { return tcp_ ? 5404 : 5403; }

  QCheckBox* Net1Box = nullptr;  // "Сеть 1"
  TNumberEdit* PollEdit = nullptr;
  TNumberEdit* SyncEdit;
  TStepSpin* ReplyEdit;
  TNumberEdit* ConnectEdit = nullptr;
  TNumberEdit* ReconnectEdit = nullptr;
  QLabel* CountLabel;

 protected:
  void Fill() override;
  void NumberChosen(int n) override;
  bool tcp_;
};

class TPortRTUTCPFrame : public TPortRTUFrame {
  Q_OBJECT
 public:
  TPortRTUTCPFrame(TFrame1& owner, QWidget* parent) : TPortRTUFrame(owner, parent, true) {
    setObjectName("TPortRTUTCPFrame");
  }
};

void RegisterModbusFrames();

class TForm1;
// A screenshot scene of the Modbus pages ("modbus-port", "modbus-device:TAB", ...; see
// screenshot_modbus.cpp).
bool RunModbusScreenshot(TForm1& form, const QString& scene, const QString& png);

}  // namespace t32::ui
