// Pages of the KP polling port and its stations, of the meter ports and their meters, of the
// ЦП8500 converter port and of the МКТ-3 output port.
#pragma once
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QTableWidget>
#include <array>

#include "ui/frame_other_ports.h"

namespace t32 {
class TKP;
class TMeter;
class TPortCP8500;
class TPortMKT3;
}  // namespace t32

namespace t32::ui {

// A port whose number re-prefixes its devices: number, channel and the device count.
class TPollingPortFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPollingPortFrame(TFrame1& owner, QWidget* parent, const QString& heading);
  QLabel* CountLabel;  // "Количество подключенных устройств = %d"

 protected:
  void Fill() override;
  void NumberChosen(int n) override;
};

// A count cell of the station's counts grid: digits, Backspace and Enter only; a digit that
// would take the count above the table limit is refused as it is typed.
class TCountEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TCountEdit(QWidget* parent = nullptr);
 signals:
  void Accepted();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

class TKPFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TKPFrame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  void StoreItem() override;
  // The group-types popup at cell (row, column) of the grid; the caller picks an action.
  QMenu* GroupMenu;
  void ChooseGroupType(int code);

  QLineEdit* PlaceEdit;
  TNumberEdit* AddrEdit;
  QLabel* ExistsLabel;  // "Уже существует"
  TChooser* ProtBox;
  TNumberEdit* RepeatEdit;
  TNumberEdit* SpinEditWait;
  TNumberEdit* SpinEditTimeOBD;
  QTableWidget* CountGrid;
  std::array<TCountEdit*, 6> CountEdits{};  // ТС, ТУ, ТИ, ТИИ, ТР, МТС
  QGroupBox* SiriusPanel;  // "Сириус или Виконт "
  TNumberEdit* SpinEditWaitTU;
  TNumberEdit* SpinEditArrayN;
  QTableWidget* GridTI;
  QGroupBox* IecPanel;  // "МЭК 870-5-101 "
  TNumberEdit* AsduAddr101Edit;
  TNumberEdit* LenAddrEdit1;
  TNumberEdit* LenAddrEdit2;
  std::array<TNumberEdit*, 6> BaseEdits{};  // ТС, МТС, ТУ, ТИ, ТИИ, ТР
  std::array<QLabel*, 6> HexLabels{};
  TNumberEdit* SpinEditTimeSet;
  std::array<TNumberEdit*, 3> SpinEditTimeGr{};

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  TKP* Station() const;
  void FillCounts();
  void FillGroups();
  void ShowPanels();
  void CheckAddress();
  // Stores the page and rebuilds the station (and its port).
  void StoreAndRebuild();
  bool protocolChosen_ = false;  // the user picked a protocol since the page was shown
};

class TMeterPortFrame : public TPollingPortFrame {
  Q_OBJECT
 public:
  TMeterPortFrame(TFrame1& owner, QWidget* parent, const QString& heading);
  void StoreItem() override;
  TNumberEdit* PeriodEdit;

 protected:
  void Fill() override;
};

class TMeterFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TMeterFrame(TFrame1& owner, QWidget* parent, bool cc301);
  void ShowItem(TItem* item) override;
  void StoreItem() override;

  QLabel* Heading;
  QLineEdit* PlaceEdit;
  TNumberEdit* AddrEdit;
  QLabel* ExistsLabel;
  TNumberEdit* RepeatEdit;
  QListWidget* CheckListBox1;
  QGroupBox* TypeEGroup = nullptr;  // СС-301: " Сохранять энергию как: "
  QRadioButton* AsTII = nullptr;
  QRadioButton* AsTI = nullptr;
  TChooser* FuncBox = nullptr;  // СС-301: "Коэфф. трансформации "

 private:
  TMeter* Meter() const;
  void Rebuild();
  // What the user changed since the page was shown: only that is stored, so a page that was
  // merely looked at never writes stale values over the item.
  bool ticked_ = false, energyChosen_ = false, ratioChosen_ = false;
};

class TPortCP8500Frame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortCP8500Frame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;
  QTableWidget* AddrGrid;  // "Таблица адресов"

 protected:
  void Fill() override;

 private:
  void EnsureEmptyLastRow();
  bool edited_ = false;  // the grid was typed in since it was filled
};

class TPortMKT3Frame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortMKT3Frame(TFrame1& owner, QWidget* parent);
  void StoreItem() override;
  void ChooseChannelType(std::uint8_t code);
  QLineEdit* PlaceEdit;
  QLabel* TSGroupsLabel;  // "Групп ТС"
  QLabel* TIGroupsLabel;  // "Групп ТИ"
  QTableWidget* GridTI;   // "Настройка ТИ"
  QMenu* TypeMenu;

 protected:
  void Fill() override;
  bool eventFilter(QObject* o, QEvent* e) override;
};

}  // namespace t32::ui
