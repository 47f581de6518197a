// Editor frames of the I/O boards and their channels and ports, and the address picker.
#pragma once
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <bitset>
#include <functional>

#include "ui/frames.h"

class QButtonGroup;
class QFormLayout;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace t32 {
class TBoard;
}

namespace t32::ui {

// Borderless pop-up of numbers: taken ones flat, free ones raised, the item's own one white.
class TAddrEditForm : public QFrame {
  Q_OBJECT
 public:
  TAddrEditForm(int first, int last, int perRow, const std::bitset<256>& taken, int own, QWidget* parent);
  void Pick(int n);
  std::function<void(int)> onPick;
  QList<QWidget*> cells;
};

// A board's number field: a click opens the picker below it.
class TAddrField : public QLineEdit {
  Q_OBJECT
 public:
  explicit TAddrField(QWidget* parent) : QLineEdit(parent) { setReadOnly(true); }
  std::function<void()> onClick;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  // Space, Enter, F4 and Alt+Down open the picker as a click does.
  void keyPressEvent(QKeyEvent* e) override;
};

// Shared ground: the caption line, a form of fields, "Задействован"/"Настроить" for channels.
class TBoardFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TBoardFrame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  int HelpContext() const override { return 5; }
  // Opens the picker for the board's number (tests call it with a number to pick).
  TAddrEditForm* OpenPicker();
  QLabel* Caption;
  TAddrField* AddrEdit = nullptr;

 protected:
  virtual void Fill() = 0;
  TBoard* Board() const;
  TNumberEdit* AddNumber(const QString& caption, long long min, long long max, const char* name);
  QComboBox* AddCombo(const QString& caption, const QStringList& items, const char* name);
  void AddAddrField(const QString& caption);
  QLabel* AddLabel(const QString& caption, const char* name);
  // Applies a change through the item and shows the item again.
  void Apply(const std::function<void()>& change);
  // A change of mode that rebuilds signal tables: when names the user gave would be lost it
  // asks first; "Нет" leaves the item and the chooser as they were. unchanged: nothing to do.
  void ApplyMode(bool unchanged, const std::function<void()>& change);
  QFormLayout* form_;
  QVBoxLayout* lay_;
};

class TRS232Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TRS232Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  QLabel *NumberLabel, *BoundLabel;
  QComboBox *SpeedBox, *ParityBox, *InterfaceBox, *StopBitsBox;
  TNumberEdit *GapTimeEdit, *StartTimeEdit, *StopTimeEdit, *PortTcpEdit;
  QPushButton* SetupButton;

 protected:
  void Fill() override;
};

class TMPI4Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TMPI4Frame(TFrame1& o, QWidget* p);
  QComboBox *AddrBox, *InterruptBox;
  QLabel *OccupiedLabel, *IrqNote;

 protected:
  void Fill() override;
};

class TMVS4Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TMVS4Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  QComboBox* ModBox;
  TNumberEdit *Freq0Edit, *Freq1Edit, *SpeedEdit, *StartEdit, *EndEdit, *KLSEdit, *Len1Edit, *Len2Edit;
  QLabel* BoundLabel;
  QPushButton* SetupButton;

 protected:
  void Fill() override;
};

class TDI32Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TDI32Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  QComboBox* TimeBox;

 protected:
  void Fill() override;
};

class TAI16Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TAI16Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  TNumberEdit* TimeEdit;

 protected:
  void Fill() override;
};

class TAI8Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TAI8Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  QComboBox* TypeTI1;
  TNumberEdit *CountMUX1, *ZeroEdit1;
  QLabel* CountLabel;
  QTableWidget* GridTI;
  void SetRangeOfSelected(int range);

 protected:
  void Fill() override;
};

class TAO2Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TAO2Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  QComboBox* TypeTR1;
  TNumberEdit *TimeTR1, *TimeTR2;

 protected:
  void Fill() override;
};

class TUnio96Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TUnio96Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  QComboBox* TimeBox;

 protected:
  void Fill() override;
};

class TUnio24Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TUnio24Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  QComboBox* TypeOfPort;
  TNumberEdit *LinkedPortEdit, *TimeTUEdit;

 protected:
  void Fill() override;
};

class TDO32Frame : public TBoardFrame {
  Q_OBJECT
 public:
  TDO32Frame(TFrame1& o, QWidget* p);
  void StoreItem() override;
  QComboBox* TypeOfPort;
  TNumberEdit* TimeTUEdit;

 protected:
  void Fill() override;
};

}  // namespace t32::ui
